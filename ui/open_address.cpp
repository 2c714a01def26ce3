#include "open_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include "qt_paths.h"

namespace tessaly {

namespace {

bool OpenableScheme(const QString& scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("file") || scheme == QLatin1String("tessaly");
}

}  // namespace

QString AddressToOpen(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) {
        return {};
    }
    if (QDir::isAbsolutePath(text) && QFileInfo::exists(text)) {
        return QUrl::fromLocalFile(text).toString(QUrl::FullyEncoded);
    }
    QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || !OpenableScheme(url.scheme().toLower())) {
        return {};
    }
    if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
        url.path().isEmpty()) {
        url.setPath(QStringLiteral("/"));
    }
    return url.toString(QUrl::FullyEncoded);
}

TypedAddresses::TypedAddresses(QString programFolder) : programFolder_(std::move(programFolder)) {}

QStringList TypedAddresses::Load() const {
    const QString path = ProgramFilePath(programFolder_, "\\Data\\Address.txt");
    QStringList addresses;
    // Only a plain file is read: anything else (a pipe) could hold the
    // window forever. A damaged list costs neither memory nor time: only its
    // start is read, and a line too long for an address is skipped.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return addresses;
    }
    constexpr qint64 MaxListBytes = 256 * 1024;
    for (const QByteArray& raw : file.read(MaxListBytes).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (addresses.size() == MaxRemembered) {
            break;
        }
        if (!line.isEmpty() && raw.size() <= MaxAddressBytes && !addresses.contains(line)) {
            addresses << line;
        }
    }
    return addresses;
}

QStringList TypedAddresses::Remember(const QString& address) const {
    QStringList addresses = Load();
    addresses.removeAll(address);
    addresses.prepend(address);
    while (addresses.size() > MaxRemembered) {
        addresses.removeLast();
    }
    if (!QDir(ProgramFilePath(programFolder_, "\\Data")).exists()) {
        return addresses;
    }
    // Written whole to a temporary file and then swapped in, so a failure
    // part way never leaves half a list.
    QSaveFile file(ProgramFilePath(programFolder_, "\\Data\\Address.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        for (const QString& line : addresses) {
            file.write(line.toUtf8() + '\n');
        }
        file.commit();
    }
    return addresses;
}

}  // namespace tessaly
