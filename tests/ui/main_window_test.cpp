// The main window's load, clicks, browser events and saving, with a
// recording browser and desktop opener.

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <optional>

#include "constants.h"
#include "core.h"
#include "experience_bar.h"
#include "fonts.h"
#include "frmAbout.h"
#include "frmWap.h"
#include "frmWel.h"
#include "pointers.h"
#include "skin_button.h"
#include "stand_ins.h"
#include "temp_folder.h"
#include "termination_signals.h"

using namespace tessaly;
using testing::FakeBrowser;
using testing::ReadBytes;
using testing::RecordingShell;
using testing::TempProgramFolder;
using testing::WhenModalOpens;

namespace {

// A program folder and a main window over it, as after the splash: the
// first start, or a later one at the given level and experience.
struct Session {
    TempProgramFolder folder;
    Core core{folder.Path()};
    RecordingShell shell;
    FakeBrowser* browser = new FakeBrowser;
    int endProgramCalls = 0;
    std::optional<frmWap> window;

    explicit Session(std::optional<std::pair<int, double>> laterRun = std::nullopt) {
        if (laterRun) {
            Core earlier(folder.Path());
            earlier.StartRun();
            earlier.Level = laterRun->first;
            earlier.Experience = laterRun->second;
            earlier.SaveProgress();
        }
        core.StartRun();
        window.emplace(core, shell, browser, [this] { ++endProgramCalls; });
    }

    QString FolderText() const { return QString::fromStdString(folder.Path().string()); }
    QString Text(const char* label) const {
        return window->NamedControls().Get<QLabel>(label)->text();
    }
    void Click(const char* control) {
        QTest::mouseClick(window->NamedControls()[control], Qt::LeftButton);
    }
    std::string SavedRecord() const { return ReadBytes(folder.Progress()); }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallProgramFonts(); }

    void ALaterStartLoadsWithoutGreetingOrRefreshing() {
        Session session({{1, 0.0}});
        session.window->Show();
        QVERIFY(session.window->isVisible());
        QCOMPARE(session.window->windowTitle(),
                 QStringLiteral("Tessaly － www.tessaly.example    V2008I版"));
        QCOMPARE(session.window->size(), QSize(695, 564));
        QCOMPARE(session.window->NamedControls().Get<SkinButton>("Webban")->Caption(),
                 QStringLiteral("更方便地\r下载游戏"));
        QCOMPARE(session.browser->calls, QStringList{"Navigate " + QString::fromUtf8(HomePageUrl)});
        QVERIFY(!session.window->NamedControls()["hou"]->isEnabled());
        QVERIFY(!session.window->NamedControls()["qian"]->isEnabled());
        QCOMPARE(session.Text("sta"), QStringLiteral("请稍等"));
        QCOMPARE(session.Text("toux"), QStringLiteral("往往往往"));
        QCOMPARE(session.Text("pai"), QStringLiteral("9999999"));
        QCOMPARE(session.Text("deng"), QString());
        QVERIFY(session.shell.calls.isEmpty());
    }

    void ButtonsShowTheDefaultArrowAndOnlyLinksTheHand() {
        Session session({{1, 0.0}});
        session.window->Show();
        const Controls& controls = session.window->NamedControls();
        const auto picture = [](const QCursor& cursor) { return cursor.pixmap().toImage(); };
        for (const char* name : {"shou", "hou", "qian", "ting", "xin", "guan", "tui"}) {
            QVERIFY2(controls[name]->cursor().shape() == Qt::ArrowCursor, name);
        }
        for (const char* name : {"Webban", "help", "Image2", "Ad01", "Ad02", "Ad03"}) {
            QVERIFY2(picture(controls[name]->cursor()) == picture(LinkPointer()), name);
        }
        // Everything else shows the window's own arrow.
        for (const char* name : {"sta", "toux", "Image3", "exp"}) {
            QVERIFY2(picture(controls[name]->cursor()) == picture(ArrowPointer()), name);
        }
    }

    void TheFirstStartGreetsBeforeTheMainWindowAndKeepsHandlingEvents() {
        Session session;
        bool checked = false;
        WhenModalOpens([&](QWidget* modal) {
            QVERIFY(qobject_cast<frmWel*>(modal));
            QCOMPARE(modal->parentWidget(), &*session.window);
            QVERIFY(!session.window->isVisible());
            QCOMPARE(session.browser->calls.size(), 1);  // the home page is already on its way
            emit session.browser->StatusTextChange(QStringLiteral("正在打开网页"));
            QCOMPARE(session.Text("toux"), QStringLiteral("新兵"));
            QTest::mouseClick(static_cast<frmWel*>(modal)->NamedControls()["help2"],
                              Qt::LeftButton);
            checked = true;
        });
        session.window->Show();
        QVERIFY(checked);
        QVERIFY(session.window->isVisible());
        QCOMPARE(session.shell.Targets(),
                 QStringList{session.FolderText() + QStringLiteral("/help/help.htm")});
    }

    void TheFirstStatusChangeFillsTheProgressDisplay() {
        Session session;
        emit session.browser->StatusTextChange(QString());
        auto* bar = session.window->NamedControls().Get<ExperienceBar>("exp");
        QCOMPARE(session.Text("pai"), QStringLiteral("1143849"));
        QCOMPARE(session.Text("toux"), QStringLiteral("新兵"));
        QCOMPARE(session.Text("deng"), QStringLiteral("〓∨〓"));
        QCOMPARE(session.window->NamedControls()["deng"]->toolTip(), QStringLiteral("Lv. 1"));
        QCOMPARE(bar->toolTip(), QStringLiteral("经验值:0/100    0%"));
        QCOMPARE(session.core.Experience, 0.1);
    }

    void ASponsorClickAwardsAndRefreshesEvenWhenItsSiteCannotOpen() {
        Session session;
        session.shell.fail = true;
        session.Click("Ad01");
        QCOMPARE(session.core.Experience, 1000.0);
        QCOMPARE(session.core.Level, 2);
        QCOMPARE(session.Text("pai"), QStringLiteral("1124462"));
        QCOMPARE(session.window->NamedControls()["exp"]->toolTip(),
                 QStringLiteral("经验值:1000/200    900%"));
        session.Click("Ad02");
        session.Click("Ad03");
        QCOMPARE(session.core.Experience, 3000.0);
        QCOMPARE(session.shell.Targets(), (QStringList{SponsorUrl1, SponsorUrl2, SponsorUrl3}));
        QCOMPARE(session.shell.calls.first().window, &*session.window);
    }

    void ToolbarDrivesTheBrowser() {
        Session session({{3, 100.0}});
        session.Click("shou");  // home: refresh, no award
        QCOMPARE(session.browser->calls.last(), "Navigate " + QString::fromUtf8(HomePageUrl));
        QCOMPARE(session.core.Experience, 100.0);
        QCOMPARE(session.Text("toux"), QStringLiteral("新兵"));

        emit session.browser->CommandStateChange(2, true);
        emit session.browser->CommandStateChange(1, true);
        session.browser->calls.clear();
        session.Click("hou");  // nothing to go back to: nothing happens
        session.Click("qian");
        QVERIFY(session.browser->calls.isEmpty());
        session.browser->canGoBack = session.browser->canGoForward = true;
        session.Click("hou");
        session.Click("qian");
        session.Click("ting");
        session.Click("xin");
        QCOMPARE(session.browser->calls, (QStringList{"GoBack", "GoForward", "Stop", "Refresh"}));
        QCOMPARE(session.Text("sta"), QStringLiteral("请稍候"));
    }

    void LinksOpenTheSiteAndTheLocalDocuments() {
        Session session({{1, 0.0}});
        session.Click("Image2");
        session.Click("Label1");
        session.Click("help");
        session.Click("Webban");
        QCOMPARE(session.shell.Targets(),
                 (QStringList{SiteUrl, SiteUrl, session.FolderText() + "/help/help.htm",
                              session.FolderText() + QStringLiteral("/Web版隆重上线！.txt")}));
    }

    void TheAboutButtonShowsTheAboutWindowModally() {
        Session session({{1, 0.0}});
        bool shown = false;
        WhenModalOpens([&](QWidget* modal) {
            shown = qobject_cast<frmAbout*>(modal) && modal->parentWidget() == &*session.window &&
                    modal->isModal();
            modal->close();
        });
        session.Click("guan");
        QVERIFY(shown);
    }

    void BrowsingAwardsFollowTheLevel_data() {
        QTest::addColumn<int>("level");
        QTest::newRow("level 1") << 1;
        QTest::newRow("level 7") << 7;
        QTest::newRow("level 12") << 12;
    }
    void BrowsingAwardsFollowTheLevel() {
        QFETCH(int, level);
        Session session({{level, 0.0}});
        const QString paiBefore = session.Text("pai");
        emit session.browser->ProgressChange(1234, 10000);
        QCOMPARE(session.core.Experience, 2.5);
        emit session.browser->NavigateComplete2(QStringLiteral("http://127.0.0.1/"));
        emit session.browser->DownloadComplete();
        QCOMPARE(session.core.Experience, 2.5 + 2 * level);
        QCOMPARE(session.Text("pai"), paiBefore);  // no refresh from these three
        emit session.browser->StatusTextChange(QStringLiteral("完成"));
        QCOMPARE(session.core.Experience, 2.5 + 2 * level + 0.1 * level);
        QCOMPARE(session.core.Level, level);
        QCOMPARE(session.window->NamedControls()["deng"]->toolTip(),
                 QStringLiteral("Lv. %1").arg(level));
    }

    void BackAndForwardFollowTheBrowsersReports() {
        Session session({{1, 0.0}});
        QWidget* back = session.window->NamedControls()["hou"];
        QWidget* forward = session.window->NamedControls()["qian"];
        emit session.browser->CommandStateChange(2, true);
        QVERIFY(back->isEnabled() && !forward->isEnabled());
        emit session.browser->CommandStateChange(1, true);
        QVERIFY(forward->isEnabled());
        emit session.browser->CommandStateChange(-1, false);
        QVERIFY(back->isEnabled() && forward->isEnabled());
        emit session.browser->CommandStateChange(2, false);
        emit session.browser->CommandStateChange(1, false);
        QVERIFY(!back->isEnabled() && !forward->isEnabled());
    }

    void TheStatusLabelFollowsLoads() {
        Session session({{1, 0.0}});
        emit session.browser->NavigateComplete2(QString());
        QCOMPARE(session.Text("sta"), QStringLiteral("请稍候"));
        emit session.browser->DownloadComplete();
        QCOMPARE(session.Text("sta"), QStringLiteral("完成"));
        emit session.browser->NavigateComplete2(QString());
        QCOMPARE(session.Text("sta"), QStringLiteral("请稍候"));
    }

    void ExitSavesOnceAndEndsTheProgram() {
        Session session({{1, 0.0}});
        session.window->Show();
        session.core.Experience = 42;
        session.Click("tui");
        QCOMPARE(session.endProgramCalls, 1);
        QCOMPARE(session.SavedRecord(), "1,2,42\r\n");
        session.core.Experience = 43;
        session.window->close();  // windows go away as the program ends: no second save
        QCOMPARE(session.SavedRecord(), "1,2,42\r\n");
    }

    void ClosingSavesOnce() {
        Session session({{1, 0.0}});
        session.window->Show();
        QSignalSpy closed(&*session.window, &frmWap::Closed);
        session.core.Experience = 7.5;
        session.window->close();
        QCOMPARE(session.SavedRecord(), "1,2,7.5\r\n");
        session.core.Experience = 8;
        session.window->close();
        QCOMPARE(session.SavedRecord(), "1,2,7.5\r\n");
        QCOMPARE(session.endProgramCalls, 0);
        QVERIFY(closed.count() >= 1);
    }

    void ATerminationRequestClosesThroughTheUnloadEvenOverAModalWindow() {
        Session session({{1, 0.0}});
        session.window->Show();
        TerminationSignals termination;
        connect(&termination, &TerminationSignals::Requested, &*session.window,
                &frmWap::RequestClose);
        session.core.Experience = 99;
        WhenModalOpens([](QWidget*) { std::raise(SIGTERM); });
        session.Click("guan");  // returns once the request closed the About window
        QTRY_VERIFY(!session.window->isVisible());
        QCOMPARE(session.SavedRecord(), "1,2,99\r\n");
    }

    void AFailingStepNeverEndsTheProgram() {
        Session session({{1, 0.0}});
        session.core.Level = 61;  // as from a hand-edited record
        emit session.browser->StatusTextChange(QString());
        session.Click("shou");
        session.Click("Ad01");
        QCOMPARE(session.core.Experience, 0.1 * 61 + 1000);  // the awards still stand
        QCOMPARE(session.Text("toux"), QStringLiteral("往往往往"));
        session.shell.fail = true;
        session.Click("help");
        session.Click("Image2");
        QVERIFY(session.window->NamedControls()["shou"]->isEnabled());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
