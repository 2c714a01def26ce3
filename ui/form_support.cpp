#include "form_support.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QWidget>

#include "click_label.h"
#include "skin_button.h"
#include "skip_failing_steps.h"

namespace tessaly {

void OnClick(QWidget* control, QObject* receiver, std::function<void()> handler) {
    const auto run = [handler = std::move(handler)] { SkipIfFails(handler); };
    if (auto* button = qobject_cast<SkinButton*>(control)) {
        QObject::connect(button, &SkinButton::clicked, receiver, run);
    } else if (auto* label = qobject_cast<ClickLabel*>(control)) {
        QObject::connect(label, &ClickLabel::Clicked, receiver, run);
    }
}

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
