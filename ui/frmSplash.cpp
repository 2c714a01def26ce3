#include "frmSplash.h"

#include <QCloseEvent>
#include <QLabel>

#include "constants.h"
#include "core.h"
#include "form_support.h"
#include "skip_failing_steps.h"
#include "window_name.h"

namespace tessaly {

namespace {

constexpr int SplashMilliseconds = 3000;

const QByteArray LoginLine = QByteArray("登录") + SiteAddress + "     获取更多手机服务！欢迎访问！";

// clang-format off
const ControlSpec Layout[] = {
    {.name = "Frame1", .kind = ControlKind::Frame, .left = 120, .top = 60, .width = 5760, .height = 2715},
    {.name = "Label3", .kind = ControlKind::Label, .left = 240, .top = 1920, .width = 3615, .height = 255,
     .parent = "Frame1", .text = "使用本软件需要先建立Internet链接!", .font = {"宋体", 10.5}, .fore = Rgb(0, 0, 255)},
    {.name = "Label2", .kind = ControlKind::Label, .left = 720, .top = 2280, .width = 2895, .height = 375,
     .parent = "Frame1", .text = LoginLine.constData(), .fore = Rgb(255, 0, 0), .wordWrap = true},
    {.name = "Image2", .kind = ControlKind::Image, .left = 3960, .top = 1800, .width = 1605, .height = 810,
     .parent = "Frame1", .picture = ":/images/splash_picture.jpg", .stretch = true},
    {.name = "Label1", .kind = ControlKind::Label, .left = 3720, .top = 360, .width = 1455, .height = 855,
     .parent = "Frame1", .text = "欢迎使用Tessaly", .font = {"宋体", 14.25, true}, .fore = Rgb(192, 0, 192),
     .back = SystemButtonFace, .wordWrap = true},
    {.name = "wver", .kind = ControlKind::Label, .left = 3960, .top = 1560, .width = 1695, .height = 255,
     .parent = "Frame1", .font = {"宋体", 9, true}, .fore = Rgb(0, 0, 255)},
    {.name = "Image1", .kind = ControlKind::Image, .left = 120, .top = 480, .width = 4455, .height = 1200,
     .parent = "Frame1", .picture = ":/images/banner.jpg"},
};
// clang-format on

}  // namespace

frmSplash::frmSplash(Core& core, std::function<void()> showMainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      core_(core),
      showMainWindow_(std::move(showMainWindow)) {
    setAttribute(Qt::WA_DeleteOnClose);
    SetClientSize(this, 5985, 2865);
    controls_ = BuildControls(this, Layout);
    timer1_.setSingleShot(true);
    timer1_.setInterval(SplashMilliseconds);
    connect(&timer1_, &QTimer::timeout, this, [this] { SkipIfFails([this] { Timer1_Timer(); }); });
}

void frmSplash::Show() {
    SkipIfFails([this] { Form_Load(); });
    CenterOnScreen(this);
    PublishNoWindowName(this);  // the caption is empty: no name for task switchers either
    show();
}

void frmSplash::Form_Load() {
    controls_.Get<QLabel>("wver")->setText(QStringLiteral("版本: ") +
                                           QString::fromUtf8(ProgramVersion));
    timer1_.start();
    core_.StartRun();
}

void frmSplash::closeEvent(QCloseEvent* event) {
    // Closed before its time (by the window manager): hand over at once, or
    // the program would be left running with no window.
    if (timer1_.isActive()) {
        timer1_.stop();
        QTimer::singleShot(0, showMainWindow_);
    }
    QWidget::closeEvent(event);
}

void frmSplash::Timer1_Timer() {
    timer1_.stop();
    close();  // destroyed once control returns to the event loop
    showMainWindow_();
}

}  // namespace tessaly
