#pragma once

#include <QDialog>

#include "control_layout.h"

namespace tessaly {

class ShellOpener;

// Greets a new user on the first start and points to the download help.
class frmWel : public QDialog {
    Q_OBJECT

public:
    frmWel(QWidget* owner, ShellOpener& shell, QString programFolder);

    // Shows the window modally over `owner` and destroys it once it is closed.
    static void ShowModal(QWidget* owner, ShellOpener& shell, const QString& programFolder);

    const Controls& NamedControls() const { return controls_; }

private:
    void help2_Click();

    ShellOpener& shell_;
    QString programFolder_;
    Controls controls_;
};

}  // namespace tessaly
