#include "skin_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace tessaly {

namespace {

constexpr int SkinStyle = 4;

// Draws `image` into `target`, keeping a frame of `border` pixels at each
// edge unscaled and stretching only the middle.
void DrawNineSlice(QPainter& painter, const QImage& image, const QRect& target, int border) {
    const int b = std::clamp(border, 0, std::min(image.width(), image.height()) / 2);
    const int tb = std::min(b, std::min(target.width(), target.height()) / 2);
    const int sx[4] = {0, b, image.width() - b, image.width()};
    const int sy[4] = {0, b, image.height() - b, image.height()};
    const int tx[4] = {target.left(), target.left() + tb, target.right() + 1 - tb,
                       target.right() + 1};
    const int ty[4] = {target.top(), target.top() + tb, target.bottom() + 1 - tb,
                       target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect source(sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row]);
            const QRect dest(tx[col], ty[row], tx[col + 1] - tx[col], ty[row + 1] - ty[row]);
            if (!source.isEmpty() && !dest.isEmpty()) {
                painter.drawImage(dest, image, source);
            }
        }
    }
}

}  // namespace

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

void SkinButton::SetSkin(const QImage& skin) {
    skin_ = skin.convertToFormat(QImage::Format_RGB32);
    disabledSkin_ =
        skin_.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
    update();
}

QSize SkinButton::sizeHint() const {
    const QStringList lines = text().split(QLatin1Char('\r'));
    const QFontMetrics metrics(font());
    int width = 0;
    for (const QString& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    return {width + 16, metrics.height() * static_cast<int>(lines.size()) + 8};
}

void SkinButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SkinButton::DrawFace(QPainter& painter, const QImage& skin) const {
    if (style_ == SkinStyle && !skin.isNull()) {
        DrawNineSlice(painter, skin, rect(), skinpr_);
        return;
    }
    // A plain raised face: light top and left edges, dark bottom and right.
    const QColor face = backColor_.isValid() ? backColor_ : palette().color(QPalette::Button);
    painter.fillRect(rect(), face);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    painter.setPen(isDown() ? face.darker(160) : face.lighter(150));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(isDown() ? face.lighter(150) : face.darker(160));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (crad_ > 0) {
        QPainterPath face;
        face.addRoundedRect(QRectF(rect()), crad_, crad_);
        painter.setClipPath(face);
    }

    DrawFace(painter, isEnabled() ? skin_ : disabledSkin_);
    if (isEnabled() && isDown()) {
        painter.fillRect(rect(), QColor(0, 0, 0, 45));
    } else if (isEnabled() && hovered_) {
        painter.fillRect(rect(), QColor(255, 255, 255, 60));
    }

    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }

    QColor ink = textColor_.isValid() ? textColor_ : palette().color(QPalette::ButtonText);
    if (!isEnabled()) {
        ink = palette().color(QPalette::Disabled, QPalette::ButtonText);
    }
    painter.setPen(ink);
    painter.setFont(font());
    const QRect textArea = isDown() ? rect().translated(1, 1) : rect();
    QString lines = text();
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    painter.drawText(textArea, Qt::AlignCenter, lines);
}

}  // namespace tessaly
