// The 收藏夹 and 历史记录 windows over their lists, and the 打开 dialog's
// completion from typed addresses, favourites and history.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "favourites_window.h"
#include "frmOpen.h"
#include "history_window.h"
#include "open_address.h"

using namespace tessaly;

namespace {

// The tree as text: one line per row, children indented.
QString TreeText(const QTreeWidget* tree, int column = 0) {
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        lines << item->text(column);
        for (int c = 0; c < item->childCount(); ++c) {
            lines << "  " + item->child(c)->text(column);
        }
    }
    return lines.join('\n');
}

}  // namespace

class KeepingWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void FavouritesButtonsChangeTheListAndOpenEntries() {
        QTemporaryDir program;
        Favourites favourites(ToStd(program.path()));
        favourites.Add("新闻", "http://news/");
        favourites.NewFolder("游戏");
        favourites.Add("天气", "http://weather/");

        QStringList answers;  // what the stand-in questions answer, in turn
        int confirmations = 0;
        FavouritesWindow::Questions questions;
        questions.askText = [&](QWidget*, const QString&, const QString&) {
            return std::optional<QString>(answers.takeFirst());
        };
        questions.askChoice = [&](QWidget*, const QString&, const QStringList& choices) {
            return std::optional<int>(int(choices.indexOf(answers.takeFirst())));
        };
        questions.confirm = [&](QWidget*, const QString&) { return ++confirmations, true; };
        FavouritesWindow window(favourites, nullptr, questions);
        QSignalSpy opened(&window, &FavouritesWindow::OpenAddress);
        QSignalSpy changed(&window, &FavouritesWindow::Changed);
        const auto click = [&](const char* name) { window.Button(name)->click(); };

        struct Step {
            std::function<void()> act;
            const char* tree;
        };
        const Step steps[] = {
            {[&] {
                 window.Select({2});
                 answers << "游戏";
                 click("intoFolder");
             },
             "新闻\n游戏\n  天气"},
            {[&] { click("outOfFolder"); }, "新闻\n游戏\n天气"},
            {[&] { click("up"); }, "新闻\n天气\n游戏"},
            {[&] {
                 click("up");
                 click("up");
             },
             "天气\n新闻\n游戏"},
            {[&] { click("down"); }, "新闻\n天气\n游戏"},
            {[&] {
                 answers << "晴天";
                 click("rename");
             },
             "新闻\n晴天\n游戏"},
            {[&] {
                 answers << "铃声";
                 click("newFolder");
             },
             "新闻\n晴天\n游戏\n铃声"},
            {[&] {
                 window.Select({0});
                 answers << "铃声";
                 click("intoFolder");
             },
             "晴天\n游戏\n铃声\n  新闻"},
            {[&] {
                 window.Select({2});
                 click("remove");
             },
             "晴天\n游戏"},
        };
        for (const Step& step : steps) {
            step.act();
            QCOMPARE(TreeText(window.Tree()), QString::fromUtf8(step.tree));
        }
        // Removing a folder with an entry in it asked first.
        QCOMPARE(confirmations, 1);
        QCOMPARE(changed.size(), 9);  // the second 上移 at the top changed nothing
        QCOMPARE(Outline(favourites), QStringLiteral("晴天 [游戏]"));

        // A folder does not open; an entry opens by button and by Enter.
        window.Select({1});
        QVERIFY(!window.Button("open")->isEnabled());
        QVERIFY(!window.Button("outOfFolder")->isEnabled());
        window.Select({0});
        QVERIFY(window.Button("intoFolder")->isEnabled());
        click("open");
        window.Tree()->setFocus();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(window.Tree(), Qt::Key_Return);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(1).at(0).toString(), QStringLiteral("http://weather/"));
    }

    void HistoryShowsDaysNewestFirstSearchesAndClearsOnlyWhenAsked() {
        qputenv("TZ", "CST-8");
        QTemporaryDir program;
        History history(ToStd(program.path()));
        const std::int64_t may1 = 1'714'521'600;                           // 2024-05-01 00:00 UTC
        history.Add("http://a.example/", "Alpha 体育", may1 + 15 * 3600);  // May 1, 23:00 local
        history.Add("http://b.example/", "", may1 + 17 * 3600);            // May 2, 01:00 local

        bool agree = false;
        int asked = 0;
        HistoryWindow window(history, nullptr, [&](QWidget*, const QString&) {
            ++asked;
            return agree;
        });
        QSignalSpy opened(&window, &HistoryWindow::OpenAddress);
        QCOMPARE(TreeText(window.Tree(), 1),
                 QStringLiteral("\n  http://b.example/\n\n  Alpha 体育"));
        QVERIFY(window.Tree()->topLevelItem(0)->text(0).startsWith(QStringLiteral("2024年5月2日")));
        QVERIFY(window.Tree()->topLevelItem(1)->text(0).startsWith(QStringLiteral("2024年5月1日")));

        window.SearchBox()->setText(QStringLiteral("ALPHA"));
        QCOMPARE(TreeText(window.Tree(), 2), QStringLiteral("\n  http://a.example/"));
        window.Tree()->setCurrentItem(window.Tree()->topLevelItem(0)->child(0));
        window.Button("open")->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), QStringLiteral("http://a.example/"));

        window.Button("clear")->click();  // the user says no
        QCOMPARE(history.Visits().size(), std::size_t(2));
        agree = true;
        window.Button("clear")->click();
        QCOMPARE(asked, 2);
        QVERIFY(history.Visits().empty());
        QCOMPARE(window.Tree()->topLevelItemCount(), 0);
        qunsetenv("TZ");
    }

    void CompletionMergesMatchesAndRanks() {
        const QList<AddressCandidate> favourites = {
            {"http://wap.sports.example/", "体育频道", AddressCandidate::Source::Favourite},
            {"http://games.example/list", "Games", AddressCandidate::Source::Favourite},
        };
        const QList<AddressCandidate> history = {
            {"http://wap.sports.example", "", AddressCandidate::Source::History},  // a favourite
            {"http://www.news.example/sports", "News", AddressCandidate::Source::History},
            {"http://news.example/", "新闻", AddressCandidate::Source::History},
        };
        const QStringList typed = {"news.example", "WAP.SPORTS.EXAMPLE"};
        const QList<AddressCandidate> merged = MergeAddresses(typed, favourites, history);
        QStringList addresses;
        for (const auto& candidate : merged) {
            addresses << candidate.address;
        }
        QCOMPARE(addresses,
                 QStringList({"news.example", "WAP.SPORTS.EXAMPLE", "http://games.example/list",
                              "http://www.news.example/sports"}));

        const struct {
            const char* typed;
            QStringList offered;
        } cases[] = {
            {"news", {"news.example", "http://www.news.example/sports"}},
            {"sports", {"WAP.SPORTS.EXAMPLE", "http://www.news.example/sports"}},
            {"wap.", {"WAP.SPORTS.EXAMPLE"}},
            {"games", {"http://games.example/list"}},
            {"list", {"http://games.example/list"}},
            {"http://g", {"http://games.example/list"}},
            {"", {}},
            {"nothing", {}},
        };
        for (const auto& c : cases) {
            QCOMPARE(MatchAddresses(QString::fromUtf8(c.typed), merged, 10), c.offered);
        }
        // A title matches; the address is what is offered.
        const QList<AddressCandidate> titled = MergeAddresses({}, favourites, {});
        QCOMPARE(MatchAddresses(QStringLiteral("体育"), titled, 10),
                 QStringList({"http://wap.sports.example/"}));
        QCOMPARE(MatchAddresses(QStringLiteral("example"), merged, 2).size(), 2);
        // An address that begins with the text comes before one that only holds it.
        const QList<AddressCandidate> ranked =
            MergeAddresses({"http://a.example/news"}, {},
                           {{"http://www.news.example/", "", AddressCandidate::Source::History}});
        QCOMPARE(MatchAddresses(QStringLiteral("news"), ranked, 10),
                 QStringList({"http://www.news.example/", "http://a.example/news"}));
    }

    void TheOpenDialogOffersMatchesAsTheUserTypes() {
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("Data"));
        frmOpen dialog(nullptr, program.path(), [](const QString&) {});
        dialog.SetKnownAddresses([] {
            return std::pair<QList<AddressCandidate>, QList<AddressCandidate>>(
                {{"http://fav.example/card.wml#c2", "收藏的卡片",
                  AddressCandidate::Source::Favourite}},
                {{"http://seen.example/", "看过", AddressCandidate::Source::History}});
        });
        dialog.Form_Load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(dialog.AddressBox()->lineEdit(), "example");
        QAbstractItemModel* offered = dialog.Completer()->completionModel();
        QCOMPARE(offered->rowCount(), 2);
        QCOMPARE(offered->index(0, 0).data().toString(),
                 QStringLiteral("http://fav.example/card.wml#c2"));
        QVERIFY(dialog.Completer()->popup()->isVisible());
    }

private:
    static std::filesystem::path ToStd(const QString& path) { return path.toStdString(); }

    static QString Outline(const Favourites& favourites) {
        QStringList parts;
        for (const FavouriteItem& item : favourites.Items()) {
            parts << (item.isFolder ? "[" + QString::fromStdString(item.title) + "]"
                                    : QString::fromStdString(item.title));
        }
        return parts.join(' ');
    }
};

QTEST_MAIN(KeepingWindowsTest)
#include "keeping_windows_test.moc"
