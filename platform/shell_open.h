#pragma once

#include <QString>

class QWidget;

namespace tessaly {

// Opens a URL in the user's browser, or a local document in the program
// associated with it. Failures go unnoticed: nothing is reported to the caller.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual void ShellOpen(QWidget* window, const QString& target) = 0;
};

// The desktop's own opener (xdg-open on Linux, open on macOS, the shell's
// "open" verb on Windows), started with the program folder as working folder.
// The target goes to the opener as one argument, never through a shell.
class DesktopShell : public ShellOpener {
public:
    explicit DesktopShell(QString programFolder);
    void ShellOpen(QWidget* window, const QString& target) override;

private:
    QString programFolder_;
};

}  // namespace tessaly
