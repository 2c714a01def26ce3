#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>
#include <optional>

class QWebEngineDownloadRequest;

namespace tessaly {

// One download as the downloads window shows it. The data is written to
// "<final name>.part" and moved to the final name only when complete, never
// over a file that is already there unless the user chose to replace that file
// in the save dialog; a cancelled or failed download leaves neither behind.
class DownloadItem : public QObject {
    Q_OBJECT

public:
    enum class State { Downloading, Finished, Cancelled, Failed };
    // Saved: the user chose it in the save dialog. Archive: fetched by the
    // program for a descriptor the user saved; it never leads to another.
    enum class Role { Saved, Archive };

    // How long a download may receive nothing before it fails.
    static constexpr int DefaultStallTimeoutMs = 60000;

    // True when path is a file (or link) on disk or is held by another download.
    using PathTaken = std::function<bool(const QString& path, const DownloadItem* asker)>;

    DownloadItem(const QUrl& url, const QString& finalPath, PathTaken taken,
                 Role role = Role::Saved, QObject* parent = nullptr);
    ~DownloadItem() override;

    QUrl Url() const { return url_; }
    QString FilePath() const { return finalPath_; }
    QString PartialPath() const;
    QString FileName() const;
    QString Folder() const;

    Role GetRole() const { return role_; }
    State GetState() const { return state_; }
    bool IsActive() const { return state_ == State::Downloading; }
    qint64 ReceivedBytes() const { return received_; }
    qint64 TotalBytes() const { return total_; }  // -1 while unknown
    qint64 BytesPerSecond() const { return speed_; }
    QString FailureReason() const { return failureReason_; }
    QString MimeType() const { return mimeType_; }

    // Stops the download (if still running) and removes what was received.
    void Cancel();

    // The engine's request that carries the data; the item takes it from
    // here (it must already be accepted into partialPath()).
    void Attach(QWebEngineDownloadRequest* request);
    // A finished file of any other size is a failure, and the transfer stops
    // as soon as it passes that size.
    void ExpectSize(qint64 bytes) { expectedSize_ = bytes; }
    std::optional<qint64> ExpectedSize() const { return expectedSize_; }
    // The transfer stops as soon as it passes this size (when none is expected).
    void LimitSize(qint64 bytes) { sizeLimit_ = bytes; }
    std::optional<qint64> SizeLimit() const { return sizeLimit_; }
    void SetStallTimeout(int ms);
    // The engine's number for the transfer, 0 before attach().
    quint32 RequestId() const { return requestId_; }
    // The user agreed to replace the file now at filePath(): allowed once the
    // new one is complete, provided that file is still the same one.
    void AllowReplacing(qint64 size, const QDateTime& modified);
    // Ends the download as failed with a reason shown to the user.
    void Fail(const QString& reason);
    // A finished file turned out to be of no use (a descriptor naming no
    // archive it may fetch): shown as failed with the reason; the file stays.
    void FailFinished(const QString& reason);

    // The user asks for a failed download once more (from its row).
    void RequestRetry() {
        if (state_ == State::Failed) {
            emit RetryRequested();
        }
    }

signals:
    void Changed();
    void RetryRequested();
    // The download reached Finished, Cancelled or Failed.
    void Done();

private:
    void OnStateChanged();
    void OnProgress();
    bool PassedSizeLimit();
    void Complete();
    bool MoveToFinalName();
    void RemovePartial();
    void SampleSpeed();
    void End(State state);
    // Ends a download under way: the engine stops and the partial file goes.
    void Stop(State state);

    QUrl url_;
    QString finalPath_;
    PathTaken taken_;
    Role role_;
    quint32 requestId_ = 0;
    QPointer<QWebEngineDownloadRequest> request_;
    State state_ = State::Downloading;
    qint64 received_ = 0;
    qint64 total_ = -1;
    qint64 speed_ = 0;
    QString failureReason_;
    QString mimeType_;
    std::optional<qint64> expectedSize_;
    std::optional<qint64> sizeLimit_;
    struct Replaceable {
        qint64 size;
        QDateTime modified;
    };
    std::optional<Replaceable> replaceable_;

    QElapsedTimer clock_;
    std::deque<std::pair<qint64, qint64>> samples_;  // (ms since start, bytes)
    QTimer speedTimer_;
    // Restarted by every byte received; runs out when the server stalls.
    QTimer stallTimer_;
};

// Chinese wording for the download's figures.
QString FormatBytes(qint64 bytes);            // "820 B", "1.2 MB", "120 KB"
QString FormatSpeed(qint64 bytesPerSecond);   // "120 KB/秒"
QString ChineseFileSize(qint64 bytes);        // "820 字节", "1.2 KB"
QString StateText(const DownloadItem& item);  // "正在下载", "已完成", "已取消", "失败"
// "1.2 MB / 3.4 MB  120 KB/秒" while downloading, the size when finished,
// the reason when failed.
QString ProgressText(const DownloadItem& item);

}  // namespace tessaly
