// Paints every picture Tessaly ships with: banner, splash, logo, sponsor
// adverts, the bottom strip, the window backdrop, the button faces, the
// window icon and the mouse pointers.
//
// Usage: make_assets <output folder> [--preview <folder>]
//
// Run it through assets/tools/make-assets, which builds it and sets
// QT_QPA_PLATFORM=offscreen.  With --preview, enlarged PNG copies of every
// picture are written as well, for looking at them.

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

QFont font(Face face, int pixels, bool bold = false, bool italic = false)
{
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

QColor rgba(const char *hex, int alpha = 255)
{
    QColor c(QString::fromLatin1(hex));
    c.setAlpha(alpha);
    return c;
}

QImage newCanvas(int w, int h, const QColor &fill = Qt::transparent)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void setupPainter(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// Three passes of a box blur approximate a gaussian; good enough for
// shadows and glows on these small pictures.
QImage boxBlur(const QImage &source, int radius, int passes = 3)
{
    QImage img = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (radius <= 0)
        return img;
    const int w = img.width();
    const int h = img.height();
    const int span = 2 * radius + 1;
    std::vector<QRgb> line(std::max(w, h));
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
            std::copy(row, row + w, line.begin());
            for (int x = 0; x < w; ++x) {
                int a = 0, r = 0, g = 0, b = 0;
                for (int k = x - radius; k <= x + radius; ++k) {
                    if (k < 0 || k >= w)
                        continue;
                    const QRgb c = line[k];
                    a += qAlpha(c);
                    r += qRed(c);
                    g += qGreen(c);
                    b += qBlue(c);
                }
                row[x] = qRgba(r / span, g / span, b / span, a / span);
            }
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[y] = reinterpret_cast<const QRgb *>(img.constScanLine(y))[x];
            for (int y = 0; y < h; ++y) {
                int a = 0, r = 0, g = 0, b = 0;
                for (int k = y - radius; k <= y + radius; ++k) {
                    if (k < 0 || k >= h)
                        continue;
                    const QRgb c = line[k];
                    a += qAlpha(c);
                    r += qRed(c);
                    g += qGreen(c);
                    b += qBlue(c);
                }
                reinterpret_cast<QRgb *>(img.scanLine(y))[x] =
                    qRgba(r / span, g / span, b / span, a / span);
            }
        }
    }
    return img;
}

// Soft shadow (or glow) of a shape, painted in device coordinates.
void softShadow(QPainter &p, const QPainterPath &path, const QColor &color,
                int blur, QPointF offset = QPointF(0, 0))
{
    const QSize size(p.device()->width(), p.device()->height());
    QImage layer = newCanvas(size.width(), size.height());
    {
        QPainter lp(&layer);
        setupPainter(lp);
        lp.setTransform(p.transform() *
                        QTransform::fromTranslate(offset.x(), offset.y()));
        lp.fillPath(path, color);
    }
    layer = boxBlur(layer, blur);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

QPainterPath roundedRect(const QRectF &r, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// Merges overlapping pieces into one outline (union, not even-odd holes).
QPainterPath merged(QPainterPath path)
{
    path.setFillRule(Qt::WindingFill);
    return path.simplified();
}

QPainterPath ellipsePath(const QPointF &c, qreal rx, qreal ry)
{
    QPainterPath path;
    path.addEllipse(c, rx, ry);
    return path;
}

QPainterPath starPath(const QPointF &c, qreal outer, qreal inner,
                      qreal rotationDeg = -90)
{
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
void goldStar(QPainter &p, const QPointF &c, qreal outer, qreal rim = 1.0)
{
    const QPainterPath star = starPath(c, outer, outer * 0.45);
    QRadialGradient g(c.x() - outer * 0.3, c.y() - outer * 0.4, outer * 1.4);
    g.setColorAt(0.0, rgba("#fffbe0"));
    g.setColorAt(0.35, rgba("#ffd94a"));
    g.setColorAt(1.0, rgba("#e88a00"));
    p.save();
    p.setPen(QPen(rgba("#9a4e00"), rim, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(star);
    // upper half gloss
    p.setClipPath(star);
    QLinearGradient hl(0, c.y() - outer, 0, c.y());
    hl.setColorAt(0, QColor(255, 255, 255, 170));
    hl.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(c.x() - outer, c.y() - outer, 2 * outer, outer), hl);
    p.restore();
}

// A four-pointed twinkle with a soft halo.
void sparkle(QPainter &p, const QPointF &c, qreal r,
             const QColor &color = Qt::white, int haloAlpha = 150)
{
    QRadialGradient halo(c, r * 0.9);
    halo.setColorAt(0, QColor(255, 255, 255, haloAlpha));
    halo.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
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
void bubble(QPainter &p, const QPointF &c, qreal r, int alpha = 90)
{
    QRadialGradient g(c, r);
    g.setColorAt(0.0, QColor(255, 255, 255, 0));
    g.setColorAt(0.75, QColor(255, 255, 255, alpha / 4));
    g.setColorAt(1.0, QColor(255, 255, 255, alpha));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(255, 255, 255, std::min(255, alpha * 2)));
    p.drawEllipse(QPointF(c.x() - r * 0.4, c.y() - r * 0.4), r * 0.22, r * 0.16);
}

QPainterPath textPath(const QFont &f, const QString &text)
{
    QPainterPath path;
    path.addText(0, 0, f, text);
    return path;
}

QPainterPath textAt(const QFont &f, const QString &text, QPointF baseline)
{
    QPainterPath path;
    path.addText(baseline, f, text);
    return path;
}

QPainterPath textCentered(const QFont &f, const QString &text, QPointF center)
{
    QPainterPath path = textPath(f, text);
    path.translate(center - path.boundingRect().center());
    return path;
}

struct Outline {
    QColor color;
    qreal width;
};

// Paints a text path: outlines from the outermost inwards, then the fill.
void fancyText(QPainter &p, const QPainterPath &path, const QBrush &fill,
               std::initializer_list<Outline> outlines)
{
    p.save();
    for (const Outline &o : outlines) {
        p.setPen(QPen(o.color, o.width, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    p.setPen(Qt::NoPen);
    p.fillPath(path, fill);
    p.restore();
}

// Small, hinted text with a one-pixel halo, readable on busy grounds.
void haloText(QPainter &p, const QRectF &rect, int flags, const QString &text,
              const QFont &f, const QColor &fg, const QColor &halo)
{
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
void topGloss(QPainter &p, const QPainterPath &shape, const QRectF &area,
              int alphaTop, int alphaBottom)
{
    p.save();
    p.setClipPath(shape, Qt::IntersectClip);
    QLinearGradient g(area.topLeft(), area.bottomLeft());
    g.setColorAt(0, QColor(255, 255, 255, alphaTop));
    g.setColorAt(1, QColor(255, 255, 255, alphaBottom));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(area, area.height() * 0.5, area.height() * 0.5);
    p.restore();
}

// ---------------------------------------------------------------- output

void writePreview(const QImage &img, const QString &name, int scale)
{
    if (g_previewDir.isEmpty())
        return;
    QImage shown = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (shown.hasAlphaChannel()) {
        // Show transparency over a chequer board.
        QImage board = newCanvas(shown.width(), shown.height());
        QPainter bp(&board);
        for (int y = 0; y < board.height(); y += 4)
            for (int x = 0; x < board.width(); x += 4)
                bp.fillRect(x, y, 4, 4,
                            ((x + y) / 4) % 2 ? QColor("#c8c8c8") : QColor("#f4f4f4"));
        bp.drawImage(0, 0, shown);
        bp.end();
        shown = board;
    }
    shown = shown.scaled(shown.width() * scale, shown.height() * scale,
                         Qt::IgnoreAspectRatio, Qt::FastTransformation);
    shown.save(QDir(g_previewDir).filePath(name + QStringLiteral(".png")), "PNG");
}

int previewScale(const QImage &img)
{
    return std::max(img.width(), img.height()) <= 130 ? 4 : 3;
}

void report(const QString &path, bool ok)
{
    if (ok) {
        std::printf("wrote %s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++g_failures;
    }
}

void saveJpeg(const QImage &img, const QString &name, int quality = 92)
{
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

void saveBmp(const QImage &img, const QString &name)
{
    const QImage out = img.convertToFormat(QImage::Format_RGB888);
    const QString path = QDir(g_outDir).filePath(name);
    report(path, out.save(path, "BMP"));
    writePreview(out, name, 8);
}

void savePng(const QImage &img, const QString &name)
{
    const QImage out = img.convertToFormat(QImage::Format_ARGB32);
    const QString path = QDir(g_outDir).filePath(name);
    report(path, out.save(path, "PNG"));
    writePreview(out, name, 8);
}

// ---------------------------------------------------------------- phone

using ScreenPainter = std::function<void(QPainter &, const QRectF &)>;

// A candy-bar phone: glossy dark body, silver rim, screen and keys.
// Returns the outline of the body.
QPainterPath drawPhone(QPainter &p, const QRectF &body, const ScreenPainter &screen,
                       bool keypad, const QColor &bodyTop = QColor("#3a4657"),
                       const QColor &bodyBottom = QColor("#0d131c"))
{
    const qreal w = body.width();
    const qreal h = body.height();
    const qreal radius = w * 0.22;
    const QPainterPath shape = roundedRect(body, radius);

    // body
    QLinearGradient bg(body.topLeft(), body.topRight());
    bg.setColorAt(0.0, bodyTop.lighter(115));
    bg.setColorAt(0.45, bodyTop);
    bg.setColorAt(1.0, bodyBottom);
    p.setPen(Qt::NoPen);
    p.fillPath(shape, bg);

    // silver rim
    QLinearGradient rim(body.topLeft(), body.bottomRight());
    rim.setColorAt(0.0, QColor("#ffffff"));
    rim.setColorAt(0.5, QColor("#9aa6b4"));
    rim.setColorAt(1.0, QColor("#dfe6ee"));
    p.setPen(QPen(QBrush(rim), std::max<qreal>(1.0, w * 0.035)));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);

    // earpiece
    const QRectF ear(body.center().x() - w * 0.16, body.top() + h * 0.045,
                     w * 0.32, std::max<qreal>(1.5, h * 0.02));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#05080c"));
    p.drawRoundedRect(ear, ear.height() / 2, ear.height() / 2);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(ear.translated(0, ear.height() * 0.6), ear.height() / 2,
                      ear.height() / 2);

    // screen bezel and screen
    const QRectF bezel(body.left() + w * 0.09, body.top() + h * 0.1,
                       w * 0.82, h * (keypad ? 0.46 : 0.62));
    p.setBrush(QColor("#05070a"));
    p.drawRoundedRect(bezel, w * 0.06, w * 0.06);
    const QRectF scr = bezel.adjusted(w * 0.05, w * 0.05, -w * 0.05, -w * 0.05);
    p.save();
    p.setClipRect(scr);
    screen(p, scr);
    p.restore();
    // glass reflection
    {
        QPainterPath glass;
        glass.moveTo(scr.topLeft());
        glass.lineTo(scr.left() + scr.width() * 0.75, scr.top());
        glass.lineTo(scr.left() + scr.width() * 0.35, scr.bottom());
        glass.lineTo(scr.left(), scr.bottom());
        glass.closeSubpath();
        QLinearGradient gg(scr.topLeft(), scr.bottomLeft());
        gg.setColorAt(0, QColor(255, 255, 255, 70));
        gg.setColorAt(1, QColor(255, 255, 255, 8));
        p.fillPath(glass, gg);
    }

    // navigation pad and soft keys
    const qreal keysTop = bezel.bottom() + h * 0.04;
    const QPointF navC(body.center().x(), keysTop + h * 0.06);
    const qreal navR = w * 0.15;
    {
        QRadialGradient ng(navC.x() - navR * 0.3, navC.y() - navR * 0.4, navR * 1.4);
        ng.setColorAt(0, QColor("#f4f7fb"));
        ng.setColorAt(1, QColor("#8593a5"));
        p.setBrush(ng);
        p.setPen(QPen(QColor("#1b232d"), std::max<qreal>(0.6, w * 0.02)));
        p.drawEllipse(navC, navR, navR * 0.8);
        p.setBrush(QColor("#2b3644"));
        p.setPen(Qt::NoPen);
        p.drawEllipse(navC, navR * 0.35, navR * 0.28);
        const qreal skW = w * 0.2, skH = h * 0.04;
        QLinearGradient sk(0, navC.y() - skH, 0, navC.y() + skH);
        sk.setColorAt(0, QColor("#eaf0f6"));
        sk.setColorAt(1, QColor("#8c99aa"));
        p.setBrush(sk);
        p.drawRoundedRect(QRectF(body.left() + w * 0.09, navC.y() - skH, skW, skH * 1.4),
                          skH * 0.6, skH * 0.6);
        p.drawRoundedRect(QRectF(body.right() - w * 0.09 - skW, navC.y() - skH, skW,
                                 skH * 1.4),
                          skH * 0.6, skH * 0.6);
        // green call / red end marks
        p.setBrush(QColor("#35c24a"));
        p.drawEllipse(QPointF(body.left() + w * 0.19, navC.y() + skH * 1.5), w * 0.05,
                      w * 0.035);
        p.setBrush(QColor("#ff4a3a"));
        p.drawEllipse(QPointF(body.right() - w * 0.19, navC.y() + skH * 1.5), w * 0.05,
                      w * 0.035);
    }

    if (keypad) {
        const qreal padTop = navC.y() + navR * 0.8 + h * 0.035;
        const qreal padBottom = body.bottom() - h * 0.05;
        const qreal rowH = (padBottom - padTop) / 4.0;
        const qreal colW = w * 0.82 / 3.0;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                const QRectF key(body.left() + w * 0.09 + c * colW + colW * 0.12,
                                 padTop + r * rowH + rowH * 0.14, colW * 0.76,
                                 rowH * 0.72);
                QLinearGradient kg(key.topLeft(), key.bottomLeft());
                kg.setColorAt(0, QColor("#f6f9fc"));
                kg.setColorAt(1, QColor("#9aa7b7"));
                p.setBrush(kg);
                p.setPen(Qt::NoPen);
                p.drawRoundedRect(key, key.height() * 0.45, key.height() * 0.45);
            }
        }
    }

    // diagonal gloss over the left half of the body
    {
        p.save();
        p.setClipPath(shape);
        QPainterPath sheen;
        sheen.moveTo(body.left(), body.top());
        sheen.lineTo(body.left() + w * 0.55, body.top());
        sheen.lineTo(body.left() + w * 0.05, body.bottom());
        sheen.lineTo(body.left(), body.bottom());
        sheen.closeSubpath();
        QLinearGradient sg(body.topLeft(), QPointF(body.left() + w * 0.5, body.top()));
        sg.setColorAt(0, QColor(255, 255, 255, 70));
        sg.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillPath(sheen, sg);
        p.restore();
    }
    return shape;
}

// A little platform game scene, painted pixel by pixel.
QImage gameScene(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);

    // sky
    for (int y = 0; y < h; ++y) {
        const qreal t = qreal(y) / h;
        p.fillRect(0, y, w, 1,
                   QColor::fromRgbF(0.30 + 0.55 * t, 0.70 + 0.25 * t, 1.0));
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
    p.fillRect(hx + 1, hy, 4, 4, QColor("#1b1b2e"));     // head
    p.fillRect(hx + 2, hy + 1, 3, 1, QColor("#ffd9b0"));   // eyes slit
    p.fillRect(hx + 1, hy, 4, 1, QColor("#e5202a"));       // band
    p.fillRect(hx - 1, hy + 1, 2, 1, QColor("#e5202a"));   // band tail
    p.fillRect(hx + 1, hy + 4, 4, 4, QColor("#25254a"));   // body
    p.fillRect(hx + 5, hy + 4, 2, 1, QColor("#25254a"));   // arm
    p.fillRect(hx, hy + 8, 2, 2, QColor("#25254a"));       // legs
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

void makeBanner()
{
    const int W = 297, H = 80;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    const QRectF all(0, 0, W, H);

    // deep blue to cyan ground
    QLinearGradient bg(0, 0, 0, H);
    bg.setColorAt(0.0, rgba("#1470d8"));
    bg.setColorAt(0.55, rgba("#0a58bf"));
    bg.setColorAt(1.0, rgba("#18b4ec"));
    p.fillRect(all, bg);
    // light from the right
    QRadialGradient glow(QPointF(W - 50, H * 0.55), 120);
    glow.setColorAt(0, QColor(120, 235, 255, 150));
    glow.setColorAt(1, QColor(120, 235, 255, 0));
    p.fillRect(all, glow);

    // sweeping light arcs
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 45 - i * 8), 2.5 - i * 0.4));
        p.drawEllipse(QRectF(-120 + i * 18, 38 + i * 7, 520, 140));
    }
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.2));
    p.drawEllipse(QRectF(120, -40, 260, 90));

    // glossy upper half with a curved lower edge
    {
        QPainterPath gloss;
        gloss.moveTo(0, 0);
        gloss.lineTo(W, 0);
        gloss.lineTo(W, H * 0.34);
        gloss.cubicTo(W * 0.7, H * 0.52, W * 0.35, H * 0.36, 0, H * 0.5);
        gloss.closeSubpath();
        QLinearGradient gg(0, 0, 0, H * 0.5);
        gg.setColorAt(0, QColor(255, 255, 255, 130));
        gg.setColorAt(1, QColor(255, 255, 255, 25));
        p.fillPath(gloss, gg);
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
        p.save();
        p.translate(203, 9);
        p.rotate(12);
        const QRectF body(0, 0, 26, 54);
        softShadow(p, roundedRect(body, 6), QColor(0, 20, 60, 130), 2, QPointF(3, 3));
        drawPhone(
            p, body,
            [](QPainter &sp, const QRectF &r) {
                QLinearGradient sg(r.topLeft(), r.bottomLeft());
                sg.setColorAt(0, QColor("#8ff0ff"));
                sg.setColorAt(1, QColor("#1a8fe0"));
                sp.fillRect(r, sg);
                // a tiny page: title bar and lines
                sp.fillRect(QRectF(r.left(), r.top(), r.width(), 3), QColor("#ff8a00"));
                for (int i = 0; i < 4; ++i)
                    sp.fillRect(QRectF(r.left() + 2, r.top() + 6 + i * 4,
                                       r.width() - 4 - (i % 2) * 5, 1.5),
                                QColor(255, 255, 255, 200));
            },
            true);
        p.restore();
        // waves, rising to the upper left of the antenna
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(QColor(255, 255, 255, 200 - i * 50), 2.0, Qt::SolidLine,
                          Qt::RoundCap));
            const qreal r = 6 + i * 5;
            p.drawArc(QRectF(208 - r, 15 - r, 2 * r, 2 * r), 100 * 16, 70 * 16);
        }
    }

    // the program name
    {
        const QFont f = font(Face::Latin, 38, true, true);
        QPainterPath name = textAt(f, QStringLiteral("Tessaly"), QPointF(14, 43));
        softShadow(p, name, QColor(0, 25, 80, 170), 2, QPointF(2, 3));
        QLinearGradient fill(0, 14, 0, 44);
        fill.setColorAt(0.0, QColor("#ffffff"));
        fill.setColorAt(0.5, QColor("#eaffff"));
        fill.setColorAt(0.52, QColor("#bdefff"));
        fill.setColorAt(1.0, QColor("#ffffff"));
        fancyText(p, name, fill, {{QColor("#06347a"), 4.0}, {QColor("#43c8ff"), 1.6}});
        sparkle(p, QPointF(170, 14), 6);
    }

    // the slogan
    {
        const QFont f = font(Face::Hei, 14, true);
        QPainterPath slogan = textAt(f, QStringLiteral("手机WAP浏览 · 游戏下载"), QPointF(17, 68));
        QLinearGradient fill(0, 55, 0, 69);
        fill.setColorAt(0, QColor("#fffbd0"));
        fill.setColorAt(1, QColor("#ffd640"));
        fancyText(p, slogan, fill, {{QColor(0, 40, 110, 200), 3.0}});
    }

    // "PC edition" tag
    {
        const QRectF tag(242, 56, 46, 17);
        const QPainterPath shape = roundedRect(tag, 8.5);
        softShadow(p, shape, QColor(0, 30, 80, 120), 1, QPointF(1, 1.5));
        QLinearGradient tg(tag.topLeft(), tag.bottomLeft());
        tg.setColorAt(0, QColor("#ffb347"));
        tg.setColorAt(0.5, QColor("#ff7a00"));
        tg.setColorAt(1, QColor("#ff9a1a"));
        p.setPen(QPen(QColor("#ffffff"), 1.2));
        p.setBrush(tg);
        p.drawPath(shape);
        topGloss(p, shape, tag.adjusted(2, 1, -2, -tag.height() * 0.5), 170, 40);
        haloText(p, tag.adjusted(0, 0, 0, -1), Qt::AlignCenter, QStringLiteral("电脑版"),
                 font(Face::Hei, 12, true), Qt::white, QColor(170, 60, 0, 150));
    }

    // frame
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1));
    p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    p.setPen(QPen(QColor(0, 40, 100, 160), 1));
    p.drawLine(QPointF(0, H - 0.5), QPointF(W, H - 0.5));
    p.end();
    saveJpeg(img, QStringLiteral("banner.jpg"));
}

void makeSplash()
{
    const int W = 211, H = 110;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    const QRectF all(0, 0, W, H);

    // bright sky with a sunburst behind the phone
    QLinearGradient bg(0, 0, 0, H);
    bg.setColorAt(0, QColor("#2aa8ff"));
    bg.setColorAt(1, QColor("#b8ecff"));
    p.fillRect(all, bg);
    const QPointF sun(55, 58);
    for (int i = 0; i < 18; ++i) {
        const qreal a0 = qDegreesToRadians(i * 20.0);
        const qreal a1 = qDegreesToRadians(i * 20.0 + 10.0);
        QPainterPath ray;
        ray.moveTo(sun);
        ray.lineTo(sun + QPointF(qCos(a0), qSin(a0)) * 260);
        ray.lineTo(sun + QPointF(qCos(a1), qSin(a1)) * 260);
        ray.closeSubpath();
        p.fillPath(ray, QColor(255, 255, 255, 38));
    }
    QRadialGradient sunGlow(sun, 60);
    sunGlow.setColorAt(0, QColor(255, 250, 180, 255));
    sunGlow.setColorAt(0.45, QColor(255, 220, 90, 150));
    sunGlow.setColorAt(1, QColor(255, 220, 90, 0));
    p.fillRect(all, sunGlow);

    // green hill at the bottom
    {
        QPainterPath hill;
        hill.moveTo(0, H);
        hill.lineTo(0, H - 14);
        hill.cubicTo(60, H - 28, 150, H - 4, W, H - 20);
        hill.lineTo(W, H);
        hill.closeSubpath();
        QLinearGradient hg(0, H - 28, 0, H);
        hg.setColorAt(0, QColor("#8be05a"));
        hg.setColorAt(1, QColor("#2f9a22"));
        p.fillPath(hill, hg);
        p.setPen(QPen(QColor(255, 255, 255, 120), 1.2));
        p.setBrush(Qt::NoBrush);
        QPainterPath edge;
        edge.moveTo(0, H - 14);
        edge.cubicTo(60, H - 28, 150, H - 4, W, H - 20);
        p.drawPath(edge);
    }

    // the phone, tilted, with a game on its screen
    {
        p.save();
        p.translate(34, 10);
        p.rotate(-9);
        const QRectF body(0, 0, 46, 96);
        softShadow(p, roundedRect(body, 10), QColor(0, 40, 90, 140), 3, QPointF(4, 4));
        drawPhone(
            p, body,
            [](QPainter &sp, const QRectF &r) {
                const QImage scene = gameScene(qRound(r.width()), qRound(r.height()));
                sp.save();
                sp.setRenderHint(QPainter::SmoothPixmapTransform, false);
                sp.drawImage(r, scene);
                sp.restore();
            },
            true, QColor("#c8102e"), QColor("#5a0010"));
        p.restore();
    }

    // sparkles around the phone
    sparkle(p, QPointF(20, 22), 7);
    sparkle(p, QPointF(95, 18), 5);
    sparkle(p, QPointF(90, 84), 4);
    goldStar(p, QPointF(20, 86), 6);

    // headline
    {
        const QFont f = font(Face::Hei, 25, true);
        QPainterPath t = textCentered(f, QStringLiteral("海量游戏"), QPointF(152, 34));
        softShadow(p, t, QColor(0, 40, 100, 150), 2, QPointF(1.5, 2.5));
        QLinearGradient fill(0, 22, 0, 46);
        fill.setColorAt(0, QColor("#fffbd0"));
        fill.setColorAt(0.5, QColor("#ffd21a"));
        fill.setColorAt(1, QColor("#ff8a00"));
        fancyText(p, t, fill, {{QColor("#ffffff"), 6.0}, {QColor("#b03000"), 3.0}});
    }
    {
        const QFont f = font(Face::Kai, 18, true);
        QPainterPath t = textCentered(f, QStringLiteral("随心下载"), QPointF(152, 62));
        fancyText(p, t, QColor("#ffffff"), {{QColor("#0a5cc8"), 3.5}});
    }
    // button-like pill
    {
        const QRectF pill(113, 78, 78, 20);
        const QPainterPath shape = roundedRect(pill, 10);
        softShadow(p, shape, QColor(0, 60, 0, 120), 1, QPointF(1, 2));
        QLinearGradient pg(pill.topLeft(), pill.bottomLeft());
        pg.setColorAt(0, QColor("#a6f06a"));
        pg.setColorAt(0.5, QColor("#45c21a"));
        pg.setColorAt(1, QColor("#2e9e0e"));
        p.setPen(QPen(QColor("#1d6e06"), 1));
        p.setBrush(pg);
        p.drawPath(shape);
        topGloss(p, shape, pill.adjusted(3, 1, -3, -pill.height() * 0.5), 190, 50);
        haloText(p, pill.adjusted(0, 0, 0, -1), Qt::AlignCenter,
                 QStringLiteral("立即体验 ►"), font(Face::Hei, 12, true), Qt::white,
                 QColor(20, 90, 0, 160));
    }
    p.end();
    saveJpeg(img, QStringLiteral("splash_picture.jpg"));
}

void makeLogo()
{
    const int S = 50;
    QImage img = newCanvas(S, S);
    QPainter p(&img);
    setupPainter(p);
    // light silver ground, close to the window backdrop
    QLinearGradient bg(0, 0, 0, S);
    bg.setColorAt(0, QColor("#f3f8fd"));
    bg.setColorAt(1, QColor("#dce8f4"));
    p.fillRect(QRectF(0, 0, S, S), bg);

    const QPointF c(25, 24);
    const qreal r = 20.5;
    const QPainterPath orb = ellipsePath(c, r, r);
    softShadow(p, ellipsePath(c + QPointF(0, 2.5), r, r * 0.95), QColor(0, 40, 100, 130), 2);
    QRadialGradient og(c.x() - 6, c.y() - 8, r * 1.6, c.x() - 6, c.y() - 8);
    og.setColorAt(0.0, QColor("#8fe3ff"));
    og.setColorAt(0.45, QColor("#1c8ce8"));
    og.setColorAt(1.0, QColor("#0a3a8c"));
    p.setPen(QPen(QColor("#062b6a"), 1.2));
    p.setBrush(og);
    p.drawPath(orb);
    // cyan rim light at the bottom
    {
        p.save();
        p.setClipPath(orb);
        QRadialGradient rimg(c.x(), c.y() + r * 1.1, r * 0.9);
        rimg.setColorAt(0, QColor(120, 255, 255, 170));
        rimg.setColorAt(1, QColor(120, 255, 255, 0));
        p.fillRect(QRectF(0, 0, S, S), rimg);
        p.restore();
    }
    // orbit ring behind and in front of the letter
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.3));
    p.save();
    p.translate(c);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), r * 0.95, r * 0.38);
    p.restore();
    // the letter T
    {
        const QFont f = font(Face::Latin, 30, true);
        QPainterPath t = textCentered(f, QStringLiteral("T"), c + QPointF(0, 1));
        softShadow(p, t, QColor(0, 20, 70, 200), 1, QPointF(1, 1.5));
        QLinearGradient tf(0, c.y() - 12, 0, c.y() + 12);
        tf.setColorAt(0, QColor("#ffffff"));
        tf.setColorAt(1, QColor("#cfeeff"));
        fancyText(p, t, tf, {{QColor("#0a3f92"), 1.6}});
    }
    // gloss cap
    {
        const QRectF cap(c.x() - r * 0.78, c.y() - r * 0.95, r * 1.56, r * 0.95);
        QLinearGradient gg(cap.topLeft(), cap.bottomLeft());
        gg.setColorAt(0, QColor(255, 255, 255, 200));
        gg.setColorAt(1, QColor(255, 255, 255, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(gg);
        p.drawEllipse(cap);
    }
    sparkle(p, QPointF(39, 9), 4.5, Qt::white, 120);
    p.end();
    saveJpeg(img, QStringLiteral("logo.jpg"));
}

// The "+1000经验" badge at the foot of every sponsor advert.
void experienceBadge(QPainter &p, const QRectF &r)
{
    const QPainterPath shape = roundedRect(r, r.height() / 2);
    softShadow(p, shape, QColor(0, 0, 0, 110), 1, QPointF(0.5, 1));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor("#ffe95a"));
    g.setColorAt(0.5, QColor("#ffb800"));
    g.setColorAt(1, QColor("#ff8c00"));
    p.setPen(QPen(QColor("#a34b00"), 1));
    p.setBrush(g);
    p.drawPath(shape);
    topGloss(p, shape, r.adjusted(2, 1, -2, -r.height() * 0.5), 200, 60);
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

void advertFrame(QPainter &p, int w, int h, const QColor &top, const QColor &bottom)
{
    QLinearGradient bg(0, 0, 0, h);
    bg.setColorAt(0, top);
    bg.setColorAt(1, bottom);
    p.fillRect(QRectF(0, 0, w, h), bg);
    QRadialGradient shine(w * 0.3, h * 0.15, std::max(w, h) * 0.7);
    shine.setColorAt(0, QColor(255, 255, 255, 90));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, w, h), shine);
}

void advertBorder(QPainter &p, int w, int h, const QColor &border)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(border, 1));
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.drawRect(QRectF(1.5, 1.5, w - 3, h - 3));
}

void makeSponsorGames()
{
    const int W = 60, H = 80;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    advertFrame(p, W, H, QColor("#5b1aa8"), QColor("#1c0a4a"));
    // rays behind the pad
    const QPointF c(30, 23);
    for (int i = 0; i < 12; ++i) {
        const qreal a0 = qDegreesToRadians(i * 30.0);
        const qreal a1 = qDegreesToRadians(i * 30.0 + 14.0);
        QPainterPath ray;
        ray.moveTo(c);
        ray.lineTo(c + QPointF(qCos(a0), qSin(a0)) * 50);
        ray.lineTo(c + QPointF(qCos(a1), qSin(a1)) * 50);
        ray.closeSubpath();
        p.fillPath(ray, QColor(255, 210, 255, 30));
    }
    // game pad
    {
        QPainterPath pad;
        pad.addRoundedRect(QRectF(10, 15, 40, 17), 8.5, 8.5);
        pad.addEllipse(QRectF(8, 19, 15, 15));
        pad.addEllipse(QRectF(37, 19, 15, 15));
        pad = merged(pad);
        softShadow(p, pad, QColor(0, 0, 0, 160), 2, QPointF(1, 2));
        QLinearGradient pg(0, 15, 0, 34);
        pg.setColorAt(0, QColor("#f2f4f8"));
        pg.setColorAt(1, QColor("#9aa2b4"));
        p.setPen(QPen(QColor("#2b2f3c"), 1));
        p.setBrush(pg);
        p.drawPath(pad);
        topGloss(p, pad, QRectF(11, 15.5, 38, 8), 200, 30);
        // cross keys
        p.setPen(Qt::NoPen);
        p.setBrush(QColor("#2b2f3c"));
        p.drawRoundedRect(QRectF(12.5, 22.5, 9, 3), 1, 1);
        p.drawRoundedRect(QRectF(15.5, 19.5, 3, 9), 1, 1);
        // buttons
        auto button = [&](QPointF bc, const char *col) {
            QRadialGradient bgc(bc - QPointF(0.7, 0.8), 2.6);
            bgc.setColorAt(0, QColor(255, 255, 255));
            bgc.setColorAt(0.4, QColor(col));
            bgc.setColorAt(1, QColor(col).darker(150));
            p.setBrush(bgc);
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
        QPainterPath t1 = textCentered(font(Face::Hei, 15, true), QStringLiteral("精品"), QPointF(30, 44));
        QPainterPath t2 = textCentered(font(Face::Hei, 15, true), QStringLiteral("游戏"), QPointF(30, 60));
        QLinearGradient fill(0, 37, 0, 67);
        fill.setColorAt(0, QColor("#fff7b0"));
        fill.setColorAt(0.5, QColor("#ffd21a"));
        fill.setColorAt(1, QColor("#ff9000"));
        fancyText(p, t1, fill, {{QColor("#3a0060"), 3.0}});
        fancyText(p, t2, fill, {{QColor("#3a0060"), 3.0}});
    }
    experienceBadge(p, QRectF(3.5, 66.5, 53, 11));
    advertBorder(p, W, H, QColor("#12052e"));
    p.end();
    saveJpeg(img, QStringLiteral("sponsor1.jpg"));
}

QPainterPath notePath(const QPointF &head, qreal size, bool beamed)
{
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

void makeSponsorRingtones()
{
    const int W = 84, H = 52;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    advertFrame(p, W, H, QColor("#16c9a8"), QColor("#05705e"));
    // sound waves
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 70 - i * 12), 1.4));
        const qreal r = 10 + i * 7;
        p.drawArc(QRectF(14 - r, 30 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    }
    // two notes joined by a beam
    {
        QPainterPath notes = notePath(QPointF(8, 38), 6, true);
        notes.addPath(notePath(QPointF(19, 35), 6, true));
        QPainterPath beam;
        beam.moveTo(10.7, 24.5);
        beam.lineTo(21.8, 21.5);
        beam.lineTo(21.8, 24.5);
        beam.lineTo(10.7, 27.5);
        beam.closeSubpath();
        notes.addPath(beam);
        notes = merged(notes);
        softShadow(p, notes, QColor(0, 40, 30, 150), 1, QPointF(1, 1.5));
        QLinearGradient ng(0, 20, 0, 42);
        ng.setColorAt(0, QColor("#ffffff"));
        ng.setColorAt(1, QColor("#ffe070"));
        p.setPen(QPen(QColor("#034036"), 1));
        p.setBrush(ng);
        p.drawPath(notes);
    }
    // title
    {
        QPainterPath t = textCentered(font(Face::Hei, 16, true), QStringLiteral("免费铃声"), QPointF(43, 11.5));
        QLinearGradient fill(0, 3, 0, 20);
        fill.setColorAt(0, QColor("#ffffff"));
        fill.setColorAt(1, QColor("#fff08a"));
        fancyText(p, t, fill, {{QColor("#02463b"), 3.0}});
    }
    haloText(p, QRectF(31, 21, 51, 13), Qt::AlignCenter, QStringLiteral("MP3·MIDI"),
             font(Face::Latin, 9, true), Qt::white, QColor(2, 70, 59, 200));
    experienceBadge(p, QRectF(30.5, 36.5, 50, 12));
    advertBorder(p, W, H, QColor("#034036"));
    p.end();
    saveJpeg(img, QStringLiteral("sponsor2.jpg"));
}

void makeSponsorThemes()
{
    const int W = 60, H = 80;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    advertFrame(p, W, H, QColor("#ff6fb4"), QColor("#8a1070"));
    // rainbow swirl behind the phone
    {
        const char *bands[] = {"#ff3b3b", "#ff9a1a", "#ffe21a", "#3fd44a", "#1aa8ff", "#8a5cff"};
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 6; ++i) {
            p.setPen(QPen(rgba(bands[i], 170), 2.2));
            const qreal r = 24 - i * 2.2;
            p.drawArc(QRectF(30 - r, 40 - r, 2 * r, 2 * r), 20 * 16, 140 * 16);
        }
    }
    // a small phone showing a colourful theme
    {
        p.save();
        p.translate(20, 10);
        p.rotate(6);
        const QRectF body(0, 0, 21, 38);
        softShadow(p, roundedRect(body, 4.5), QColor(60, 0, 40, 150), 2, QPointF(1.5, 2));
        drawPhone(
            p, body,
            [](QPainter &sp, const QRectF &r) {
                QLinearGradient sg(r.topLeft(), r.bottomRight());
                sg.setColorAt(0.0, QColor("#ff5fa8"));
                sg.setColorAt(0.5, QColor("#ffd84a"));
                sg.setColorAt(1.0, QColor("#4ad0ff"));
                sp.fillRect(r, sg);
                sp.setPen(Qt::NoPen);
                sp.setBrush(QColor(255, 255, 255, 200));
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
        p.restore();
    }
    sparkle(p, QPointF(10, 12), 4.5);
    sparkle(p, QPointF(50, 9), 3.5);
    sparkle(p, QPointF(48, 44), 3);
    {
        QPainterPath t = textCentered(font(Face::Hei, 14, true), QStringLiteral("炫彩主题"), QPointF(30, 58));
        QLinearGradient fill(0, 51, 0, 65);
        fill.setColorAt(0, QColor("#ffffff"));
        fill.setColorAt(1, QColor("#ffe0f4"));
        fancyText(p, t, fill, {{QColor("#5a0040"), 3.0}});
    }
    experienceBadge(p, QRectF(3.5, 66.5, 53, 11));
    advertBorder(p, W, H, QColor("#4a0638"));
    p.end();
    saveJpeg(img, QStringLiteral("sponsor3.jpg"));
}

void makeStrip()
{
    const int W = 400, H = 30;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    QLinearGradient bg(0, 0, 0, H);
    bg.setColorAt(0.0, QColor("#fbfdff"));
    bg.setColorAt(0.48, QColor("#e8f0f8"));
    bg.setColorAt(0.52, QColor("#dbe6f2"));
    bg.setColorAt(1.0, QColor("#e9f1f9"));
    p.fillRect(QRectF(0, 0, W, H), bg);
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
    QRadialGradient spot(QPointF(60, 10), 90);
    spot.setColorAt(0, QColor(255, 255, 255, 120));
    spot.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, W, H), spot);
    // edges
    p.setPen(QPen(QColor("#ffffff"), 1));
    p.drawLine(QPointF(0, 0.5), QPointF(W, 0.5));
    p.setPen(QPen(QColor("#a8bcd3"), 1));
    p.drawLine(QPointF(0, H - 0.5), QPointF(W, H - 0.5));
    p.setPen(QPen(QColor(120, 160, 205, 90), 1));
    p.drawLine(QPointF(0, 1.5), QPointF(W, 1.5));
    p.end();
    saveJpeg(img, QStringLiteral("strip.jpg"));
}

void makeBackdrop()
{
    const int W = 300, H = 200;
    QImage img = newCanvas(W, H);
    QPainter p(&img);
    setupPainter(p);
    QLinearGradient bg(0, 0, W * 0.3, H);
    bg.setColorAt(0.0, QColor("#f6fafe"));
    bg.setColorAt(0.5, QColor("#e5eef8"));
    bg.setColorAt(1.0, QColor("#d3e2f1"));
    p.fillRect(QRectF(0, 0, W, H), bg);
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
        p.setPen(QPen(QColor(255, 255, 255, 90 - i * 20), 7 - i * 2));
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
        QRadialGradient g(c, r);
        g.setColorAt(0, QColor(255, 255, 255, a));
        g.setColorAt(0.8, QColor(255, 255, 255, a / 2));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, r, r);
    };
    softCircle(QPointF(250, 40), 55, 70);
    softCircle(QPointF(40, 170), 40, 50);
    softCircle(QPointF(190, 90), 22, 40);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.5));
    p.drawEllipse(QPointF(250, 40), 44, 44);
    p.setPen(QPen(QColor(140, 180, 220, 28), 1.5));
    p.drawEllipse(QPointF(250, 40), 52, 52);
    // top sheen
    QLinearGradient sheen(0, 0, 0, H * 0.35);
    sheen.setColorAt(0, QColor(255, 255, 255, 120));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, W, H * 0.35), sheen);
    p.end();
    saveJpeg(img, QStringLiteral("backdrop.jpg"));
}

struct SkinColours {
    const char *topLight;
    const char *topDark;
    const char *bottomDark;
    const char *bottomLight;
    const char *border;
};

// One glossy button face.  Everything that must not stretch (rim, corners,
// inner highlight) lies within the outer 3 pixels; the middle columns are
// all alike so the face stretches cleanly.
void makeSkin(int w, int h, const SkinColours &c, const QString &name)
{
    // Corners blend into the light window backdrop.
    QImage img = newCanvas(w, h, QColor("#e4edf6"));
    QPainter p(&img);
    setupPainter(p);
    const QRectF outer(0.5, 0.5, w - 1, h - 1);
    const qreal radius = 3.0;
    const QPainterPath shape = roundedRect(outer, radius);
    QLinearGradient face(0, 0, 0, h);
    face.setColorAt(0.0, QColor(c.topLight));
    face.setColorAt(0.49, QColor(c.topDark));
    face.setColorAt(0.51, QColor(c.bottomDark));
    face.setColorAt(1.0, QColor(c.bottomLight));
    p.setPen(Qt::NoPen);
    p.fillPath(shape, face);
    // inner highlight, strong at the top and fading downwards
    QLinearGradient hi(0, 0, 0, h);
    hi.setColorAt(0.0, QColor(255, 255, 255, 235));
    hi.setColorAt(0.5, QColor(255, 255, 255, 110));
    hi.setColorAt(1.0, QColor(255, 255, 255, 60));
    p.setPen(QPen(QBrush(hi), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(outer.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    // rim
    QColor rim(c.border);
    p.setPen(QPen(rim, 1));
    p.drawPath(shape);
    p.end();
    saveBmp(img, name);
}

void makeSkins()
{
    const SkinColours silverBlue{"#ffffff", "#e1ebf7", "#c0d5ee", "#e0edfa", "#5a7ea8"};
    const SkinColours redOrange{"#ffd2ae", "#ff9b5e", "#f0651a", "#ff9c48", "#9a3306"};
    const SkinColours silverGreen{"#ffffff", "#e6f4e3", "#c4e2bd", "#e2f3dd", "#5c9356"};
    makeSkin(125, 23, silverBlue, QStringLiteral("skin_a.bmp"));
    makeSkin(110, 19, silverBlue, QStringLiteral("skin_b.bmp"));
    makeSkin(15, 26, redOrange, QStringLiteral("skin_c.bmp"));
    makeSkin(90, 21, silverGreen, QStringLiteral("skin_d.bmp"));
}

void makeWindowIcon()
{
    const int S = 48;
    QImage img = newCanvas(S, S);
    QPainter p(&img);
    setupPainter(p);
    p.translate(8, 4.5);
    p.rotate(-6);
    const QRectF body(0, 1, 23, 39);
    softShadow(p, roundedRect(body, 5), QColor(0, 20, 50, 140), 2, QPointF(2, 2));
    drawPhone(
        p, body,
        [](QPainter &sp, const QRectF &r) {
            QLinearGradient sg(r.topLeft(), r.bottomLeft());
            sg.setColorAt(0, QColor("#9af4ff"));
            sg.setColorAt(1, QColor("#1b7fe0"));
            sp.fillRect(r, sg);
            // a big T on the screen
            sp.setPen(Qt::NoPen);
            sp.setBrush(QColor(255, 255, 255, 235));
            const QPointF c = r.center();
            sp.drawRect(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 2.4));
            sp.drawRect(QRectF(c.x() - 1.2, c.y() - 3, 2.4, 8));
        },
        false, QColor("#2d5fa8"), QColor("#0a2048"));
    p.resetTransform();
    goldStar(p, QPointF(36.5, 10.5), 9.5, 1.1);
    sparkle(p, QPointF(44, 22), 3.2, Qt::white, 0);
    p.end();
    savePng(img, QStringLiteral("tessaly.png"));
}

// Fills a pointer shape white with a crisp dark rim just inside its edge.
void pointerBody(QPainter &p, const QPainterPath &shape, const QBrush &fill)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.fillPath(shape, fill);
    p.setClipPath(shape);
    p.strokePath(shape, QPen(QColor("#141a26"), 2.0, Qt::SolidLine, Qt::SquareCap,
                             Qt::MiterJoin));
    p.restore();
}

void makeArrowPointer()
{
    const int S = 48;
    QImage img = newCanvas(S, S);
    QPainter p(&img);
    setupPainter(p);
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 26);
    arrow.lineTo(6.2, 20.4);
    arrow.lineTo(10.4, 30);
    arrow.lineTo(14.6, 28.2);
    arrow.lineTo(10.6, 18.8);
    arrow.lineTo(19, 18.8);
    arrow.closeSubpath();
    softShadow(p, arrow, QColor(0, 0, 0, 110), 1, QPointF(2, 2));
    QLinearGradient fill(0, 0, 10, 28);
    fill.setColorAt(0, QColor("#ffffff"));
    fill.setColorAt(1, QColor("#e6f2ff"));
    pointerBody(p, arrow, fill);
    // blue glass tail and a cyan glint near the tip
    {
        QPainterPath tail;
        tail.moveTo(6.2, 20.4);
        tail.lineTo(10.4, 30);
        tail.lineTo(14.6, 28.2);
        tail.lineTo(10.6, 18.8);
        tail.lineTo(7.9, 18.8);
        tail.closeSubpath();
        QLinearGradient tg(8, 19, 12, 29);
        tg.setColorAt(0, QColor("#7fd4ff"));
        tg.setColorAt(1, QColor("#1560d8"));
        p.save();
        p.setClipPath(arrow);
        p.fillPath(tail, tg);
        p.strokePath(arrow, QPen(QColor("#141a26"), 2.0, Qt::SolidLine, Qt::SquareCap,
                                 Qt::MiterJoin));
        p.restore();
        p.setPen(QPen(QColor("#141a26"), 1));
        p.drawLine(QPointF(6.6, 19.3), QPointF(10.9, 19.3));
        QPainterPath glint;
        glint.moveTo(2, 6);
        glint.lineTo(2, 13);
        glint.lineTo(3.6, 11.4);
        glint.lineTo(3.6, 7.6);
        glint.closeSubpath();
        p.fillPath(glint, QColor(60, 170, 255, 170));
    }
    // the hot spot pixel itself stays fully dark
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(0, 0, 1, 2, QColor("#141a26"));
    p.end();
    savePng(img, QStringLiteral("arrow.png"));
}

QPainterPath handShape()
{
    QPainterPath hand;
    // index finger, pointing up; its tip is centred on x = 10
    hand.addRoundedRect(QRectF(7, 0, 6, 17), 3, 3);
    // curled fingers
    hand.addRoundedRect(QRectF(12.5, 9.5, 5, 9), 2.4, 2.4);
    hand.addRoundedRect(QRectF(16.5, 10.5, 4.8, 9), 2.4, 2.4);
    hand.addRoundedRect(QRectF(20.3, 12, 4.4, 8.5), 2.2, 2.2);
    // palm and wrist
    hand.addRoundedRect(QRectF(6, 13.5, 18.7, 11.5), 4, 4);
    QPainterPath wrist;
    wrist.moveTo(7, 20);
    wrist.lineTo(24.5, 20);
    wrist.lineTo(23, 27);
    wrist.lineTo(9, 27);
    wrist.closeSubpath();
    hand.addPath(wrist);
    // thumb, bent inwards from the left
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-9, -2.6, 10.5, 5.2), 2.6, 2.6);
    QTransform t;
    t.translate(8.5, 20.5);
    t.rotate(40);
    hand.addPath(t.map(thumb));
    return merged(hand);
}

void drawHand(QPainter &p)
{
    const QPainterPath hand = handShape();
    softShadow(p, hand, QColor(0, 0, 0, 100), 1, QPointF(1.5, 1.5));
    QLinearGradient fill(0, 0, 0, 28);
    fill.setColorAt(0, QColor("#ffffff"));
    fill.setColorAt(1, QColor("#fff1e2"));
    pointerBody(p, hand, fill);
    // finger creases
    p.setPen(QPen(QColor("#141a26"), 1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.5, 10.5), QPointF(12.5, 16));
    p.drawLine(QPointF(16.6, 12), QPointF(16.6, 17));
    p.drawLine(QPointF(20.4, 13.5), QPointF(20.4, 18));
    // blue shirt cuff
    const QRectF cuff(8, 25.5, 16.5, 5.5);
    QLinearGradient cg(cuff.topLeft(), cuff.bottomLeft());
    cg.setColorAt(0, QColor("#7cc6ff"));
    cg.setColorAt(1, QColor("#1b62d0"));
    p.setPen(QPen(QColor("#141a26"), 1));
    p.setBrush(cg);
    p.drawRoundedRect(cuff.adjusted(0, 0, 0, -0.5), 1.2, 1.2);
}

void makeHandPointer()
{
    QImage img = newCanvas(32, 32);
    QPainter p(&img);
    setupPainter(p);
    drawHand(p);
    p.end();
    savePng(img, QStringLiteral("hand.png"));
}

void makeSiteHandPointer()
{
    QImage img = newCanvas(32, 32);
    QPainter p(&img);
    setupPainter(p);
    drawHand(p);
    // small globe badge in the lower right corner
    const QPointF c(25.2, 24.8);
    const qreal r = 6.3;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(c, r + 1.2, r + 1.2);
    const QPainterPath globe = ellipsePath(c, r, r);
    QRadialGradient gg(c.x() - 2, c.y() - 2.5, r * 1.5);
    gg.setColorAt(0, QColor("#a8ecff"));
    gg.setColorAt(0.5, QColor("#2c9cf0"));
    gg.setColorAt(1, QColor("#0b4aa8"));
    p.setBrush(gg);
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
    p.setPen(QPen(QColor(255, 255, 255, 90), 0.6));
    p.drawEllipse(c, r * 0.5, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    // gloss
    QLinearGradient hl(0, c.y() - r, 0, c.y());
    hl.setColorAt(0, QColor(255, 255, 255, 180));
    hl.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(hl);
    p.drawEllipse(QRectF(c.x() - r * 0.7, c.y() - r * 0.95, r * 1.4, r * 0.9));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor("#0a3a80"), 1));
    p.drawPath(globe);
    p.end();
    savePng(img, QStringLiteral("hand_site.png"));
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: make_assets <output folder> [--preview <folder>]\n");
        return 2;
    }
    g_outDir = args.first();
    const qsizetype pi = args.indexOf(QStringLiteral("--preview"));
    if (pi > 0) {
        if (pi + 1 >= args.size()) {
            std::fprintf(stderr, "--preview needs a folder\n");
            return 2;
        }
        g_previewDir = args.at(pi + 1);
        QDir().mkpath(g_previewDir);
    }
    if (!QDir().mkpath(g_outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(g_outDir));
        return 1;
    }

    const QStringList families = QFontDatabase::families();
    for (const char *wanted : {"AR PL UMing CN", "AR PL UKai CN", "WenQuanYi Zen Hei", "DejaVu Sans"}) {
        if (!families.contains(QString::fromLatin1(wanted)))
            std::fprintf(stderr, "warning: font \"%s\" is not installed; text will "
                                 "use a substitute\n", wanted);
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
    makeArrowPointer();
    makeHandPointer();
    makeSiteHandPointer();

    return g_failures == 0 ? 0 : 1;
}
