#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The progress record as stored in Xdata.dat: one ASCII line
// "Level,RunCount,Experience" ended by CR LF.
struct ProgressValues {
    std::int32_t level = 0;
    std::int32_t runCount = 0;
    double experience = 0.0;
};

std::string FormatProgressLine(const ProgressValues& values);

// Reads the first three comma-separated fields of the first line into
// `values`, in order. At the first field that is missing or is not a number,
// reading stops: that value and the ones after it keep what they held.
// Whole-number fields round a fractional value to the nearest, ties to even.
void ReadProgressLine(std::string_view text, ProgressValues& values);

}  // namespace tessaly
