// Scripts made ready for pages: compiled or verified whatever the way they
// came, and the units a page carries gathered within their bounds.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <map>

#include "script_units.h"
#include "wmlscript.h"

using tessaly::wap::FetchedScript;
using tessaly::wap::GatherScriptUnits;
using tessaly::wap::PrepareScriptUnit;
using tessaly::wap::UnitsMember;

namespace {

std::string Compiled(const char* source) {
    return tessaly::wap::wmlscript::Compile(source).unit;
}

TEST(PrepareScriptUnit, CompilesOrVerifiesAndSaysWhyNot) {
    const std::string unit = Compiled("extern function f() { return 1; }");
    const std::string gbk = QByteArray(QStringEncoder("GB18030").encode(QStringLiteral(
                                           "extern function f() { return \"你好\"; }")))
                                .toStdString();
    const struct {
        const char* name;
        std::string body;
        const char* type;
        bool ok;
        const char* message;  // a part of it, when not ok
    } cases[] = {
        {"source", "extern function f() {}", "text/vnd.wap.wmlscript", true, ""},
        {"type in other case, with parameters", "extern function f() {}",
         "Text/VND.WAP.WMLScript ; charset=utf-8", true, ""},
        {"source in its charset", gbk, "text/vnd.wap.wmlscript; charset=gbk", true, ""},
        {"compile error", "extern function f() {\n  return 1 +;\n}", "text/vnd.wap.wmlscript",
         false, "第 2 行"},
        {"a site's unit", unit, "application/vnd.wap.wmlscriptc", true, ""},
        {"a damaged unit", unit.substr(0, unit.size() - 1), "application/vnd.wap.wmlscriptc", false,
         "字节码"},
        {"not a script", "<html/>", "text/html", false, "不是 WMLScript"},
        {"too large", std::string(tessaly::wap::MaxScriptBytes + 1, ' '), "text/vnd.wap.wmlscript",
         false, "太大"},
    };
    for (const auto& c : cases) {
        const auto prepared = PrepareScriptUnit(c.body, c.type);
        EXPECT_EQ(prepared.ok, c.ok) << c.name << ": " << prepared.message;
        if (c.ok) {
            EXPECT_TRUE(tessaly::wap::wmlscript::Verify(prepared.unit).ok) << c.name;
        } else {
            EXPECT_NE(prepared.message.find(c.message), std::string::npos)
                << c.name << ": " << prepared.message;
        }
    }
    // The source read in its own charset: the string is the same text in the unit.
    const auto fromGbk = PrepareScriptUnit(gbk, "text/vnd.wap.wmlscript; charset=gbk");
    EXPECT_NE(fromGbk.unit.find("你好"), std::string::npos);
}

// Units named by `use url` are gathered too, each once, at most
// MaxScriptUnits in all; one that cannot be had is carried with the reason.
TEST(GatherScriptUnits, FollowsUseUrlOnceEachWithinTheBound) {
    std::map<std::string, std::string> site = {
        {"http://w.example/a.wmls",
         "use url B \"b.wmls\"; use url C \"sub/c.wmls\";"
         " extern function f() { return B#g() + C#h(); }"},
        {"http://w.example/b.wmls", "use url A \"a.wmls\"; extern function g() { return A#f(); }"},
        {"http://w.example/sub/c.wmls",
         "use url Gone \"../gone.wmls\"; extern function h() { return Gone#x(); }"},
    };
    std::vector<std::string> asked;
    const auto fetch = [&](const std::string& address) -> std::optional<FetchedScript> {
        asked.push_back(address);
        const auto found = site.find(address);
        if (found == site.end()) {
            return std::nullopt;
        }
        return FetchedScript{found->second, "text/vnd.wap.wmlscript"};
    };
    const auto units = GatherScriptUnits({"http://w.example/a.wmls"}, fetch);
    EXPECT_EQ(asked, (std::vector<std::string>{"http://w.example/a.wmls", "http://w.example/b.wmls",
                                               "http://w.example/sub/c.wmls",
                                               "http://w.example/gone.wmls"}));
    ASSERT_EQ(units.size(), 4u);
    EXPECT_TRUE(units[0].second.ok && units[1].second.ok && units[2].second.ok);
    EXPECT_FALSE(units[3].second.ok);

    const std::string member = UnitsMember(units);
    EXPECT_EQ(member.rfind("\"units\":{\"http://w.example/a.wmls\":\"A", 0), 0u) << member;
    EXPECT_NE(member.find("\"http://w.example/gone.wmls\":\"!"), std::string::npos) << member;

    // A chain without end stops at the bound.
    int made = 0;
    const auto endless = [&](const std::string&) -> std::optional<FetchedScript> {
        const std::string next = "n" + std::to_string(++made) + ".wmls";
        return FetchedScript{"use url N \"" + next + "\"; extern function f() { N#f(); }",
                             "text/vnd.wap.wmlscript"};
    };
    EXPECT_EQ(GatherScriptUnits({"http://w.example/n0.wmls"}, endless).size(),
              std::size_t(tessaly::wap::MaxScriptUnits));
}

}  // namespace
