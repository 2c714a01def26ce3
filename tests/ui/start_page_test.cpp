// The built-in start page and its sample site, served from the program's
// resources to the real browser engine: the main window's progress display
// fills in from its load, and a sample game downloads with its archive.

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <optional>

#include "browser_pane.h"
#include "browser_profile.h"
#include "constants.h"
#include "core.h"
#include "download_manager.h"
#include "fonts.h"
#include "frmWap.h"
#include "page_input.h"
#include "stand_ins.h"
#include "web_test_main.h"

using namespace tessaly;

namespace {
constexpr int LoadTimeoutMs = 30000;

QByteArray Resource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}  // namespace

class StartPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        InstallProgramFonts();
        QVERIFY(folder_.isValid() && downloads_.isValid());
        QDir(folder_.path()).mkdir(QStringLiteral("Data"));
        core_.emplace(folder_.path().toStdString());
        core_->StartRun();
        core_->StartRun();  // a later start: no welcome window
        profile_ = CreateBrowserProfile(folder_.path(), this);
    }

    void TheHomePageFillsTheProgressDisplay() {
        testing::RecordingShell shell;
        auto* pane = new BrowserPane(profile_);
        frmWap window(*core_, shell, pane, [] {});
        window.Show();
        QTRY_COMPARE_WITH_TIMEOUT(window.NamedControls().Get<QLabel>("sta")->text(),
                                  QStringLiteral("完成"), LoadTimeoutMs);
        QCOMPARE(pane->View()->url().toString(), QString::fromUtf8(HomePageUrl));
        QVERIFY(pane->View()->title().contains(QStringLiteral("Tessaly")));
        QCOMPARE(window.NamedControls().Get<QLabel>("toux")->text(), QStringLiteral("新兵"));
        QCOMPARE(window.NamedControls().Get<QLabel>("deng")->text(), QStringLiteral("〓∨〓"));
        QVERIFY(window.NamedControls()["exp"]->toolTip().startsWith(QStringLiteral("经验值:")));
        QVERIFY(core_->Experience > 0);
    }

    // The start page's links to the program's own windows open them and
    // leave the page where it is; a site cannot open them.
    void TheStartPageLinksToTheProgramsWindows() {
        testing::RecordingShell shell;
        auto* pane = new BrowserPane(profile_);
        frmWap window(*core_, shell, pane, [] {});
        QSignalSpy asked(pane, &BrowserPane::ProgramPageAsked);
        window.Show();
        QTRY_COMPARE_WITH_TIMEOUT(window.NamedControls().Get<QLabel>("sta")->text(),
                                  QStringLiteral("完成"), LoadTimeoutMs);
        for (const char* name : {"favourites", "history"}) {
            QVERIFY(testing::ClickElement(pane->View(),
                                          QStringLiteral("a[href='program/%1']").arg(name)));
            QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 5000);
            QCOMPARE(asked.takeFirst().value(0).toString(), QString::fromUtf8(name));
        }
        QCOMPARE(pane->View()->url().toString(), QString::fromUtf8(HomePageUrl));

        pane->View()->setHtml("<a id='l' href='tessaly://start/program/favourites'>x</a>",
                              QUrl("http://127.0.0.1/"));
        QTRY_VERIFY_WITH_TIMEOUT(pane->View()->url().scheme() == "http", LoadTimeoutMs);
        QVERIFY(testing::ClickElement(pane->View(), "#l"));
        // The start page's clicks above were answered within a few
        // milliseconds: half a second is ample for this one to show.
        QTest::qWait(500);
        QCOMPARE(asked.count(), 0);
    }

    // Tab walks the main window's controls in their order, through the page
    // inside the browser pane, and reaches Webban last, after shou.
    void TabReachesWebbanLastAfterShou() {
        testing::RecordingShell shell;
        auto* pane = new BrowserPane(profile_);
        frmWap window(*core_, shell, pane, [] {});
        window.Show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto controlWithFocus = [&window] {
            for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
                if (window.NamedControls().Find(w->objectName()) == w) {
                    return w->objectName();
                }
            }
            return QString();
        };
        window.NamedControls()["xin"]->setFocus(Qt::TabFocusReason);
        QStringList reached;
        for (int i = 0; i < 9; ++i) {
            reached << controlWithFocus();
            // The page inside the pane takes Tab itself and hands the focus on
            // after its last link; the pane hands it on at once.
            QWidget* target =
                reached.last() == QStringLiteral("wap") ? pane : QApplication::focusWidget();
            QTest::keyClick(target, Qt::Key_Tab);
        }
        // Back and Forward are disabled until there is history, and skipped.
        QCOMPARE(reached, QStringList({"xin", "ting", "wap", "guan", "tui", "help", "shou",
                                       "Webban", "xin"}));
    }

    void ASampleGameDownloadsWithItsArchive() {
        testing::RecordingShell shell;
        DownloadManager downloads(profile_, shell,
                                  [this](QWidget*, const QString& proposed, const QString&) {
                                      return downloads_.filePath(QFileInfo(proposed).fileName());
                                  });
        BrowserPane pane(profile_);
        pane.show();
        downloads.SetWindowOwner(&pane);
        int loads = 0;
        connect(&pane, &Browser::DownloadComplete, this, [&] { ++loads; });
        pane.Navigate(QStringLiteral("tessaly://start/games.html"));
        QTRY_VERIFY_WITH_TIMEOUT(loads >= 1, LoadTimeoutMs);

        pane.View()->page()->runJavaScript(
            QStringLiteral("document.querySelector('a[href=\"games/ninja.jad\"]').click()"));
        const QString jad = downloads_.filePath(QStringLiteral("ninja.jad"));
        const QString jar = downloads_.filePath(QStringLiteral("ninja.jar"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(jad) && QFile::exists(jar), LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(jar).size(),
                                  QFileInfo(":/start/games/ninja.jar").size(), LoadTimeoutMs);
        QCOMPARE(Resource(jar), Resource(QStringLiteral(":/start/games/ninja.jar")));
        QCOMPARE(Resource(jad), Resource(QStringLiteral(":/start/games/ninja.jad")));
        QVERIFY(shell.calls.isEmpty());  // nothing downloaded is opened unasked
    }

    void AMissingPageFailsQuietly() {
        BrowserPane pane(profile_);
        QStringList statuses;
        connect(&pane, &Browser::StatusTextChange, this,
                [&](const QString& text) { statuses << text; });
        pane.Navigate(QStringLiteral("tessaly://start/no-such-page.html"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !statuses.isEmpty() && statuses.last().startsWith(QStringLiteral("无法打开网页")),
            LoadTimeoutMs);
    }

private:
    QTemporaryDir folder_;
    QTemporaryDir downloads_;
    std::optional<Core> core_;
    QWebEngineProfile* profile_ = nullptr;
};

TESSALY_WEB_TEST_MAIN(StartPageTest)
#include "start_page_test.moc"
