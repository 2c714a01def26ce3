#include "downloads_window.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "download_item.h"
#include "shell_open.h"

namespace tessaly {

namespace {

constexpr int WindowWidth = 480;
constexpr int WindowHeight = 300;
constexpr int ProgressScale = 1000;

// A label that shows a long text shortened to fit; text() keeps the whole
// text. File names lose their middle, so the extension stays visible.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {}
    QSize minimumSizeHint() const override { return {20, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        painter.drawText(area, int(alignment()),
                         fontMetrics().elidedText(text(), mode_, area.width()));
    }

private:
    Qt::TextElideMode mode_;
};

QPushButton* SmallButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QStringLiteral("QPushButton { padding: 2px 8px; }"));
    return button;
}

class DownloadRow : public QFrame {
public:
    DownloadRow(DownloadItem* item, ShellOpener& shell, QWidget* parent)
        : QFrame(parent), item_(item), shell_(shell) {
        setObjectName(QStringLiteral("download"));
        setFrameShape(QFrame::StyledPanel);

        name_ = new ElidedLabel(Qt::ElideMiddle, this);
        name_->setObjectName(QStringLiteral("name"));
        QFont bold = name_->font();
        bold.setBold(true);
        name_->setFont(bold);
        name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        size_ = new QLabel(this);
        size_->setObjectName(QStringLiteral("size"));

        progress_ = new QProgressBar(this);
        progress_->setObjectName(QStringLiteral("progress"));
        progress_->setTextVisible(false);
        progress_->setFixedHeight(10);

        detail_ = new ElidedLabel(Qt::ElideRight, this);
        detail_->setObjectName(QStringLiteral("detail"));
        detail_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        state_ = new QLabel(this);
        state_->setObjectName(QStringLiteral("state"));
        cancel_ = SmallButton(QStringLiteral("取消"), "cancel", this);
        retry_ = SmallButton(QStringLiteral("重试"), "retry", this);
        openFile_ = SmallButton(QStringLiteral("打开文件"), "openFile", this);
        openFolder_ = SmallButton(QStringLiteral("打开文件夹"), "openFolder", this);

        auto* top = new QHBoxLayout;
        top->addWidget(name_, 1);
        top->addWidget(size_);
        auto* bottom = new QHBoxLayout;
        bottom->addWidget(detail_, 1);
        bottom->addWidget(state_);
        bottom->addSpacing(6);
        bottom->addWidget(cancel_);
        bottom->addWidget(retry_);
        bottom->addWidget(openFile_);
        bottom->addWidget(openFolder_);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 6, 8, 6);
        layout->setSpacing(4);
        layout->addLayout(top);
        layout->addWidget(progress_);
        layout->addLayout(bottom);

        connect(cancel_, &QPushButton::clicked, item, &DownloadItem::Cancel);
        connect(retry_, &QPushButton::clicked, item, &DownloadItem::RequestRetry);
        connect(openFile_, &QPushButton::clicked, this, [this] {
            if (item_) {
                shell_.ShellOpen(window(), QDir::toNativeSeparators(item_->FilePath()));
            }
        });
        connect(openFolder_, &QPushButton::clicked, this, [this] {
            if (item_) {
                shell_.ShellOpen(window(), QDir::toNativeSeparators(item_->Folder()));
            }
        });
        connect(item, &DownloadItem::Changed, this, &DownloadRow::Refresh);
        Refresh();
    }

private:
    void Refresh() {
        if (!item_) {
            return;
        }
        const DownloadItem& item = *item_;
        name_->setText(item.FileName());
        name_->setToolTip(QDir::toNativeSeparators(item.FilePath()));
        const qint64 size = item.GetState() == DownloadItem::State::Finished ? item.ReceivedBytes()
                                                                             : item.TotalBytes();
        if (size >= 0) {
            size_->setText(FormatBytes(size));
        } else {
            size_->setText(item.IsActive() ? QStringLiteral("大小未知") : QString());
        }

        const bool finished = item.GetState() == DownloadItem::State::Finished;
        if (item.IsActive() && item.TotalBytes() <= 0) {
            progress_->setRange(0, 0);  // size unknown: a busy bar
        } else {
            progress_->setRange(0, ProgressScale);
            const qint64 total = item.TotalBytes();
            int value = 0;  // a cancelled or failed download shows an empty bar
            if (finished) {
                value = ProgressScale;
            } else if (item.IsActive() && total > 0) {
                value = int(item.ReceivedBytes() * ProgressScale / total);
            }
            progress_->setValue(value);
        }
        detail_->setText(ProgressText(item));
        detail_->setToolTip(detail_->text());
        state_->setText(StateText(item));
        const bool failed = item.GetState() == DownloadItem::State::Failed;
        state_->setStyleSheet(failed ? QStringLiteral("color: #c00000;") : QString());
        // A long reason is cut short in the row: the whole of it shows over
        // any part of the row.
        setToolTip(failed ? StateText(item) + QStringLiteral("：") + item.FailureReason()
                          : QString());

        cancel_->setEnabled(item.IsActive());
        // A failed download offers to be tried again in place of 取消.
        cancel_->setVisible(!failed);
        retry_->setVisible(failed);
        openFile_->setEnabled(finished);
        openFolder_->setEnabled(finished);
    }

    QPointer<DownloadItem> item_;
    ShellOpener& shell_;
    ElidedLabel* name_;
    QLabel* size_;
    QProgressBar* progress_;
    ElidedLabel* detail_;
    QLabel* state_;
    QPushButton* cancel_;
    QPushButton* retry_;
    QPushButton* openFile_;
    QPushButton* openFolder_;
};

}  // namespace

DownloadsWindow::DownloadsWindow(ShellOpener& shell, QWidget* owner)
    : DownloadList(nullptr, Qt::Tool), shell_(shell) {
    SetOwner(owner);
    setWindowTitle(QStringLiteral("下载管理"));
    setFixedSize(WindowWidth, WindowHeight);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    list_ = new QVBoxLayout(content);
    list_->setContentsMargins(6, 6, 6, 6);
    list_->setSpacing(6);
    list_->addStretch(1);
    scroll->setWidget(content);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
}

void DownloadsWindow::SetOwner(QWidget* owner) {
    // Not a child window of the owner: a dialog modal to the owner (the save
    // dialog) would then block this window too, and with it 取消.
    if (owner_) {
        disconnect(owner_, nullptr, this, nullptr);
    }
    owner_ = owner;
    if (owner) {
        connect(owner, &QObject::destroyed, this, &QWidget::close);
    }
}

void DownloadsWindow::AddItem(DownloadItem* item) {
    if (rows_.contains(item)) {
        return;
    }
    auto* row = new DownloadRow(item, shell_, list_->parentWidget());
    list_->insertWidget(0, row);  // newest first
    rows_.insert(item, row);
    connect(item, &QObject::destroyed, row, [this, item, row] {
        rows_.remove(item);
        row->deleteLater();
    });
}

}  // namespace tessaly
