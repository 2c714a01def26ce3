#pragma once

#include <QObject>
#include <QStringList>

#include "browser.h"

namespace tessaly::testing {

// Records the browser's five notifications in arrival order, as
// "Status:text", "Progress:p/max", "Command:c=0|1", "DownloadComplete",
// "Navigate:url".
class BrowserEventLog : public QObject {
public:
    template <class Source>
    explicit BrowserEventLog(Source* source) {
        connect(source, &Source::StatusTextChange, this,
                [this](const QString& text) { events << "Status:" + text; });
        connect(source, &Source::ProgressChange, this, [this](int progress, int max) {
            events << QStringLiteral("Progress:%1/%2").arg(progress).arg(max);
        });
        connect(source, &Source::CommandStateChange, this, [this](int command, bool enable) {
            events << QStringLiteral("Command:%1=%2").arg(command).arg(enable ? 1 : 0);
        });
        connect(source, &Source::DownloadComplete, this,
                [this] { events << QStringLiteral("DownloadComplete"); });
        connect(source, &Source::NavigateComplete2, this,
                [this](const QString& url) { events << "Navigate:" + url; });
    }

    int Count(const QString& prefix) const {
        int n = 0;
        for (const QString& event : events) {
            n += event.startsWith(prefix) ? 1 : 0;
        }
        return n;
    }
    int FirstIndex(const QString& prefix) const {
        for (int i = 0; i < events.size(); ++i) {
            if (events[i].startsWith(prefix)) {
                return i;
            }
        }
        return -1;
    }
    QString LastOf(const QString& prefix) const {
        for (int i = events.size() - 1; i >= 0; --i) {
            if (events[i].startsWith(prefix)) {
                return events[i];
            }
        }
        return {};
    }

    QStringList events;
};

}  // namespace tessaly::testing
