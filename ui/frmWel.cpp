#include "frmWel.h"

#include <memory>

#include "form_support.h"
#include "qt_paths.h"
#include "shell_open.h"
#include "skin_button.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {

// clang-format off
const ControlSpec Layout[] = {
    {.name = "help2", .kind = ControlKind::Button, .left = 1200, .top = 1800, .width = 2805, .height = 465,
     .text = "立即查看《下载帮助》", .font = {"宋体", 10.5}, .fore = Rgb(0, 0, 255), .toolTip = "查看手机游戏下载帮助!",
     .skin = ":/images/skin_b.bmp", .style = 4, .crad = 3, .skinpr = 5},
    {.name = "Label1", .kind = ControlKind::Label, .left = 240, .top = 360, .width = 4935, .height = 1575,
     .text = "    感谢您使用本软件!用它可以让您轻松浏览手机WAP网站和下载手机游戏和软件等!"
             "本软件已升级，《下载帮助》有更新，建议您花1分钟来学习如何用它下载手机游戏！"
             "以后您就可以轻松自由下载海量游戏和软件了！我们开始吧",
     .font = {"宋体", 12}, .fore = Rgb(0, 0, 255), .wordWrap = true},
};
// clang-format on

}  // namespace

frmWel::frmWel(QWidget* owner, ShellOpener& shell, QString programFolder)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      shell_(shell),
      programFolder_(std::move(programFolder)) {
    SetClientSize(this, 5265, 2445);
    SetProgramIcon(this);
    setWindowTitle(QStringLiteral("欢迎使用  Tessaly"));
    controls_ = BuildControls(this, Layout);
    OnClick(controls_["help2"], this, [this] { help2_Click(); });
}

void frmWel::ShowModal(QWidget* owner, ShellOpener& shell, const QString& programFolder) {
    auto welcome = std::make_unique<frmWel>(owner, shell, programFolder);
    CenterOnScreen(welcome.get());
    welcome->exec();
}

void frmWel::help2_Click() {
    // The help opens first, so it is already on its way when the main window
    // appears; the window closes whatever the opening did.
    SkipFailingSteps(
        [this] { shell_.ShellOpen(this, ProgramFilePath(programFolder_, "\\help\\help.htm")); },
        [this] { accept(); });
}

}  // namespace tessaly
