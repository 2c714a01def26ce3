#pragma once

#include <QString>
#include <QStringList>

namespace tessaly {

// What the user typed in the Open dialog or the start page's address box, as
// an address the browser can load: a bare host gets http:// and a path
// ("wap.example.com" -> "http://wap.example.com/"), a local file becomes a
// file: URL. Empty when it is nothing the program opens (blank text, or a
// scheme such as javascript: or data:).
QString AddressToOpen(const QString& typed);

// The addresses typed before, newest first, kept in Data\Address.txt when
// the Data folder exists; the program never creates that folder.
// An address the Open dialog can offer as the user types, and where it is from.
struct AddressCandidate {
    enum class Source { Typed, Favourite, History };
    QString address;
    QString title;
    Source source = Source::Typed;
};

// The addresses typed before, favourites and history (each list in the order
// to offer it: newest first) as one list, each address once, in that order of
// sources. Addresses that differ only in case, an http:// in front or a / at
// the end are the same.
QList<AddressCandidate> MergeAddresses(const QStringList& typed,
                                       const QList<AddressCandidate>& favourites,
                                       const QList<AddressCandidate>& history);

// The addresses of `candidates` whose address or title holds `text` (any
// case), at most `limit`: first those whose address begins with it (past its
// scheme and a www.), then the rest, each part in the order given.
QStringList MatchAddresses(const QString& text, const QList<AddressCandidate>& candidates,
                           int limit);

class TypedAddresses {
public:
    explicit TypedAddresses(QString programFolder);

    QStringList Load() const;
    // Puts `address` first (once), keeps the newest few and saves the list.
    QStringList Remember(const QString& address) const;

    static constexpr int MaxRemembered = 25;
    // Longer lines are not addresses anyone typed: they are skipped.
    static constexpr int MaxAddressBytes = 8 * 1024;

private:
    QString programFolder_;
};

}  // namespace tessaly
