// Paints every picture Tessaly ships with: banner, splash, logo, sponsor
// adverts, the bottom strip, the window backdrop, the button faces, the
// window icon and the mouse pointers.
//
// Usage: make_assets <output folder> [--icons <folder>] [--preview <folder>]
//
// Run it through assets/tools/make-assets, which builds it and sets
// QT_QPA_PLATFORM=offscreen.  With --icons, the program's icon is also drawn
// at the desktop's usual sizes into that folder, laid out as the hicolor icon
// theme.  With --preview, enlarged PNG copies of every picture are written as
// well, for looking at them.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>
#include <QtMath>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString g_outDir;
QString g_previewDir;
int g_failures = 0;

// ---------------------------------------------------------------- fonts

enum class Face { Ming, Kai, Hei, Latin };

QFont font(Face face, int pixels, bool bold = false, bool italic = false) {
    QFont f;
    switch (face) {
        case Face::Ming:
            f.setFamilies({"AR PL UMing CN", "AR PL UKai CN", "WenQuanYi Zen Hei"});
            break;
        case Face::Kai:
            f.setFamilies({"AR PL UKai CN", "AR PL UMing CN", "WenQuanYi Zen Hei"});
            break;
        case Face::Hei:
            // Bold headings: the Ming and Kai faces have no real bold weight.
            f.setFamilies({"WenQuanYi Zen Hei", "AR PL UMing CN", "AR PL UKai CN"});
            break;
        case Face::Latin:
            f.setFamilies({"DejaVu Sans", "WenQuanYi Zen Hei"});
            break;
    }
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// ---------------------------------------------------------------- helpers

QColor rgba(const char* hex, int alpha = 255) {
    QColor c(QString::fromLatin1(hex));
    c.setAlpha(alpha);
    return c;
}

// White at the given opacity, the colour of every gloss and glint.
QColor white(int alpha) {
    return QColor(255, 255, 255, alpha);
}

using Stops = std::initializer_list<QGradientStop>;

// A straight colour ramp from `from` to `to` through the given stops.
QLinearGradient ramp(QPointF from, QPointF to, Stops stops) {
    QLinearGradient g(from, to);
    for (const QGradientStop& s : stops)
        g.setColorAt(s.first, s.second);
    return g;
}

// The same ramp running straight down from y0 to y1.
QLinearGradient downRamp(qreal y0, qreal y1, Stops stops) {
    return ramp(QPointF(0, y0), QPointF(0, y1), stops);
}

// A round colour ramp spreading out from `centre`.
QRadialGradient roundRamp(QPointF centre, qreal radius, Stops stops) {
    QRadialGradient g(centre, radius);
    for (const QGradientStop& s : stops)
        g.setColorAt(s.first, s.second);
    return g;
}

// Fills `area` with a glow of `color` that fades out around `centre`.
void glow(QPainter& p, const QRectF& area, QPointF centre, qreal radius, const QColor& color) {
    QColor clear = color;
    clear.setAlpha(0);
    p.fillRect(area, roundRamp(centre, radius, {{0, color}, {1, clear}}));
}

// A closed outline through the given corners.
QPainterPath polygon(std::initializer_list<QPointF> corners) {
    QPainterPath path;
    for (const QPointF& pt : corners) {
        if (path.elementCount() == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// An arc of the circle of radius r around `centre`, in degrees
// anticlockwise from three o'clock, drawn with the current pen.
void arcAround(QPainter& p, QPointF centre, qreal r, int startDeg, int spanDeg) {
    p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), startDeg * 16, spanDeg * 16);
}

QImage newCanvas(int w, int h, const QColor& fill = Qt::transparent) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void setupPainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// A picture being painted: a blank canvas with a painter set up on it.
struct Canvas {
    QImage img;
    QPainter p;

    explicit Canvas(int w, int h, const QColor& fill = Qt::transparent)
        : img(newCanvas(w, h, fill)), p(&img) {
        setupPainter(p);
    }

    // Ends painting and hands back the picture.
    const QImage& done() {
        p.end();
        return img;
    }
};

// One blurred pixel: the average of the `radius` pixels either side of
// line[at] and itself, counting pixels past either end as transparent.
QRgb boxAverage(const std::vector<QRgb>& line, int count, int at, int radius) {
    const int span = 2 * radius + 1;
    int a = 0, r = 0, g = 0, b = 0;
    for (int k = at - radius; k <= at + radius; ++k) {
        if (k < 0 || k >= count)
            continue;
        const QRgb c = line[k];
        a += qAlpha(c);
        r += qRed(c);
        g += qGreen(c);
        b += qBlue(c);
    }
    return qRgba(r / span, g / span, b / span, a / span);
}

// Three passes of a box blur approximate a gaussian; good enough for
// shadows and glows on these small pictures.
QImage boxBlur(const QImage& source, int radius, int passes = 3) {
    QImage img = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (radius <= 0)
        return img;
    const int w = img.width();
    const int h = img.height();
    std::vector<QRgb> line(std::max(w, h));
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            std::copy(row, row + w, line.begin());
            for (int x = 0; x < w; ++x)
                row[x] = boxAverage(line, w, x, radius);
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[y] = reinterpret_cast<const QRgb*>(img.constScanLine(y))[x];
            for (int y = 0; y < h; ++y)
                reinterpret_cast<QRgb*>(img.scanLine(y))[x] = boxAverage(line, h, y, radius);
        }
    }
    return img;
}

// Soft shadow (or glow) of a shape, painted in device coordinates.
void softShadow(QPainter& p, const QPainterPath& path, const QColor& color, int blur,
                QPointF offset = QPointF(0, 0)) {
    const QSize size(p.device()->width(), p.device()->height());
    QImage layer = newCanvas(size.width(), size.height());
    {
        QPainter lp(&layer);
        setupPainter(lp);
        lp.setTransform(p.transform() * QTransform::fromTranslate(offset.x(), offset.y()));
        lp.fillPath(path, color);
    }
    layer = boxBlur(layer, blur);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

QPainterPath roundedRect(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// Merges overlapping pieces into one outline (union, not even-odd holes).
QPainterPath merged(QPainterPath path) {
    path.setFillRule(Qt::WindingFill);
    return path.simplified();
}

QPainterPath ellipsePath(const QPointF& c, qreal rx, qreal ry) {
    QPainterPath path;
    path.addEllipse(c, rx, ry);
    return path;
}

QPainterPath starPath(const QPointF& c, qreal outer, qreal inner, qreal rotationDeg = -90) {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal a = qDegreesToRadians(rotationDeg + i * 36.0);
        const qreal r = (i % 2) ? inner : outer;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

// A glossy gold star with a dark rim.
void goldStar(QPainter& p, const QPointF& c, qreal outer, qreal rim = 1.0) {
    const QPainterPath star = starPath(c, outer, outer * 0.45);
    p.save();
    p.setPen(QPen(rgba("#9a4e00"), rim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(
        roundRamp(QPointF(c.x() - outer * 0.3, c.y() - outer * 0.4), outer * 1.4,
                  {{0.0, rgba("#fffbe0")}, {0.35, rgba("#ffd94a")}, {1.0, rgba("#e88a00")}}));
    p.drawPath(star);
    // upper half gloss
    p.setClipPath(star);
    p.fillRect(QRectF(c.x() - outer, c.y() - outer, 2 * outer, outer),
               downRamp(c.y() - outer, c.y(), {{0, white(170)}, {1, white(0)}}));
    p.restore();
}

// A four-pointed twinkle with a soft halo.
void sparkle(QPainter& p, const QPointF& c, qreal r, const QColor& color = Qt::white,
             int haloAlpha = 150) {
    p.setPen(Qt::NoPen);
    p.setBrush(roundRamp(c, r * 0.9, {{0, white(haloAlpha)}, {1, white(0)}}));
    p.drawEllipse(c, r * 0.9, r * 0.9);
    QPainterPath s;
    s.moveTo(c.x(), c.y() - r);
    s.quadTo(c, QPointF(c.x() + r, c.y()));
    s.quadTo(c, QPointF(c.x(), c.y() + r));
    s.quadTo(c, QPointF(c.x() - r, c.y()));
    s.quadTo(c, QPointF(c.x(), c.y() - r));
    p.fillPath(s, color);
}

// A translucent soap bubble.
void bubble(QPainter& p, const QPointF& c, qreal r, int alpha = 90) {
    p.setPen(Qt::NoPen);
    p.setBrush(roundRamp(c, r, {{0.0, white(0)}, {0.75, white(alpha / 4)}, {1.0, white(alpha)}}));
    p.drawEllipse(c, r, r);
    p.setBrush(white(std::min(255, alpha * 2)));
    p.drawEllipse(QPointF(c.x() - r * 0.4, c.y() - r * 0.4), r * 0.22, r * 0.16);
}

QPainterPath textPath(const QFont& f, const QString& text) {
    QPainterPath path;
    path.addText(0, 0, f, text);
    return path;
}

QPainterPath textAt(const QFont& f, const QString& text, QPointF baseline) {
    QPainterPath path;
    path.addText(baseline, f, text);
    return path;
}

QPainterPath textCentered(const QFont& f, const QString& text, QPointF center) {
    QPainterPath path = textPath(f, text);
    path.translate(center - path.boundingRect().center());
    return path;
}

struct Outline {
    QColor color;
    qreal width;
};

// Paints a text path: outlines from the outermost inwards, then the fill.
void fancyText(QPainter& p, const QPainterPath& path, const QBrush& fill,
               std::initializer_list<Outline> outlines) {
    p.save();
    for (const Outline& o : outlines) {
        p.setPen(QPen(o.color, o.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setPen(Qt::NoPen);
    p.fillPath(path, fill);
    p.restore();
}

// Outlined text (see fancyText) over its own soft drop shadow.
void shadowedText(QPainter& p, const QPainterPath& path, const QColor& shadow, int blur,
                  QPointF offset, const QBrush& fill, std::initializer_list<Outline> outlines) {
    softShadow(p, path, shadow, blur, offset);
    fancyText(p, path, fill, outlines);
}

// Small, hinted text with a one-pixel halo, readable on busy grounds.
void haloText(QPainter& p, const QRectF& rect, int flags, const QString& text, const QFont& f,
              const QColor& fg, const QColor& halo) {
    p.save();
    p.setFont(f);
    p.setPen(halo);
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (dx || dy)
                p.drawText(rect.translated(dx, dy), flags, text);
    p.setPen(fg);
    p.drawText(rect, flags, text);
    p.restore();
}

// Horizontal glossy highlight covering the upper part of a shape.
void topGloss(QPainter& p, const QPainterPath& shape, const QRectF& area, int alphaTop,
              int alphaBottom) {
    p.save();
    p.setClipPath(shape, Qt::IntersectClip);
    p.setPen(Qt::NoPen);
    p.setBrush(
        ramp(area.topLeft(), area.bottomLeft(), {{0, white(alphaTop)}, {1, white(alphaBottom)}}));
    p.drawRoundedRect(area, area.height() * 0.5, area.height() * 0.5);
    p.restore();
}

// A shape over its own soft drop shadow, filled and ringed by a rim.
void shadowedShape(QPainter& p, const QPainterPath& shape, const QColor& shadow, int blur,
                   QPointF offset, const QBrush& fill, const QPen& rim) {
    softShadow(p, shape, shadow, blur, offset);
    p.setPen(rim);
    p.setBrush(fill);
    p.drawPath(shape);
}

// The colours of a glossy pill: its drop shadow, a three-colour ramp from
// top to bottom, its rim, and how far in from the ends its gloss stops and
// how opaque that gloss is at its top and bottom.
struct PillLook {
    QColor shadow;
    QPointF shadowOffset;
    QColor top, middle, bottom;
    QPen rim;
    qreal glossInset;
    int glossTop, glossBottom;
};

// A glossy pill (a tag, a button, a badge) with round ends, over a small
// soft shadow and with a gloss on its upper half.
void glossyPill(QPainter& p, const QRectF& r, const PillLook& look) {
    const QPainterPath shape = roundedRect(r, r.height() / 2);
    shadowedShape(
        p, shape, look.shadow, 1, look.shadowOffset,
        ramp(r.topLeft(), r.bottomLeft(), {{0, look.top}, {0.5, look.middle}, {1, look.bottom}}),
        look.rim);
    topGloss(p, shape, r.adjusted(look.glossInset, 1, -look.glossInset, -r.height() * 0.5),
             look.glossTop, look.glossBottom);
}

// A glossy pill with a short white label in the middle, haloed in `halo`.
void labelledPill(QPainter& p, const QRectF& r, const PillLook& look, const QString& label,
                  const QColor& halo) {
    glossyPill(p, r, look);
    haloText(p, r.adjusted(0, 0, 0, -1), Qt::AlignCenter, label, font(Face::Hei, 12, true),
             Qt::white, halo);
}

// `count` light rays of `width` degrees, one every 360 / count degrees,
// reaching `length` out from `centre`.
void rays(QPainter& p, QPointF centre, int count, qreal width, qreal length, const QColor& color) {
    const qreal step = 360.0 / count;
    for (int i = 0; i < count; ++i) {
        const qreal a0 = qDegreesToRadians(i * step);
        const qreal a1 = qDegreesToRadians(i * step + width);
        p.fillPath(polygon({centre, centre + QPointF(qCos(a0), qSin(a0)) * length,
                            centre + QPointF(qCos(a1), qSin(a1)) * length}),
                   color);
    }
}

// ---------------------------------------------------------------- output

void writePreview(const QImage& img, const QString& name, int scale) {
    if (g_previewDir.isEmpty())
        return;
    QImage shown = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (shown.hasAlphaChannel()) {
        // Show transparency over a chequer board.
        QImage board = newCanvas(shown.width(), shown.height());
        QPainter bp(&board);
        for (int y = 0; y < board.height(); y += 4)
            for (int x = 0; x < board.width(); x += 4)
                bp.fillRect(x, y, 4, 4, ((x + y) / 4) % 2 ? QColor("#c8c8c8") : QColor("#f4f4f4"));
        bp.drawImage(0, 0, shown);
        bp.end();
        shown = board;
    }
    shown = shown.scaled(shown.width() * scale, shown.height() * scale, Qt::IgnoreAspectRatio,
                         Qt::FastTransformation);
    shown.save(QDir(g_previewDir).filePath(name + QStringLiteral(".png")), "PNG");
}

int previewScale(const QImage& img) {
    return std::max(img.width(), img.height()) <= 130 ? 4 : 3;
}

void report(const QString& path, bool ok) {
    if (ok) {
        std::printf("wrote %s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++g_failures;
    }
}

void saveJpeg(const QImage& img, const QString& name, int quality = 92) {
    QImage out = newCanvas(img.width(), img.height(), Qt::white);
    {
        QPainter p(&out);
        p.drawImage(0, 0, img);
    }
    out = out.convertToFormat(QImage::Format_RGB32);
    const QString path = QDir(g_outDir).filePath(name);
    report(path, out.save(path, "JPG", quality));
    // Preview the saved file, so JPEG artefacts show too.
    writePreview(QImage(path), name, previewScale(out));
}

void saveBmp(const QImage& img, const QString& name) {
    const QImage out = img.convertToFormat(QImage::Format_RGB888);
    const QString path = QDir(g_outDir).filePath(name);
    report(path, out.save(path, "BMP"));
    writePreview(out, name, 8);
}

void savePng(const QImage& img, const QString& name, const QString& folder = g_outDir,
             const QString& previewName = QString()) {
    const QImage out = img.convertToFormat(QImage::Format_ARGB32);
    const QString path = QDir(folder).filePath(name);
    report(path, out.save(path, "PNG"));
    writePreview(out, previewName.isEmpty() ? name : previewName,
                 std::max(1, 384 / std::max(out.width(), 48)));
}

// ---------------------------------------------------------------- phone

using ScreenPainter = std::function<void(QPainter&, const QRectF&)>;

// A candy-bar phone: glossy dark body, silver rim, screen and keys.
// Returns the outline of the body.
QPainterPath drawPhone(QPainter& p, const QRectF& body, const ScreenPainter& screen, bool keypad,
                       const QColor& bodyTop = QColor("#3a4657"),
                       const QColor& bodyBottom = QColor("#0d131c")) {
    const qreal w = body.width();
    const qreal h = body.height();
    const qreal radius = w * 0.22;
    const QPainterPath shape = roundedRect(body, radius);

    // body
    p.setPen(Qt::NoPen);
    p.fillPath(shape, ramp(body.topLeft(), body.topRight(),
                           {{0.0, bodyTop.lighter(115)}, {0.45, bodyTop}, {1.0, bodyBottom}}));

    // silver rim
    const QLinearGradient rim =
        ramp(body.topLeft(), body.bottomRight(),
             {{0.0, QColor("#ffffff")}, {0.5, QColor("#9aa6b4")}, {1.0, QColor("#dfe6ee")}});
    p.setPen(QPen(QBrush(rim), std::max<qreal>(1.0, w * 0.035)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);

    // earpiece
    const QRectF ear(body.center().x() - w * 0.16, body.top() + h * 0.045, w * 0.32,
                     std::max<qreal>(1.5, h * 0.02));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#05080c"));
    p.drawRoundedRect(ear, ear.height() / 2, ear.height() / 2);
    p.setBrush(white(60));
    p.drawRoundedRect(ear.translated(0, ear.height() * 0.6), ear.height() / 2, ear.height() / 2);

    // screen bezel and screen
    const QRectF bezel(body.left() + w * 0.09, body.top() + h * 0.1, w * 0.82,
                       h * (keypad ? 0.46 : 0.62));
    p.setBrush(QColor("#05070a"));
    p.drawRoundedRect(bezel, w * 0.06, w * 0.06);
    const QRectF scr = bezel.adjusted(w * 0.05, w * 0.05, -w * 0.05, -w * 0.05);
    p.save();
    p.setClipRect(scr);
    screen(p, scr);
    p.restore();
    // glass reflection
    p.fillPath(polygon({scr.topLeft(), QPointF(scr.left() + scr.width() * 0.75, scr.top()),
                        QPointF(scr.left() + scr.width() * 0.35, scr.bottom()),
                        QPointF(scr.left(), scr.bottom())}),
               ramp(scr.topLeft(), scr.bottomLeft(), {{0, white(70)}, {1, white(8)}}));

    // navigation pad and soft keys
    const qreal keysTop = bezel.bottom() + h * 0.04;
    const QPointF navC(body.center().x(), keysTop + h * 0.06);
    const qreal navR = w * 0.15;
    {
        p.setBrush(roundRamp(QPointF(navC.x() - navR * 0.3, navC.y() - navR * 0.4), navR * 1.4,
                             {{0, QColor("#f4f7fb")}, {1, QColor("#8593a5")}}));
        p.setPen(QPen(QColor("#1b232d"), std::max<qreal>(0.6, w * 0.02)));
        p.drawEllipse(navC, navR, navR * 0.8);
        p.setBrush(QColor("#2b3644"));
        p.setPen(Qt::NoPen);
        p.drawEllipse(navC, navR * 0.35, navR * 0.28);
        const qreal skW = w * 0.2, skH = h * 0.04;
        p.setBrush(downRamp(navC.y() - skH, navC.y() + skH,
                            {{0, QColor("#eaf0f6")}, {1, QColor("#8c99aa")}}));
        p.drawRoundedRect(QRectF(body.left() + w * 0.09, navC.y() - skH, skW, skH * 1.4), skH * 0.6,
                          skH * 0.6);
        p.drawRoundedRect(QRectF(body.right() - w * 0.09 - skW, navC.y() - skH, skW, skH * 1.4),
                          skH * 0.6, skH * 0.6);
        // green call / red end marks
        p.setBrush(QColor("#35c24a"));
        p.drawEllipse(QPointF(body.left() + w * 0.19, navC.y() + skH * 1.5), w * 0.05, w * 0.035);
        p.setBrush(QColor("#ff4a3a"));
        p.drawEllipse(QPointF(body.right() - w * 0.19, navC.y() + skH * 1.5), w * 0.05, w * 0.035);
    }

    if (keypad) {
        const qreal padTop = navC.y() + navR * 0.8 + h * 0.035;
        const qreal padBottom = body.bottom() - h * 0.05;
        const qreal rowH = (padBottom - padTop) / 4.0;
        const qreal colW = w * 0.82 / 3.0;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                const QRectF key(body.left() + w * 0.09 + c * colW + colW * 0.12,
                                 padTop + r * rowH + rowH * 0.14, colW * 0.76, rowH * 0.72);
                p.setBrush(ramp(key.topLeft(), key.bottomLeft(),
                                {{0, QColor("#f6f9fc")}, {1, QColor("#9aa7b7")}}));
                p.setPen(Qt::NoPen);
                p.drawRoundedRect(key, key.height() * 0.45, key.height() * 0.45);
            }
        }
    }

    // diagonal gloss over the left half of the body
    {
        p.save();
        p.setClipPath(shape);
        p.fillPath(
            polygon({QPointF(body.left(), body.top()), QPointF(body.left() + w * 0.55, body.top()),
                     QPointF(body.left() + w * 0.05, body.bottom()),
                     QPointF(body.left(), body.bottom())}),
            ramp(body.topLeft(), QPointF(body.left() + w * 0.5, body.top()),
                 {{0, white(70)}, {1, white(0)}}));
        p.restore();
    }
    return shape;
}

// Where and how a phone lies in a picture: its top-left corner, its tilt in
// degrees, its body and the corner radius, colour, blur and offset of the
// soft shadow under it.
struct PhonePose {
    QPointF at;
    qreal tilt;
    QRectF body;
    qreal shadowRadius;
    QColor shadow;
    int blur;
    QPointF shadowOffset;
};

// A phone laid at a tilt over its soft shadow (see drawPhone).
void tiltedPhone(QPainter& p, const PhonePose& pose, const ScreenPainter& screen, bool keypad,
                 const QColor& bodyTop = QColor("#3a4657"),
                 const QColor& bodyBottom = QColor("#0d131c")) {
    p.save();
    p.translate(pose.at);
    p.rotate(pose.tilt);
    softShadow(p, roundedRect(pose.body, pose.shadowRadius), pose.shadow, pose.blur,
               pose.shadowOffset);
    drawPhone(p, pose.body, screen, keypad, bodyTop, bodyBottom);
    p.restore();
}

// A phone screen filled with a ramp from `top` down to `bottom`.
void screenRamp(QPainter& sp, const QRectF& r, const QColor& top, const QColor& bottom) {
    sp.fillRect(r, ramp(r.topLeft(), r.bottomLeft(), {{0, top}, {1, bottom}}));
}

// A little platform game scene, painted pixel by pixel.
QImage gameScene(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);

    // sky
    for (int y = 0; y < h; ++y) {
        const qreal t = qreal(y) / h;
        p.fillRect(0, y, w, 1, QColor::fromRgbF(0.30 + 0.55 * t, 0.70 + 0.25 * t, 1.0));
    }
    // sun
    p.setBrush(QColor("#fff3a0"));
    p.setPen(Qt::NoPen);
    p.drawEllipse(w - 11, 7, 6, 6);
    // clouds
    auto cloud = [&](int x, int y) {
        p.fillRect(x + 1, y, 5, 1, Qt::white);
        p.fillRect(x, y + 1, 8, 2, Qt::white);
        p.fillRect(x + 3, y - 1, 3, 1, Qt::white);
    };
    cloud(3, 10);
    cloud(w - 17, 15);
    // far hills
    p.setBrush(QColor("#6fcf6a"));
    p.drawEllipse(QRect(-6, h - 20, 26, 20));
    p.setBrush(QColor("#4fb84f"));
    p.drawEllipse(QRect(w - 22, h - 23, 30, 24));
    // ground: grass then soil
    const int ground = h - 8;
    p.fillRect(0, ground, w, 2, QColor("#38b000"));
    p.fillRect(0, ground + 2, w, h - ground - 2, QColor("#b8772f"));
    for (int x = 1; x < w; x += 4)
        p.fillRect(x, ground + 4 + (x / 4) % 2 * 2, 2, 1, QColor("#8a5320"));
    // floating stone platform with a treasure chest
    const int platY = ground - 14;
    p.fillRect(w / 2 - 7, platY, 18, 3, QColor("#8e8fa0"));
    p.fillRect(w / 2 - 7, platY, 18, 1, QColor("#d9dae6"));
    for (int x = w / 2 - 4; x < w / 2 + 11; x += 5)
        p.fillRect(x, platY + 1, 1, 2, QColor("#5a5b6a"));
    p.fillRect(w / 2 + 4, platY - 5, 6, 5, QColor("#b05a10"));
    p.fillRect(w / 2 + 4, platY - 5, 6, 1, QColor("#ffb640"));
    p.fillRect(w / 2 + 4, platY - 3, 6, 1, QColor("#ffd24a"));
    p.fillRect(w / 2 + 6, platY - 3, 2, 2, QColor("#fff3a0"));
    // coins in an arc
    for (int i = 0; i < 4; ++i) {
        const int cx = 6 + i * 5;
        const int cy = platY - 9 + (i == 1 || i == 2 ? -2 : 0);
        p.fillRect(cx, cy, 2, 3, QColor("#ffd000"));
        p.fillRect(cx, cy, 1, 1, QColor("#fff6b0"));
    }
    // the hero: a little ninja with a red headband, mid-jump
    const int hx = 8, hy = ground - 13;
    p.fillRect(hx + 1, hy, 4, 4, QColor("#1b1b2e"));      // head
    p.fillRect(hx + 2, hy + 1, 3, 1, QColor("#ffd9b0"));  // eyes slit
    p.fillRect(hx + 1, hy, 4, 1, QColor("#e5202a"));      // band
    p.fillRect(hx - 1, hy + 1, 2, 1, QColor("#e5202a"));  // band tail
    p.fillRect(hx + 1, hy + 4, 4, 4, QColor("#25254a"));  // body
    p.fillRect(hx + 5, hy + 4, 2, 1, QColor("#25254a"));  // arm
    p.fillRect(hx, hy + 8, 2, 2, QColor("#25254a"));      // legs
    p.fillRect(hx + 4, hy + 8, 2, 2, QColor("#25254a"));
    // a purple slime on the ground
    const int sx = w - 14, sy = ground - 4;
    p.fillRect(sx + 1, sy, 5, 1, QColor("#b45cff"));
    p.fillRect(sx, sy + 1, 7, 3, QColor("#8a2be2"));
    p.fillRect(sx + 1, sy + 1, 2, 1, QColor("#e0b8ff"));
    p.fillRect(sx + 2, sy + 2, 1, 1, Qt::white);
    p.fillRect(sx + 5, sy + 2, 1, 1, Qt::white);
    // status bar: hearts and a score bar
    p.fillRect(0, 0, w, 6, QColor(10, 20, 60, 200));
    for (int i = 0; i < 3; ++i) {
        const int x = 2 + i * 5;
        p.fillRect(x, 2, 1, 1, QColor("#ff3050"));
        p.fillRect(x + 2, 2, 1, 1, QColor("#ff3050"));
        p.fillRect(x, 3, 3, 1, QColor("#ff3050"));
        p.fillRect(x + 1, 4, 1, 1, QColor("#ff3050"));
    }
    p.fillRect(w - 15, 2, 13, 2, QColor("#2a3a70"));
    p.fillRect(w - 15, 2, 9, 2, QColor("#ffd000"));
    return img;
}

// ---------------------------------------------------------------- pictures

void makeBanner() {
    const int W = 297, H = 80;
    Canvas canvas(W, H);
    QPainter& p = canvas.p;
    const QRectF all(0, 0, W, H);

    // deep blue to cyan ground
    p.fillRect(
        all,
        downRamp(0, H, {{0.0, rgba("#1470d8")}, {0.55, rgba("#0a58bf")}, {1.0, rgba("#18b4ec")}}));
    // light from the right
    glow(p, all, QPointF(W - 50, H * 0.55), 120, QColor(120, 235, 255, 150));

    // sweeping light arcs
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(white(45 - i * 8), 2.5 - i * 0.4));
        p.drawEllipse(QRectF(-120 + i * 18, 38 + i * 7, 520, 140));
    }
    p.setPen(QPen(white(70), 1.2));
    p.drawEllipse(QRectF(120, -40, 260, 90));

    // glossy upper half with a curved lower edge
    {
        QPainterPath gloss;
        gloss.moveTo(0, 0);
        gloss.lineTo(W, 0);
        gloss.lineTo(W, H * 0.34);
        gloss.cubicTo(W * 0.7, H * 0.52, W * 0.35, H * 0.36, 0, H * 0.5);
        gloss.closeSubpath();
        p.fillPath(gloss, downRamp(0, H * 0.5, {{0, white(130)}, {1, white(25)}}));
    }

    // bubbles and twinkles; the top-right corner keeps only the ground and a
    // few bubbles, since the splash window lays its title over it
    bubble(p, QPointF(178, 64), 6, 80);
    bubble(p, QPointF(190, 48), 3.5, 70);
    bubble(p, QPointF(262, 26), 6, 55);
    bubble(p, QPointF(283, 12), 4, 50);
    bubble(p, QPointF(12, 12), 5, 60);

    // phone with signal waves, between the name and the corner
    {
        tiltedPhone(
            p,
            {QPointF(203, 9), 12, QRectF(0, 0, 26, 54), 6, QColor(0, 20, 60, 130), 2,
             QPointF(3, 3)},
            [](QPainter& sp, const QRectF& r) {
                screenRamp(sp, r, QColor("#8ff0ff"), QColor("#1a8fe0"));
                // a tiny page: title bar and lines
                sp.fillRect(QRectF(r.left(), r.top(), r.width(), 3), QColor("#ff8a00"));
                for (int i = 0; i < 4; ++i)
                    sp.fillRect(
                        QRectF(r.left() + 2, r.top() + 6 + i * 4, r.width() - 4 - (i % 2) * 5, 1.5),
                        white(200));
            },
            true);
        // waves, rising to the upper left of the antenna
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(white(200 - i * 50), 2.0, Qt::SolidLine, Qt::RoundCap));
            arcAround(p, QPointF(208, 15), 6 + i * 5, 100, 70);
        }
    }

    // the program name
    {
        const QFont f = font(Face::Latin, 38, true, true);
        shadowedText(p, textAt(f, QStringLiteral("Tessaly"), QPointF(14, 43)),
                     QColor(0, 25, 80, 170), 2, QPointF(2, 3),
                     downRamp(14, 44,
                              {{0.0, QColor("#ffffff")},
                               {0.5, QColor("#eaffff")},
                               {0.52, QColor("#bdefff")},
                               {1.0, QColor("#ffffff")}}),
                     {{QColor("#06347a"), 4.0}, {QColor("#43c8ff"), 1.6}});
        sparkle(p, QPointF(170, 14), 6);
    }

    // the slogan
    {
        const QFont f = font(Face::Hei, 14, true);
        fancyText(p, textAt(f, QStringLiteral("手机WAP浏览 · 游戏下载"), QPointF(17, 68)),
                  downRamp(55, 69, {{0, QColor("#fffbd0")}, {1, QColor("#ffd640")}}),
                  {{QColor(0, 40, 110, 200), 3.0}});
    }

    // "PC edition" tag
    labelledPill(p, QRectF(242, 56, 46, 17),
                 {QColor(0, 30, 80, 120), QPointF(1, 1.5), QColor("#ffb347"), QColor("#ff7a00"),
                  QColor("#ff9a1a"), QPen(QColor("#ffffff"), 1.2), 2, 170, 40},
                 QStringLiteral("电脑版"), QColor(170, 60, 0, 150));

    // frame
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(120), 1));
    p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    p.setPen(QPen(QColor(0, 40, 100, 160), 1));
    p.drawLine(QPointF(0, H - 0.5), QPointF(W, H - 0.5));
    saveJpeg(canvas.done(), QStringLiteral("banner.jpg"));
}

void makeSplash() {
    const int W = 211, H = 110;
    Canvas canvas(W, H);
    QPainter& p = canvas.p;
    const QRectF all(0, 0, W, H);

    // bright sky with a sunburst behind the phone
    p.fillRect(all, downRamp(0, H, {{0, QColor("#2aa8ff")}, {1, QColor("#b8ecff")}}));
    const QPointF sun(55, 58);
    rays(p, sun, 18, 10, 260, white(38));
    p.fillRect(all, roundRamp(sun, 60,
                              {{0, QColor(255, 250, 180, 255)},
                               {0.45, QColor(255, 220, 90, 150)},
                               {1, QColor(255, 220, 90, 0)}}));

    // green hill at the bottom
    {
        QPainterPath hill;
        hill.moveTo(0, H);
        hill.lineTo(0, H - 14);
        hill.cubicTo(60, H - 28, 150, H - 4, W, H - 20);
        hill.lineTo(W, H);
        hill.closeSubpath();
        p.fillPath(hill, downRamp(H - 28, H, {{0, QColor("#8be05a")}, {1, QColor("#2f9a22")}}));
        p.setPen(QPen(white(120), 1.2));
        p.setBrush(Qt::NoBrush);
        QPainterPath edge;
        edge.moveTo(0, H - 14);
        edge.cubicTo(60, H - 28, 150, H - 4, W, H - 20);
        p.drawPath(edge);
    }

    // the phone, tilted, with a game on its screen
    tiltedPhone(
        p,
        {QPointF(34, 10), -9, QRectF(0, 0, 46, 96), 10, QColor(0, 40, 90, 140), 3, QPointF(4, 4)},
        [](QPainter& sp, const QRectF& r) {
            const QImage scene = gameScene(qRound(r.width()), qRound(r.height()));
            sp.save();
            sp.setRenderHint(QPainter::SmoothPixmapTransform, false);
            sp.drawImage(r, scene);
            sp.restore();
        },
        true, QColor("#c8102e"), QColor("#5a0010"));

    // sparkles around the phone
    sparkle(p, QPointF(20, 22), 7);
    sparkle(p, QPointF(95, 18), 5);
    sparkle(p, QPointF(90, 84), 4);
    goldStar(p, QPointF(20, 86), 6);

    // headline
    {
        const QFont f = font(Face::Hei, 25, true);
        shadowedText(
            p, textCentered(f, QStringLiteral("海量游戏"), QPointF(152, 34)),
            QColor(0, 40, 100, 150), 2, QPointF(1.5, 2.5),
            downRamp(22, 46,
                     {{0, QColor("#fffbd0")}, {0.5, QColor("#ffd21a")}, {1, QColor("#ff8a00")}}),
            {{QColor("#ffffff"), 6.0}, {QColor("#b03000"), 3.0}});
    }
    {
        const QFont f = font(Face::Kai, 18, true);
        QPainterPath t = textCentered(f, QStringLiteral("随心下载"), QPointF(152, 62));
        fancyText(p, t, QColor("#ffffff"), {{QColor("#0a5cc8"), 3.5}});
    }
    // button-like pill
    labelledPill(p, QRectF(113, 78, 78, 20),
                 {QColor(0, 60, 0, 120), QPointF(1, 2), QColor("#a6f06a"), QColor("#45c21a"),
                  QColor("#2e9e0e"), QPen(QColor("#1d6e06"), 1), 3, 190, 50},
                 QStringLiteral("立即体验 ►"), QColor(20, 90, 0, 160));
    saveJpeg(canvas.done(), QStringLiteral("splash_picture.jpg"));
}

void makeLogo() {
    const int S = 50;
    Canvas canvas(S, S);
    QPainter& p = canvas.p;
    // light silver ground, close to the window backdrop
    p.fillRect(QRectF(0, 0, S, S),
               downRamp(0, S, {{0, QColor("#f3f8fd")}, {1, QColor("#dce8f4")}}));

    const QPointF c(25, 24);
    const qreal r = 20.5;
    const QPainterPath orb = ellipsePath(c, r, r);
    softShadow(p, ellipsePath(c + QPointF(0, 2.5), r, r * 0.95), QColor(0, 40, 100, 130), 2);
    p.setPen(QPen(QColor("#062b6a"), 1.2));
    p.setBrush(
        roundRamp(QPointF(c.x() - 6, c.y() - 8), r * 1.6,
                  {{0.0, QColor("#8fe3ff")}, {0.45, QColor("#1c8ce8")}, {1.0, QColor("#0a3a8c")}}));
    p.drawPath(orb);
    // cyan rim light at the bottom
    p.save();
    p.setClipPath(orb);
    glow(p, QRectF(0, 0, S, S), QPointF(c.x(), c.y() + r * 1.1), r * 0.9,
         QColor(120, 255, 255, 170));
    p.restore();
    // orbit ring behind and in front of the letter
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(110), 1.3));
    p.save();
    p.translate(c);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), r * 0.95, r * 0.38);
    p.restore();
    // the letter T
    {
        const QFont f = font(Face::Latin, 30, true);
        shadowedText(
            p, textCentered(f, QStringLiteral("T"), c + QPointF(0, 1)), QColor(0, 20, 70, 200), 1,
            QPointF(1, 1.5),
            downRamp(c.y() - 12, c.y() + 12, {{0, QColor("#ffffff")}, {1, QColor("#cfeeff")}}),
            {{QColor("#0a3f92"), 1.6}});
    }
    // gloss cap
    {
        const QRectF cap(c.x() - r * 0.78, c.y() - r * 0.95, r * 1.56, r * 0.95);
        p.setPen(Qt::NoPen);
        p.setBrush(ramp(cap.topLeft(), cap.bottomLeft(), {{0, white(200)}, {1, white(15)}}));
        p.drawEllipse(cap);
    }
    sparkle(p, QPointF(39, 9), 4.5, Qt::white, 120);
    saveJpeg(canvas.done(), QStringLiteral("logo.jpg"));
}

// The "+1000经验" badge at the foot of every sponsor advert.
void experienceBadge(QPainter& p, const QRectF& r) {
    glossyPill(p, r,
               {QColor(0, 0, 0, 110), QPointF(0.5, 1), QColor("#ffe95a"), QColor("#ffb800"),
                QColor("#ff8c00"), QPen(QColor("#a34b00"), 1), 2, 200, 60});
    // "+1000" in a condensed face, "经验" in Hei, shrunk until both fit.
    const QString number = QStringLiteral("+1000");
    const QString word = QStringLiteral("经验");
    QFont nf, wf;
    qreal nw = 0, ww = 0;
    for (int px = 11; px >= 8; --px) {
        nf.setFamilies({"DejaVu Sans Condensed", "DejaVu Sans"});
        nf.setPixelSize(px);
        nf.setBold(true);
        wf = font(Face::Hei, px, true);
        nw = QFontMetricsF(nf).horizontalAdvance(number);
        ww = QFontMetricsF(wf).horizontalAdvance(word);
        if (nw + ww + 1 <= r.width() - 5)
            break;
    }
    const qreal x0 = r.center().x() - (nw + ww + 1) / 2;
    const QRectF textBox(x0, r.top(), nw + ww + 1, r.height() - 0.5);
    p.setPen(QColor("#b01800"));
    p.setFont(nf);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, number);
    p.setFont(wf);
    p.drawText(textBox, Qt::AlignRight | Qt::AlignVCenter, word);
}

// A sponsor advert being painted.  It starts on a ramp from `top` down to
// `bottom` under a soft shine; finish() adds the experience badge and a
// double border, and saves it.
struct Advert : Canvas {
    Advert(int w, int h, const QColor& top, const QColor& bottom) : Canvas(w, h) {
        const QRectF all(0, 0, w, h);
        p.fillRect(all, downRamp(0, h, {{0, top}, {1, bottom}}));
        glow(p, all, QPointF(w * 0.3, h * 0.15), std::max(w, h) * 0.7, white(90));
    }

    void finish(const QRectF& badge, const QColor& border, const QString& name) {
        experienceBadge(p, badge);
        const int w = img.width(), h = img.height();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(border, 1));
        p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
        p.setPen(QPen(white(110), 1));
        p.drawRect(QRectF(1.5, 1.5, w - 3, h - 3));
        saveJpeg(done(), name);
    }
};

void makeSponsorGames() {
    Advert ad(60, 80, QColor("#5b1aa8"), QColor("#1c0a4a"));
    QPainter& p = ad.p;
    // rays behind the pad
    rays(p, QPointF(30, 23), 12, 14, 50, QColor(255, 210, 255, 30));
    // game pad
    {
        QPainterPath pad;
        pad.addRoundedRect(QRectF(10, 15, 40, 17), 8.5, 8.5);
        pad.addEllipse(QRectF(8, 19, 15, 15));
        pad.addEllipse(QRectF(37, 19, 15, 15));
        pad = merged(pad);
        shadowedShape(p, pad, QColor(0, 0, 0, 160), 2, QPointF(1, 2),
                      downRamp(15, 34, {{0, QColor("#f2f4f8")}, {1, QColor("#9aa2b4")}}),
                      QPen(QColor("#2b2f3c"), 1));
        topGloss(p, pad, QRectF(11, 15.5, 38, 8), 200, 30);
        // cross keys
        p.setPen(Qt::NoPen);
        p.setBrush(QColor("#2b2f3c"));
        p.drawRoundedRect(QRectF(12.5, 22.5, 9, 3), 1, 1);
        p.drawRoundedRect(QRectF(15.5, 19.5, 3, 9), 1, 1);
        // buttons
        auto button = [&](QPointF bc, const char* col) {
            p.setBrush(roundRamp(
                bc - QPointF(0.7, 0.8), 2.6,
                {{0, QColor(255, 255, 255)}, {0.4, QColor(col)}, {1, QColor(col).darker(150)}}));
            p.drawEllipse(bc, 2.3, 2.3);
        };
        button(QPointF(42, 21.5), "#ff3040");
        button(QPointF(46.5, 25.5), "#2f9bff");
        button(QPointF(37.5, 25.5), "#ffd000");
        button(QPointF(42, 29.5), "#30d050");
    }
    sparkle(p, QPointF(9, 8), 4);
    sparkle(p, QPointF(52, 40), 3);
    // title
    {
        QPainterPath t1 =
            textCentered(font(Face::Hei, 15, true), QStringLiteral("精品"), QPointF(30, 44));
        QPainterPath t2 =
            textCentered(font(Face::Hei, 15, true), QStringLiteral("游戏"), QPointF(30, 60));
        const QLinearGradient fill = downRamp(
            37, 67, {{0, QColor("#fff7b0")}, {0.5, QColor("#ffd21a")}, {1, QColor("#ff9000")}});
        fancyText(p, t1, fill, {{QColor("#3a0060"), 3.0}});
        fancyText(p, t2, fill, {{QColor("#3a0060"), 3.0}});
    }
    ad.finish(QRectF(3.5, 66.5, 53, 11), QColor("#12052e"), QStringLiteral("sponsor1.jpg"));
}

QPainterPath notePath(const QPointF& head, qreal size, bool beamed) {
    QPainterPath n;
    QTransform t;
    t.translate(head.x(), head.y());
    t.rotate(-20);
    n.addEllipse(QPointF(0, 0), size * 0.55, size * 0.4);
    n = t.map(n);
    const qreal stemX = head.x() + size * 0.45;
    n.addRect(QRectF(stemX, head.y() - size * 2.0, size * 0.18, size * 2.0));
    if (!beamed) {
        QPainterPath flag;
        flag.moveTo(stemX, head.y() - size * 2.0);
        flag.cubicTo(stemX + size * 0.9, head.y() - size * 1.5, stemX + size * 0.8,
                     head.y() - size * 0.9, stemX + size * 0.4, head.y() - size * 0.6);
        flag.cubicTo(stemX + size * 0.6, head.y() - size * 1.1, stemX + size * 0.3,
                     head.y() - size * 1.4, stemX + size * 0.18, head.y() - size * 1.45);
        flag.closeSubpath();
        n.addPath(flag);
    }
    return merged(n);
}

void makeSponsorRingtones() {
    Advert ad(84, 52, QColor("#16c9a8"), QColor("#05705e"));
    QPainter& p = ad.p;
    // sound waves
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(white(70 - i * 12), 1.4));
        arcAround(p, QPointF(14, 30), 10 + i * 7, -50, 100);
    }
    // two notes joined by a beam
    {
        QPainterPath notes = notePath(QPointF(8, 38), 6, true);
        notes.addPath(notePath(QPointF(19, 35), 6, true));
        notes.addPath(polygon({{10.7, 24.5}, {21.8, 21.5}, {21.8, 24.5}, {10.7, 27.5}}));  // beam
        shadowedShape(p, merged(notes), QColor(0, 40, 30, 150), 1, QPointF(1, 1.5),
                      downRamp(20, 42, {{0, QColor("#ffffff")}, {1, QColor("#ffe070")}}),
                      QPen(QColor("#034036"), 1));
    }
    // title
    {
        QPainterPath t =
            textCentered(font(Face::Hei, 16, true), QStringLiteral("免费铃声"), QPointF(43, 11.5));
        fancyText(p, t, downRamp(3, 20, {{0, QColor("#ffffff")}, {1, QColor("#fff08a")}}),
                  {{QColor("#02463b"), 3.0}});
    }
    haloText(p, QRectF(31, 21, 51, 13), Qt::AlignCenter, QStringLiteral("MP3·MIDI"),
             font(Face::Latin, 9, true), Qt::white, QColor(2, 70, 59, 200));
    ad.finish(QRectF(30.5, 36.5, 50, 12), QColor("#034036"), QStringLiteral("sponsor2.jpg"));
}

void makeSponsorThemes() {
    Advert ad(60, 80, QColor("#ff6fb4"), QColor("#8a1070"));
    QPainter& p = ad.p;
    // rainbow swirl behind the phone
    {
        const char* bands[] = {"#ff3b3b", "#ff9a1a", "#ffe21a", "#3fd44a", "#1aa8ff", "#8a5cff"};
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 6; ++i) {
            p.setPen(QPen(rgba(bands[i], 170), 2.2));
            arcAround(p, QPointF(30, 40), 24 - i * 2.2, 20, 140);
        }
    }
    // a small phone showing a colourful theme
    tiltedPhone(
        p,
        {QPointF(20, 10), 6, QRectF(0, 0, 21, 38), 4.5, QColor(60, 0, 40, 150), 2, QPointF(1.5, 2)},
        [](QPainter& sp, const QRectF& r) {
            sp.fillRect(r, ramp(r.topLeft(), r.bottomRight(),
                                {{0.0, QColor("#ff5fa8")},
                                 {0.5, QColor("#ffd84a")},
                                 {1.0, QColor("#4ad0ff")}}));
            sp.setPen(Qt::NoPen);
            sp.setBrush(white(200));
            // a flower
            const QPointF fc = r.center() + QPointF(1, 1);
            for (int i = 0; i < 5; ++i) {
                const qreal a = qDegreesToRadians(i * 72.0);
                sp.drawEllipse(fc + QPointF(qCos(a), qSin(a)) * 2.4, 1.7, 1.7);
            }
            sp.setBrush(QColor("#ff8a00"));
            sp.drawEllipse(fc, 1.3, 1.3);
        },
        false, QColor("#f4f4fa"), QColor("#9aa0b8"));
    sparkle(p, QPointF(10, 12), 4.5);
    sparkle(p, QPointF(50, 9), 3.5);
    sparkle(p, QPointF(48, 44), 3);
    {
        QPainterPath t =
            textCentered(font(Face::Hei, 14, true), QStringLiteral("炫彩主题"), QPointF(30, 58));
        fancyText(p, t, downRamp(51, 65, {{0, QColor("#ffffff")}, {1, QColor("#ffe0f4")}}),
                  {{QColor("#5a0040"), 3.0}});
    }
    ad.finish(QRectF(3.5, 66.5, 53, 11), QColor("#4a0638"), QStringLiteral("sponsor3.jpg"));
}

void makeStrip() {
    const int W = 400, H = 30;
    Canvas canvas(W, H);
    QPainter& p = canvas.p;
    p.fillRect(QRectF(0, 0, W, H), downRamp(0, H,
                                            {{0.0, QColor("#fbfdff")},
                                             {0.48, QColor("#e8f0f8")},
                                             {0.52, QColor("#dbe6f2")},
                                             {1.0, QColor("#e9f1f9")}}));
    // faint diagonal pin stripes
    p.save();
    p.setClipRect(QRectF(0, 0, W, H));
    p.setPen(QPen(QColor(90, 130, 180, 18), 1));
    for (int x = -H; x < W; x += 5)
        p.drawLine(QPointF(x, H), QPointF(x + H, 0));
    p.restore();
    // faint chevrons towards the right end
    p.setPen(QPen(QColor(70, 120, 180, 26), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const qreal x = 352 + i * 12;
        QPainterPath ch;
        ch.moveTo(x, 8);
        ch.lineTo(x + 7, 15);
        ch.lineTo(x, 22);
        p.drawPath(ch);
    }
    // soft light spot on the left, where the rank title sits
    glow(p, QRectF(0, 0, W, H), QPointF(60, 10), 90, white(120));
    // edges
    p.setPen(QPen(QColor("#ffffff"), 1));
    p.drawLine(QPointF(0, 0.5), QPointF(W, 0.5));
    p.setPen(QPen(QColor("#a8bcd3"), 1));
    p.drawLine(QPointF(0, H - 0.5), QPointF(W, H - 0.5));
    p.setPen(QPen(QColor(120, 160, 205, 90), 1));
    p.drawLine(QPointF(0, 1.5), QPointF(W, 1.5));
    saveJpeg(canvas.done(), QStringLiteral("strip.jpg"));
}

void makeBackdrop() {
    const int W = 300, H = 200;
    Canvas canvas(W, H);
    QPainter& p = canvas.p;
    p.fillRect(
        QRectF(0, 0, W, H),
        ramp(QPointF(0, 0), QPointF(W * 0.3, H),
             {{0.0, QColor("#f6fafe")}, {0.5, QColor("#e5eef8")}, {1.0, QColor("#d3e2f1")}}));
    // faint lattice of dots
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 160, 210, 16));
    for (int y = 4; y < H; y += 10)
        for (int x = (y / 10) % 2 * 5 + 2; x < W; x += 10)
            p.drawEllipse(QPointF(x, y), 1.1, 1.1);
    // broad soft waves
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const qreal y = 120 + i * 16;
        wave.moveTo(-10, y);
        wave.cubicTo(80, y - 40, 170, y + 35, W + 10, y - 25);
        p.setPen(QPen(white(90 - i * 20), 7 - i * 2));
        p.drawPath(wave);
    }
    {
        QPainterPath wave;
        wave.moveTo(-10, 150);
        wave.cubicTo(90, 110, 180, 185, W + 10, 128);
        p.setPen(QPen(QColor(120, 165, 215, 30), 2));
        p.drawPath(wave);
    }
    // large soft circles
    auto softCircle = [&](QPointF c, qreal r, int a) {
        p.setBrush(roundRamp(c, r, {{0, white(a)}, {0.8, white(a / 2)}, {1, white(0)}}));
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, r, r);
    };
    softCircle(QPointF(250, 40), 55, 70);
    softCircle(QPointF(40, 170), 40, 50);
    softCircle(QPointF(190, 90), 22, 40);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(110), 1.5));
    p.drawEllipse(QPointF(250, 40), 44, 44);
    p.setPen(QPen(QColor(140, 180, 220, 28), 1.5));
    p.drawEllipse(QPointF(250, 40), 52, 52);
    // top sheen
    p.fillRect(QRectF(0, 0, W, H * 0.35), downRamp(0, H * 0.35, {{0, white(120)}, {1, white(0)}}));
    saveJpeg(canvas.done(), QStringLiteral("backdrop.jpg"));
}

struct SkinColours {
    const char* topLight;
    const char* topDark;
    const char* bottomDark;
    const char* bottomLight;
    const char* border;
};

// One glossy button face.  Everything that must not stretch (rim, corners,
// inner highlight) lies within the outer 3 pixels; the middle columns are
// all alike so the face stretches cleanly.
void makeSkin(int w, int h, const SkinColours& c, const QString& name) {
    // Corners blend into the light window backdrop.
    Canvas canvas(w, h, QColor("#e4edf6"));
    QPainter& p = canvas.p;
    const QRectF outer(0.5, 0.5, w - 1, h - 1);
    const qreal radius = 3.0;
    const QPainterPath shape = roundedRect(outer, radius);
    p.setPen(Qt::NoPen);
    p.fillPath(shape, downRamp(0, h,
                               {{0.0, QColor(c.topLight)},
                                {0.49, QColor(c.topDark)},
                                {0.51, QColor(c.bottomDark)},
                                {1.0, QColor(c.bottomLight)}}));
    // inner highlight, strong at the top and fading downwards
    p.setPen(
        QPen(QBrush(downRamp(0, h, {{0.0, white(235)}, {0.5, white(110)}, {1.0, white(60)}})), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(outer.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    // rim
    QColor rim(c.border);
    p.setPen(QPen(rim, 1));
    p.drawPath(shape);
    saveBmp(canvas.done(), name);
}

void makeSkins() {
    const SkinColours silverBlue{"#ffffff", "#e1ebf7", "#c0d5ee", "#e0edfa", "#5a7ea8"};
    const SkinColours redOrange{"#ffd2ae", "#ff9b5e", "#f0651a", "#ff9c48", "#9a3306"};
    const SkinColours silverGreen{"#ffffff", "#e6f4e3", "#c4e2bd", "#e2f3dd", "#5c9356"};
    makeSkin(125, 23, silverBlue, QStringLiteral("skin_a.bmp"));
    makeSkin(110, 19, silverBlue, QStringLiteral("skin_b.bmp"));
    makeSkin(15, 26, redOrange, QStringLiteral("skin_c.bmp"));
    makeSkin(90, 21, silverGreen, QStringLiteral("skin_d.bmp"));
}

// The program's icon: a phone with a T on its screen and a gold star. It is
// drawn on a 48-pixel grid and scaled to `size` pixels as a whole, shadow
// included, so each size is drawn sharp rather than resampled.
QImage programIcon(int size) {
    const qreal scale = size / 48.0;
    Canvas canvas(size, size);
    QPainter& p = canvas.p;
    p.scale(scale, scale);
    const int shadowBlur = std::max(1, qRound(2 * scale));
    tiltedPhone(
        p,
        {QPointF(8, 4.5), -6, QRectF(0, 1, 23, 39), 5, QColor(0, 20, 50, 140), shadowBlur,
         QPointF(2, 2)},
        [](QPainter& sp, const QRectF& r) {
            screenRamp(sp, r, QColor("#9af4ff"), QColor("#1b7fe0"));
            // a big T on the screen
            sp.setPen(Qt::NoPen);
            sp.setBrush(white(235));
            const QPointF c = r.center();
            sp.drawRect(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 2.4));
            sp.drawRect(QRectF(c.x() - 1.2, c.y() - 3, 2.4, 8));
        },
        false, QColor("#2d5fa8"), QColor("#0a2048"));
    goldStar(p, QPointF(36.5, 10.5), 9.5, 1.1);
    sparkle(p, QPointF(44, 22), 3.2, Qt::white, 0);
    return canvas.done();
}

// The windows' icon.
void makeWindowIcon() {
    savePng(programIcon(48), QStringLiteral("tessaly.png"));
}

// The same icon for the desktop's menus, at the usual sizes of the hicolor
// icon theme, laid out as it is installed: <size>x<size>/apps/tessaly.png.
void makeThemeIcons(const QString& themeDir) {
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(size);
        if (!QDir().mkpath(dir)) {
            report(dir, false);
            continue;
        }
        savePng(programIcon(size), QStringLiteral("tessaly.png"), dir,
                QStringLiteral("tessaly-%1.png").arg(size));
    }
}

// The near-black ink of the pointers' outlines.
QColor pointerInk() {
    return QColor("#141a26");
}

// A pointer's crisp dark rim, just inside the edge of its shape.
void pointerRim(QPainter& p, const QPainterPath& shape) {
    p.save();
    p.setClipPath(shape);
    p.strokePath(shape, QPen(pointerInk(), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.restore();
}

// Fills a pointer shape and gives it its rim.
void pointerBody(QPainter& p, const QPainterPath& shape, const QBrush& fill) {
    p.fillPath(shape, fill);
    pointerRim(p, shape);
}

void makeArrowPointer() {
    const int S = 48;
    Canvas canvas(S, S);
    QPainter& p = canvas.p;
    const QPainterPath arrow =
        polygon({{0, 0}, {0, 26}, {6.2, 20.4}, {10.4, 30}, {14.6, 28.2}, {10.6, 18.8}, {19, 18.8}});
    softShadow(p, arrow, QColor(0, 0, 0, 110), 1, QPointF(2, 2));
    pointerBody(
        p, arrow,
        ramp(QPointF(0, 0), QPointF(10, 28), {{0, QColor("#ffffff")}, {1, QColor("#e6f2ff")}}));
    // blue glass tail and a cyan glint near the tip
    p.save();
    p.setClipPath(arrow);
    p.fillPath(
        polygon({{6.2, 20.4}, {10.4, 30}, {14.6, 28.2}, {10.6, 18.8}, {7.9, 18.8}}),
        ramp(QPointF(8, 19), QPointF(12, 29), {{0, QColor("#7fd4ff")}, {1, QColor("#1560d8")}}));
    p.restore();
    pointerRim(p, arrow);
    p.setPen(QPen(pointerInk(), 1));
    p.drawLine(QPointF(6.6, 19.3), QPointF(10.9, 19.3));
    p.fillPath(polygon({{2, 6}, {2, 13}, {3.6, 11.4}, {3.6, 7.6}}), QColor(60, 170, 255, 170));
    // the hot spot pixel itself stays fully dark
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(0, 0, 1, 2, pointerInk());
    savePng(canvas.done(), QStringLiteral("arrow.png"));
}

QPainterPath handShape() {
    QPainterPath hand;
    // index finger, pointing up; its tip is centred on x = 10
    hand.addRoundedRect(QRectF(7, 0, 6, 17), 3, 3);
    // curled fingers
    hand.addRoundedRect(QRectF(12.5, 9.5, 5, 9), 2.4, 2.4);
    hand.addRoundedRect(QRectF(16.5, 10.5, 4.8, 9), 2.4, 2.4);
    hand.addRoundedRect(QRectF(20.3, 12, 4.4, 8.5), 2.2, 2.2);
    // palm and wrist
    hand.addRoundedRect(QRectF(6, 13.5, 18.7, 11.5), 4, 4);
    hand.addPath(polygon({{7, 20}, {24.5, 20}, {23, 27}, {9, 27}}));
    // thumb, bent inwards from the left
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-9, -2.6, 10.5, 5.2), 2.6, 2.6);
    QTransform t;
    t.translate(8.5, 20.5);
    t.rotate(40);
    hand.addPath(t.map(thumb));
    return merged(hand);
}

void drawHand(QPainter& p) {
    const QPainterPath hand = handShape();
    softShadow(p, hand, QColor(0, 0, 0, 100), 1, QPointF(1.5, 1.5));
    pointerBody(p, hand, downRamp(0, 28, {{0, QColor("#ffffff")}, {1, QColor("#fff1e2")}}));
    // finger creases
    p.setPen(QPen(pointerInk(), 1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.5, 10.5), QPointF(12.5, 16));
    p.drawLine(QPointF(16.6, 12), QPointF(16.6, 17));
    p.drawLine(QPointF(20.4, 13.5), QPointF(20.4, 18));
    // blue shirt cuff
    const QRectF cuff(8, 25.5, 16.5, 5.5);
    p.setPen(QPen(pointerInk(), 1));
    p.setBrush(
        ramp(cuff.topLeft(), cuff.bottomLeft(), {{0, QColor("#7cc6ff")}, {1, QColor("#1b62d0")}}));
    p.drawRoundedRect(cuff.adjusted(0, 0, 0, -0.5), 1.2, 1.2);
}

void makeHandPointer() {
    Canvas canvas(32, 32);
    QPainter& p = canvas.p;
    drawHand(p);
    savePng(canvas.done(), QStringLiteral("hand.png"));
}

void makeSiteHandPointer() {
    Canvas canvas(32, 32);
    QPainter& p = canvas.p;
    drawHand(p);
    // small globe badge in the lower right corner
    const QPointF c(25.2, 24.8);
    const qreal r = 6.3;
    p.setPen(Qt::NoPen);
    p.setBrush(white(235));
    p.drawEllipse(c, r + 1.2, r + 1.2);
    const QPainterPath globe = ellipsePath(c, r, r);
    p.setBrush(
        roundRamp(QPointF(c.x() - 2, c.y() - 2.5), r * 1.5,
                  {{0, QColor("#a8ecff")}, {0.5, QColor("#2c9cf0")}, {1, QColor("#0b4aa8")}}));
    p.drawPath(globe);
    p.save();
    p.setClipPath(globe);
    // land
    p.setBrush(QColor("#49d255"));
    QPainterPath land;
    land.moveTo(c.x() - 4.5, c.y() - 4);
    land.cubicTo(c.x() - 1.5, c.y() - 6.2, c.x() + 0.5, c.y() - 3.5, c.x() - 1.2, c.y() - 1.2);
    land.cubicTo(c.x() - 2.2, c.y() + 0.5, c.x() - 0.8, c.y() + 3.2, c.x() - 2.6, c.y() + 4.6);
    land.cubicTo(c.x() - 5.5, c.y() + 2.5, c.x() - 6.2, c.y() - 1.5, c.x() - 4.5, c.y() - 4);
    p.drawPath(land);
    QPainterPath land2;
    land2.moveTo(c.x() + 1.5, c.y() - 1);
    land2.cubicTo(c.x() + 4, c.y() - 2.5, c.x() + 6.5, c.y() + 0.5, c.x() + 5, c.y() + 2.5);
    land2.cubicTo(c.x() + 3.5, c.y() + 5, c.x() + 1.5, c.y() + 3, c.x() + 2.2, c.y() + 1.2);
    land2.closeSubpath();
    p.drawPath(land2);
    // one meridian and the equator, faint
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(white(90), 0.6));
    p.drawEllipse(c, r * 0.5, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    // gloss
    p.setPen(Qt::NoPen);
    p.setBrush(downRamp(c.y() - r, c.y(), {{0, white(180)}, {1, white(0)}}));
    p.drawEllipse(QRectF(c.x() - r * 0.7, c.y() - r * 0.95, r * 1.4, r * 0.9));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor("#0a3a80"), 1));
    p.drawPath(globe);
    savePng(canvas.done(), QStringLiteral("hand_site.png"));
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(
            stderr, "usage: make_assets <output folder> [--icons <folder>] [--preview <folder>]\n");
        return 2;
    }
    g_outDir = args.first();
    // The folder that follows an option, empty when the option is not given.
    bool missingFolder = false;
    const auto optionFolder = [&](const char* option) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        if (at <= 0)
            return QString();
        if (at + 1 >= args.size()) {
            std::fprintf(stderr, "%s needs a folder\n", option);
            missingFolder = true;
            return QString();
        }
        return args.at(at + 1);
    };
    g_previewDir = optionFolder("--preview");
    const QString themeDir = optionFolder("--icons");
    if (missingFolder)
        return 2;
    if (!g_previewDir.isEmpty())
        QDir().mkpath(g_previewDir);
    if (!QDir().mkpath(g_outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(g_outDir));
        return 1;
    }

    const QStringList families = QFontDatabase::families();
    for (const char* wanted :
         {"AR PL UMing CN", "AR PL UKai CN", "WenQuanYi Zen Hei", "DejaVu Sans"}) {
        if (!families.contains(QString::fromLatin1(wanted)))
            std::fprintf(stderr,
                         "warning: font \"%s\" is not installed; text will "
                         "use a substitute\n",
                         wanted);
    }

    makeBanner();
    makeSplash();
    makeLogo();
    makeSponsorGames();
    makeSponsorRingtones();
    makeSponsorThemes();
    makeStrip();
    makeBackdrop();
    makeSkins();
    makeWindowIcon();
    if (!themeDir.isEmpty())
        makeThemeIcons(themeDir);
    makeArrowPointer();
    makeHandPointer();
    makeSiteHandPointer();

    return g_failures == 0 ? 0 : 1;
}
