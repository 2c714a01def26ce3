#include "control_layout.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <algorithm>

#include "click_label.h"
#include "experience_bar.h"
#include "pointers.h"
#include "skin_button.h"

namespace tessaly {

namespace {

constexpr double TwipsPerPixel = 15.0;

QColor Resolve(const ColorSpec& spec) {
    const QPalette palette = QApplication::palette();
    switch (spec.source) {
        case ColorSpec::Source::Rgb:
            return QColor(spec.red, spec.green, spec.blue);
        case ColorSpec::Source::Highlight:
            return palette.color(QPalette::Highlight);
        case ColorSpec::Source::HighlightText:
            return palette.color(QPalette::HighlightedText);
        case ColorSpec::Source::ToolTipBase:
            return palette.color(QPalette::ToolTipBase);
        case ColorSpec::Source::ButtonFace:
            return palette.color(QPalette::Window);
        case ColorSpec::Source::None:
            break;
    }
    return {};
}

QFont Resolve(const FontSpec& spec, const QFont& inherited) {
    QFont font = inherited;
    if (spec.family != nullptr) {
        font.setFamily(QString::fromUtf8(spec.family));
        font.setPointSizeF(spec.points);
        font.setBold(spec.bold);
        font.setUnderline(spec.underline);
    }
    return font;
}

QWidget* CreateLabel(const ControlSpec& spec, QWidget* parent) {
    auto* label = new ClickLabel(QString::fromUtf8(spec.text), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(spec.wordWrap);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QWidget* CreateImage(const ControlSpec& spec, QWidget* parent) {
    auto* image = new ClickLabel(parent);
    image->setPixmap(QPixmap(QString::fromUtf8(spec.picture)));
    image->setScaledContents(spec.stretch);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Screen readers name a picture by its tooltip, as a sighted user would.
    image->setAccessibleName(QString::fromUtf8(spec.toolTip));
    return image;
}

QWidget* CreateButton(const ControlSpec& spec, QWidget* parent) {
    auto* button = new SkinButton(parent);
    button->SetCaption(QString::fromUtf8(spec.text));
    if (spec.skin != nullptr) {
        button->SetSkin(QImage(QString::fromUtf8(spec.skin)));
    }
    button->SetSkinStyle(spec.style);
    button->SetCornerRadius(spec.crad);
    button->SetSkinFrame(spec.skinpr);
    button->SetTextColor(Resolve(spec.fore));
    button->SetBackColor(Resolve(spec.back));
    return button;
}

QWidget* CreateFrame(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);  // an etched line, as a group frame
    return frame;
}

QWidget* CreateShape(QWidget* parent) {
    auto* shape = new QFrame(parent);
    shape->setFrameStyle(QFrame::Box | QFrame::Plain);
    shape->setLineWidth(1);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    shape->setPalette(palette);
    shape->setAttribute(Qt::WA_TransparentForMouseEvents);
    return shape;
}

QWidget* Create(const ControlSpec& spec, QWidget* parent, QWidget* browser) {
    switch (spec.kind) {
        case ControlKind::Label:
            return CreateLabel(spec, parent);
        case ControlKind::Image:
            return CreateImage(spec, parent);
        case ControlKind::Button:
            return CreateButton(spec, parent);
        case ControlKind::Browser:
            browser->setParent(parent);
            return browser;
        case ControlKind::ProgressBar:
            return new ExperienceBar(parent);
        case ControlKind::Frame:
            return CreateFrame(parent);
        case ControlKind::Shape:
            return CreateShape(parent);
    }
    return nullptr;
}

void ApplyLook(const ControlSpec& spec, QWidget* widget) {
    widget->setObjectName(QString::fromUtf8(spec.name));
    widget->setGeometry(TwipsToPixels(spec.left), TwipsToPixels(spec.top),
                        TwipsToPixels(spec.width), TwipsToPixels(spec.height));
    widget->setFont(Resolve(spec.font, widget->font()));
    widget->setEnabled(spec.enabled);
    if (*spec.toolTip != '\0') {
        widget->setToolTip(QString::fromUtf8(spec.toolTip));
    }
    if (spec.pointer == Pointer::Link) {
        widget->setCursor(LinkPointer());
    } else if (spec.pointer == Pointer::SiteLink) {
        widget->setCursor(SiteLinkPointer());
    } else if (spec.pointer == Pointer::Arrow) {
        widget->setCursor(Qt::ArrowCursor);
    }
    if (spec.kind == ControlKind::Label) {
        QPalette palette = widget->palette();
        if (spec.fore.source != ColorSpec::Source::None) {
            palette.setColor(QPalette::WindowText, Resolve(spec.fore));
        }
        if (spec.back.source != ColorSpec::Source::None) {
            palette.setColor(QPalette::Window, Resolve(spec.back));
            widget->setAutoFillBackground(true);
        }
        widget->setPalette(palette);
    }
}

// The widget that takes the keyboard focus for `control`: the control itself,
// or, for a control that passes its focus on (the browser pane hands it to the
// page inside), the end of that hand-over. None for a control that never
// takes the focus.
QWidget* FocusReceiver(QWidget* control) {
    for (QWidget* widget = control; widget != nullptr; widget = widget->focusProxy()) {
        if (widget->focusPolicy() != Qt::NoFocus) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace

QWidget* Controls::operator[](const QString& name) const {
    QWidget* control = byName_.value(name);
    if (control == nullptr) {
        qFatal("No control named \"%s\" in this window", qUtf8Printable(name));
    }
    return control;
}

void Controls::WrongType(const QString& name, const QWidget* control, const char* expected) {
    qFatal("Control \"%s\" is a %s, not a %s", qUtf8Printable(name),
           control->metaObject()->className(), expected);
}

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}

void SetClientSize(QWidget* form, int widthTwips, int heightTwips) {
    form->setFixedSize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
}

Controls BuildControls(QWidget* form, std::span<const ControlSpec> specs,
                       std::span<const char* const> tabOrder, QWidget* browser) {
    Controls controls;
    // Each new child is stacked above its siblings, so build from the bottom
    // up; frames first, as they hold other controls.
    for (const bool frames : {true, false}) {
        for (auto spec = specs.rbegin(); spec != specs.rend(); ++spec) {
            if ((spec->kind == ControlKind::Frame) != frames) {
                continue;
            }
            QWidget* parent = spec->parent ? controls[QString::fromUtf8(spec->parent)] : form;
            QWidget* widget = Create(*spec, parent, browser);
            ApplyLook(*spec, widget);
            controls.Add(QString::fromUtf8(spec->name), widget);
        }
    }
    // Qt's focus chain gives the first focus when the window opens. Qt ignores
    // a link to a widget that takes no focus itself, so each control is linked
    // through the widget that receives its focus, and controls that never
    // take it (the progress bar) are left out instead of breaking the chain.
    QWidget* previous = nullptr;
    for (const char* name : tabOrder) {
        QWidget* next = FocusReceiver(controls[QString::fromUtf8(name)]);
        if (next == nullptr) {
            continue;
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, next);
        }
        previous = next;
    }
    return controls;
}

bool MoveFocusInTabOrder(QWidget* form, const Controls& controls,
                         std::span<const char* const> tabOrder, bool forward) {
    const auto count = static_cast<int>(tabOrder.size());
    const auto control = [&](int index) { return controls[QString::fromUtf8(tabOrder[index])]; };
    // The control that holds the focus, which may sit deep inside it; before
    // the first or after the last when none does.
    int current = forward ? -1 : count;
    for (QWidget* w = form->focusWidget(); w != nullptr && w != form; w = w->parentWidget()) {
        const auto found = std::find_if(tabOrder.begin(), tabOrder.end(), [&](const char* name) {
            return controls[QString::fromUtf8(name)] == w;
        });
        if (found != tabOrder.end()) {
            current = static_cast<int>(found - tabOrder.begin());
            break;
        }
    }
    for (int step = 1; step <= count; ++step) {
        const int index = ((current + (forward ? step : -step)) % count + count) % count;
        QWidget* receiver = FocusReceiver(control(index));
        if (receiver != nullptr && (receiver->focusPolicy() & Qt::TabFocus) &&
            receiver->isEnabled() && receiver->isVisibleTo(form)) {
            control(index)->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

}  // namespace tessaly
