#include <gtest/gtest.h>

#include <sys/resource.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <locale>

#include "child_process.h"
#include "core.h"
#include "progress_line.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

using testing::LevelTableBytes;
using testing::ReadBytes;
using testing::TempProgramFolder;
using testing::WriteBytes;

TEST(StartRun, NoRecordIsAFirstRun) {
    TempProgramFolder folder;
    Core core(folder.Path());
    core.StartRun();

    EXPECT_EQ(core.Level, 1);
    EXPECT_EQ(core.RunCount, 1);
    EXPECT_EQ(core.Experience, 0.0);
    EXPECT_EQ(core.Threshold(1), 100);
    EXPECT_EQ(ReadBytes(folder.Progress()), std::string("\x31\x2C\x31\x2C\x30\x0D\x0A"));
    EXPECT_EQ(std::filesystem::file_size(folder.LevelTable()) / 128, 59U);
}

TEST(StartRun, StoredRecordIsCountedAndItsThresholdRead) {
    TempProgramFolder folder;
    // A table that a rebuild would overwrite: record 7 holds 777.
    const std::string table = LevelTableBytes({1, 2, 3, 4, 5, 6, 777, 8});
    WriteBytes(folder.LevelTable(), table);
    WriteBytes(folder.Progress(), "7,4,12345.5\r\n");

    Core core(folder.Path());
    core.StartRun();

    EXPECT_EQ(core.Level, 7);
    EXPECT_EQ(core.RunCount, 5);
    EXPECT_EQ(core.Experience, 12345.5);
    EXPECT_EQ(core.Threshold(7), 777);
    EXPECT_EQ(core.Threshold(1), 0);
    EXPECT_EQ(ReadBytes(folder.Progress()), "7,5,12345.5\r\n");
    EXPECT_EQ(ReadBytes(folder.LevelTable()), table);

    // A record is read up to 4096 bytes: blanks an editor left before a
    // field do not cut it off.
    WriteBytes(folder.Progress(), "7,4," + std::string(4000, ' ') + "2.5\r\n");
    Core padded(folder.Path());
    padded.StartRun();
    EXPECT_EQ(padded.Experience, 2.5);
}

TEST(StartRun, RunCountZeroOrMissingDiscardsTheStoredLevel) {
    for (const char* stored : {"9,0,500\r\n", "9\r\n", "", "garbage"}) {
        TempProgramFolder folder;
        WriteBytes(folder.Progress(), stored);
        Core core(folder.Path());
        core.StartRun();
        EXPECT_EQ(core.Level, 1) << stored;
        EXPECT_EQ(core.RunCount, 1) << stored;
        EXPECT_EQ(core.Experience, 0.0) << stored;
        EXPECT_EQ(ReadBytes(folder.Progress()), "1,1,0\r\n") << stored;
    }
}

TEST(StartRun, ARecordThatCannotBeReadIsKeptAsideAndABomIsSkipped) {
    TempProgramFolder folder;
    WriteBytes(folder.Progress(), "level 9, lots of points\r\n");
    Core damaged(folder.Path());
    damaged.StartRun();
    EXPECT_EQ(damaged.RunCount, 1);
    EXPECT_EQ(ReadBytes(folder.Path() / "Data" / "Xdata.dat.unreadable"),
              "level 9, lots of points\r\n");

    WriteBytes(folder.Progress(),
               "\xEF\xBB\xBF"
               "9,4,77\r\n");  // saved by Notepad
    Core edited(folder.Path());
    edited.StartRun();
    EXPECT_EQ(edited.Level, 9);
    EXPECT_EQ(edited.RunCount, 5);
}

TEST(StartRun, MissingDataFolderMakesEveryStartAFirstRunAndCreatesNothing) {
    TempProgramFolder folder(/*withDataFolder=*/false);
    for (int start = 0; start < 2; ++start) {
        Core core(folder.Path());
        core.StartRun();
        EXPECT_EQ(core.RunCount, 1);
        EXPECT_EQ(core.Threshold(59), 6673000);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(StartRun, StoredLevelOutsideTheTableIsKeptUnvalidated) {
    for (std::int32_t level : {0, 61, -3}) {
        TempProgramFolder folder;
        WriteBytes(folder.Progress(), std::to_string(level) + ",2,10\r\n");
        Core core(folder.Path());
        core.StartRun();
        EXPECT_EQ(core.Level, level);
        EXPECT_EQ(core.RunCount, 3);
    }
}

TEST(ProgressLine, ReaderAcceptsBlanksAndLeadingPointsAndStopsAtTheFirstBadField) {
    const auto read = [](std::string_view text) {
        ProgressValues values{-1, -1, -1.0};
        ReadProgressLine(text, values);
        return values;
    };
    auto v = read(" 3 ,\t12, .5\r\n");
    EXPECT_EQ(v.level, 3);
    EXPECT_EQ(v.runCount, 12);
    EXPECT_EQ(v.experience, 0.5);
    EXPECT_EQ(read("3,12,0.5").experience, 0.5);
    EXPECT_EQ(read("3,12,-.25,extra fields ignored").experience, -0.25);
    EXPECT_EQ(read("3,12\r\n4,5,6\r\n").experience, -1.0);  // only the first line counts

    // A field that is no number fails, and so do the fields after it.
    for (const char* bad : {"x", "\"3\"", "nan", "inf", "-inf", "1e999", "2147483648", "", "3x"}) {
        v = read(std::string("7,") + bad + ",9");
        EXPECT_EQ(v.level, 7) << bad;
        EXPECT_EQ(v.runCount, -1) << bad;
        EXPECT_EQ(v.experience, -1.0) << bad;
    }
    // Whole numbers round to the nearest, ties to even, over the whole
    // 32-bit range.
    const struct {
        const char* text;
        std::int32_t level;
        std::int32_t runCount;
    } wholes[] = {
        {"4.5,2.5,1", 4, 2},
        {"3.5,2.7,1", 4, 3},
        {"-1.5,-2.2,1", -2, -2},
        {"2147483647,-2147483648,1", 2147483647, -2147483647 - 1},
    };
    for (const auto& whole : wholes) {
        v = read(whole.text);
        EXPECT_EQ(v.level, whole.level) << whole.text;
        EXPECT_EQ(v.runCount, whole.runCount) << whole.text;
    }
}

TEST(ProgressLine, WriterUsesAPointWholeValuesWithoutOneAndRoundTrips) {
    EXPECT_EQ(FormatProgressLine({1, 1, 0.0}), "1,1,0\r\n");
    EXPECT_EQ(FormatProgressLine({60, 123, 6673000.0}), "60,123,6673000\r\n");
    EXPECT_EQ(FormatProgressLine({2, 3, -0.00025}), "2,3,-0.00025\r\n");
    EXPECT_EQ(FormatProgressLine({2, 3, 1e21}), "2,3,1000000000000000000000\r\n");

    double experience = 0;
    for (int i = 0; i < 1000; ++i) {
        experience += 0.7;  // the status-text award at level 7
    }
    ProgressValues back;
    ReadProgressLine(FormatProgressLine({7, 2, experience}), back);
    EXPECT_EQ(back.experience, experience);
}

// A locale whose decimal separator is a comma, as in much of Europe. The set-up
// installs every locale (Debian package locales-all); without one this test
// would prove nothing, so it fails.
std::string CommaDecimalLocale() {
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            const bool comma = std::string(std::localeconv()->decimal_point) == ",";
            std::setlocale(LC_NUMERIC, "C");
            if (comma) {
                return name;
            }
        }
    }
    return {};
}

TEST(ProgressLine, DecimalPointDoesNotFollowTheUsersLocale) {
    const std::string name = CommaDecimalLocale();
    ASSERT_FALSE(name.empty()) << "No comma-decimal locale is installed (Debian package "
                                  "locales-all, installed by scripts/setup): this test cannot "
                                  "prove anything without one.";
    // Both the C locale and the C++ global locale, as a program that follows
    // the user's settings would have them.
    const std::locale previous = std::locale::global(std::locale(name));
    std::setlocale(LC_ALL, name.c_str());
    const std::string line = FormatProgressLine({7, 5, 12345.5});
    ProgressValues back;
    ReadProgressLine("7,5,12345.5", back);
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 0.5);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");

    ASSERT_EQ(std::string(printed), "0,5") << "the locale in use does not write a comma";
    EXPECT_EQ(line, "7,5,12345.5\r\n");
    EXPECT_EQ(back.experience, 12345.5);
}

TEST(SaveProgress, AFailedSaveLeavesThePreviousRecordWhole) {
    TempProgramFolder folder;
    WriteBytes(folder.Progress(), "12,8,3333.5\r\n");
    const auto save = [&] {
        Core core(folder.Path());
        core.Level = 13;
        core.RunCount = 9;
        core.Experience = 4000;
        core.SaveProgress();
        return 0;
    };
    // No file may grow at all: the new record cannot be written.
    const int code = testing::RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        setrlimit(RLIMIT_FSIZE, &none);
        return save();
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(folder.Progress()), "12,8,3333.5\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path() / "Data"),
                            std::filesystem::directory_iterator()),
              1);

    save();
    EXPECT_EQ(ReadBytes(folder.Progress()), "13,9,4000\r\n");
}

}  // namespace
}  // namespace tessaly
