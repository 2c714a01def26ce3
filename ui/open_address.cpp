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

QStringList TypedAddresses::load() const {
    QFile file(ProgramFilePath(programFolder_, "\\Data\\Address.txt"));
    QStringList addresses;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return addresses;
    }
    while (!file.atEnd() && addresses.size() < MaxRemembered) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.isEmpty() && !addresses.contains(line)) {
            addresses << line;
        }
    }
    return addresses;
}

QStringList TypedAddresses::remember(const QString& address) const {
    QStringList addresses = load();
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
