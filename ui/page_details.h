#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace tessaly {

// What a site sent for a document the program converted (a WML deck, a
// binary deck, an XHTML page it had to read as HTML), as the WAP gateway
// recorded it: the page the engine shows says only what it became.
struct SentDocument {
    QString contentType;
    QString charset;  // the one it was read in
    qint64 bytes = -1;
    int cards = 0;   // for a deck
    QString source;  // as the site sent it (a binary deck as text); empty when forgotten
};

// Finds what was sent for the document an address shows, if it was converted.
using SentDocumentLookup = std::function<std::optional<SentDocument>(const QUrl& address)>;

}  // namespace tessaly
