#include "open_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#include "qt_paths.h"

namespace tessaly {

namespace {

bool OpenableScheme(const QString& scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("file") || scheme == QLatin1String("tessaly");
}

// What tells two addresses apart when they are merged.
QString SameAddressKey(const QString& address) {
    QString key = address.trimmed().toLower();
    if (key.startsWith(QLatin1String("http://"))) {
        key.remove(0, 7);
    }
    if (key.endsWith(QLatin1Char('/'))) {
        key.chop(1);
    }
    return key;
}

// The address past its scheme and a leading www.: where a typed host begins.
QStringView HostPart(const QString& address) {
    QStringView rest(address);
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        rest = rest.mid(scheme + 3);
    }
    if (rest.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) {
        rest = rest.mid(4);
    }
    return rest;
}

}  // namespace

QList<AddressCandidate> MergeAddresses(const QStringList& typed,
                                       const QList<AddressCandidate>& favourites,
                                       const QList<AddressCandidate>& history) {
    QList<AddressCandidate> merged;
    QSet<QString> seen;
    const auto add = [&](const AddressCandidate& candidate) {
        if (!candidate.address.trimmed().isEmpty() &&
            !seen.contains(SameAddressKey(candidate.address))) {
            seen.insert(SameAddressKey(candidate.address));
            merged << candidate;
        }
    };
    for (const QString& address : typed) {
        add({address, QString(), AddressCandidate::Source::Typed});
    }
    for (const AddressCandidate& candidate : favourites) {
        add(candidate);
    }
    for (const AddressCandidate& candidate : history) {
        add(candidate);
    }
    return merged;
}

QStringList MatchAddresses(const QString& text, const QList<AddressCandidate>& candidates,
                           int limit) {
    const QString wanted = text.trimmed();
    QStringList beginning;
    QStringList elsewhere;
    if (wanted.isEmpty()) {
        return beginning;
    }
    for (const AddressCandidate& candidate : candidates) {
        if (beginning.size() >= limit) {
            break;
        }
        if (HostPart(candidate.address).startsWith(wanted, Qt::CaseInsensitive) ||
            candidate.address.startsWith(wanted, Qt::CaseInsensitive)) {
            beginning << candidate.address;
        } else if (elsewhere.size() < limit &&
                   (candidate.address.contains(wanted, Qt::CaseInsensitive) ||
                    candidate.title.contains(wanted, Qt::CaseInsensitive))) {
            elsewhere << candidate.address;
        }
    }
    return (beginning + elsewhere).mid(0, limit);
}

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
