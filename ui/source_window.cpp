#include "source_window.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "gateway_route.h"

namespace tessaly {

namespace {
constexpr int MarginPadding = 6;
}  // namespace

class NumberMargin : public QWidget {
public:
    explicit NumberMargin(NumberedText* text) : QWidget(text), text_(text) {}
    QSize sizeHint() const override { return {text_->MarginWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { text_->PaintMargin(event); }

private:
    NumberedText* text_;
};

NumberedText::NumberedText(QWidget* parent)
    : QPlainTextEdit(parent), margin_(new NumberMargin(this)) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    connect(this, &QPlainTextEdit::blockCountChanged, this,
            [this] { setViewportMargins(MarginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0) {
            margin_->scroll(0, dy);
        } else {
            margin_->update(0, rect.y(), margin_->width(), rect.height());
        }
    });
    setViewportMargins(MarginWidth(), 0, 0, 0);
}

int NumberedText::MarginWidth() const {
    const int digits = QString::number(std::max(1, blockCount())).size();
    return MarginPadding * 2 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void NumberedText::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    margin_->setGeometry(area.left(), area.top(), MarginWidth(), area.height());
}

void NumberedText::PaintMargin(QPaintEvent* event) {
    QPainter painter(margin_);
    painter.fillRect(event->rect(), QColor(0xf0, 0xf0, 0xf0));
    painter.setPen(QColor(0x88, 0x88, 0x88));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top()) {
            painter.drawText(0, top, margin_->width() - MarginPadding, fontMetrics().height(),
                             Qt::AlignRight, QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top += height;
    }
}

SourceWindow::SourceWindow(const QUrl& address, QWidget* owner) : QWidget(owner, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("源代码 - ") + address.toDisplayString());
    resize(640, 520);
}

SourceWindow* SourceWindow::ForText(const QUrl& address, const QString& source, QWidget* owner) {
    auto* window = new SourceWindow(address, owner);
    window->text_ = new NumberedText(window);
    window->text_->setPlainText(source);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(window->text_);
    return window;
}

SourceWindow* SourceWindow::ForPage(const QUrl& address, QWebEngineProfile* profile,
                                    QWidget* owner) {
    auto* window = new SourceWindow(address, owner);
    auto* view = new QWebEngineView(window);
    auto* page = new QWebEnginePage(profile, view);
    AnswerGatewayAuthentication(page);
    view->setPage(page);
    view->load(QUrl(QStringLiteral("view-source:") + address.toString(QUrl::FullyEncoded)));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return window;
}

QString SourceWindow::Text() const {
    return text_ ? text_->toPlainText() : QString();
}

}  // namespace tessaly
