#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "control_layout.h"

namespace tessaly {

class Core;

// The start window. Its load counts the run (StartRun) before it is shown;
// three seconds later it closes and hands over to the main window.
class frmSplash : public QWidget {
    Q_OBJECT

public:
    // `showMainWindow` opens the main window, without an owner.
    frmSplash(Core& core, std::function<void()> showMainWindow);

    // Runs the load handler, then shows the window centred.
    void Show();

    const Controls& NamedControls() const { return controls_; }
    QTimer& Timer1() { return timer1_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Timer1_Timer();

    Core& core_;
    std::function<void()> showMainWindow_;
    Controls controls_;
    QTimer timer1_;
};

}  // namespace tessaly
