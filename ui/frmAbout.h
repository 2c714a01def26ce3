#pragma once

#include <QDialog>

#include "control_layout.h"

namespace tessaly {

class ShellOpener;

// The About box: name, version, thanks, the advertising contact line and
// links to the product site. Created afresh on every show.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    frmAbout(QWidget* owner, ShellOpener& shell);

    // Creates the window, runs its load, shows it modally over `owner` and
    // destroys it once it is closed.
    static void ShowModal(QWidget* owner, ShellOpener& shell);

    const Controls& NamedControls() const { return controls_; }
    void Form_Load();

private:
    void OpenSite();
    void Image1_Click();
    void Label1_Click();
    void Label3_Click();
    void ttp_Click();
    void qued_Click();

    ShellOpener& shell_;
    Controls controls_;
};

}  // namespace tessaly
