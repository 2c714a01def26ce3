// The deck transcoder on its own, no browser engine: a corpus of small decks
// under decks/, each with a .expect file naming what the page's visible text
// must and must not hold, plus checks of the page's safety and data.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <algorithm>

#include "deck_access.h"
#include "deck_charset.h"
#include "page_vocabulary.h"
#include "wml_conversion.h"

using tessaly::wap::AccessAllows;
using tessaly::wap::ConvertedPage;
using tessaly::wap::ConvertWmlDeck;

namespace {

const QString DeckFolder = QStringLiteral(TESSALY_WML_DECKS);
constexpr char DeckUrl[] = "http://127.0.0.1/decks/deck.wml";

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ConvertedPage Convert(const QByteArray& deck, const char* charset = "") {
    return ConvertWmlDeck(std::string_view(deck.constData(), deck.size()), DeckUrl, charset);
}

QString Html(const ConvertedPage& page) {
    return QString::fromStdString(page.body);
}

// What a reader sees: the page without scripts, styles and tags, with
// character references resolved.
QString VisibleText(QString html) {
    static const QRegularExpression Hidden(QStringLiteral("<(script|style|title)[^>]*>.*?</\\1>"),
                                           QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression Tag(QStringLiteral("<[^>]*>"));
    html.remove(Hidden);
    html.remove(Tag);
    html.replace(QLatin1String("&#160;"), QStringLiteral("\u00A0"));
    html.replace(QLatin1String("&#173;"), QStringLiteral("\u00AD"));
    html.replace(QLatin1String("&lt;"), QLatin1String("<"));
    html.replace(QLatin1String("&gt;"), QLatin1String(">"));
    html.replace(QLatin1String("&quot;"), QLatin1String("\""));
    html.replace(QLatin1String("&#39;"), QLatin1String("'"));
    html.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return html;
}

QString Title(const QString& html) {
    static const QRegularExpression Title(QStringLiteral("<title>(.*?)</title>"));
    return VisibleText(Title.match(html).captured(1));
}

// The data handed to the runtime.
QJsonObject DeckData(const QString& html) {
    static const QRegularExpression Data(
        QStringLiteral("<script type=\"application/json\" id=\"wml-deck-data\">(.*?)</script>"));
    return QJsonDocument::fromJson(Data.match(html).captured(1).toUtf8()).object();
}

std::vector<std::string> DeckNames() {
    std::vector<std::string> names;
    for (const QString& file : QDir(DeckFolder).entryList({QStringLiteral("*.wml")}, QDir::Files)) {
        names.push_back(file.chopped(4).toStdString());
    }
    return names;
}

class DeckCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(DeckCorpus, ShowsWhatItsExpectationsSay) {
    const QString name = QString::fromStdString(GetParam());
    const QByteArray deck = ReadFile(DeckFolder + QLatin1Char('/') + name + ".wml");
    const QString expect = QString::fromUtf8(ReadFile(DeckFolder + '/' + name + ".expect"));
    ASSERT_FALSE(deck.isEmpty());
    ASSERT_FALSE(expect.isEmpty()) << "no expectations for " << name.toStdString();

    QByteArray charset;
    for (const QString& line : expect.split('\n')) {
        if (line.startsWith(QLatin1String("charset: "))) {
            charset = line.mid(9).trimmed().toLatin1();
        }
    }
    const QString html = Html(Convert(deck, charset.constData()));
    const QString text = VisibleText(html);
    int checks = 0;
    for (const QString& line : expect.split('\n')) {
        const QString what = line.section(' ', 1);
        if (line.startsWith(QLatin1String("+ "))) {
            EXPECT_TRUE(text.contains(what))
                << name.toStdString() << ": no \"" << what.toStdString() << "\" in\n"
                << text.toStdString();
        } else if (line.startsWith(QLatin1String("- "))) {
            EXPECT_FALSE(text.contains(what))
                << name.toStdString() << ": \"" << what.toStdString() << "\" is shown";
        } else if (line.startsWith(QLatin1String("html+ "))) {
            EXPECT_TRUE(html.contains(what))
                << name.toStdString() << ": no " << what.toStdString() << " in\n"
                << html.left(4000).toStdString();
        } else if (line.startsWith(QLatin1String("html- "))) {
            EXPECT_FALSE(html.contains(what))
                << name.toStdString() << ": " << what.toStdString() << " in the page";
        } else if (line.startsWith(QLatin1String("title: "))) {
            EXPECT_EQ(Title(html), what);
        } else {
            continue;
        }
        ++checks;
    }
    EXPECT_GT(checks, 0);
}

INSTANTIATE_TEST_SUITE_P(Decks, DeckCorpus, ::testing::ValuesIn(DeckNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

TEST(DeckPage, AllowsOnlyItsOwnScriptByAFreshNonce) {
    const QByteArray deck = ReadFile(DeckFolder + "/hostile.wml");
    const ConvertedPage first = Convert(deck);
    const ConvertedPage second = Convert(deck);
    EXPECT_EQ(first.contentType, "text/html; charset=utf-8");

    auto policyOf = [](const ConvertedPage& page) {
        for (const auto& [name, value] : page.headers) {
            if (name == "Content-Security-Policy") {
                return QString::fromStdString(value);
            }
        }
        return QString();
    };
    const QString policy = policyOf(first);
    static const QRegularExpression NonceIn(QStringLiteral("script-src 'nonce-([A-Za-z0-9+/=]+)'"));
    const QString nonce = NonceIn.match(policy).captured(1);
    ASSERT_GE(nonce.size(), 16) << policy.toStdString();
    EXPECT_NE(NonceIn.match(policyOf(second)).captured(1), nonce);
    EXPECT_TRUE(policy.contains(QLatin1String("default-src 'none'")));

    const QString html = Html(first);
    EXPECT_TRUE(html.contains(QStringLiteral("<meta http-equiv=\"Content-Security-Policy\" "
                                             "content=\"%1\">")
                                  .arg(policy.toHtmlEscaped())));
    // Exactly two scripts: the data (never run) and the runtime with the nonce.
    EXPECT_EQ(html.count(QLatin1String("<script")), 2);
    EXPECT_TRUE(html.contains(QStringLiteral("<script nonce=\"%1\">").arg(nonce)));
    // The data has no markup characters a parser could act on.
    static const QRegularExpression Data(QStringLiteral("id=\"wml-deck-data\">(.*?)</script>"));
    const QString json = Data.match(html).captured(1);
    EXPECT_FALSE(json.contains('<') || json.contains('>') || json.contains('&'));

    // Served by the gateway, the page loads the runtime by its address, still
    // by the nonce.
    const ConvertedPage served =
        ConvertWmlDeck(std::string_view(deck.constData(), deck.size()), DeckUrl, "",
                       tessaly::wap::RuntimeDelivery::ByAddress);
    const QString servedHtml = Html(served);
    const QString servedNonce = NonceIn.match(policyOf(served)).captured(1);
    EXPECT_EQ(servedHtml.count(QLatin1String("<script")), 2);
    EXPECT_TRUE(servedHtml.contains(
        QStringLiteral("<script nonce=\"%1\" src=\"%2\" defer></script>")
            .arg(servedNonce,
                 QString::fromStdString(std::string(tessaly::wap::WmlRuntimeAddress())))));
    EXPECT_TRUE(servedHtml.contains(QLatin1String("http-equiv=\"Content-Security-Policy\"")));
    EXPECT_FALSE(servedHtml.contains(QLatin1String("'use strict'")));
}

TEST(DeckPage, HandsCardsTasksAndFormsToTheRuntime) {
    const QJsonObject data = DeckData(Html(Convert(ReadFile(DeckFolder + "/forms.wml"))));
    const QJsonArray tasks = data.value("tasks").toArray();
    const auto post = std::find_if(tasks.begin(), tasks.end(), [](const QJsonValue& task) {
        return task.toObject().value("accept").toString() == "gb2312";
    });
    ASSERT_NE(post, tasks.end());
    const QJsonObject go = post->toObject();
    EXPECT_EQ(go.value("t").toString(), "go");
    EXPECT_EQ(go.value("method").toString(), "post");
    EXPECT_EQ(go.value("post").toArray().at(0).toArray(), (QJsonArray{"name", "$(name)"}));
    EXPECT_EQ(data.value("cards").toArray().at(0).toObject().value("id").toString(), "f");

    const QJsonObject timer = DeckData(Html(Convert(ReadFile(DeckFolder + "/timer.wml"))));
    const QJsonObject splash = timer.value("cards").toArray().at(0).toObject();
    EXPECT_EQ(splash.value("timer").toObject().value("value").toString(), "30");
    const int onTimer = splash.value("events").toObject().value("ontimer").toInt(-1);
    const QJsonObject timerTask = timer.value("tasks").toArray().at(onTimer).toObject();
    EXPECT_EQ(timerTask.value("t").toString(), "go");
    EXPECT_EQ(timerTask.value("href").toString(), "#main");
    EXPECT_EQ(splash.value("newcontext"), QJsonValue(false));

    // The template's ontimer reaches every card; its help key is removed in
    // the first card by a noop.
    const QJsonObject templated = DeckData(Html(Convert(ReadFile(DeckFolder + "/template.wml"))));
    for (const QJsonValue& card : templated.value("cards").toArray()) {
        EXPECT_TRUE(card.toObject().value("events").toObject().contains("ontimer"));
    }
}

TEST(DeckPage, SurvivesDeepNestingAndEntityExpansion) {
    QByteArray deep = "<wml><card><p>";
    for (int i = 0; i < 50000; ++i) {
        deep += "<b>";
    }
    deep += "深处";
    for (int i = 0; i < 50000; ++i) {
        deep += "</b>";
    }
    deep += "</p></card></wml>";
    const QString deepText = VisibleText(Html(Convert(deep)));
    EXPECT_TRUE(deepText.contains(QStringLiteral("深处")));
    EXPECT_FALSE(deepText.contains(QStringLiteral("此 WML 页面有错误")));

    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE wml [<!ENTITY a \"哈哈哈哈哈哈哈哈\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        laughs += QByteArray("<!ENTITY ") + c + " \"" +
                  QByteArray(10, '&').replace("&", QByteArray("&") + char(c - 1) + ";") + "\">";
    }
    laughs += "]><wml><card><p>&k;</p></card></wml>";
    const ConvertedPage page = Convert(laughs);
    EXPECT_LT(page.body.size(), 1024u * 1024);
    EXPECT_TRUE(Html(page).contains(QStringLiteral("此 WML 页面有错误")));
}

TEST(DeckPage, MendsARawAmpersandInAnAddress) {
    const QJsonObject data = DeckData(Html(Convert(ReadFile(DeckFolder + "/rawamp.wml"))));
    const QJsonArray tasks = data.value("tasks").toArray();
    ASSERT_FALSE(tasks.isEmpty());
    EXPECT_EQ(tasks.at(0).toObject().value("href").toString(), "/list?a=1&b=2");

    // References beside the raw '&' stay references, the longest included.
    const QString mended =
        Html(Convert("<wml><card><p>A & B &quot;C&quot; &#x4e2d; &#20013;</p></card></wml>"));
    EXPECT_TRUE(mended.contains("A &amp; B")) << mended.toStdString();
    EXPECT_FALSE(mended.contains("&amp;quot;")) << mended.toStdString();
    EXPECT_FALSE(mended.contains("&amp;#")) << mended.toStdString();
}

// The lenient pass looks only a few characters past each '&': a deck full
// of them (and no ';') is read in linear time, not minutes.
TEST(DeckPage, ReadsAMalformedDeckFullOfAmpersandsWhole) {
    std::string deck = "<wml><card><p>";
    deck += std::string(400'000, '&');
    const auto page = ConvertWmlDeck(deck, "http://wap.example/a.wml", "utf-8");
    EXPECT_EQ(page.contentType.rfind("text/html", 0), 0u);
    EXPECT_NE(page.body.find("<!DOCTYPE html>"), std::string::npos);
}

// Who may enter a deck that has <access>, by the page that led to it.
TEST(DeckAccess, AdmitsTheNamedDomainAndPathOnly) {
    const std::string deck = "http://wap.example.com/games/deck.wml";
    const struct {
        const char* domain;
        const char* path;
        const char* referrer;
        bool allowed;
    } cases[] = {
        {"", "", "http://wap.example.com/other.wml", true},  // defaults: own host, "/"
        {"", "", "http://evil.example/", false},
        {"", "", "", false},  // no telling: no
        {"", "", "not an address", false},
        {"example.com", "", "http://news.example.com/x", true},  // whole labels
        {"example.com", "", "http://badexample.com/x", false},
        {".example.com", "", "http://example.com/x", true},
        {"example.com", "/menu", "http://example.com/menu", true},  // whole segments
        {"example.com", "/menu", "http://example.com/menu/a.wml", true},
        {"example.com", "/menu", "http://example.com/menus/a.wml", false},
        {"example.com", "/menu/", "http://example.com/menu/a.wml", true},
        {"", "lists", "http://wap.example.com/games/lists/a.wml", true},  // relative path
        {"", "lists", "http://wap.example.com/lists/a.wml", false},
        {"other.example", "/x", "http://wap.example.com/games/deck.wml#card2", true},  // itself
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AccessAllows(deck, c.domain, c.path, c.referrer), c.allowed)
            << c.domain << " " << c.path << " from " << c.referrer;
    }
}

TEST(DeckCharset, NamesAsSitesWroteThem) {
    using tessaly::wap::CanonicalCharset;
    using tessaly::wap::DecodeDeck;
    EXPECT_EQ(CanonicalCharset("GB2312"), "GB18030");
    EXPECT_EQ(CanonicalCharset(" gbk "), "GB18030");
    EXPECT_EQ(CanonicalCharset("BIG5"), "Big5");
    EXPECT_EQ(CanonicalCharset("iso-8859-1"), "windows-1252");
    EXPECT_EQ(CanonicalCharset("no-such-charset"), "");

    // The header wins over the declaration; an unknown header label does not.
    const QByteArray gbk = QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?><wml/>") +
                           QByteArray("\xD6\xD0\xCE\xC4");
    EXPECT_TRUE(DecodeDeck(gbk, "gb2312").text.endsWith(QStringLiteral("中文")));
    EXPECT_EQ(DecodeDeck(gbk, "x-unknown").charset, "UTF-8");
    EXPECT_EQ(DecodeDeck(QByteArray("\xEF\xBB\xBF<wml/>"), "gbk").charset, "UTF-8");
}

}  // namespace

// The transcoder and the runtime speak only the words of page_vocabulary.h:
// every data-* attribute, id and data key the corpus's pages carry is listed
// there, and so is every attribute and id the runtime looks for; every word
// the runtime is said to read, it does read.
TEST(PageVocabulary, BothSidesUseOnlyTheListedWords) {
    using tessaly::wap::PageVocabulary;
    using tessaly::wap::PageWordKind;
    const auto listed = [](PageWordKind kind, const QString& name) {
        return std::any_of(
            std::begin(PageVocabulary), std::end(PageVocabulary), [&](const auto& word) {
                return word.kind == kind &&
                       name == QLatin1String(word.name.data(), qsizetype(word.name.size()));
            });
    };
    const auto keysOf = [&](const QJsonObject& object, PageWordKind kind, const QString& where) {
        for (const QString& key : object.keys()) {
            EXPECT_TRUE(listed(kind, key)) << qPrintable(where + ": " + key);
        }
    };
    static const QRegularExpression Attribute(QStringLiteral("\\b(data-[a-z-]+)="));
    static const QRegularExpression Id(QStringLiteral("\\bid=\"(wml-[a-z-]+)\""));
    const QStringList decks = QDir(DeckFolder).entryList({QStringLiteral("*.wml")});
    ASSERT_GE(decks.size(), 10);
    for (const QString& name : decks) {
        const QString html = Html(Convert(ReadFile(DeckFolder + u'/' + name)));
        for (const auto& match : Attribute.globalMatch(html)) {
            EXPECT_TRUE(listed(PageWordKind::Attribute, match.captured(1)))
                << qPrintable(name + ": " + match.captured(1));
        }
        for (const auto& match : Id.globalMatch(html)) {
            EXPECT_TRUE(listed(PageWordKind::Id, match.captured(1)))
                << qPrintable(name + ": " + match.captured(1));
        }
        const QJsonObject data = DeckData(html);
        keysOf(data, PageWordKind::Deck, name);
        keysOf(data.value(u"access").toObject(), PageWordKind::Access, name);
        for (const auto& card : data.value(u"cards").toArray()) {
            keysOf(card.toObject(), PageWordKind::Card, name);
            keysOf(card.toObject().value(u"timer").toObject(), PageWordKind::Timer, name);
        }
        for (const auto& task : data.value(u"tasks").toArray()) {
            keysOf(task.toObject(), PageWordKind::Task, name);
        }
    }

    const QString runtime = QString::fromUtf8(tessaly::wap::WmlRuntime().data(),
                                              qsizetype(tessaly::wap::WmlRuntime().size()));
    static const QRegularExpression RuntimeAttribute(QStringLiteral("['\"\\[](data-[a-z-]+)"));
    for (const auto& match : RuntimeAttribute.globalMatch(runtime)) {
        EXPECT_TRUE(listed(PageWordKind::Attribute, match.captured(1)))
            << qPrintable(match.captured(1));
    }
    static const QRegularExpression RuntimeId(QStringLiteral("getElementById\\('([^']+)'\\)"));
    for (const auto& match : RuntimeId.globalMatch(runtime)) {
        EXPECT_TRUE(listed(PageWordKind::Id, match.captured(1))) << qPrintable(match.captured(1));
    }
    for (const auto& word : PageVocabulary) {
        if (!word.readByRuntime) {
            continue;
        }
        const QString name = QString::fromLatin1(word.name.data(), qsizetype(word.name.size()));
        const bool read =
            word.kind == PageWordKind::Id || word.kind == PageWordKind::Attribute
                ? runtime.contains(u'\'' + name + u'\'')
                : runtime.contains(u'.' + name) || runtime.contains(u'\'' + name + u'\'');
        EXPECT_TRUE(read) << qPrintable(name);
    }
}

// A page that carries its runtime carries the WMLScript machine only when
// the deck calls a script, by a known address or one made of variables.
TEST(DeckPage, CarriesTheScriptMachineOnlyWhenItCallsAScript) {
    const struct {
        const char* deck;
        bool machine;
    } cases[] = {
        {"<wml><card><p><a href=\"#two\">a card</a> <a href=\"b.wml#x\">a deck</a></p></card>"
         "<card id=\"two\"/></wml>",
         false},
        {"<wml><card><p><a href=\"s.wmls#f(1)\">a script</a></p></card></wml>", true},
        {"<wml><card onenterforward=\"$(unit)#f()\"><p>x</p></card></wml>", true},
    };
    for (const auto& c : cases) {
        const QString html = Html(Convert(c.deck));
        EXPECT_EQ(html.contains(QStringLiteral("var WmlScript = (function")), c.machine) << c.deck;
        EXPECT_EQ(html.contains(QStringLiteral("var WmlScript = null")), !c.machine) << c.deck;
    }
}
