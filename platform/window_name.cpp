#include "window_name.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xproto.h>
#include <cstdlib>

namespace tessaly {

void PublishNoWindowName(QWidget* window) {
    // Other platforms (the offscreen one among them) may answer as X11
    // without a connection to a window manager.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || x11 == nullptr ||
        x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());  // creates the X window
    // Both the legacy name and the UTF-8 name that newer window managers read.
    static constexpr char NetWmName[] = "_NET_WM_NAME";
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, sizeof NetWmName - 1, NetWmName);
    xcb_delete_property(connection, id, XCB_ATOM_WM_NAME);
    if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr)) {
        xcb_delete_property(connection, id, reply->atom);
        std::free(reply);
    }
    xcb_flush(connection);
}

}  // namespace tessaly
