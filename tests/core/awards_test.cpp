#include <gtest/gtest.h>

#include "core.h"
#include "rank_presentation.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

using testing::RecordingDisplay;
using testing::TempProgramFolder;

// A first run: the whole table is in memory and on disk.
struct FirstRun : ::testing::Test {
    TempProgramFolder folder;
    Core core{folder.Path()};
    RecordingDisplay display;
    void SetUp() override { core.StartRun(); }
};

TEST_F(FirstRun, OneSponsorClickRaisesOneLevelAndLaterRefreshesOneEach) {
    core.AwardSponsorClick();
    Flash(core, display);
    EXPECT_EQ(core.Experience, 1000.0);
    EXPECT_EQ(core.Level, 2);  // although 1000 is above T(2) and T(3)

    Flash(core, display);  // Home: a refresh without an award
    EXPECT_EQ(core.Level, 3);
    Flash(core, display);
    EXPECT_EQ(core.Level, 4);
    Flash(core, display);
    EXPECT_EQ(core.Level, 4);  // 1000 < T(4) = 1500
    EXPECT_EQ(core.Experience, 1000.0);
}

TEST_F(FirstRun, ReachingTheThresholdExactlyRaisesTheLevel) {
    core.Level = 3;
    core.Experience = 600;
    Flash(core, display);
    EXPECT_EQ(core.Level, 4);
}

TEST_F(FirstRun, BrowsingAwardsFollowTheCurrentLevel) {
    core.Level = 10;
    core.AwardStatusTextChange();
    EXPECT_DOUBLE_EQ(core.Experience, 1.0);

    core.Experience = 0;
    core.Level = 7;
    core.AwardStatusTextChange();
    EXPECT_EQ(core.Experience, 0.1 * 7);

    core.Experience = 0;
    core.AwardProgressChange(10000);
    EXPECT_EQ(core.Experience, 2.5);
    core.AwardProgressChange(-1);
    EXPECT_EQ(core.Experience, 2.5 - 0.00025);
    core.AwardProgressChange(0);
    EXPECT_EQ(core.Experience, 2.5 - 0.00025);

    core.Experience = 0;
    core.Level = 12;
    core.AwardDownloadComplete();
    core.AwardNavigateComplete();
    EXPECT_EQ(core.Experience, 24.0);
    EXPECT_EQ(core.Level, 12);  // awards never change the level themselves
}

TEST_F(FirstRun, Level59ReachesTheCapAndTheCapDropsExperienceOnEveryRefresh) {
    core.Level = 59;
    core.Experience = 6673000;
    Flash(core, display);
    EXPECT_EQ(core.Level, 60);
    EXPECT_EQ(display.max, 7021100.0F);  // T(60) stays in memory in the run that built it
    EXPECT_EQ(display.min, 6673000.0F);

    Flash(core, display);
    EXPECT_EQ(core.Experience, 0.0);
    core.AwardSponsorClick();
    Flash(core, display);
    EXPECT_EQ(core.Level, 60);
    EXPECT_EQ(core.Experience, 0.0);
}

TEST(LevelUp, MissingThresholdsRaiseOneLevelPerRefresh) {
    TempProgramFolder folder;
    testing::WriteBytes(folder.Progress(), "1,3,5\r\n");
    Core core(folder.Path());
    core.StartRun();  // no Data.dat: T(1) stays 0
    RecordingDisplay display;

    EXPECT_ANY_THROW(Flash(core, display));  // range 0..0: the tooltip cannot be computed
    EXPECT_EQ(core.Level, 2);
    EXPECT_ANY_THROW(Flash(core, display));
    EXPECT_EQ(core.Level, 3);
    EXPECT_EQ(display.barToolTip, "");
    EXPECT_EQ(display.rankTitle, "新兵");  // the steps before the failure stay done
}

}  // namespace
}  // namespace tessaly
