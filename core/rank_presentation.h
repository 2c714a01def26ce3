#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

class Core;

// What the progress refresh writes to: the experience bar (single-precision
// minimum, maximum and value, readable back, and a tooltip), the rank number
// label, the rank title label and the insignia label with its tooltip.
// Any of the setters may throw Failure to refuse a setting; the refresh then
// stops there.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;

    virtual void SetBarMin(float value) = 0;
    virtual void SetBarMax(float value) = 0;
    virtual void SetBarValue(float value) = 0;
    virtual float BarMin() const = 0;
    virtual float BarMax() const = 0;
    virtual void SetBarToolTip(const std::string& text) = 0;

    virtual void SetRankNumber(const std::string& text) = 0;       // pai
    virtual void SetRankTitle(const std::string& text) = 0;        // toux
    virtual void SetInsignia(const std::string& text) = 0;         // deng
    virtual void SetInsigniaToolTip(const std::string& text) = 0;  // deng's tooltip
};

struct RankBand {
    int highestLevel;  // the band holds the levels above the previous band's, up to this one
    std::string_view title;
    std::string_view insignia;
};

inline constexpr std::int64_t RankScale = 1163236;

const std::array<RankBand, 18>& RankBands();

// floor((60 - level) * 1163236 / 60) + 1: 1143849 at level 1, 1 at level 60.
std::int64_t RankNumber(std::int32_t level);

// Brings the progress display up to date: applies the cap rule or the
// level-up, then sets the bar's range, value and tooltip, the rank number,
// the level tooltip, the rank title and the insignia, in that order.
// Stops at its first failing step and throws that Failure to the caller.
void Flash(Core& core, ProgressDisplay& display);

}  // namespace tessaly
