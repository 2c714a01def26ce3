#include "frmOpen.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QStyle>
#include <memory>

#include "control_layout.h"
#include "form_support.h"
#include "skip_failing_steps.h"

namespace tessaly {

namespace {

// The dialog's controls in twips, like the other windows' layouts. The
// controls are the system's own (an editable list, push buttons), as in the
// classic Open dialog of desktop browsers.
enum class OpenControl { Icon, Label, Caption, Address, Button };

struct OpenSpec {
    const char* name;
    OpenControl kind;
    int left, top, width, height;
    const char* text;
};

// clang-format off
const OpenSpec Layout[] = {
    {"Image1",  OpenControl::Icon,    180,  180,  480,  480, ""},
    {"Label1",  OpenControl::Label,   840,  240, 4800,  480, "请输入网址或文件名:"},
    {"Label2",  OpenControl::Caption, 180,  900,  660,  300, "打开(&O):"},
    {"dizhi",   OpenControl::Address, 840,  840, 4800,  330, ""},
    {"qued",    OpenControl::Button, 1920, 1440, 1140,  360, "确定"},
    {"quxiao",  OpenControl::Button, 3180, 1440, 1140,  360, "取消"},
    {"liulan",  OpenControl::Button, 4440, 1440, 1200,  360, "浏览(&B)..."},
};
// clang-format on
constexpr int ClientWidth = 5820;
constexpr int ClientHeight = 2010;

QRect Geometry(const OpenSpec& spec) {
    return QRect(TwipsToPixels(spec.left), TwipsToPixels(spec.top), TwipsToPixels(spec.width),
                 TwipsToPixels(spec.height));
}

}  // namespace

frmOpen::frmOpen(QWidget* owner, const QString& programFolder, Navigate navigate, PickFile pickFile)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      typed_(programFolder),
      navigate_(std::move(navigate)),
      pickFile_(std::move(pickFile)),
      address_(nullptr),
      completer_(nullptr),
      completions_(nullptr) {
    setWindowTitle(QStringLiteral("打开"));
    SetClientSize(this, ClientWidth, ClientHeight);
    SetProgramIcon(this);
    QLabel* caption = nullptr;
    for (const OpenSpec& spec : Layout) {
        QWidget* control = nullptr;
        const QString text = QString::fromUtf8(spec.text);
        switch (spec.kind) {
            case OpenControl::Icon: {
                auto* icon = new QLabel(this);
                const int side = TwipsToPixels(spec.width);
                icon->setPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(side, side));
                control = icon;
                break;
            }
            case OpenControl::Label:
            case OpenControl::Caption: {
                auto* label = new QLabel(text, this);
                label->setWordWrap(true);
                if (spec.kind == OpenControl::Caption) {
                    caption = label;
                }
                control = label;
                break;
            }
            case OpenControl::Address:
                address_ = new QComboBox(this);
                address_->setEditable(true);
                address_->setInsertPolicy(QComboBox::NoInsert);
                address_->setMaxVisibleItems(TypedAddresses::MaxRemembered);
                control = address_;
                break;
            case OpenControl::Button: {
                auto* button = new QPushButton(text, this);
                const QString name = QString::fromLatin1(spec.name);
                if (name == QLatin1String("qued")) {
                    button->setDefault(true);
                    connect(button, &QPushButton::clicked, this,
                            [this] { SkipIfFails([this] { qued_Click(); }); });
                } else if (name == QLatin1String("quxiao")) {
                    connect(button, &QPushButton::clicked, this, [this] { quxiao_Click(); });
                } else {
                    connect(button, &QPushButton::clicked, this,
                            [this] { SkipIfFails([this] { liulan_Click(); }); });
                }
                control = button;
                break;
            }
        }
        control->setObjectName(QString::fromLatin1(spec.name));
        control->setGeometry(Geometry(spec));
    }
    if (caption != nullptr) {
        caption->setBuddy(address_);
    }
    // As the user types, the list under the field offers the addresses that
    // match from those typed before, the favourites and the history.
    completions_ = new QStringListModel(this);
    completer_ = new QCompleter(completions_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setMaxVisibleItems(MaxCompletions);
    address_->setCompleter(completer_);
    connect(address_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        completions_->setStringList(MatchAddresses(text, candidates_, MaxCompletions));
        if (completions_->rowCount() > 0) {
            completer_->complete();
        } else {
            completer_->popup()->hide();
        }
    });
    address_->setFocus();
}

void frmOpen::ShowModal(QWidget* owner, const QString& programFolder, Navigate navigate,
                        KnownAddresses known) {
    auto dialog = std::make_unique<frmOpen>(owner, programFolder, std::move(navigate));
    dialog->SetKnownAddresses(std::move(known));
    SkipIfFails([&] { dialog->Form_Load(); });
    CenterOnScreen(dialog.get());
    dialog->exec();
}

QString frmOpen::PickFileWithDialog(QWidget* owner) {
    return QFileDialog::getOpenFileName(
        owner, QStringLiteral("打开"), QString(),
        QStringLiteral("WAP 和网页文件 (*.wml *.wmlc *.xhtml *.html *.htm);;所有文件 (*)"));
}

void frmOpen::Form_Load() {
    address_->clear();
    const QStringList typed = typed_.Load();
    address_->addItems(typed);
    std::pair<QList<AddressCandidate>, QList<AddressCandidate>> known;
    if (known_) {
        known = known_();
    }
    candidates_ = MergeAddresses(typed, known.first, known.second);
    address_->setEditText(QString());
}

void frmOpen::qued_Click() {
    const QString typed = address_->currentText().trimmed();
    const QString url = AddressToOpen(typed);
    if (url.isEmpty()) {
        // Nothing the program can open: the dialog stays for a correction.
        address_->lineEdit()->selectAll();
        address_->setFocus();
        return;
    }
    typed_.Remember(typed);
    accept();
    navigate_(url);
}

void frmOpen::quxiao_Click() {
    reject();
}

void frmOpen::liulan_Click() {
    const QString path = pickFile_(this);
    if (!path.isEmpty()) {
        address_->setEditText(QDir::toNativeSeparators(path));
    }
}

}  // namespace tessaly
