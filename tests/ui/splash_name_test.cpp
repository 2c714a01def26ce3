// The splash window as a window manager sees it on a real X display: it
// publishes no name at all, where Qt by itself would publish the program's.
// Runs on the X display the test command provides, and skips without one.

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QPointer>
#include <QTest>

#include <xcb/xcb.h>
#include <cstdlib>
#include <memory>
#include <optional>

#include "core.h"
#include "frmSplash.h"
#include "temp_folder.h"

using namespace tessaly;

namespace {

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return QGuiApplication::platformName() == QLatin1String("xcb") && x11 != nullptr
               ? x11->connection()
               : nullptr;
}

// The value of a window's text property, or nothing when it is not set.
std::optional<QByteArray> TextProperty(QWidget* window, const char* name) {
    xcb_connection_t* connection = X11Connection();
    const auto atomCookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    if (!atom) {
        return std::nullopt;
    }
    const auto cookie = xcb_get_property(connection, 0, static_cast<xcb_window_t>(window->winId()),
                                         atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->type == XCB_NONE) {
        return std::nullopt;
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

}  // namespace

class SplashNameTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (X11Connection() == nullptr) {
            QSKIP("needs an X display");
        }
    }

    void TheSplashPublishesNoName() {
        testing::TempProgramFolder folder;
        Core core(folder.Path());
        QPointer<frmSplash> splash = new frmSplash(core, [] {});
        splash->Show();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QCOMPARE(splash->windowTitle(), QString());
        QCOMPARE(TextProperty(splash, "_NET_WM_NAME"), std::nullopt);
        QCOMPARE(TextProperty(splash, "WM_NAME"), std::nullopt);
        splash->Timer1().stop();
        delete splash;
    }

    // The check above can only fail if the property reading works: a window
    // with a caption does publish it.
    void AWindowWithACaptionPublishesIt() {
        QWidget window;
        window.setWindowTitle(QStringLiteral("欢迎使用  Tessaly"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(TextProperty(&window, "_NET_WM_NAME"),
                 std::optional(QStringLiteral("欢迎使用  Tessaly").toUtf8()));
    }
};

int main(int argc, char* argv[]) {
    // Without an X display the test still starts, drawing offscreen, and skips.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    SplashNameTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "splash_name_test.moc"
