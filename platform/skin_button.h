#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>

namespace tessaly {

// A push button whose face is drawn from a skin bitmap.
//
// - The caption may hold a carriage return, which breaks it into two lines.
// - `style` 4 draws the face from the skin; any other style, or no skin, draws
//   a plain raised face in the background colour.
// - `skinpr` is how many pixels at each edge of the skin are kept unscaled
//   when the face is stretched to the button (the skin's frame).
// - `crad` rounds the face's corners by that many pixels.
// Hovered, pressed, focused and disabled states are drawn from the same
// skin. A disabled button emits no click, as every QAbstractButton.
class SkinButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit SkinButton(QWidget* parent = nullptr);

    void SetCaption(const QString& caption) { setText(caption); }
    QString Caption() const { return text(); }

    void SetSkin(const QImage& skin);
    void SetSkinStyle(int style) {
        style_ = style;
        update();
    }
    void SetCornerRadius(int crad) {
        crad_ = crad;
        update();
    }
    void SetSkinFrame(int skinpr) {
        skinpr_ = skinpr;
        update();
    }
    void SetTextColor(const QColor& color) {
        textColor_ = color;
        update();
    }
    void SetBackColor(const QColor& color) {
        backColor_ = color;
        update();
    }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void DrawFace(QPainter& painter, const QImage& skin) const;

    QImage skin_;
    QImage disabledSkin_;
    int style_ = 4;
    int crad_ = 0;
    int skinpr_ = 3;
    QColor textColor_;
    QColor backColor_;
    bool hovered_ = false;
};

}  // namespace tessaly
