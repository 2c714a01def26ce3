#include "jad_details.h"

#include <QString>
#include <QUrl>
#include <algorithm>

#include "rendered_decks.h"

namespace tessaly::wap {

namespace {

std::string_view TrimmedBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The value as UTF-8 text, mended, without control characters, at most
// MaxJadValueChars characters.
std::string CleanValue(std::string_view raw) {
    QString text = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    qsizetype kept = 0;
    qsizetype chars = 0;
    while (kept < text.size() && chars < static_cast<qsizetype>(MaxJadValueChars)) {
        kept += text.at(kept).isHighSurrogate() && kept + 1 < text.size() ? 2 : 1;
        ++chars;
    }
    text.truncate(kept);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char(' ');
        }
    }
    return text.toStdString();
}

std::optional<std::int64_t> PlainNumber(std::string_view text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string ResolvedWebAddress(std::string_view jadUrl, const std::string& jarUrl) {
    if (jarUrl.empty()) {
        return {};
    }
    const QUrl base(QString::fromUtf8(jadUrl.data(), static_cast<qsizetype>(jadUrl.size())));
    const QUrl url = base.resolved(QUrl(QString::fromStdString(jarUrl), QUrl::TolerantMode));
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return {};
    }
    return url.toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace

JadDetails ParseJadDetails(std::string_view text, std::string_view jadUrl) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    JadDetails details;
    std::string_view sizeText;
    // The first occurrence of a name counts, as with the phones that read
    // these; later ones are ignored.
    struct Field {
        std::string_view key;
        std::string* text;
        bool seen = false;
    };
    Field fields[] = {
        {"MIDlet-Name", &details.name},       {"MIDlet-Vendor", &details.vendor},
        {"MIDlet-Version", &details.version}, {"MIDlet-Description", &details.description},
        {"MIDlet-Jar-URL", &details.jarUrl},  {"MIDlet-Jar-Size", nullptr}};
    std::size_t lines = 0;
    while (!text.empty() && lines++ < MaxJadLines) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = TrimmedBlanks(line.substr(colon + 1));
        for (Field& field : fields) {
            if (field.key != key || field.seen) {
                continue;
            }
            field.seen = true;
            if (field.text) {
                *field.text = CleanValue(value);
            } else {
                sizeText = value;
            }
        }
    }
    details.jarSize = PlainNumber(sizeText);
    details.resolvedJarUrl = ResolvedWebAddress(jadUrl, details.jarUrl);
    return details;
}

void JadRegistry::Put(std::string key, const JadDetails& details) {
    if (key.empty()) {
        return;
    }
    const auto found = byUrl_.find(key);
    if (found != byUrl_.end()) {
        found->second = details;
        order_.erase(std::find(order_.begin(), order_.end(), key));
    } else {
        byUrl_.emplace(key, details);
    }
    order_.push_back(std::move(key));
    while (order_.size() > MaxRemembered) {
        byUrl_.erase(order_.front());
        order_.pop_front();
    }
}

void JadRegistry::Record(std::string_view jadUrl, const JadDetails& details) {
    std::string jad = DocumentAddress(jadUrl);
    std::string jar =
        details.resolvedJarUrl.empty() ? std::string() : DocumentAddress(details.resolvedJarUrl);
    std::lock_guard lock(mutex_);
    Put(std::move(jad), details);
    Put(std::move(jar), details);
}

std::optional<JadDetails> JadRegistry::Find(std::string_view url) const {
    const std::string key = DocumentAddress(url);
    std::lock_guard lock(mutex_);
    const auto found = byUrl_.find(key);
    if (found == byUrl_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace tessaly::wap
