#include "java_descriptor.h"

#include <QLocale>
#include <QStringList>

#include "start_page_scheme.h"

#include <QString>

namespace tessaly {

JavaDescriptor ParseJavaDescriptor(const QByteArray& text, const QUrl& descriptorUrl) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    }
    QString jarAddress;
    QString jarSize;
    bool haveAddress = false;
    bool haveSize = false;
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            continue;
        }
        const QByteArray key = line.left(colon).trimmed();
        const QString value = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        // The first occurrence counts, as with the devices that read these.
        if (key == "MIDlet-Jar-URL" && !haveAddress) {
            jarAddress = value;
            haveAddress = true;
        } else if (key == "MIDlet-Jar-Size" && !haveSize) {
            jarSize = value;
            haveSize = true;
        }
    }

    JavaDescriptor descriptor;
    descriptor.jarAddress = jarAddress;
    if (!jarAddress.isEmpty()) {
        const QUrl url = descriptorUrl.resolved(QUrl(jarAddress, QUrl::TolerantMode));
        const QString scheme = url.scheme().toLower();
        // Web addresses, or the built-in sample site when the descriptor came from it.
        const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
        const bool builtIn =
            scheme == QLatin1String(StartPageScheme) && descriptorUrl.scheme().toLower() == scheme;
        if (url.isValid() && !url.host().isEmpty() && (web || builtIn)) {
            descriptor.jarUrl = url;
        }
    }
    bool ok = false;
    const qint64 size = jarSize.toLongLong(&ok);
    if (ok && size >= 0 && !jarSize.startsWith(u'+')) {
        descriptor.jarSize = size;
    }
    return descriptor;
}

QString GameDetailsText(const wap::JadDetails& details) {
    QStringList lines;
    const auto add = [&lines](const char* label, const std::string& value) {
        if (!value.empty()) {
            lines.append(QString::fromUtf8(label) + QString::fromStdString(value));
        }
    };
    add("游戏：", details.name);
    add("厂商：", details.vendor);
    add("版本：", details.version);
    if (details.jarSize) {
        lines.append(QStringLiteral("大小：") +
                     QLocale(QLocale::English).toString(static_cast<qint64>(*details.jarSize)) +
                     QStringLiteral(" 字节"));
    }
    add("说明：", details.description);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace tessaly
