// The splash, About and welcome windows and the start-up hand-over, with
// recording stand-ins for the browser and the desktop opener.

#include <QAccessible>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "click_label.h"
#include "constants.h"
#include "core.h"
#include "fonts.h"
#include "frmAbout.h"
#include "frmSplash.h"
#include "frmWap.h"
#include "frmWel.h"
#include "skin_button.h"
#include "stand_ins.h"
#include "temp_folder.h"

using namespace tessaly;
using testing::FakeBrowser;
using testing::RecordingShell;
using testing::TempProgramFolder;
using testing::WhenModalOpens;

namespace {

QStringList AccessibleNames(QWidget* window) {
    QStringList names;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        names << QStringLiteral("%1:%2").arg(child->role()).arg(child->text(QAccessible::Name));
    }
    return names;
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallProgramFonts(); }

    void SplashCountsTheRunBeforeItIsShownAndHandsOverOnce() {
        TempProgramFolder folder;
        Core core(folder.Path());
        int mainWindowShown = 0;
        QPointer<frmSplash> splash = new frmSplash(core, [&] { ++mainWindowShown; });

        int runCountWhenShown = -1;
        struct ShowWatcher : QObject {
            std::function<void()> onShow;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Show) {
                    onShow();
                }
                return false;
            }
        } watcher;
        watcher.onShow = [&] { runCountWhenShown = core.RunCount; };
        splash->installEventFilter(&watcher);

        splash->Show();
        QCOMPARE(runCountWhenShown, 1);
        QVERIFY(std::filesystem::exists(folder.Progress()));
        QCOMPARE(splash->NamedControls().Get<QLabel>("wver")->text(),
                 QStringLiteral("版本: V2008I版"));
        QCOMPARE(splash->size(), QSize(399, 191));
        QVERIFY(splash->windowFlags() & Qt::SplashScreen);
        QVERIFY(splash->Timer1().isSingleShot());
        QCOMPARE(splash->Timer1().interval(), 3000);

        QTRY_COMPARE_WITH_TIMEOUT(mainWindowShown, 1, 6000);
        // Closed and destroyed, its timer with it: nothing is left that could
        // hand over a second time.
        QTRY_VERIFY(splash.isNull());
        QCOMPARE(mainWindowShown, 1);
    }

    void ASplashClosedEarlyStillHandsOver() {
        TempProgramFolder folder;
        Core core(folder.Path());
        int mainWindowShown = 0;
        QPointer<frmSplash> splash = new frmSplash(core, [&] { ++mainWindowShown; });
        splash->Show();
        splash->close();  // as the window manager would, before the three seconds
        QTRY_COMPARE(mainWindowShown, 1);
        // Once the splash is destroyed, its three-second timer cannot hand
        // over again.
        QTRY_VERIFY(splash.isNull());
        QCOMPARE(mainWindowShown, 1);
    }

    void AboutWindowLoadsAfreshOnEveryShowAndOpensItsLinks() {
        RecordingShell shell;
        QWidget owner;
        QStringList titles;
        QList<QWidget*> instances;
        for (int show = 0; show < 2; ++show) {
            WhenModalOpens([&](QWidget* modal) {
                auto* about = qobject_cast<frmAbout*>(modal);
                QVERIFY(about);
                instances << about;
                titles << about->windowTitle();
                QCOMPARE(about->parentWidget(), &owner);
                QCOMPARE(about->size(), QSize(382, 237));
                QCOMPARE(about->NamedControls().Get<QLabel>("vert")->text(),
                         QStringLiteral("软件版本：V2008I版"));
                QCOMPARE(about->NamedControls().Get<SkinButton>("qued")->Caption(),
                         QStringLiteral("确  定"));
                for (const char* link : {"Image1", "Label1", "Label3", "ttp", "Label2", "vert"}) {
                    QTest::mouseClick(about->NamedControls()[link], Qt::LeftButton);
                }
                QVERIFY(about->isVisible());  // links leave the window open
                QTest::mouseClick(about->NamedControls()["qued"], Qt::LeftButton);
            });
            frmAbout::ShowModal(&owner, shell);
        }
        QCOMPARE(titles, QStringList(2, QStringLiteral("关于Tessaly   V2008I版")));
        const QString site = QString::fromUtf8(SiteUrl);
        const QString address = QString::fromUtf8(SiteAddress);
        QCOMPARE(shell.Targets(),
                 (QStringList{site, site, site, address, site, site, site, address}));
        QCOMPARE(shell.calls.first().window, instances.first());
    }

    void TheSiteAddressLinkOpensWhateverItShows() {
        RecordingShell shell;
        frmAbout about(nullptr, shell);
        about.NamedControls().Get<QLabel>("ttp")->setText(QStringLiteral("http://127.0.0.1/other"));
        QTest::mouseClick(about.NamedControls()["ttp"], Qt::LeftButton);
        QCOMPARE(shell.Targets(), QStringList{QStringLiteral("http://127.0.0.1/other")});
    }

    void WelcomeWindowOpensTheHelpAndClosesEvenWhenOpeningFails() {
        TempProgramFolder folder;
        RecordingShell shell;
        shell.fail = true;
        QWidget owner;
        WhenModalOpens([&](QWidget* modal) {
            QCOMPARE(modal->windowTitle(), QStringLiteral("欢迎使用  Tessaly"));
            QCOMPARE(modal->size(), QSize(351, 163));
            QTest::mouseClick(static_cast<frmWel*>(modal)->NamedControls()["help2"],
                              Qt::LeftButton);
        });
        frmWel::ShowModal(&owner, shell, ToQStringForTest(folder.Path()));
        QCOMPARE(shell.Targets(),
                 QStringList{ToQStringForTest(folder.Path()) + QStringLiteral("/help/help.htm")});
    }

    void ScreenReadersSeeWhatAUserSees() {
        TempProgramFolder folder;
        Core core(folder.Path());
        core.RunCount = 2;
        RecordingShell shell;
        frmWap window(core, shell, new FakeBrowser, [] {});
        const QStringList names = AccessibleNames(&window);
        for (const QString& expected :
             {QStringLiteral("%1:首页").arg(QAccessible::Button),
              QStringLiteral("%1:←后退").arg(QAccessible::Button),
              QStringLiteral("%1:下载帮助").arg(QAccessible::Button),
              QStringLiteral("%1:点击赠送1000点经验值！").arg(QAccessible::Graphic),
              QStringLiteral("%1:点击使用本软件的Web版！").arg(QAccessible::Graphic),
              QStringLiteral("%1:请稍等").arg(QAccessible::StaticText),
              QStringLiteral("%1:往往往往").arg(QAccessible::StaticText),
              QStringLiteral("%1:9999999").arg(QAccessible::StaticText)}) {
            QVERIFY2(names.contains(expected),
                     qPrintable(expected + " not in " + names.join(", ")));
        }
        QAccessibleInterface* bar =
            QAccessible::queryAccessibleInterface(window.NamedControls()["exp"]);
        QCOMPARE(bar->role(), QAccessible::ProgressBar);
    }

private:
    static QString ToQStringForTest(const std::filesystem::path& path) {
        return QString::fromStdString(path.string());
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
