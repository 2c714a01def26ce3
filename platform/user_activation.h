#pragma once

#include <QElapsedTimer>
#include <QObject>

class QWebEnginePage;
class QWidget;

namespace tessaly {

// Remembers the user's last action on a browser view, so that what a page
// does on its own (timers, script loops) can be told from what the user
// asked for. One action allows one thing: the first use of it uses it up.
//
// An action is a mouse press, key press or touch delivered to the view or
// any widget inside it (the repeats of a held key are not new actions), or
// one of the program's own browser commands (Navigate, Back, Forward,
// Refresh). It counts for ActivationMs.
class UserActivation : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 ActivationMs = 10000;

    // Watches the input of view and of every widget the engine puts inside it.
    explicit UserActivation(QWidget* view);

    // The program itself starts a navigation on the user's behalf.
    void NoteCommand();
    // Back and Forward come only from the user's click on the toolbar: like
    // a click on an in-page link, they may move within a page.
    void NoteUserCommand();

    // Whether the user acted recently and that action is still unused; true
    // uses it up. When input is required, only the user's own hand counts
    // (input, Back, Forward), not a navigation the program starts.
    bool Consume(bool requireInput);

    // The activation of the view showing page, or null when page is not
    // shown by a view that has one.
    static UserActivation* ForPage(const QWebEnginePage* page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Watch(QObject* object);
    void Note(bool fromInput);

    QElapsedTimer since_;
    bool fromInput_ = false;
    bool used_ = true;
};

}  // namespace tessaly
