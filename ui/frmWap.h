#pragma once

#include <QWidget>
#include <functional>

#include "control_layout.h"

namespace tessaly {

class Browser;
class Core;
class ShellOpener;

// The main window: toolbar, browser pane, sponsor column, status row and the
// progress display. Every handler swallows whatever failure its steps let
// through, so nothing ends the program or reaches Qt's event loop.
class frmWap : public QWidget {
    Q_OBJECT

public:
    // `browser` becomes the pane `wap` and is owned by the window.
    // `endProgram` ends the program at once (the Exit button).
    frmWap(Core& core, ShellOpener& shell, Browser* browser, std::function<void()> endProgram);

    // Runs the load step on the first call (which may show the welcome window
    // modally and wait for it), then shows the window.
    void Show();

    // Refreshes the progress display from the progress model; throws the
    // first failure to the caller.
    void Flash();

    // Closes the window through its normal unload, for a request from the
    // system to end: modal windows are closed first, and a request during the
    // load step takes effect as soon as the load returns.
    void RequestClose();

    const Controls& NamedControls() const { return controls_; }
    Browser& wap() const { return *wap_; }  // NOLINT(readability-identifier-naming): the control

signals:
    // The window has closed, its unload having saved the record (or tried to):
    // the program should end.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Tab and Shift+Tab follow the window's tab order, also on leaving the
    // page in the browser pane, whose focus widget the engine creates late.
    bool focusNextPrevChild(bool next) override;

private:
    void ConnectHandlers();

    void Form_Load();
    void Form_Unload();
    void SponsorClick(const char* sponsorUrl);
    void OpenSite();
    void Ad01_Click();
    void Ad02_Click();
    void Ad03_Click();
    void Image2_Click();
    void Label1_Click();
    void shou_Click();
    void hou_Click();
    void qian_Click();
    void ting_Click();
    void xin_Click();
    void guan_Click();
    void help_Click();
    void Webban_Click();
    void tui_Click();

    void wap_StatusTextChange(const QString& text);
    void wap_ProgressChange(int progress, int progressMax);
    void wap_CommandStateChange(int command, bool enable);
    void wap_DownloadComplete();
    void wap_NavigateComplete2(const QString& url);

    Core& core_;
    ShellOpener& shell_;
    Browser* wap_;
    std::function<void()> endProgram_;
    Controls controls_;
    bool loaded_ = false;
    bool loading_ = false;
    bool closeRequested_ = false;
    bool unloaded_ = false;
};

}  // namespace tessaly
