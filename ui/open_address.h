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
