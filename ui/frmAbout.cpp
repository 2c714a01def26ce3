#include "frmAbout.h"

#include <QLabel>
#include <memory>

#include "click_label.h"
#include "constants.h"
#include "form_support.h"
#include "pointers.h"
#include "shell_open.h"
#include "skin_button.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {

const QByteArray ContactText = QByteArray(ContactLine);

// clang-format off
const ControlSpec Layout[] = {
    {.name = "qued", .kind = ControlKind::Button, .left = 4440, .top = 2760, .width = 1125, .height = 600,
     .text = "确  定", .font = {"宋体", 9}, .skin = ":/images/skin_a.bmp", .style = 4, .skinpr = 3},
    {.name = "ttp", .kind = ControlKind::Label, .left = 720, .top = 3120, .width = 2775, .height = 255,
     .text = SiteAddress, .font = {"宋体", 12, false, true}, .fore = Rgb(0, 0, 255),
     .pointer = Pointer::SiteLink, .toolTip = "点击下载更多软件！"},
    {.name = "Label3", .kind = ControlKind::Label, .left = 240, .top = 2880, .width = 4095, .height = 255,
     .text = "欢迎访问“Tessanet”获得更多手机服务！", .font = {"宋体", 9, true}, .fore = Rgb(192, 0, 192),
     .pointer = Pointer::Link},
    {.name = "Label1", .kind = ControlKind::Label, .left = 600, .top = 2280, .width = 4335, .height = 255,
     .text = ContactText.constData(), .font = {"新宋体", 10.5}, .fore = Rgb(0, 0, 255), .pointer = Pointer::Link},
    {.name = "Label2", .kind = ControlKind::Label, .left = 3240, .top = 1800, .width = 2055, .height = 375,
     .text = "感谢您的支持!", .font = {"楷体_GB2312", 15, true}, .fore = Rgb(255, 0, 0)},
    {.name = "vert", .kind = ControlKind::Label, .left = 480, .top = 1800, .width = 2655, .height = 255,
     .font = {"宋体", 12, true}, .fore = Rgb(255, 128, 0)},
    {.name = "Image1", .kind = ControlKind::Image, .left = 600, .top = 360, .width = 4455, .height = 1200,
     .pointer = Pointer::Link, .toolTip = "点击下载更多软件！", .picture = ":/images/banner.jpg"},
    {.name = "Shape1", .kind = ControlKind::Shape, .left = 120, .top = 120, .width = 5415, .height = 2535},
};
// clang-format on

}  // namespace

frmAbout::frmAbout(QWidget* owner, ShellOpener& shell)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      shell_(shell) {
    SetClientSize(this, 5730, 3555);
    SetProgramIcon(this);
    setCursor(ArrowPointer());
    controls_ = BuildControls(this, Layout);

    OnClick(this, controls_, "Image1", &frmAbout::Image1_Click);
    OnClick(this, controls_, "Label1", &frmAbout::Label1_Click);
    OnClick(this, controls_, "Label3", &frmAbout::Label3_Click);
    OnClick(this, controls_, "ttp", &frmAbout::ttp_Click);
    OnClick(this, controls_, "qued", &frmAbout::qued_Click);
}

void frmAbout::ShowModal(QWidget* owner, ShellOpener& shell) {
    auto about = std::make_unique<frmAbout>(owner, shell);
    SkipIfFails([&] { about->Form_Load(); });
    CenterOnScreen(about.get());
    about->exec();
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("关于Tessaly   ") + QString::fromUtf8(ProgramVersion));
    controls_.Get<QLabel>("vert")->setText(QStringLiteral("软件版本：") +
                                           QString::fromUtf8(ProgramVersion));
}

void frmAbout::OpenSite() {
    shell_.ShellOpen(this, QString::fromUtf8(SiteUrl));
}
void frmAbout::Image1_Click() {
    OpenSite();
}
void frmAbout::Label1_Click() {
    OpenSite();
}
void frmAbout::Label3_Click() {
    OpenSite();
}

void frmAbout::ttp_Click() {
    shell_.ShellOpen(this, controls_.Get<QLabel>("ttp")->text());
}

void frmAbout::qued_Click() {
    accept();
}

}  // namespace tessaly
