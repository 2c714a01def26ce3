#pragma once

#include <algorithm>
#include <vector>

namespace tessaly::bench {

// The middle of a benchmark's timings (the upper middle of an even count),
// or -1 when there are none: one slow run says little.
inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace tessaly::bench
