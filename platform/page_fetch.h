#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

#include "script_units.h"

class QWebEnginePage;

namespace tessaly {

// What a fetch made from a page brought.
struct PageFetched {
    QByteArray body;
    QString type;     // the media type, lower case, without parameters
    QString charset;  // the Content-Type's charset, or empty
};

// Fetches address from page, same origin and with the site's cookies, from
// the program's isolated script world, which the site's scripts cannot
// reach. done gets the answer (nothing when it failed, was refused, was
// larger than maxBytes, or the page moved away from pageUrl), on the page's
// thread.
void FetchThroughPage(QWebEnginePage* page, const QUrl& pageUrl, const QString& address,
                      qsizetype maxBytes, std::function<void(std::optional<PageFetched>)> done);

// Where a deck shown past the gateway gets the WMLScript units it calls,
// called from a worker thread: an https deck's from its own site through
// page; a local deck's from its own folder and those below it. Each waits
// at most a few seconds, and all of one deck's together not much longer.
wap::ScriptFetcher ScriptsThroughPage(QWebEnginePage* page, const QUrl& deck);
wap::ScriptFetcher ScriptsBesideLocalDeck(const QUrl& deck);

}  // namespace tessaly
