#include <gtest/gtest.h>

#include "core.h"
#include "failure.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

using testing::LevelTableBytes;
using testing::ReadBytes;
using testing::TempProgramFolder;
using testing::WriteBytes;

std::int32_t RecordValue(const std::string& bytes, std::size_t record) {
    std::uint32_t bits = 0;
    for (int b = 0; b < 4; ++b) {
        bits |=
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[(record - 1) * 128 + b]))
            << (8 * b);
    }
    return static_cast<std::int32_t>(bits);
}

TEST(LevelTable, BuildComputesEveryThresholdAndWritesRecordsOneTo59) {
    TempProgramFolder folder;
    Core core(folder.Path());
    core.BuildLevelTable();

    EXPECT_EQ(core.Threshold(0), 0);
    EXPECT_EQ(core.Threshold(1), 100);
    EXPECT_EQ(core.Threshold(2), 200);
    EXPECT_EQ(core.Threshold(3), 600);
    EXPECT_EQ(core.Threshold(4), 1500);
    EXPECT_EQ(core.Threshold(5), 3100);
    EXPECT_EQ(core.Threshold(10), 28600);
    EXPECT_EQ(core.Threshold(30), 855600);
    EXPECT_EQ(core.Threshold(59), 6673000);
    EXPECT_EQ(core.Threshold(60), 7021100);
    for (int n = 2; n <= 60; ++n) {  // the closed form agrees everywhere
        EXPECT_EQ(core.Threshold(n), 100 + 100 * (n - 1) * n * (2 * n - 1) / 6) << n;
    }

    const std::string bytes = ReadBytes(folder.LevelTable());
    ASSERT_TRUE(bytes.size() == 59 * 128 || bytes.size() == 58 * 128 + 4) << bytes.size();
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x64\x00\x00\x00", 4));
    EXPECT_EQ(RecordValue(bytes, 59), 6673000);  // record 59 begins at 7424
    EXPECT_EQ(std::string(bytes.data() + 7424, 4), std::string("\x68\xD2\x65\x00", 4));
    for (std::size_t record = 1; record <= 59; ++record) {
        EXPECT_EQ(RecordValue(bytes, record), core.Threshold(record));
        for (std::size_t i = (record - 1) * 128 + 4; i < std::min(bytes.size(), record * 128);
             ++i) {
            ASSERT_EQ(bytes[i], '\0') << "record " << record << " byte " << i;
        }
    }
}

TEST(LevelTable, RebuildWritesInPlaceAndKeepsTheTailOfALongerFile) {
    TempProgramFolder folder;
    std::string old(80 * 128, '\x5A');
    WriteBytes(folder.LevelTable(), old);

    Core core(folder.Path());
    core.BuildLevelTable();

    const std::string bytes = ReadBytes(folder.LevelTable());
    ASSERT_EQ(bytes.size(), old.size());
    EXPECT_EQ(RecordValue(bytes, 1), 100);
    EXPECT_EQ(RecordValue(bytes, 59), 6673000);
    EXPECT_EQ(bytes.substr(59 * 128), old.substr(59 * 128));
}

TEST(LevelTable, MissingDataFolderStillGivesTheWholeTableInMemory) {
    TempProgramFolder folder(/*withDataFolder=*/false);
    Core core(folder.Path());
    core.BuildLevelTable();
    core.Level = 1;
    core.LoadLevelThreshold();

    EXPECT_EQ(core.Threshold(59), 6673000);
    EXPECT_EQ(core.Threshold(60), 7021100);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Data"));
}

TEST(LevelTable, LoadReadsOnlyTheCurrentLevelsRecord) {
    TempProgramFolder folder;
    WriteBytes(folder.LevelTable(), LevelTableBytes({11, 22, 33, 44, 55}));
    Core core(folder.Path());

    core.Level = 5;
    core.LoadLevelThreshold();
    EXPECT_EQ(core.Threshold(5), 55);
    EXPECT_EQ(core.Threshold(4), 0);

    // A last record that stops right after its four value bytes is still read;
    // one cut inside them reads nothing, and the value in memory is kept.
    std::string shortened = LevelTableBytes({11, 22, 70000});
    shortened.resize(2 * 128 + 4);
    WriteBytes(folder.LevelTable(), shortened);
    core.Level = 3;
    core.LoadLevelThreshold();
    EXPECT_EQ(core.Threshold(3), 70000);
    WriteBytes(folder.LevelTable(), LevelTableBytes({11, 22, 80000}).substr(0, 2 * 128 + 2));
    core.LoadLevelThreshold();
    EXPECT_EQ(core.Threshold(3), 70000);
}

TEST(LevelTable, LoadOutsideTheFileOrTheTableReadsNothing) {
    TempProgramFolder folder;
    Core builder(folder.Path());
    builder.BuildLevelTable();

    // Record 60 is never written: the value in memory is kept.
    builder.Level = 60;
    builder.LoadLevelThreshold();
    EXPECT_EQ(builder.Threshold(60), 7021100);

    Core core(folder.Path());
    for (std::int32_t level : {0, -3, 61, 1000}) {
        core.Level = level;
        EXPECT_NO_THROW(core.LoadLevelThreshold());
    }
    for (int n = 0; n <= 60; ++n) {
        EXPECT_EQ(core.Threshold(n), 0) << n;
    }
    EXPECT_THROW(core.Threshold(61), Failure);
    EXPECT_THROW(core.Threshold(-1), Failure);
}

TEST(LevelTable, LoadWithoutAFileCreatesAnEmptyOneAndReadsNothing) {
    TempProgramFolder folder;
    Core core(folder.Path());
    core.Level = 4;
    core.LoadLevelThreshold();
    EXPECT_EQ(core.Threshold(4), 0);
    EXPECT_TRUE(std::filesystem::exists(folder.LevelTable()));
    EXPECT_EQ(std::filesystem::file_size(folder.LevelTable()), 0U);
}

}  // namespace
}  // namespace tessaly
