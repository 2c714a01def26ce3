#include "script_units.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <algorithm>

#include "deck_charset.h"
#include "deck_reader.h"
#include "json_text.h"
#include "wmlscript.h"

namespace tessaly::wap {

namespace {

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

// The charset parameter of a Content-Type, or empty.
std::string ContentTypeCharset(std::string_view contentType) {
    const std::string lowered = Lowered(contentType);
    const std::size_t at = lowered.find("charset=");
    if (at == std::string::npos) {
        return {};
    }
    std::string charset = lowered.substr(at + 8);
    charset = charset.substr(0, charset.find(';'));
    std::erase_if(charset, [](char c) { return c == '"' || c == ' ' || c == '\t'; });
    return charset;
}

ScriptUnit Failed(std::string message) {
    return ScriptUnit{false, {}, std::move(message)};
}

}  // namespace

ScriptUnit PrepareScriptUnit(std::string_view body, std::string_view contentType,
                             std::string_view userCharset) {
    if (body.size() > MaxScriptBytes) {
        return Failed("脚本太大（超过 256 KB），不予运行。");
    }
    const std::string type = Lowered(contentType);
    const std::string media = type.substr(0, type.find(';'));
    const auto trimmed = [](std::string text) {
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
            text.pop_back();
        }
        return text;
    };
    if (trimmed(media) == WmlScriptUnitType) {
        const auto verified = wmlscript::Verify(body);
        if (!verified.ok) {
            return Failed("脚本的字节码有误，不予运行：" + verified.message);
        }
        return ScriptUnit{true, std::string(body), {}};
    }
    if (trimmed(media) != WmlScriptSourceType) {
        return Failed("这不是 WMLScript 脚本（" + trimmed(media) + "）。");
    }
    const QByteArray bytes(body.data(), static_cast<qsizetype>(body.size()));
    const std::string charset = ContentTypeCharset(contentType);
    const std::string source = DecodeDeck(bytes, charset, userCharset).text.toStdString();
    const auto compiled = wmlscript::Compile(source);
    if (!compiled.ok) {
        return Failed("脚本有错误（第 " + std::to_string(compiled.line) + " 行第 " +
                      std::to_string(compiled.column) + " 列）：" + compiled.message);
    }
    // What the compiler writes is checked like any site's bytecode.
    const auto verified = wmlscript::Verify(compiled.unit);
    if (!verified.ok) {
        return Failed("脚本无法编译：" + verified.message);
    }
    return ScriptUnit{true, compiled.unit, {}};
}

bool AsksForScriptUnit(std::string_view accept) {
    return Lowered(accept).find(WmlScriptUnitType) != std::string::npos;
}

std::vector<std::pair<std::string, ScriptUnit>> GatherScriptUnits(
    const std::vector<std::string>& addresses, const ScriptFetcher& fetch) {
    std::vector<std::pair<std::string, ScriptUnit>> units;
    std::vector<std::string> wanted = addresses;
    for (std::size_t next = 0; next < wanted.size() && units.size() < MaxScriptUnits; ++next) {
        const std::string address = wanted[next];  // a copy: wanted grows below
        const auto fetched = fetch ? fetch(address) : std::nullopt;
        ScriptUnit unit = fetched ? PrepareScriptUnit(fetched->body, fetched->contentType)
                                  : Failed("无法载入脚本 " + address + "。");
        if (unit.ok) {
            const QUrl base(QString::fromStdString(address));
            for (const std::string& other : wmlscript::Summarize(unit.unit).urls) {
                const std::string resolved = base.resolved(QUrl(QString::fromStdString(other)))
                                                 .adjusted(QUrl::RemoveFragment)
                                                 .toString(QUrl::FullyEncoded)
                                                 .toStdString();
                if (std::find(wanted.begin(), wanted.end(), resolved) == wanted.end()) {
                    wanted.push_back(resolved);
                }
            }
        }
        units.emplace_back(address, std::move(unit));
    }
    return units;
}

std::string UnitsMember(const std::vector<std::pair<std::string, ScriptUnit>>& units) {
    QString member = QStringLiteral("\"units\":{");
    bool first = true;
    for (const auto& [address, unit] : units) {
        if (!first) {
            member += QLatin1Char(',');
        }
        first = false;
        AppendJsonString(member, QString::fromStdString(address));
        member += QLatin1Char(':');
        AppendJsonString(
            member, unit.ok ? QString::fromLatin1(QByteArray::fromStdString(unit.unit).toBase64())
                            : QLatin1Char('!') + QString::fromStdString(unit.message));
    }
    member += QLatin1Char('}');
    return member.toStdString();
}

}  // namespace tessaly::wap
