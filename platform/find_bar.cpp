#include "find_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>

namespace tessaly {

namespace {
constexpr int BarWidth = 330;
}  // namespace

FindBar::FindBar(QWebEngineView* view, QWidget* parent)
    : QWidget(parent), view_(view), text_(new QLineEdit(this)), matches_(new QLabel(this)) {
    setObjectName(QStringLiteral("findBar"));
    setAutoFillBackground(true);
    text_->setPlaceholderText(QStringLiteral("在页面中查找"));
    text_->setClearButtonEnabled(true);
    auto* previous = new QToolButton(this);
    previous->setText(QStringLiteral("上一个"));
    auto* next = new QToolButton(this);
    next->setText(QStringLiteral("下一个"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("关闭"));
    close->setToolTip(QStringLiteral("关闭查找栏 (Esc)"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(3);
    layout->addWidget(text_, 1);
    layout->addWidget(matches_);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(close);
    setFocusProxy(text_);

    connect(text_, &QLineEdit::textChanged, this, [this] { Find(false); });
    connect(previous, &QToolButton::clicked, this, [this] { Find(true); });
    connect(next, &QToolButton::clicked, this, [this] { Find(false); });
    connect(close, &QToolButton::clicked, this, &FindBar::Close);
    hide();
}

void FindBar::Open() {
    Place();
    show();
    raise();
    text_->setFocus(Qt::ShortcutFocusReason);
    text_->selectAll();
    if (!text_->text().isEmpty()) {
        Find(false);
    }
}

void FindBar::Close() {
    if (!isVisible()) {
        return;
    }
    hide();
    matches_->clear();
    view_->page()->findText(QString());  // clears the highlight
    view_->setFocus(Qt::OtherFocusReason);
}

void FindBar::Place() {
    const QSize size(std::min(BarWidth, parentWidget()->width()), sizeHint().height());
    setGeometry(parentWidget()->width() - size.width(), parentWidget()->height() - size.height(),
                size.width(), size.height());
}

void FindBar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Close();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Find(event->modifiers().testFlag(Qt::ShiftModifier));
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void FindBar::Find(bool backward) {
    const QString text = text_->text();
    if (text.isEmpty()) {
        matches_->clear();
        view_->page()->findText(QString());
        return;
    }
    QWebEnginePage::FindFlags flags;
    if (backward) {
        flags |= QWebEnginePage::FindBackward;
    }
    QPointer<FindBar> bar(this);
    view_->page()->findText(text, flags, [bar](const QWebEngineFindTextResult& result) {
        if (bar) {
            bar->ShowResult(result);
        }
    });
}

void FindBar::ShowResult(const QWebEngineFindTextResult& result) {
    matches_->setText(
        result.numberOfMatches() == 0
            ? QStringLiteral("无结果")
            : QStringLiteral("%1/%2").arg(result.activeMatch()).arg(result.numberOfMatches()));
}

}  // namespace tessaly
