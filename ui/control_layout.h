#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QWidget>
#include <span>

namespace tessaly {

// Window layouts are kept as data: one ControlSpec per control, positions and
// sizes in twips (1440 per inch, 15 per pixel at 96 dpi) relative to the
// client area of the window or of the control's parent.

enum class ControlKind { Label, Image, Button, Browser, ProgressBar, Frame, Shape };

struct ColorSpec {
    enum class Source { None, Rgb, Highlight, HighlightText, ToolTipBase, ButtonFace };
    Source source = Source::None;
    int red = 0, green = 0, blue = 0;
};
constexpr ColorSpec Rgb(int red, int green, int blue) {
    return {ColorSpec::Source::Rgb, red, green, blue};
}
inline constexpr ColorSpec SystemHighlight{ColorSpec::Source::Highlight};
inline constexpr ColorSpec SystemHighlightText{ColorSpec::Source::HighlightText};
inline constexpr ColorSpec SystemToolTipBack{ColorSpec::Source::ToolTipBase};
inline constexpr ColorSpec SystemButtonFace{ColorSpec::Source::ButtonFace};

struct FontSpec {
    const char* family = nullptr;  // nullptr: the window's font
    double points = 0;
    bool bold = false;
    bool underline = false;
};

// Default: the window's own pointer. Arrow: the system's standard arrow.
enum class Pointer { Default, Arrow, Link, SiteLink };

struct ControlSpec {
    const char* name;
    ControlKind kind;
    int left = 0, top = 0, width = 0, height = 0;
    const char* parent = nullptr;  // a Frame of the same table, or the window
    const char* text = "";
    FontSpec font{};
    ColorSpec fore{};
    ColorSpec back{};  // labels with a back colour are opaque
    Pointer pointer = Pointer::Default;
    const char* toolTip = "";
    const char* picture = nullptr;  // resource path
    bool stretch = false;
    bool wordWrap = false;
    bool enabled = true;
    // Skinned buttons
    const char* skin = nullptr;  // resource path
    int style = 0, crad = 0, skinpr = 0;
};

int TwipsToPixels(int twips);

// The controls of one window by name. A name the window does not have, or a
// control of another type than the caller expects, is a fault in the program:
// the lookup ends the program at once with a message naming the control, in
// every build, instead of handing back a pointer that is wrong.
class Controls {
public:
    QWidget* operator[](const QString& name) const;
    // The control of that name, or nullptr when the window has none: for
    // asking whether some widget is one of the window's controls.
    QWidget* Find(const QString& name) const { return byName_.value(name); }
    template <class T>
    T* Get(const QString& name) const {
        QWidget* control = (*this)[name];
        T* typed = qobject_cast<T*>(control);
        if (typed == nullptr) {
            WrongType(name, control, T::staticMetaObject.className());
        }
        return typed;
    }
    void Add(const QString& name, QWidget* widget) { byName_.insert(name, widget); }

private:
    [[noreturn]] static void WrongType(const QString& name, const QWidget* control,
                                       const char* expected);
    QHash<QString, QWidget*> byName_;
};

// Creates the controls of `specs` on `form`. The table lists controls from the
// top of the z-order to the bottom; `tabOrder` names the focusable controls in
// tab order. A Browser control is `browser`, placed as the table says.
Controls BuildControls(QWidget* form, std::span<const ControlSpec> specs,
                       std::span<const char* const> tabOrder = {}, QWidget* browser = nullptr);

// Moves the keyboard focus of `form` from the control of `tabOrder` that holds
// it to the next (or, backwards, the previous) one that can take it now,
// round the end of the list. Controls that are disabled, hidden or never take
// the focus are passed over. Returns false when no control can take it.
bool MoveFocusInTabOrder(QWidget* form, const Controls& controls,
                         std::span<const char* const> tabOrder, bool forward);

// Client-area size in twips, as a fixed window size in pixels.
void SetClientSize(QWidget* form, int widthTwips, int heightTwips);

}  // namespace tessaly
