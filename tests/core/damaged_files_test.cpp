// Progress and threshold files that are damaged, special or planted: none of
// them may cost the user's record, hang the program or redirect a save.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <set>

#include "child_process.h"
#include "core.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using testing::ChildCouldNotDropPrivileges;
using testing::GiveToUnprivilegedUser;
using testing::ReadBytes;
using testing::RunInChild;
using testing::TempProgramFolder;
using testing::WriteBytes;

std::set<std::string> DataNames(const TempProgramFolder& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path() / "Data")) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

fs::perms Mode(const fs::path& path) {
    return fs::symlink_status(path).permissions();
}

// A start, a refresh-free session and the Exit button's save; 0 when the run
// went on as a first run in memory.
int StartAndSaveAsFirstRun(const fs::path& programFolder) {
    Core core(programFolder);
    core.StartRun();
    core.Experience = 5000;
    core.SaveProgress();
    return core.Level == 1 && core.RunCount == 1 ? 0 : 10;
}

TEST(UnreadableRecord, ARecordWithoutReadPermissionIsNeverSavedOver) {
    TempProgramFolder folder;
    WriteBytes(folder.Progress(), "23,40,98765.5\r\n");
    fs::permissions(folder.Progress(), fs::perms::owner_write);
    GiveToUnprivilegedUser(folder.Path());

    const int code = RunInChild([&] { return StartAndSaveAsFirstRun(folder.Path()); },
                                /*unprivileged=*/true);
    if (code == ChildCouldNotDropPrivileges) {
        GTEST_SKIP() << "NOT TESTED: cannot drop root privileges, and root reads any file";
    }
    EXPECT_EQ(code, 0);
    fs::permissions(folder.Progress(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadBytes(folder.Progress()), "23,40,98765.5\r\n");
    EXPECT_EQ(DataNames(folder), (std::set<std::string>{"Data.dat", "Xdata.dat"}));
}

TEST(UnreadableRecord, ADirectoryFifoOrDanglingLinkIsKeptAndNothingIsSaved) {
    const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> kinds = {
        {"directory",
         [](const fs::path& p) {
             fs::create_directory(p);
             WriteBytes(p / "inside", "x");
         }},
        {"fifo", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"dangling link", [](const fs::path& p) { fs::create_symlink("gone.dat", p); }},
    };
    for (const auto& [kind, make] : kinds) {
        TempProgramFolder folder;
        make(folder.Progress());
        const auto typeBefore = fs::symlink_status(folder.Progress()).type();

        // A FIFO opened the blocking way would never return: the deadline catches that.
        EXPECT_EQ(RunInChild([&] { return StartAndSaveAsFirstRun(folder.Path()); }), 0) << kind;
        EXPECT_EQ(fs::symlink_status(folder.Progress()).type(), typeBefore) << kind;
        EXPECT_EQ(DataNames(folder), (std::set<std::string>{"Data.dat", "Xdata.dat"})) << kind;
    }
}

TEST(UnreadableRecord, ACopyAsideNeverReplacesAnEarlierCopy) {
    TempProgramFolder folder;
    const fs::path aside = folder.Path() / "Data" / "Xdata.dat.unreadable";
    WriteBytes(aside, "kept from last week");
    for (const char* damaged : {"first damage\r\n", "second damage\r\n"}) {
        WriteBytes(folder.Progress(), damaged);
        Core core(folder.Path());
        core.StartRun();
        EXPECT_EQ(core.RunCount, 1);
        EXPECT_EQ(ReadBytes(folder.Progress()), "1,1,0\r\n");
    }
    std::multiset<std::string> copies;
    for (const auto& entry : fs::directory_iterator(folder.Path() / "Data")) {
        if (entry.path().filename().string().starts_with("Xdata.dat.unreadable")) {
            copies.insert(ReadBytes(entry.path()));
        }
    }
    EXPECT_EQ(copies, (std::multiset<std::string>{"kept from last week", "first damage\r\n",
                                                  "second damage\r\n"}));
}

TEST(UnreadableRecord, ARecordThatCannotBeCopiedAsideIsNotReplaced) {
    TempProgramFolder folder;
    const std::string damaged(100, '#');
    WriteBytes(folder.Progress(), damaged);
    // Files may hold 16 bytes: room for a new record, none for the copy.
    const int code = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit small{16, 16};
        setrlimit(RLIMIT_FSIZE, &small);
        return StartAndSaveAsFirstRun(folder.Path());
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(folder.Progress()), damaged);
    EXPECT_EQ(DataNames(folder), (std::set<std::string>{"Data.dat", "Xdata.dat"}));
}

TEST(ReadOnlyRecord, IsKeptWithItsContentAndMode) {
    TempProgramFolder folder;
    WriteBytes(folder.Progress(), "9,3,120\r\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(folder.Progress(), readOnly);
    GiveToUnprivilegedUser(folder.Path());

    // Once as whoever runs the tests (root ignores the mode when it writes),
    // once as a plain user, whom the system itself refuses.
    for (const bool unprivileged : {false, true}) {
        const int code = RunInChild(
            [&] {
                Core core(folder.Path());
                core.StartRun();
                core.Experience = 99999;
                core.SaveProgress();
                return core.Level == 9 && core.RunCount == 4 ? 0 : 10;
            },
            unprivileged);
        if (code == ChildCouldNotDropPrivileges) {
            ADD_FAILURE() << "NOT TESTED as a plain user: cannot drop root privileges";
            continue;
        }
        EXPECT_EQ(code, 0) << unprivileged;
        EXPECT_EQ(ReadBytes(folder.Progress()), "9,3,120\r\n") << unprivileged;
        EXPECT_EQ(Mode(folder.Progress()), readOnly) << unprivileged;
        EXPECT_EQ(DataNames(folder), (std::set<std::string>{"Data.dat", "Xdata.dat"}));
    }
}

TEST(SaveProgress, KeepsTheRecordsModeAndSavesThroughALinkedRecord) {
    TempProgramFolder folder;
    WriteBytes(folder.Progress(), "4,2,10\r\n");
    const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(folder.Progress(), ownerOnly);
    Core core(folder.Path());
    core.StartRun();
    EXPECT_EQ(ReadBytes(folder.Progress()), "4,3,10\r\n");
    EXPECT_EQ(Mode(folder.Progress()), ownerOnly);

    // A record kept elsewhere behind a link: the link stays, the file behind it is saved.
    const fs::path elsewhere = folder.Path() / "synced.dat";
    fs::rename(folder.Progress(), elsewhere);
    fs::create_symlink(elsewhere, folder.Progress());
    Core linked(folder.Path());
    linked.StartRun();
    EXPECT_EQ(linked.RunCount, 4);
    EXPECT_TRUE(fs::is_symlink(folder.Progress()));
    EXPECT_EQ(ReadBytes(elsewhere), "4,4,10\r\n");
    EXPECT_EQ(Mode(elsewhere), ownerOnly);
}

TEST(SaveProgress, APlantedTemporaryNameIsNeitherFollowedNorInTheWay) {
    TempProgramFolder folder;
    const fs::path data = folder.Path() / "Data";
    const fs::path victim = folder.Path() / "victim.txt";
    WriteBytes(victim, "not the program's");
    WriteBytes(folder.Progress(), "2,1,150\r\n");
    fs::create_symlink(victim, data / "Xdata.dat.new");
    fs::create_directory(data / "Xdata.dat.new.1");
    fs::create_directory(data / "Xdata.dat.new.2");
    WriteBytes(data / "Xdata.dat.new.2" / "someone's", "file");
    WriteBytes(data / "Xdata.dat.new.12345.0", "7,7,");  // left by a killed save

    Core core(folder.Path());
    core.StartRun();
    core.Experience = 180;
    core.SaveProgress();

    EXPECT_EQ(ReadBytes(victim), "not the program's");
    EXPECT_EQ(ReadBytes(folder.Progress()), "2,2,180\r\n");
    // Stale leftovers are cleared; a folder with someone's files in it is left alone.
    EXPECT_EQ(DataNames(folder),
              (std::set<std::string>{"Data.dat", "Xdata.dat", "Xdata.dat.new.2"}));
}

TEST(LevelTable, AFifoOrFolderInsteadOfTheTableIsAFailedReadThatNeverBlocks) {
    for (const bool fifo : {true, false}) {
        TempProgramFolder folder;
        if (fifo) {
            ASSERT_EQ(mkfifo(folder.LevelTable().c_str(), 0644), 0);
        } else {
            fs::create_directory(folder.LevelTable());
        }
        WriteBytes(folder.Progress(), "3,2,5\r\n");
        const int code = RunInChild([&] {
            Core later(folder.Path());
            later.StartRun();  // reads T(3)
            later.ApplyLevelUp();
            Core first(folder.Path());
            first.BuildLevelTable();
            return later.Level == 4 && later.Threshold(3) == 0 && first.Threshold(59) == 6673000
                       ? 0
                       : 10;
        });
        EXPECT_EQ(code, 0) << (fifo ? "fifo" : "folder");
        EXPECT_EQ(fs::symlink_status(folder.LevelTable()).type(),
                  fifo ? fs::file_type::fifo : fs::file_type::directory);
    }
}

TEST(LevelTable, AMissingTableIsCreatedButNeverThroughALink) {
    TempProgramFolder folder;
    const fs::path target = folder.Path() / "elsewhere.dat";
    fs::create_symlink(target, folder.LevelTable());
    Core core(folder.Path());
    core.Level = 2;
    core.LoadLevelThreshold();
    core.BuildLevelTable();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(core.Threshold(59), 6673000);
}

}  // namespace
}  // namespace tessaly
