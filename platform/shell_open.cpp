#include "shell_open.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QWidget>
#include <utility>

#ifdef Q_OS_WIN
#include <shellapi.h>
#include <windows.h>
#endif

namespace tessaly {

namespace {

// A bare web address such as "www.example.com" is opened as a web page, as
// the Windows shell does; full paths and URLs pass unchanged.
QString OpenerTarget(const QString& target) {
    static const QRegularExpression WebAddress(
        QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+(:[0-9]+)?([/?#]\\S*)?$"));
    if (QDir::isAbsolutePath(target) || !WebAddress.match(target).hasMatch()) {
        return target;
    }
    return QStringLiteral("http://") + target;
}

}  // namespace

DesktopShell::DesktopShell(QString programFolder) : programFolder_(std::move(programFolder)) {}

void DesktopShell::ShellOpen(QWidget* window, const QString& target) {
#if defined(Q_OS_WIN)
    const HWND owner = window ? reinterpret_cast<HWND>(window->window()->winId()) : nullptr;
    ShellExecuteW(owner, L"open", reinterpret_cast<LPCWSTR>(target.utf16()), L"",
                  reinterpret_cast<LPCWSTR>(programFolder_.utf16()), SW_SHOWNORMAL);
#elif defined(Q_OS_MACOS)
    Q_UNUSED(window);
    QProcess::startDetached(QStringLiteral("open"), {OpenerTarget(target)}, programFolder_);
#else
    // xdg-open understands URLs and plain file paths alike.
    Q_UNUSED(window);
    QProcess::startDetached(QStringLiteral("xdg-open"), {OpenerTarget(target)}, programFolder_);
#endif
}

}  // namespace tessaly
