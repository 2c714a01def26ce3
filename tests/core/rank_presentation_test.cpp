#include <gtest/gtest.h>

#include "core.h"
#include "failure.h"
#include "rank_presentation.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

using testing::LevelTableBytes;
using testing::RecordingDisplay;
using testing::TempProgramFolder;
using testing::WriteBytes;

struct Refresh : ::testing::Test {
    TempProgramFolder folder;
    Core core{folder.Path()};
    RecordingDisplay display;
};

TEST_F(Refresh, FirstRunShowsLevelOne) {
    core.StartRun();
    Flash(core, display);
    EXPECT_EQ(display.min, 0.0F);
    EXPECT_EQ(display.max, 100.0F);
    EXPECT_EQ(display.value, 0.0F);
    EXPECT_EQ(display.rankNumber, "1143849");
    EXPECT_EQ(display.insigniaToolTip, "Lv. 1");
    EXPECT_EQ(display.rankTitle, "新兵");
    EXPECT_EQ(display.insignia, "〓∨〓");
    EXPECT_EQ(display.barToolTip, "经验值:0/100    0%");
}

TEST_F(Refresh, LevelSixtyNeedsNoThresholdFile) {
    core.Level = 60;
    core.Experience = 12345;
    Flash(core, display);
    EXPECT_EQ(core.Experience, 0.0);
    EXPECT_EQ(display.rangeSettings, (std::vector<std::string>{"min=0", "max=1"}));
    EXPECT_EQ(display.value, 0.0F);
    EXPECT_EQ(display.rankNumber, "1");
    EXPECT_EQ(display.rankTitle, "大元帅");
    EXPECT_EQ(display.insignia, "〓★〓★〓");
    EXPECT_EQ(display.insigniaToolTip, "Lv. 60");
    EXPECT_EQ(display.barToolTip, "经验值:0/1    0%");
    EXPECT_FALSE(std::filesystem::exists(folder.LevelTable()));
}

TEST_F(Refresh, LevelUpSetsTheOldRangeThenTheNewMaxBeforeTheNewMin) {
    core.StartRun();
    core.Level = 3;
    core.Experience = 700;
    Flash(core, display);
    EXPECT_EQ(display.rangeSettings,
              (std::vector<std::string>{"min=200", "max=600", "max=1500", "min=600"}));
    EXPECT_EQ(display.rankNumber, "1085687");
    EXPECT_EQ(display.rankTitle, "二等兵");
    EXPECT_EQ(display.insignia, "〓∨∨〓");
    EXPECT_EQ(display.insigniaToolTip, "Lv. 4");
}

TEST_F(Refresh, PercentageUsesTheRangeOfThisRun) {
    core.StartRun();
    core.Level = 5;
    core.Experience = 2000.7;
    Flash(core, display);
    EXPECT_EQ(display.value, 2000.0F);
    EXPECT_EQ(display.rankNumber, "1066300");
    EXPECT_EQ(display.barToolTip, "经验值:2000/3100    31%");

    // A later run has only T(5) in memory, so the bar starts at 0.
    Core later(folder.Path());
    WriteBytes(folder.Progress(), "5,1,2000.7\r\n");
    later.StartRun();
    RecordingDisplay laterDisplay;
    Flash(later, laterDisplay);
    EXPECT_EQ(laterDisplay.min, 0.0F);
    EXPECT_EQ(laterDisplay.barToolTip, "经验值:2000/3100    64%");
}

TEST_F(Refresh, ValueIsNotClampedAndPercentMayPassAHundred) {
    core.StartRun();
    core.Experience = 99.9;
    Flash(core, display);
    EXPECT_EQ(display.value, 99.0F);
    EXPECT_EQ(display.barToolTip, "经验值:99/100    99%");

    core.Experience = 1000;  // a sponsor click at level 1
    Flash(core, display);
    EXPECT_EQ(core.Level, 2);
    EXPECT_EQ(display.value, 1000.0F);
    EXPECT_EQ(display.barToolTip, "经验值:1000/200    900%");

    core.Experience = -0.25;
    core.Level = 1;
    Flash(core, display);
    EXPECT_EQ(display.barToolTip, "经验值:-1/100    -1%");
}

TEST_F(Refresh, ALevelOutsideTheTableFailsAtItsFirstTableAccess) {
    core.StartRun();
    for (std::int32_t level : {0, -3}) {
        RecordingDisplay untouched;
        core.Level = level;
        EXPECT_THROW(Flash(core, untouched), Failure);
        EXPECT_TRUE(untouched.rangeSettings.empty());
        EXPECT_EQ(untouched.rankNumber, "9999999");
    }
    RecordingDisplay atSixtyOne;
    core.Level = 61;
    EXPECT_THROW(Flash(core, atSixtyOne), Failure);
    EXPECT_EQ(atSixtyOne.rangeSettings, (std::vector<std::string>{"min=7021100"}));
    EXPECT_EQ(atSixtyOne.rankTitle, "往往往往");
    EXPECT_EQ(core.Level, 61);
}

TEST(RankPresentation, RankNumbersAndBandBoundaries) {
    const std::pair<int, long long> numbers[] = {{1, 1143849}, {2, 1124462}, {10, 969364},
                                                 {30, 581619}, {59, 19388},  {60, 1}};
    for (auto [level, number] : numbers) {
        EXPECT_EQ(RankNumber(level), number) << level;
    }

    TempProgramFolder folder;
    Core core(folder.Path());
    core.BuildLevelTable();
    const std::pair<int, const char*> titles[] = {
        {3, "新兵"},  {4, "二等兵"}, {10, "一等兵"},   {11, "下士"},     {40, "上校"},
        {41, "准将"}, {53, "上将"},  {54, "五星上将"}, {56, "五星上将"}, {57, "大元帅"}};
    for (auto [level, title] : titles) {
        RecordingDisplay display;
        core.Level = level;
        core.Experience = 0;
        Flash(core, display);
        EXPECT_EQ(display.rankTitle, title) << level;
    }

    // Every band's title and insignia, shown at its highest level.
    const struct {
        int level;
        const char* title;
        const char* insignia;
    } bands[] = {
        {3, "新兵", "〓∨〓"},   {6, "二等兵", "〓∨∨〓"},   {10, "一等兵", "〓∨∨∨〓"},
        {13, "下士", "〓︾〓"}, {16, "中士", "〓︾︾〓"},  {20, "上士", "〓︾︾︾〓"},
        {23, "少尉", "〓☆〓"},  {26, "中尉", "〓☆☆〓"},    {30, "上尉", "〓☆☆☆〓"},
        {33, "少校", "〓★〓"},  {36, "中校", "〓★★〓"},    {40, "上校", "〓★★★〓"},
        {43, "准将", "☆☆☆☆"},   {46, "少将", "★☆☆☆"},      {50, "中将", "★★☆☆"},
        {53, "上将", "★★★☆"},   {56, "五星上将", "★★★★★"}, {60, "大元帅", "〓★〓★〓"},
    };
    for (const auto& band : bands) {
        RecordingDisplay display;
        core.Level = band.level;
        core.Experience = 0;
        Flash(core, display);
        EXPECT_EQ(display.rankTitle, band.title) << band.level;
        EXPECT_EQ(display.insignia, band.insignia) << band.level;
    }
}

}  // namespace
}  // namespace tessaly
