#include "frmWap.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>

#include "browser.h"
#include "click_label.h"
#include "constants.h"
#include "core.h"
#include "experience_bar.h"
#include "form_support.h"
#include "frmAbout.h"
#include "frmWel.h"
#include "pointers.h"
#include "qt_paths.h"
#include "rank_presentation.h"
#include "shell_open.h"
#include "skin_button.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {

constexpr FontSpec ButtonFont{"宋体", 9};
constexpr char SkinA[] = ":/images/skin_a.bmp";
constexpr char SkinB[] = ":/images/skin_b.bmp";
constexpr char SkinC[] = ":/images/skin_c.bmp";
constexpr char SkinD[] = ":/images/skin_d.bmp";
constexpr char SponsorTip[] = "点击赠送1000点经验值！";

const QByteArray NoticeLine = QByteArray("精品游戏尽在") + SiteAddress;

// From the top of the z-order to the bottom: the buttons, the browser and the
// bar lie above every label and picture, and the backdrop under everything.
// The toolbar buttons show the standard arrow rather than the window's own.
// clang-format off
const ControlSpec Layout[] = {
    {.name = "shou", .kind = ControlKind::Button, .left = 1080, .top = 120, .width = 885, .height = 480,
     .text = "首页", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "返回默认首页!", .skin = SkinB,
     .style = 4, .crad = 3, .skinpr = 5},
    {.name = "hou", .kind = ControlKind::Button, .left = 2400, .top = 120, .width = 1005, .height = 480,
     .text = "←后退", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "上一页", .enabled = false,
     .skin = SkinA, .style = 4, .skinpr = 3},
    {.name = "qian", .kind = ControlKind::Button, .left = 3720, .top = 120, .width = 1005, .height = 480,
     .text = "前进→", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "下一页", .enabled = false,
     .skin = SkinA, .style = 4, .skinpr = 3},
    {.name = "ting", .kind = ControlKind::Button, .left = 5160, .top = 120, .width = 765, .height = 480,
     .text = "停止", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "停止操作", .skin = SkinC,
     .style = 4, .crad = 0, .skinpr = 1},
    {.name = "xin", .kind = ControlKind::Button, .left = 6240, .top = 120, .width = 765, .height = 480,
     .text = "刷新", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "刷新页面", .skin = SkinB,
     .style = 4, .crad = 3, .skinpr = 5},
    {.name = "guan", .kind = ControlKind::Button, .left = 7440, .top = 120, .width = 1005, .height = 480,
     .text = "关于", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "关于本软件", .skin = SkinD,
     .style = 4, .skinpr = 3},
    {.name = "tui", .kind = ControlKind::Button, .left = 8880, .top = 120, .width = 1005, .height = 480,
     .text = "退出", .font = ButtonFont, .pointer = Pointer::Arrow, .toolTip = "退出程序", .skin = SkinD,
     .style = 4, .skinpr = 3},
    {.name = "Webban", .kind = ControlKind::Button, .left = 240, .top = 7800, .width = 1215, .height = 495,
     .font = ButtonFont, .fore = Rgb(0, 0, 255), .back = SystemHighlightText, .pointer = Pointer::Link,
     .toolTip = "点击了解Web版"},
    {.name = "help", .kind = ControlKind::Button, .left = 1800, .top = 7800, .width = 885, .height = 465,
     .text = "下载帮助", .font = ButtonFont, .fore = Rgb(255, 0, 0), .pointer = Pointer::Link,
     .toolTip = "查看手机软件下载帮助!", .skin = SkinB, .style = 4, .crad = 3, .skinpr = 5},
    {.name = "wap", .kind = ControlKind::Browser, .left = 1080, .top = 720, .width = 9255, .height = 6615},
    {.name = "exp", .kind = ControlKind::ProgressBar, .left = 6720, .top = 8160, .width = 1935, .height = 150},
    {.name = "Ad03", .kind = ControlKind::Image, .left = 120, .top = 2040, .width = 855, .height = 1095,
     .pointer = Pointer::Link, .toolTip = SponsorTip, .picture = ":/images/sponsor3.jpg", .stretch = true},
    {.name = "Ad02", .kind = ControlKind::Image, .left = 0, .top = 3840, .width = 1140, .height = 780,
     .pointer = Pointer::Link, .toolTip = SponsorTip, .picture = ":/images/sponsor2.jpg", .stretch = true},
    {.name = "Ad01", .kind = ControlKind::Image, .left = 120, .top = 5400, .width = 900, .height = 1200,
     .pointer = Pointer::Link, .toolTip = SponsorTip, .picture = ":/images/sponsor1.jpg"},
    {.name = "deng", .kind = ControlKind::Label, .left = 5040, .top = 8040, .width = 1335, .height = 255,
     .font = {"宋体", 12, true}, .fore = Rgb(128, 128, 255), .back = Rgb(255, 224, 192)},
    {.name = "pai", .kind = ControlKind::Label, .left = 9000, .top = 8040, .width = 1215, .height = 255,
     .text = "9999999", .font = {"宋体", 14.25, true}, .fore = Rgb(192, 0, 192), .back = SystemToolTipBack,
     .toolTip = "显示您当前的排名！"},
    {.name = "toux", .kind = ControlKind::Label, .left = 3600, .top = 8040, .width = 1095, .height = 255,
     .text = "往往往往", .font = {"宋体", 12, true}, .fore = Rgb(255, 128, 0), .back = SystemToolTipBack,
     .toolTip = "多下载手机游戏可获得经验升级！"},
    {.name = "Image3", .kind = ControlKind::Image, .left = 2880, .top = 7800, .width = 7395, .height = 570,
     .picture = ":/images/strip.jpg", .stretch = true},
    {.name = "Label3", .kind = ControlKind::Label, .left = 0, .top = 1200, .width = 1095, .height = 255,
     .text = "赞助商链接", .font = {"宋体", 10.5}, .fore = Rgb(255, 255, 255), .back = SystemHighlight},
    {.name = "Image2", .kind = ControlKind::Image, .left = 120, .top = 120, .width = 825, .height = 825,
     .pointer = Pointer::Link, .toolTip = "点击使用本软件的Web版！", .picture = ":/images/logo.jpg", .stretch = true},
    {.name = "Label1", .kind = ControlKind::Label, .left = 5880, .top = 7440, .width = 3615, .height = 255,
     .text = NoticeLine.constData(), .font = {"Tahoma", 10.5}, .fore = Rgb(0, 0, 255),
     .back = Rgb(255, 255, 255), .pointer = Pointer::Link},
    {.name = "sta", .kind = ControlKind::Label, .left = 1320, .top = 7440, .width = 1215, .height = 255,
     .text = "请稍等", .font = {"宋体", 10.5, true}, .fore = Rgb(255, 0, 0), .back = SystemToolTipBack},
    {.name = "Image1", .kind = ControlKind::Image, .left = 0, .top = -720, .width = 10425, .height = 9240,
     .picture = ":/images/backdrop.jpg", .stretch = true},
};
// clang-format on

constexpr const char* TabOrder[] = {"hou", "qian", "xin",  "ting", "wap",   "guan",
                                    "tui", "help", "shou", "exp",  "Webban"};

// The progress display as the refresh sees it: the bar `exp` and the labels
// `pai`, `toux` and `deng`.
class WindowProgressDisplay : public ProgressDisplay {
public:
    explicit WindowProgressDisplay(const Controls& controls)
        : exp_(controls.Get<ExperienceBar>("exp")),
          pai_(controls.Get<QLabel>("pai")),
          toux_(controls.Get<QLabel>("toux")),
          deng_(controls.Get<QLabel>("deng")) {}

    void SetBarMin(float value) override { exp_->SetMinimum(value); }
    void SetBarMax(float value) override { exp_->SetMaximum(value); }
    void SetBarValue(float value) override { exp_->SetValue(value); }
    float BarMin() const override { return exp_->Minimum(); }
    float BarMax() const override { return exp_->Maximum(); }
    void SetBarToolTip(const std::string& text) override { exp_->setToolTip(Text(text)); }
    void SetRankNumber(const std::string& text) override { pai_->setText(Text(text)); }
    void SetRankTitle(const std::string& text) override { toux_->setText(Text(text)); }
    void SetInsignia(const std::string& text) override { deng_->setText(Text(text)); }
    void SetInsigniaToolTip(const std::string& text) override { deng_->setToolTip(Text(text)); }

private:
    static QString Text(const std::string& utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }

    ExperienceBar* exp_;
    QLabel* pai_;
    QLabel* toux_;
    QLabel* deng_;
};

}  // namespace

frmWap::frmWap(Core& core, ShellOpener& shell, Browser* browser, std::function<void()> endProgram)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      core_(core),
      shell_(shell),
      wap_(browser),
      endProgram_(std::move(endProgram)) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(7.5);
    setFont(font);
    SetClientSize(this, 10425, 8460);
    SetProgramIcon(this);
    setCursor(ArrowPointer());
    controls_ = BuildControls(this, Layout, TabOrder, browser);
    ConnectHandlers();
}

void frmWap::ConnectHandlers() {
    // Every handler runs inside SkipIfFails: its first failing step ends it,
    // and the failure stops there.
    OnClick(this, controls_, "Ad01", &frmWap::Ad01_Click);
    OnClick(this, controls_, "Ad02", &frmWap::Ad02_Click);
    OnClick(this, controls_, "Ad03", &frmWap::Ad03_Click);
    OnClick(this, controls_, "Image2", &frmWap::Image2_Click);
    OnClick(this, controls_, "Label1", &frmWap::Label1_Click);
    OnClick(this, controls_, "shou", &frmWap::shou_Click);
    OnClick(this, controls_, "hou", &frmWap::hou_Click);
    OnClick(this, controls_, "qian", &frmWap::qian_Click);
    OnClick(this, controls_, "ting", &frmWap::ting_Click);
    OnClick(this, controls_, "xin", &frmWap::xin_Click);
    OnClick(this, controls_, "guan", &frmWap::guan_Click);
    OnClick(this, controls_, "help", &frmWap::help_Click);
    OnClick(this, controls_, "Webban", &frmWap::Webban_Click);
    OnClick(this, controls_, "tui", &frmWap::tui_Click);

    connect(wap_, &Browser::StatusTextChange, this,
            [this](const QString& text) { SkipIfFails([&] { wap_StatusTextChange(text); }); });
    connect(wap_, &Browser::ProgressChange, this, [this](int progress, int progressMax) {
        SkipIfFails([&] { wap_ProgressChange(progress, progressMax); });
    });
    connect(wap_, &Browser::CommandStateChange, this, [this](int command, bool enable) {
        SkipIfFails([&] { wap_CommandStateChange(command, enable); });
    });
    connect(wap_, &Browser::DownloadComplete, this,
            [this] { SkipIfFails([&] { wap_DownloadComplete(); }); });
    connect(wap_, &Browser::NavigateComplete2, this,
            [this](const QString& url) { SkipIfFails([&] { wap_NavigateComplete2(url); }); });
}

void frmWap::Show() {
    if (!loaded_) {
        loaded_ = true;
        loading_ = true;
        SkipIfFails([this] { Form_Load(); });
        loading_ = false;
        if (closeRequested_) {
            close();
            return;
        }
        CenterOnScreen(this);
    }
    show();
}

bool frmWap::focusNextPrevChild(bool next) {
    return MoveFocusInTabOrder(this, controls_, TabOrder, next) ||
           QWidget::focusNextPrevChild(next);
}

void frmWap::Flash() {
    WindowProgressDisplay display(controls_);
    tessaly::Flash(core_, display);
}

void frmWap::RequestClose() {
    closeRequested_ = true;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (!modal->close()) {
            break;
        }
    }
    if (!loading_) {
        close();
    }
}

void frmWap::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        SkipIfFails([this] { Form_Unload(); });
    }
    event->accept();
    emit Closed();
}

// --- Load and unload ---

void frmWap::Form_Load() {
    controls_.Get<SkinButton>("Webban")->SetCaption(QStringLiteral("更方便地\r下载游戏"));
    setWindowTitle(QStringLiteral("Tessaly － ") + QString::fromUtf8(SiteAddress) +
                   QStringLiteral("    ") + QString::fromUtf8(ProgramVersion));
    wap_->Navigate(QString::fromUtf8(HomePageUrl));
    if (core_.RunCount == 1) {
        frmWel::ShowModal(this, shell_, ToQString(core_.ProgramFolder()));
    }
}

void frmWap::Form_Unload() {
    core_.SaveProgress();
}

// --- Clicks ---

void frmWap::SponsorClick(const char* sponsorUrl) {
    // The award stands even when the sponsor's site cannot be opened.
    SkipFailingSteps([&] { shell_.ShellOpen(this, QString::fromUtf8(sponsorUrl)); },
                     [&] { core_.AwardSponsorClick(); }, [&] { Flash(); });
}

void frmWap::Ad01_Click() {
    SponsorClick(SponsorUrl1);
}
void frmWap::Ad02_Click() {
    SponsorClick(SponsorUrl2);
}
void frmWap::Ad03_Click() {
    SponsorClick(SponsorUrl3);
}

void frmWap::OpenSite() {
    shell_.ShellOpen(this, QString::fromUtf8(SiteUrl));
}
void frmWap::Image2_Click() {
    OpenSite();
}
void frmWap::Label1_Click() {
    OpenSite();
}

void frmWap::shou_Click() {
    wap_->Navigate(QString::fromUtf8(HomePageUrl));
    Flash();
}

void frmWap::hou_Click() {
    SkipFailingSteps([this] { wap_->GoBack(); });
}

void frmWap::qian_Click() {
    SkipFailingSteps([this] { wap_->GoForward(); });
}

void frmWap::ting_Click() {
    wap_->Stop();
}

void frmWap::xin_Click() {
    wap_->Refresh();
    controls_.Get<QLabel>("sta")->setText(QStringLiteral("请稍候"));
}

void frmWap::guan_Click() {
    frmAbout::ShowModal(this, shell_);
}

void frmWap::help_Click() {
    shell_.ShellOpen(this, ProgramFilePath(ToQString(core_.ProgramFolder()), "\\help\\help.htm"));
}

void frmWap::Webban_Click() {
    shell_.ShellOpen(this,
                     ProgramFilePath(ToQString(core_.ProgramFolder()), "\\Web版隆重上线！.txt"));
}

void frmWap::tui_Click() {
    core_.SaveProgress();
    unloaded_ = true;  // ends without the unload step: the record is written once
    endProgram_();
}

// --- Browser events ---

void frmWap::wap_StatusTextChange(const QString&) {
    SkipFailingSteps([this] { core_.AwardStatusTextChange(); }, [this] { Flash(); });
}

void frmWap::wap_ProgressChange(int, int progressMax) {
    core_.AwardProgressChange(progressMax);
}

void frmWap::wap_CommandStateChange(int command, bool enable) {
    if (command == 1) {
        controls_["qian"]->setEnabled(enable);
    } else if (command == 2) {
        controls_["hou"]->setEnabled(enable);
    }
}

void frmWap::wap_DownloadComplete() {
    auto* sta = controls_.Get<QLabel>("sta");
    sta->setText(QStringLiteral("完成"));
    core_.AwardDownloadComplete();
    sta->repaint();
}

void frmWap::wap_NavigateComplete2(const QString&) {
    auto* sta = controls_.Get<QLabel>("sta");
    core_.AwardNavigateComplete();
    sta->setText(QStringLiteral("请稍候"));
    sta->repaint();
}

}  // namespace tessaly
