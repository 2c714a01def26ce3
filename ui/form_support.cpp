#include "form_support.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QWidget>

namespace tessaly {

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void SetProgramIcon(QWidget* window) {
    window->setWindowIcon(QIcon(QStringLiteral(":/images/tessaly.png")));
}

}  // namespace tessaly
