#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>

#include "download_list.h"

class QVBoxLayout;

namespace tessaly {

class DownloadItem;
class ShellOpener;

// "下载管理": a small tool window beside the main window listing every
// download, newest first: file name, size, progress with bytes and speed,
// state, and the buttons 取消 (重试 once it failed), 打开文件 and 打开文件夹
// (the last two only once the file is complete).
class DownloadsWindow : public DownloadList {
    Q_OBJECT

public:
    DownloadsWindow(ShellOpener& shell, QWidget* owner);

    void SetOwner(QWidget* owner) override;
    void AddItem(DownloadItem* item) override;

    int RowCount() const { return rows_.size(); }
    // The row showing item; its parts are named "name", "size", "progress",
    // "detail", "state", "cancel", "retry", "openFile" and "openFolder".
    QWidget* RowFor(const DownloadItem* item) const { return rows_.value(item); }

private:
    ShellOpener& shell_;
    QPointer<QWidget> owner_;
    QVBoxLayout* list_;
    QHash<const DownloadItem*, QWidget*> rows_;
};

}  // namespace tessaly
