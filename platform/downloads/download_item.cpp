#include "download_item.h"

#include <QFile>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "file_names.h"
#include "qt_paths.h"

namespace tessaly {

namespace {

// The speed shown is the average over this last stretch of time.
constexpr qint64 SpeedWindowMs = 3000;
constexpr int SpeedRefreshMs = 1000;
// Numbered names tried when the final name was taken meanwhile.
constexpr int RenameAttempts = 50;

QString InterruptText(QWebEngineDownloadRequest::DownloadInterruptReason reason) {
    using R = QWebEngineDownloadRequest;
    switch (reason) {
        case R::FileAccessDenied:
            return QStringLiteral("无法写入文件，请检查文件夹的权限。");
        case R::FileNoSpace:
            return QStringLiteral("磁盘空间不足，请腾出空间后重试。");
        case R::FileNameTooLong:
            return QStringLiteral("文件名太长，无法保存。");
        case R::FileTooLarge:
            return QStringLiteral("文件太大，无法保存。");
        case R::FileVirusInfected:
        case R::FileBlocked:
        case R::FileSecurityCheckFailed:
            return QStringLiteral("文件被系统拦截，没有保存。");
        case R::FileTooShort:
        case R::FileHashMismatch:
        case R::FileFailed:
        case R::FileTransientError:
            return QStringLiteral("写入文件时出错，请重试。");
        case R::NetworkTimeout:
            return QStringLiteral("网络超时，服务器很久没有回应。");
        case R::NetworkDisconnected:
            return QStringLiteral("网络已断开，请检查网络连接。");
        case R::NetworkServerDown:
        case R::ServerUnreachable:
            return QStringLiteral("无法连接服务器，请稍后重试。");
        case R::NetworkFailed:
        case R::NetworkInvalidRequest:
            return QStringLiteral("网络出错，下载没有完成。");
        case R::ServerBadContent:
            return QStringLiteral("服务器上没有这个文件。");
        case R::ServerUnauthorized:
        case R::ServerForbidden:
            return QStringLiteral("服务器拒绝了下载。");
        case R::ServerCertProblem:
            return QStringLiteral("服务器的证书有问题，下载已停止。");
        case R::ServerFailed:
            return QStringLiteral("服务器出错，下载没有完成。");
        case R::UserCanceled:
            return QStringLiteral("下载已取消。");
        case R::NoReason:
            break;
    }
    return QStringLiteral("下载出错，没有完成。");
}

QString OneDecimal(double value, const char* unit) {
    const QString number =
        value < 100 ? QString::number(value, 'f', 1) : QString::number(qRound64(value));
    return number + u' ' + QLatin1String(unit);
}

}  // namespace

DownloadItem::DownloadItem(const QUrl& url, const QString& finalPath, PathTaken taken, Role role,
                           QObject* parent)
    : QObject(parent), url_(url), finalPath_(finalPath), taken_(std::move(taken)), role_(role) {
    clock_.start();
    speedTimer_.setInterval(SpeedRefreshMs);
    connect(&speedTimer_, &QTimer::timeout, this, [this] {
        SampleSpeed();
        emit Changed();
    });
    stallTimer_.setSingleShot(true);
    stallTimer_.setInterval(DefaultStallTimeoutMs);
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        const int seconds = stallTimer_.interval() / 1000;
        Fail(QStringLiteral("%1内没有收到任何数据，服务器可能已停止发送，下载已停止。")
                 .arg(seconds == 60 ? QStringLiteral("一分钟")
                                    : QStringLiteral("%1 秒").arg(seconds)));
    });
}

void DownloadItem::SetStallTimeout(int ms) {
    stallTimer_.setInterval(ms);
}

DownloadItem::~DownloadItem() {
    // Quitting mid-download: the engine stops it too; nothing partial stays.
    if (state_ == State::Downloading) {
        if (request_) {
            request_->disconnect(this);
            request_->cancel();
        }
        RemovePartial();
    }
}

QString DownloadItem::PartialPath() const {
    return tessaly::PartialPath(finalPath_);
}

QString DownloadItem::FileName() const {
    return QFileInfo(finalPath_).fileName();
}

QString DownloadItem::Folder() const {
    return QFileInfo(finalPath_).absolutePath();
}

void DownloadItem::Attach(QWebEngineDownloadRequest* request) {
    if (state_ != State::Downloading) {
        request->cancel();  // cancelled while the server was still answering
        RemovePartial();
        return;
    }
    request_ = request;
    requestId_ = request->id();
    mimeType_ = request->mimeType();
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, &DownloadItem::OnStateChanged);
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this,
            &DownloadItem::OnProgress);
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this,
            &DownloadItem::OnProgress);
    connect(request, &QObject::destroyed, this, [this] {
        if (state_ == State::Downloading) {
            RemovePartial();
            End(State::Cancelled);
        }
    });
    speedTimer_.start();
    stallTimer_.start();
    OnProgress();
    OnStateChanged();
}

void DownloadItem::OnProgress() {
    if (!request_ || state_ != State::Downloading) {
        return;
    }
    const qint64 received = request_->receivedBytes();
    if (received != received_) {
        stallTimer_.start();
    }
    received_ = received;
    total_ = request_->totalBytes() > 0 ? request_->totalBytes() : -1;
    if (PassedSizeLimit()) {
        return;
    }
    SampleSpeed();
    emit Changed();
}

bool DownloadItem::PassedSizeLimit() {
    // The size the server announces counts as much as what has arrived: no
    // need to receive more than the limit to know it is too big.
    const qint64 size = std::max(received_, total_);
    if (expectedSize_ && size > *expectedSize_) {
        Fail(QStringLiteral(
                 "文件大小不符：应为 %1 字节，服务器发送的更多（已知 %2 字节），下载已停止。")
                 .arg(*expectedSize_)
                 .arg(size));
        return true;
    }
    if (!expectedSize_ && sizeLimit_ && size > *sizeLimit_) {
        Fail(QStringLiteral("文件太大：超过了 %1 的上限，下载已停止。")
                 .arg(FormatBytes(*sizeLimit_)));
        return true;
    }
    return false;
}

void DownloadItem::SampleSpeed() {
    const qint64 now = clock_.elapsed();
    samples_.emplace_back(now, received_);
    while (samples_.size() > 2 && now - samples_[1].first >= SpeedWindowMs) {
        samples_.pop_front();
    }
    const auto& [firstMs, firstBytes] = samples_.front();
    speed_ = now > firstMs ? (received_ - firstBytes) * 1000 / (now - firstMs) : 0;
}

void DownloadItem::OnStateChanged() {
    if (!request_) {
        return;
    }
    switch (request_->state()) {
        case QWebEngineDownloadRequest::DownloadRequested:
        case QWebEngineDownloadRequest::DownloadInProgress:
            break;
        case QWebEngineDownloadRequest::DownloadCompleted:
            if (state_ == State::Downloading) {
                OnProgress();
                Complete();
            }
            break;
        case QWebEngineDownloadRequest::DownloadCancelled:
            RemovePartial();
            End(State::Cancelled);
            break;
        case QWebEngineDownloadRequest::DownloadInterrupted:
            // The engine may keep an interrupted download to resume later;
            // this one is over: cancelling also makes the engine let go of
            // the partial file.
            Fail(InterruptText(request_->interruptReason()));
            break;
    }
}

void DownloadItem::Complete() {
    const QFileInfo partial(PartialPath());
    if (!partial.exists()) {
        Fail(QStringLiteral("下载到一半的文件不见了，可能被其他程序移走或删除了。"));
        return;
    }
    if (expectedSize_ && partial.size() != *expectedSize_) {
        Fail(QStringLiteral("文件大小不符：应为 %1 字节，实际收到 %2 字节。")
                 .arg(*expectedSize_)
                 .arg(partial.size()));
        return;
    }
    received_ = partial.size();
    total_ = received_;
    if (!MoveToFinalName()) {
        // The data is complete: keep it under its partial name rather than
        // lose it, and say where it is.
        failureReason_ =
            QStringLiteral("无法改名，文件保存为 %1").arg(QFileInfo(PartialPath()).fileName());
        End(State::Failed);
        return;
    }
    End(State::Finished);
}

bool DownloadItem::MoveToFinalName() {
    const QString partial = PartialPath();
    if (replaceable_) {
        const QFileInfo existing(finalPath_);
        if (existing.exists() && existing.size() == replaceable_->size &&
            existing.lastModified() == replaceable_->modified) {
            std::error_code error;
            std::filesystem::rename(ToPath(partial), ToPath(finalPath_), error);
            if (!error) {
                return true;
            }
        }
    }
    // QFile::rename never replaces an existing file (on Linux it refuses
    // atomically), so a file that appeared meanwhile is kept and this one
    // takes the next free number.
    QString target = finalPath_;
    for (int attempt = 0; attempt < RenameAttempts && !target.isEmpty(); ++attempt) {
        if (QFile::rename(partial, target)) {
            finalPath_ = target;
            return true;
        }
        if (!QFileInfo::exists(partial)) {
            return false;
        }
        const QString name = QFileInfo(finalPath_).fileName();
        target = FreeFilePath(Folder(), name, [this, &partial](const QString& path) {
            return path == partial || taken_(path, this);
        });
    }
    return false;
}

void DownloadItem::AllowReplacing(qint64 size, const QDateTime& modified) {
    replaceable_ = Replaceable{size, modified};
}

void DownloadItem::Cancel() {
    Stop(State::Cancelled);
}

void DownloadItem::Fail(const QString& reason) {
    if (state_ != State::Downloading) {
        return;
    }
    failureReason_ = reason;
    Stop(State::Failed);
}

void DownloadItem::FailFinished(const QString& reason) {
    if (state_ != State::Finished) {
        return;
    }
    state_ = State::Failed;
    failureReason_ = reason;
    emit Changed();
}

void DownloadItem::Stop(State state) {
    if (state_ != State::Downloading) {
        return;
    }
    End(state);
    if (request_) {
        request_->cancel();
    }
    RemovePartial();
}

void DownloadItem::RemovePartial() {
    QFile::remove(PartialPath());
    // Newer engines write to a further intermediate name beside it.
    QFile::remove(PartialPath() + QStringLiteral(".download"));
}

void DownloadItem::End(State state) {
    if (state_ != State::Downloading) {
        return;
    }
    state_ = state;
    speedTimer_.stop();
    stallTimer_.stop();
    speed_ = 0;
    emit Changed();
    emit Done();
}

QString FormatBytes(qint64 bytes) {
    constexpr double K = 1024.0;
    if (bytes < 1024) {
        return QStringLiteral("%1 B").arg(bytes);
    }
    if (bytes < 1024 * 1024) {
        return OneDecimal(bytes / K, "KB");
    }
    if (bytes < 1024LL * 1024 * 1024) {
        return OneDecimal(bytes / (K * K), "MB");
    }
    return OneDecimal(bytes / (K * K * K), "GB");
}

QString ChineseFileSize(qint64 bytes) {
    return bytes < 1024 ? QStringLiteral("%1 字节").arg(bytes) : FormatBytes(bytes);
}

QString FormatSpeed(qint64 bytesPerSecond) {
    return FormatBytes(bytesPerSecond) + QStringLiteral("/秒");
}

QString StateText(const DownloadItem& item) {
    switch (item.GetState()) {
        case DownloadItem::State::Downloading:
            return QStringLiteral("正在下载");
        case DownloadItem::State::Finished:
            return QStringLiteral("已完成");
        case DownloadItem::State::Cancelled:
            return QStringLiteral("已取消");
        case DownloadItem::State::Failed:
            break;
    }
    return QStringLiteral("失败");
}

QString ProgressText(const DownloadItem& item) {
    switch (item.GetState()) {
        case DownloadItem::State::Finished:
            return FormatBytes(item.ReceivedBytes());
        case DownloadItem::State::Failed:
            return item.FailureReason();
        case DownloadItem::State::Cancelled:
        case DownloadItem::State::Downloading:
            break;
    }
    QString text = FormatBytes(item.ReceivedBytes());
    if (item.TotalBytes() >= 0) {
        text += QStringLiteral(" / ") + FormatBytes(item.TotalBytes());
    }
    if (item.IsActive()) {
        text += QStringLiteral("  ") + FormatSpeed(item.BytesPerSecond());
    }
    return text;
}

}  // namespace tessaly
