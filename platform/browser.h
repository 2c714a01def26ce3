#pragma once

#include <QString>
#include <QWidget>

namespace tessaly {

// The browser pane as the windows see it: five operations that return at
// once, and five notifications raised while pages load.
//
// GoBack and GoForward throw Failure when the history holds no such page;
// nothing else fails.
class Browser : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    virtual void Navigate(const QString& url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;

signals:
    // The text a browser's status bar would show changed (several times per load).
    void StatusTextChange(const QString& text);
    // Load progress out of progressMax; a final (-1, progressMax) when the load ends.
    void ProgressChange(int progress, int progressMax);
    // Command 1 is Forward, 2 is Back: whether it is available now.
    void CommandStateChange(int command, bool enable);
    // A navigation finished, failed or was stopped.
    void DownloadComplete();
    // The main frame committed a navigation: its document begins to load.
    void NavigateComplete2(const QString& url);
};

}  // namespace tessaly
