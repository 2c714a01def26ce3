#include "user_activation.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWebEngineView>
#include <QWidget>

namespace tessaly {

UserActivation::UserActivation(QWidget* view) : QObject(view) {
    Watch(view);
}

void UserActivation::Watch(QObject* object) {
    if (!object->isWidgetType()) {
        return;
    }
    object->installEventFilter(this);
    for (QObject* child : object->children()) {
        Watch(child);
    }
}

bool UserActivation::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ChildAdded:
            // The engine replaces the widget that draws the page (and takes
            // the input) when the page or its renderer changes.
            Watch(static_cast<QChildEvent*>(event)->child());
            break;
        case QEvent::KeyPress:
            // A key held down is one action: its repeats arm nothing.
            if (static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                break;
            }
            [[fallthrough]];
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
            // Input the program makes up itself is never the user's.
            if (event->spontaneous()) {
                Note(true);
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void UserActivation::NoteCommand() {
    Note(false);
}

void UserActivation::NoteUserCommand() {
    Note(true);
}

void UserActivation::Note(bool fromInput) {
    since_.start();
    fromInput_ = fromInput;
    used_ = false;
}

bool UserActivation::Consume(bool requireInput) {
    if (used_ || !since_.isValid() || since_.elapsed() > ActivationMs ||
        (requireInput && !fromInput_)) {
        return false;
    }
    used_ = true;
    return true;
}

UserActivation* UserActivation::ForPage(const QWebEnginePage* page) {
    QWebEngineView* view = page ? QWebEngineView::forPage(page) : nullptr;
    return view ? view->findChild<UserActivation*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace tessaly
