#pragma once

#include <QWidget>
#include <functional>

namespace tessaly {

class DownloadItem;
class ShellOpener;

// The downloads window as the manager sees it: a tool window listing the
// downloads it is given. The window itself is one of the program's windows
// (ui/downloads_window.h); the manager makes it, the first time there is
// something to show, through the factory it is given.
class DownloadList : public QWidget {
public:
    using QWidget::QWidget;

    // The window it stays beside, and closes with.
    virtual void SetOwner(QWidget* owner) = 0;
    // Lists item; an item listed already is left as it is.
    virtual void AddItem(DownloadItem* item) = 0;
};

using DownloadListFactory = std::function<DownloadList*(ShellOpener& shell, QWidget* owner)>;

}  // namespace tessaly
