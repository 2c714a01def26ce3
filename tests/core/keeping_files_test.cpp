// The favourites and history files: what is written reads back the same, a
// damaged file is kept aside and the program goes on, the bounds hold, and
// nothing is written without a Data folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>

#include "favourites.h"
#include "history.h"
#include "temp_folder.h"

namespace tessaly {
namespace {

using testing::ReadBytes;
using testing::TempProgramFolder;
using testing::WriteBytes;

constexpr std::int64_t Now = 1'714'560'000;  // 2024-05-01 10:40 UTC
constexpr std::int64_t Day = 24 * 60 * 60;

// The favourites as one line of text: folders in brackets, entries title=address.
std::string Outline(const Favourites& favourites) {
    std::string text;
    for (const FavouriteItem& item : favourites.Items()) {
        if (item.isFolder) {
            text += "[" + item.title + ":";
            for (const Favourite& entry : item.entries) {
                text += " " + entry.title + "=" + entry.address;
            }
            text += "] ";
        } else {
            text += item.title + "=" + item.address + " ";
        }
    }
    return text;
}

TEST(FavouritesFile, WhatIsSavedReadsBackTheSame) {
    TempProgramFolder folder;
    Favourites favourites(folder.Path());
    ASSERT_TRUE(favourites.Add("新闻\t头条\\今日", "http://wap.example.com/news.wml#card2"));
    const auto games = favourites.NewFolder("游戏\n下载");
    ASSERT_TRUE(games);
    ASSERT_TRUE(favourites.Add("Java 游戏", "http://wap.example.com/g?a=1&b=2", games->item));
    ASSERT_TRUE(favourites.Add("", "file:///tmp/本地.wml"));
    ASSERT_TRUE(favourites.Save());
    EXPECT_TRUE(ReadBytes(favourites.Path()).starts_with("Tessaly favourites 1\n"));

    Favourites again(folder.Path());
    again.Load();
    // A tab and a line end in a name become spaces when it is added.
    EXPECT_EQ(Outline(again),
              "新闻 头条\\今日=http://wap.example.com/news.wml#card2 "
              "[游戏 下载: Java 游戏=http://wap.example.com/g?a=1&b=2] =file:///tmp/本地.wml ");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Data" / "Favourites.txt.damaged"));
}

TEST(FavouritesFile, ChangesKeepTheUsersOrder) {
    TempProgramFolder folder;
    Favourites f(folder.Path());
    f.Add("a", "http://a/");
    const auto box = f.NewFolder("box");
    f.Add("b", "http://b/");
    f.Add("c", "http://c/");
    EXPECT_EQ(Outline(f), "a=http://a/ [box:] b=http://b/ c=http://c/ ");

    struct Step {
        std::function<bool()> change;
        const char* outline;
    };
    const Step steps[] = {
        {[&] { return f.MoveUp({3}).has_value(); }, "a=http://a/ [box:] c=http://c/ b=http://b/ "},
        {[&] { return !f.MoveDown({3}); }, "a=http://a/ [box:] c=http://c/ b=http://b/ "},
        {[&] { return !f.MoveUp({0}); }, "a=http://a/ [box:] c=http://c/ b=http://b/ "},
        {[&] {
             return f.MoveIntoFolder({0}, box->item) == FavouritePlace{0, 0};
         },
         "[box: a=http://a/] c=http://c/ b=http://b/ "},
        {[&] {
             return f.MoveIntoFolder({2}, 0) == FavouritePlace{0, 1};
         },
         "[box: a=http://a/ b=http://b/] c=http://c/ "},
        {[&] {
             return f.MoveUp({0, 1}) == FavouritePlace{0, 0};
         },
         "[box: b=http://b/ a=http://a/] c=http://c/ "},
        {[&] { return !f.MoveIntoFolder({0}, 0); }, "[box: b=http://b/ a=http://a/] c=http://c/ "},
        {[&] {
             return f.MoveOutOfFolder({0, 0}) == FavouritePlace{1};
         },
         "[box: a=http://a/] b=http://b/ c=http://c/ "},
        {[&] {
             return f.Rename({0, 0}, "A\tA");
         },
         "[box: A A=http://a/] b=http://b/ c=http://c/ "},
        {[&] { return f.Rename({0}, "盒子"); }, "[盒子: A A=http://a/] b=http://b/ c=http://c/ "},
        {[&] {
             return !f.Rename({0, 5}, "x") && !f.Remove({7});
         },
         "[盒子: A A=http://a/] b=http://b/ c=http://c/ "},
        {[&] {
             return f.Add("d", "http://d/", 0) == FavouritePlace{0, 1};
         },
         "[盒子: A A=http://a/ d=http://d/] b=http://b/ c=http://c/ "},
        {[&] { return !f.Add("e", "http://e/", 1) && !f.Add("blank", ""); },
         "[盒子: A A=http://a/ d=http://d/] b=http://b/ c=http://c/ "},
        {[&] { return f.Remove({0}); }, "b=http://b/ c=http://c/ "},
    };
    for (const Step& step : steps) {
        EXPECT_TRUE(step.change()) << step.outline;
        EXPECT_EQ(Outline(f), step.outline);
    }
}

// Damaged files of both kinds, and what reading them leaves.
TEST(KeptFiles, ADamagedFileIsKeptAsideAndTheRestIsRead) {
    struct Case {
        const char* what;
        bool history;
        std::string bytes;
        std::size_t readable;  // items or visits still read
    };
    const std::string visit = std::to_string(Now) + "\tT\thttp://x/\n";
    const Case cases[] = {
        {"not the format", false, "garbage\nE\tt\thttp://a/\n", 0},
        {"a later version", false, "Tessaly favourites 2\nE\tt\thttp://a/\n", 0},
        {"random bytes", true, std::string("\x00\xff\x13\n\x80", 5), 0},
        {"invalid UTF-8", false, "Tessaly favourites 1\nE\t\xC3\x28\thttp://a/\nE\tok\thttp://b/\n",
         1},
        {"an overlong sequence", false, "Tessaly favourites 1\nE\t\xC0\xAF\thttp://a/\n", 0},
        {"an unknown escape", false, "Tessaly favourites 1\nE\tt\\q\thttp://a/\nE\tt\thttp://b/\n",
         1},
        {"an extra field", false, "Tessaly favourites 1\nE\tt\thttp://a/\tx\n", 0},
        {"an entry of no folder", false, "Tessaly favourites 1\nI\tt\thttp://a/\n", 0},
        {"an unknown kind", false, "Tessaly favourites 1\nX\tt\thttp://a/\nF\tf\n", 1},
        {"no address", false, "Tessaly favourites 1\nE\tt\t\n", 0},
        {"a time that is no number", true, "Tessaly history 1\n12x\tT\thttp://x/\n" + visit, 1},
        {"a missing field", true, "Tessaly history 1\n" + std::to_string(Now) + "\tT\n" + visit, 1},
        {"past the size bound", true,
         "Tessaly history 1\n" + visit + std::string(History::MaxFileBytes, 'x') + "\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempProgramFolder folder;
        Favourites favourites(folder.Path());
        History history(folder.Path());
        const auto path = c.history ? history.Path() : favourites.Path();
        WriteBytes(path, c.bytes);
        std::size_t read = 0;
        if (c.history) {
            history.Load(Now);
            read = history.Visits().size();
            history.Add("http://new/", "new", Now + 1);
            EXPECT_TRUE(history.Save());
        } else {
            favourites.Load();
            read = favourites.Count();
            favourites.Add("new", "http://new/");
            EXPECT_TRUE(favourites.Save());
        }
        EXPECT_EQ(read, c.readable);
        auto aside = path;
        aside += ".damaged";
        EXPECT_EQ(ReadBytes(aside), c.bytes);
        EXPECT_NE(ReadBytes(path).find("http://new/"), std::string::npos);
    }
}

TEST(KeptFiles, AGoodFileIsNotKeptAsideAndEarlierCopiesStay) {
    TempProgramFolder folder;
    Favourites favourites(folder.Path());
    const std::string good = "\xEF\xBB\xBFTessaly favourites 1\r\nF\tf\r\nI\tt\thttp://a/\r\n\n";
    WriteBytes(favourites.Path(), good);
    favourites.Load();
    EXPECT_EQ(Outline(favourites), "[f: t=http://a/] ");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Data" / "Favourites.txt.damaged"));

    // Damaged twice: the second copy does not replace the first.
    for (const char* damaged : {"first", "second"}) {
        WriteBytes(favourites.Path(), damaged);
        favourites.Load();
        favourites.Save();
    }
    EXPECT_EQ(ReadBytes(folder.Path() / "Data" / "Favourites.txt.damaged"), "first");
    EXPECT_EQ(ReadBytes(folder.Path() / "Data" / "Favourites.txt.damaged.1"), "second");
}

TEST(KeptFiles, AFileThatCannotBeReadIsNeverWrittenOver) {
    TempProgramFolder folder;
    Favourites favourites(folder.Path());
    std::filesystem::create_directory(favourites.Path());
    WriteBytes(favourites.Path() / "inside", "x");
    favourites.Load();
    EXPECT_EQ(favourites.Count(), 0U);
    favourites.Add("t", "http://a/");
    EXPECT_FALSE(favourites.Save());
    EXPECT_EQ(ReadBytes(favourites.Path() / "inside"), "x");
}

TEST(KeptFiles, NothingIsWrittenWithoutADataFolder) {
    TempProgramFolder folder(false);
    Favourites favourites(folder.Path());
    History history(folder.Path());
    favourites.Load();
    history.Load(Now);
    favourites.Add("t", "http://a/");
    history.Add("http://a/", "t", Now);
    EXPECT_FALSE(favourites.Save());
    EXPECT_FALSE(history.Save());
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Data"));
}

TEST(HistoryFile, WhatIsSavedReadsBackTheSame) {
    TempProgramFolder folder;
    History history(folder.Path());
    history.Load(Now);
    EXPECT_TRUE(history.Add("http://wap.example.com/a.wml#c1", "", Now - 60));
    EXPECT_TRUE(history.SetTitle("http://wap.example.com/a.wml#c1", "第一\\张\r卡"));
    EXPECT_FALSE(history.SetTitle("http://other/", "not the newest visit"));
    EXPECT_TRUE(history.Add("http://wap.example.com/a.wml#c2", "第二张", Now));
    EXPECT_FALSE(history.Add("", "no address", Now));
    ASSERT_TRUE(history.Save());

    History again(folder.Path());
    again.Load(Now);
    ASSERT_EQ(again.Visits().size(), 2U);
    EXPECT_EQ(again.Visits()[0].title, "第一\\张 卡");
    EXPECT_EQ(again.Visits()[0].time, Now - 60);
    EXPECT_EQ(again.Visits()[1].address, "http://wap.example.com/a.wml#c2");

    // A reload is the same visit, moved to its new time, keeping its title.
    again.Add("http://wap.example.com/a.wml#c2", "", Now + 5);
    ASSERT_EQ(again.Visits().size(), 2U);
    EXPECT_EQ(again.Visits()[1].time, Now + 5);
    EXPECT_EQ(again.Visits()[1].title, "第二张");
}

TEST(HistoryFile, TheOldestVisitsGoFirst) {
    TempProgramFolder folder;
    History history(folder.Path());
    history.Load(Now);
    for (std::size_t i = 0; i < History::MaxVisits + 3; ++i) {
        history.Add("http://site/" + std::to_string(i), "", Now + static_cast<std::int64_t>(i));
    }
    ASSERT_EQ(history.Visits().size(), History::MaxVisits);
    EXPECT_EQ(history.Visits().front().address, "http://site/3");
    EXPECT_EQ(history.Visits().back().address, "http://site/5002");

    // Past 90 days a visit goes, at the next load as at the next visit.
    WriteBytes(history.Path(), "Tessaly history 1\n" + std::to_string(Now - 91 * Day) +
                                   "\told\thttp://old/\n" + std::to_string(Now - 89 * Day) +
                                   "\tkept\thttp://kept/\n");
    history.Load(Now);
    ASSERT_EQ(history.Visits().size(), 1U);
    EXPECT_EQ(history.Visits()[0].address, "http://kept/");
    history.Add("http://new/", "", Now + 2 * Day);
    ASSERT_EQ(history.Visits().size(), 1U);

    // The size bound: long visits push the oldest out before the count does.
    history.Clear();
    const std::string title(History::MaxTitleBytes + 100, 't');
    for (int i = 0; i < 3000; ++i) {
        history.Add("http://long/" + std::to_string(i), title, Now);
    }
    history.Save();
    EXPECT_LE(std::filesystem::file_size(history.Path()), History::MaxFileBytes);
    EXPECT_EQ(history.Visits().back().title.size(), History::MaxTitleBytes);
    EXPECT_EQ(history.Visits().back().address, "http://long/2999");
}

TEST(FavouritesFile, BoundsHold) {
    TempProgramFolder folder;
    Favourites favourites(folder.Path());
    for (std::size_t i = 0; i < Favourites::MaxItems; ++i) {
        ASSERT_TRUE(favourites.Add("t", "http://s/" + std::to_string(i)));
    }
    EXPECT_FALSE(favourites.Add("one too many", "http://s/x"));
    EXPECT_FALSE(favourites.NewFolder("one too many"));
    favourites.Save();

    // A file with more than the bound, or of long entries past 1 MB.
    WriteBytes(favourites.Path(), ReadBytes(favourites.Path()) + "E\tt\thttp://over/\n");
    favourites.Load();
    EXPECT_EQ(favourites.Count(), Favourites::MaxItems);
    EXPECT_TRUE(std::filesystem::exists(folder.Path() / "Data" / "Favourites.txt.damaged"));

    favourites.Load();
    while (favourites.Count() > 100) {
        favourites.Remove({0});
    }
    const std::string address = "http://s/" + std::string(Favourites::MaxAddressBytes - 20, 'a');
    std::size_t added = 0;
    while (favourites.Add("t", address + std::to_string(added))) {
        ++added;
    }
    EXPECT_LT(added, 130U);
    EXPECT_FALSE(favourites.Add("t", "http://s/" + std::string(Favourites::MaxAddressBytes, 'a')));
    favourites.Save();
    EXPECT_LE(std::filesystem::file_size(favourites.Path()), Favourites::MaxFileBytes);
}

TEST(HistoryFile, SearchAndDaysFollowTheLocalClock) {
    // Eight hours east of UTC, with no time zone files needed.
    const char* oldZone = std::getenv("TZ");
    const std::string saved = oldZone ? oldZone : "";
    ::setenv("TZ", "CST-8", 1);
    ::tzset();

    TempProgramFolder folder;
    History history(folder.Path());
    history.Load(Now);
    const std::int64_t may1 = 1'714'521'600;                                // 2024-05-01 00:00 UTC
    history.Add("http://wap.Example.com/", "体育 News", may1 + 15 * 3600);  // 23:00 local, May 1
    history.Add("http://b/", "Weather", may1 + 17 * 3600);                  // 01:00 local, May 2
    history.Add("http://c/", "体育", may1 + 18 * 3600);                     // 02:00 local, May 2

    const std::vector<std::size_t> none;
    EXPECT_EQ(history.Search("EXAMPLE"), std::vector<std::size_t>{0});
    EXPECT_EQ(history.Search("news"), std::vector<std::size_t>{0});
    EXPECT_EQ(history.Search("体育"), (std::vector<std::size_t>{2, 0}));
    EXPECT_EQ(history.Search(""), (std::vector<std::size_t>{2, 1, 0}));
    EXPECT_EQ(history.Search("nothing"), none);

    const auto days = history.GroupByLocalDay(history.Search(""));
    ASSERT_EQ(days.size(), 2U);
    EXPECT_EQ(days[0].day, 2);
    EXPECT_EQ(days[0].visits, (std::vector<std::size_t>{2, 1}));
    EXPECT_EQ(days[1].day, 1);
    EXPECT_EQ(days[1].visits, std::vector<std::size_t>{0});

    if (oldZone) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace
}  // namespace tessaly
