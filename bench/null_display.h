#pragma once

#include <string>

#include "rank_presentation.h"

namespace tessaly::bench {

// A progress display that only keeps the bar's range, which the refresh reads back.
class NullDisplay : public ProgressDisplay {
public:
    void SetBarMin(float value) override { min_ = value; }
    void SetBarMax(float value) override { max_ = value; }
    void SetBarValue(float) override {}
    float BarMin() const override { return min_; }
    float BarMax() const override { return max_; }
    void SetBarToolTip(const std::string&) override {}
    void SetRankNumber(const std::string&) override {}
    void SetRankTitle(const std::string&) override {}
    void SetInsignia(const std::string&) override {}
    void SetInsigniaToolTip(const std::string&) override {}

private:
    float min_ = 0, max_ = 100;
};

}  // namespace tessaly::bench
