#include "rank_presentation.h"

#include <cmath>

#include "core.h"
#include "failure.h"
#include "number_text.h"

namespace tessaly {

const std::array<RankBand, 18>& RankBands() {
    static const std::array<RankBand, 18> Bands{{
        {3, "新兵", "〓∨〓"},
        {6, "二等兵", "〓∨∨〓"},
        {10, "一等兵", "〓∨∨∨〓"},
        {13, "下士", "〓︾〓"},
        {16, "中士", "〓︾︾〓"},
        {20, "上士", "〓︾︾︾〓"},
        {23, "少尉", "〓☆〓"},
        {26, "中尉", "〓☆☆〓"},
        {30, "上尉", "〓☆☆☆〓"},
        {33, "少校", "〓★〓"},
        {36, "中校", "〓★★〓"},
        {40, "上校", "〓★★★〓"},
        {43, "准将", "☆☆☆☆"},
        {46, "少将", "★☆☆☆"},
        {50, "中将", "★★☆☆"},
        {53, "上将", "★★★☆"},
        {56, "五星上将", "★★★★★"},
        {60, "大元帅", "〓★〓★〓"},
    }};
    return Bands;
}

std::int64_t RankNumber(std::int32_t level) {
    const std::int64_t product = (MaxLevel - static_cast<std::int64_t>(level)) * RankScale;
    return static_cast<std::int64_t>(std::floor(static_cast<double>(product) / 60.0)) + 1;
}

namespace {

float Bound(const Core& core, std::int64_t level) {
    return static_cast<float>(core.Threshold(level));
}

const RankBand* FindBand(std::int32_t level) {
    const RankBand* match = nullptr;
    int previousHighest = 0;
    bool first = true;
    for (const RankBand& band : RankBands()) {
        // The first band has no lower bound, so a level below 1 falls in it.
        if ((first || level > previousHighest) && level <= band.highestLevel) {
            match = &band;
        }
        previousHighest = band.highestLevel;
        first = false;
    }
    return match;
}

}  // namespace

void Flash(Core& core, ProgressDisplay& display) {
    // 1. Range and level. The range is set for the level as it was, then again
    //    for the level now current, maximum before minimum, so the bar never
    //    sees a minimum above its maximum while thresholds grow.
    if (core.ApplyCapRule()) {
        display.SetBarMin(0.0F);
        display.SetBarMax(1.0F);
    } else {
        const std::int64_t before = core.Level;
        core.SetThreshold(0, 0);
        display.SetBarMin(Bound(core, before - 1));
        display.SetBarMax(Bound(core, before));
        core.ApplyLevelUp();
        const std::int64_t now = core.Level;
        core.SetThreshold(0, 0);
        display.SetBarMax(Bound(core, now));
        display.SetBarMin(Bound(core, now - 1));
    }

    // 2. Value: whole experience points, not clamped to the range.
    const double wholeExperience = std::floor(core.Experience);
    display.SetBarValue(static_cast<float>(wholeExperience));

    // 3. Rank number, 4. level tooltip.
    display.SetRankNumber(std::to_string(RankNumber(core.Level)));
    display.SetInsigniaToolTip("Lv. " + std::to_string(core.Level));

    // 5. Rank title, then insignia. A level in no band leaves both as they were.
    if (const RankBand* band = FindBand(core.Level)) {
        display.SetRankTitle(std::string(band->title));
        display.SetInsignia(std::string(band->insignia));
    }

    // 6. Bar tooltip, from the range as the bar reports it back.
    const float min = display.BarMin();
    const float max = display.BarMax();
    const float range = max - min;
    if (range == 0.0F) {
        throw Failure("experience bar has an empty range");
    }
    const double percent = std::floor(((core.Experience - min) / range) * 100.0);
    display.SetBarToolTip("经验值:" + DecimalText(wholeExperience) + "/" +
                          DecimalText(std::floor(max)) + "    " + DecimalText(percent) + "%");
}

}  // namespace tessaly
