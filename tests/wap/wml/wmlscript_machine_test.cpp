// The WMLScript machine in the real browser engine: sources compiled by the
// program's compiler, run by the page's machine through a host that records
// what the script asked of the browser. Each case gets a fresh page, so the
// machine's per-page unit cache and limits start anew.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "page_input.h"
#include "unit_format.h"
#include "web_test_main.h"
#include "wmlscript.h"
#include "wmlscript_machine_script.h"

namespace {

using tessaly::testing::RunScript;

constexpr auto UnitUrl = "http://a.example/s/main.wmls";

// Answers the engine's dialogs as a user would, and keeps what they said.
class DialogPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    QStringList shown;

protected:
    void javaScriptAlert(const QUrl&, const QString& text) override { shown << "alert:" + text; }
    bool javaScriptConfirm(const QUrl&, const QString& text) override {
        shown << "confirm:" + text;
        return true;
    }
    bool javaScriptPrompt(const QUrl&, const QString& text, const QString& defaultText,
                          QString* answer) override {
        shown << "prompt:" + text + "/" + defaultText;
        *answer = QStringLiteral("北京");
        return true;
    }
};

// A test host for the machine: units by address (base64), text resources for
// URL.loadString, variables and a log of what the script asked.
constexpr auto HostScript =
    "window.makeHost = function (units, texts) {\n"
    "  var vars = {}, log = [];\n"
    "  return {\n"
    "    log: log,\n"
    "    loadUnit: function (url) {\n"
    "      log.push('load ' + url);\n"
    "      if (!(url in units)) return Promise.reject(new Error('无法载入脚本单元。'));\n"
    "      var s = atob(units[url]), bytes = new Uint8Array(s.length);\n"
    "      for (var i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);\n"
    "      return Promise.resolve(bytes.buffer);\n"
    "    },\n"
    "    getVar: function (name) { return vars[name] || ''; },\n"
    "    setVar: function (name, value) { log.push('set ' + name + '=' + value); vars[name] = "
    "value; return true; },\n"
    "    newContext: function () { vars = {}; log.push('newContext'); },\n"
    "    currentCard: function () { return 'http://a.example/s/deck.wml#c'; },\n"
    "    alert: function (text) { window.alert(text); },\n"
    "    confirm: function (text, ok, cancel) { return window.confirm(text); },\n"
    "    prompt: function (text, defaultText) { return window.prompt(text, defaultText); },\n"
    "    loadString: function (url, type) {\n"
    "      return Promise.resolve(texts[url] || {status: 404, type: 'text/html', text: ''});\n"
    "    }\n"
    "  };\n"
    "};\n";

}  // namespace

class WmlScriptMachineTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWebEngineView> view_;
    DialogPage* page_ = nullptr;

    // A fresh machine (its own unit cache and counts) and test host in the
    // one page the tests share.
    void FreshPage() {
        if (!view_) {
            view_ = std::make_unique<QWebEngineView>();
            page_ = new DialogPage(view_.get());
            view_->setPage(page_);
            view_->show();
            bool loaded = false;
            connect(page_, &QWebEnginePage::loadFinished, this, [&] { loaded = true; });
            page_->setHtml("<!DOCTYPE html><title>t</title>", QUrl("http://a.example/s/deck.wml"));
            QVERIFY(QTest::qWaitFor([&] { return loaded; }, 10000));
        }
        page_->shown.clear();
        RunScript(view_.get(), "window.WmlScript = (function () {\n" +
                                   QString::fromUtf8(tessaly::wap::WmlScriptMachineScript) +
                                   "\nreturn WmlScript; })();" + HostScript);
    }

    static QString Unit(const QString& source) {
        const auto compiled = tessaly::wap::wmlscript::Compile(source.toStdString());
        if (!compiled.ok) {
            qWarning("does not compile (%d:%d %s): %s", compiled.line, compiled.column,
                     compiled.message.c_str(), qPrintable(source));
            return {};
        }
        return QString::fromLatin1(QByteArray::fromStdString(compiled.unit).toBase64());
    }

    // Runs call in the unit at UnitUrl (other units beside it) and returns
    // the outcome with the host's log as "log".
    QJsonObject Run(const QString& source, const QString& call, const QJsonObject& otherUnits = {},
                    const QString& texts = "{}") {
        QJsonObject units = otherUnits;
        units.insert(UnitUrl, Unit(source));
        return RunUnits(units, call, texts);
    }

    // The same with every unit given, as base64.
    QJsonObject RunUnits(const QJsonObject& units, const QString& call,
                         const QString& texts = "{}") {
        FreshPage();
        const QString script =
            QStringLiteral(
                "window.outcome = '';"
                "(function () { var host = makeHost(%1, %2);"
                " WmlScript.run(host, '%3', WmlScript.parseCall(%4)).then(function (o) {"
                "  o.log = host.log; window.outcome = JSON.stringify(o); }); })();")
                .arg(QString::fromUtf8(QJsonDocument(units).toJson(QJsonDocument::Compact)), texts,
                     UnitUrl,
                     QString::fromUtf8(
                         QJsonDocument(QJsonArray{call}).toJson(QJsonDocument::Compact))
                         .mid(1)
                         .chopped(1));
        RunScript(view_.get(), script);
        QString outcome;
        if (!QTest::qWaitFor(
                [&] {
                    outcome = RunScript(view_.get(), "window.outcome").toString();
                    return !outcome.isEmpty();
                },
                10000)) {
            qWarning("the run did not end: %s", qPrintable(call));
        }
        return QJsonDocument::fromJson(outcome.toUtf8()).object();
    }

    // The outcome in one line: the result, or "error:" and the error.
    static QString Summary(const QJsonObject& outcome) {
        const QString error = outcome.value("error").toString();
        return error.isEmpty() ? outcome.value("result").toString() : "error:" + error;
    }

    // A body alone becomes `extern function t() { body }`.
    static QString Source(const QString& text) {
        return text.contains("function") ? text : "extern function t() { " + text + " }";
    }

private slots:
    void cleanupTestCase() { view_.reset(); }

    // Source and call to the result or the error (its start is enough).
    void Runs_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("expected");
        struct Row {
            const char* name;
            const char* source;
            const char* expected;
            const char* call = "t()";
        };
        const Row rows[] = {
            // Integers: 32 bits, overflow is invalid; / is always a float.
            {"add overflow", "var a = 2147483647; return a + 1;", "invalid"},
            {"negate minInt", "var a = -2147483648; return -a;", "invalid"},
            {"multiply overflow", "var a = 65536; return a * a;", "invalid"},
            {"divide", "var a = 7; return a / 2;", "float:3.5"},
            {"divide whole", "var a = 6; return a / 3;", "float:2.0"},
            {"div", "var a = -7; return a div 2;", "integer:-3"},
            {"remainder", "var a = -7; return a % 3;", "integer:-1"},
            {"divide by zero", "var a = 1; return a / 0;", "invalid"},
            {"div by zero", "var a = 1; return a div 0;", "invalid"},
            {"remainder by zero", "var a = 1; return a % 0;", "invalid"},
            {"remainder of float", "var a = 2.5; return a % 2;", "invalid"},
            {"shifts", "var a = -1; var b = -16; return (a >>> 28) + (b >> 2) + (1 << 4);",
             "integer:27"},
            {"bitwise", "var a = 12; return (a & 10) | (a ^ 5) | ~a;", "integer:-5"},
            // Floats: single precision, overflow invalid, underflow 0.0.
            {"single precision", "var a = 0.1; return a + 0.2;", "float:0.3"},
            {"float overflow", "var a = 1.0e38; return a * 10;", "invalid"},
            {"float underflow", "var a = 1.0e-30; return a * a;", "float:0.0"},
            {"float to string", "var a = 1.5; return \"\" + a * 2;", "string:3.0"},
            // Conversions.
            {"string as integer", "return \"12\" * 2;", "integer:24"},
            {"string as float", "return \"1.5\" * 2;", "float:3.0"},
            {"string not a number", "return \"abc\" * 2;", "invalid"},
            {"boolean as integer", "return true + 1;", "integer:2"},
            {"string joins", "return 1 + 2 + \"3\";", "string:33"},
            {"string joins float", "return \"x\" + 2.5;", "string:x2.5"},
            {"string joins boolean", "return false + \"\";", "string:false"},
            {"invalid spreads", "return \"x\" + invalid;", "invalid"},
            {"unary minus of string", "return -\"5\";", "integer:-5"},
            {"locals start empty", "var v; return v;", "string:"},
            {"typeof", "var v; return typeof v * 10 + typeof 1.5 + typeof invalid * 100;",
             "integer:421"},
            {"isvalid", "var a = 1; return isvalid (a / 0);", "boolean:false"},
            {"increment float", "var a = 1.5; a++; return a;", "float:2.5"},
            {"increment string", "var a = \"41\"; a++; return a;", "integer:42"},
            {"increment maxInt", "var a = 2147483647; a++; return a;", "invalid"},
            {"subtract assign", "var a = 10; a -= \"3\"; return a;", "integer:7"},
            {"add assign string", "var a = \"a\"; a += 1; return a;", "string:a1"},
            // Comparisons: strings when either is a string.
            {"compare strings", "return \"10\" < \"9\";", "boolean:true"},
            {"compare number with string", "var a = 10; return a < \"9\";", "boolean:true"},
            {"compare integer and float", "var a = 1; return a == 1.0;", "boolean:true"},
            {"compare float", "var a = 2.5; return a > 2;", "boolean:true"},
            {"compare invalid", "return invalid == invalid;", "invalid"},
            {"not invalid", "return !invalid;", "invalid"},
            // && and || evaluate their right side only when needed.
            {"and skips", "var a = 0; var r = false && (a = 5); return a;", "integer:0"},
            {"or skips", "var a = 0; var r = true || (a = 5); return a;", "integer:0"},
            {"and evaluates", "var a = 0; var r = true && (a = 5); return r;", "boolean:true"},
            {"and invalid", "return invalid && true;", "invalid"},
            {"or invalid", "return invalid || true;", "invalid"},
            {"or converts", "return false || \"x\";", "boolean:true"},
            {"and converts", "return true && 0;", "boolean:false"},
            {"conditional", "var a = invalid; return a ? 1 : 2;", "integer:2"},
            // Loops and calls.
            {"for", "var s = 0; for (var i = 0; i < 100; i++) { s += i; } return s;",
             "integer:4950"},
            {"while break continue",
             "var i = 0; var s = 0; while (true) { i++; if (i > 10) break;"
             " if (i % 2 == 0) continue; s += i; } return s;",
             "integer:25"},
            {"recursion",
             "function fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }"
             " extern function t() { return fib(15); }",
             "integer:610"},
            {"arguments stay apart",
             "function f(a, b) { var c = a - b; return c; }"
             " extern function t() { var x = 1; return f(10, 3) * 100 + x; }",
             "integer:701"},
            {"return without value", "function f() { return; } extern function t() { return f(); }",
             "string:"},
            {"entry arguments", "extern function t(a, b, c) { return a + b + c; }", "string:1x2.5",
             "t(1, 'x', 2.5)"},
            {"entry float argument", "extern function t(a) { return a * 2; }", "float:-5.0",
             "t(-2.5e0)"},
            {"recursion limit",
             "function r(n) { return r(n + 1); } extern function t() { return r(0); }",
             "error:脚本调用层次过深"},
            {"stack limit",
             "function r(n) { var a = 1, b = 2, c = 3, d = 4, e = 5, f = 6, g = 7, h = 8, i = 9,"
             " j = 10, k = 11; return r(n + 1); } extern function t() { return r(0); }",
             "error:脚本占用的空间过大"},
            {"endless loop", "while (true) {}", "error:脚本运行超时"},
            {"string limit", "var s = \"abcdefghijklmnop\"; while (true) { s = s + s; }",
             "error:脚本产生的字符串过长"},
            {"wrong argument count", "extern function t(a) { return a; }",
             "error:调用函数 t 的参数", "t()"},
            {"no such function", "extern function t() { return 1; }", "error:脚本单元中没有",
             "u()"},
            {"not extern", "function u() { return 1; } extern function t() { return 1; }",
             "error:脚本单元中没有", "u()"},
            // Lang.
            {"exit", "Lang.exit(\"done\"); return 1;", "string:done"},
            {"exit from deep",
             "function f() { Lang.exit(7); } extern function t() { f(); return 1; }", "integer:7"},
            {"abort", "Lang.abort(\"余额不足\"); return 1;", "error:脚本已中止：余额不足"},
            {"abs", "return Lang.abs(-3) + Lang.abs(-2.5);", "float:5.5"},
            {"abs of text", "return Lang.abs(\"x\");", "invalid"},
            {"min keeps type", "return Lang.min(3, 2.5);", "float:2.5"},
            {"min equal takes first", "return typeof Lang.min(2, 2.0);", "integer:0"},
            {"max of string", "return Lang.max(\"4\", 3);", "integer:4"},
            {"parseInt prefix", "return Lang.parseInt(\"  100 m/s\");", "integer:100"},
            {"parseInt of float text", "return Lang.parseInt(\"-12.7\");", "integer:-12"},
            {"parseInt no digits", "return Lang.parseInt(\"$10\");", "invalid"},
            {"parseInt overflow", "return Lang.parseInt(\"99999999999\");", "invalid"},
            {"parseFloat", "return Lang.parseFloat(\"  +7.34e2 Hz\");", "float:734.0"},
            {"parseFloat fraction", "return Lang.parseFloat(\"-.1 C\");", "float:-0.1"},
            {"parseFloat none", "return Lang.parseFloat(\"IV\");", "invalid"},
            {"isInt", "return Lang.isInt(\"123.33\") && !Lang.isInt(\"#1\");", "boolean:true"},
            {"isInt invalid", "return Lang.isInt(invalid);", "invalid"},
            {"isFloat", "return Lang.isFloat(\" -1\");", "boolean:true"},
            {"limits", "return Lang.maxInt() + Lang.minInt();", "integer:-1"},
            {"characterSet", "return Lang.characterSet();", "integer:106"},
            {"random bounds", "return Lang.random(0) == 0 && !isvalid Lang.random(-1);",
             "boolean:true"},
            {"seed repeats",
             "Lang.seed(7); var a = Lang.random(100000); Lang.seed(7);"
             " return a == Lang.random(100000);",
             "boolean:true"},
            // Float.
            {"int", "return Float.int(-2.8);", "integer:-2"},
            {"floor", "return Float.floor(-2.5);", "integer:-3"},
            {"ceil", "return Float.ceil(2.1);", "integer:3"},
            {"round half up", "return Float.round(-3.5) * 10 + Float.round(3.5);", "integer:-26"},
            {"int out of range", "return Float.int(3.0e10);", "invalid"},
            {"pow", "return Float.pow(2, 10);", "float:1024.0"},
            {"pow negative root", "return Float.pow(-8, 0.5);", "invalid"},
            {"pow zero negative", "return Float.pow(0, -1);", "invalid"},
            {"sqrt", "return Float.sqrt(2);", "float:1.4142135"},
            {"sqrt negative", "return Float.sqrt(-1);", "invalid"},
            {"maxFloat", "return Float.maxFloat();", "float:3.4028235e+38"},
            // String.
            {"length", "return String.length(\"汉字ab\");", "integer:4"},
            {"charAt outside", "return String.charAt(\"abc\", 5);", "string:"},
            {"charAt float index", "return String.charAt(\"abc\", 1.7);", "string:b"},
            {"subString negative start", "return String.subString(\"abcdef\", -2, 3);",
             "string:abc"},
            {"subString long", "return String.subString(\"abc\", 1, 10);", "string:bc"},
            {"find", "return String.find(\"abcabc\", \"ca\");", "integer:2"},
            {"find empty", "return String.find(\"abc\", \"\");", "invalid"},
            {"replace", "return String.replace(\"a.b.c\", \".\", \"--\");", "string:a--b--c"},
            {"replace empty", "return String.replace(\"abc\", \"\", \"x\");", "invalid"},
            {"elements", "return String.elements(\"a,b,,c\", \",\");", "integer:4"},
            {"elements of empty", "return String.elements(\"\", \",\");", "integer:1"},
            {"elements first separator character", "return String.elements(\"a;b,c\", \";,\");",
             "integer:2"},
            {"elements without separator", "return String.elements(\"abc\", \"\");", "invalid"},
            {"elementAt past end", "return String.elementAt(\"a b c\", 5, \" \");", "string:c"},
            {"elementAt negative", "return String.elementAt(\"a b c\", -1, \" \");", "string:a"},
            {"removeAt", "return String.removeAt(\"a b c\", 1, \" \");", "string:a c"},
            {"replaceAt past end", "return String.replaceAt(\"a b c\", \"X\", 9, \" \");",
             "string:a b X"},
            {"insertAt", "return String.insertAt(\"B C; E\", \"D\", 1, \";\");", "string:B C;D; E"},
            {"insertAt past end", "return String.insertAt(\"a b\", \"X\", 9, \" \");",
             "string:a b X"},
            {"squeeze", "return String.squeeze(\"a  \\t b\");", "string:a b"},
            {"trim", "return String.trim(\"  a b \\n\");", "string:a b"},
            {"compare", "return String.compare(\"a\", \"b\") * 10 + String.compare(\"b\", \"a\");",
             "integer:-9"},
            {"toString invalid", "return String.toString(invalid);", "string:invalid"},
            {"toString float", "return String.toString(2.5);", "string:2.5"},
            // String.format: the first specifier takes the value.
            {"format width precision", "return String.format(\"%4.3d\", 32);", "string: 032"},
            {"format float", "return String.format(\"%2.2f\", 2.3);", "string:2.30"},
            {"format zero precision", "return String.format(\"[%.0d]\", 0);", "string:[]"},
            {"format string width", "return String.format(\"%5s|\", \"ab\");", "string:   ab|"},
            {"format string precision", "return String.format(\"%.2s\", \"abcd\");", "string:ab"},
            {"format percent", "return String.format(\"%d%%\", 50);", "string:50%"},
            {"format later dropped", "return String.format(\"%d and %d\", 1);", "string:1 and "},
            {"format bad type", "return String.format(\"%x\", 1);", "invalid"},
            {"format invalid value", "return String.format(\"%d\", invalid);", "invalid"},
            // URL.
            {"url parts",
             "var u = \"http://a.b:8080/p/q;x;y?k=v#f\"; return URL.getScheme(u) + \"|\" +"
             " URL.getHost(u) + \"|\" + URL.getPort(u) + \"|\" + URL.getPath(u) + \"|\" +"
             " URL.getParameters(u) + \"|\" + URL.getQuery(u) + \"|\" + URL.getFragment(u);",
             "string:http|a.b|8080|/p/q|x;y|k=v|f"},
            {"url no port", "return URL.getPort(\"http://a.b/\");", "string:"},
            {"url relative path", "return URL.getPath(\"../x/y.wml?q\");", "string:../x/y.wml"},
            {"url not valid", "return URL.isValid(\"http://a b/\");", "boolean:false"},
            {"url invalid part", "return URL.getHost(\"http://a b/\");", "invalid"},
            {"resolve", "return URL.resolve(\"http://a.b/x/y.wml\", \"../z.wml\");",
             "string:http://a.b/z.wml"},
            {"escape", "return URL.escapeString(\"a b&c=d/e\");", "string:a%20b%26c%3dd%2fe"},
            {"escape non-ascii", "return URL.escapeString(\"é\");", "invalid"},
            {"unescape", "return URL.unescapeString(\"a%20b%2F\");", "string:a b/"},
            {"getBase", "return URL.getBase();", "string:http://a.example/s/main.wmls"},
            {"getReferer", "return URL.getReferer();", "string:deck.wml#c"},
            {"loadString",
             "return URL.loadString(\"t.txt\", \"text/plain\") + URL.loadString(\"none\","
             " \"text/plain\");",
             "string:hi404"},
            {"loadString wrong type", "return URL.loadString(\"t.txt\", \"image/png\");",
             "invalid"},
            {"loadString other type answered", "return URL.loadString(\"t.txt\", \"text/html\");",
             "integer:0"},
            // WMLBrowser (what it asked is checked in Browser).
            {"getVar bad name", "return WMLBrowser.getVar(\"1x\");", "invalid"},
            {"setVar getVar",
             "WMLBrowser.setVar(\"n\", 5); return WMLBrowser.getVar(\"n\") + \"!\";", "string:5!"},
            {"getCurrentCard", "return WMLBrowser.getCurrentCard();", "string:deck.wml#c"},
            {"go invalid", "return WMLBrowser.go(invalid);", "invalid"},
        };
        for (const Row& row : rows) {
            QTest::newRow(row.name)
                << Source(QString::fromUtf8(row.source)) << QString::fromUtf8(row.call)
                << QString::fromUtf8(row.expected);
        }
    }
    void Runs() {
        QFETCH(QString, source);
        QFETCH(QString, call);
        QFETCH(QString, expected);
        const QJsonObject outcome = Run(source, call, {},
                                        "{\"http://a.example/s/t.txt\": {\"status\": 200, "
                                        "\"type\": \"text/plain\", \"text\": \"hi\"}}");
        const QString summary = Summary(outcome);
        if (expected.startsWith("error:")) {
            QVERIFY2(summary.startsWith(expected), qPrintable(summary));
        } else {
            QCOMPARE(summary, expected);
        }
    }

    // A loop body past 255 bytes and more than 256 constants: the wide jump
    // and constant forms.
    void WideForms() {
        QString body, constants;
        for (int i = 0; i < 120; ++i) {
            body += "s += i; ";
        }
        for (int i = 0; i < 300; ++i) {
            constants += QStringLiteral("t = \"c%1\"; ").arg(i);
        }
        const QJsonObject outcome =
            Run("extern function t() { var s = 0; var t; for (var i = 0; i < 3; i++) { " + body +
                    "} " + constants + "return s + t; }",
                "t()");
        QCOMPARE(Summary(outcome), QStringLiteral("string:360c299"));
    }

    // What the script asked of the browser: go and prev for later (the last
    // wins, go('') cancels), variables and a new context at once.
    void Browser_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("go");
        QTest::addColumn<bool>("prev");
        QTest::addColumn<QString>("log");
        QTest::addColumn<bool>("refresh");
        QTest::newRow("go relative to the unit")
            << "WMLBrowser.go(\"next.wml#c2\");"
            << "http://a.example/s/next.wml#c2" << false << "" << false;
        QTest::newRow("prev after go") << "WMLBrowser.go(\"x.wml\"); WMLBrowser.prev();"
                                       << "" << true << "" << false;
        QTest::newRow("go after prev") << "WMLBrowser.prev(); WMLBrowser.go(\"/y.wml\");"
                                       << "http://a.example/y.wml" << false << "" << false;
        QTest::newRow("go empty cancels") << "WMLBrowser.go(\"x.wml\"); WMLBrowser.go(\"\");"
                                          << "" << false << "" << false;
        QTest::newRow("variables and context")
            << "WMLBrowser.setVar(\"a\", 1.5); WMLBrowser.newContext();"
               " WMLBrowser.setVar(\"b\", \"x\");"
            << "" << false << "set a=1.5|newContext|set b=x" << false;
        QTest::newRow("go then abort") << "WMLBrowser.go(\"x.wml\"); Lang.abort(\"停\");"
                                       << "" << false << "" << false;
        QTest::newRow("refresh") << "WMLBrowser.refresh();"
                                 << "" << false << "" << true;
    }
    void Browser() {
        QFETCH(QString, body);
        QFETCH(QString, go);
        QFETCH(bool, prev);
        QFETCH(QString, log);
        QFETCH(bool, refresh);
        const QJsonObject outcome = Run(Source(body), "t()");
        QCOMPARE(outcome.value("go").toString(), go);
        QCOMPARE(outcome.value("prev").toBool(), prev);
        QCOMPARE(outcome.value("refresh").toBool(), refresh);
        QStringList asked;
        for (const QJsonValue& entry : outcome.value("log").toArray()) {
            if (!entry.toString().startsWith("load ")) {
                asked << entry.toString();
            }
        }
        QCOMPARE(asked.join('|'), log);
    }

    // Dialogs are the engine's dialogs; the script waits for the answer.
    void Dialogs() {
        const QJsonObject outcome = Run(
            Source(
                "var n = Dialogs.prompt(\"城市\", \"上海\"); var ok = Dialogs.confirm(\"确定？\","
                " \"是\", \"否\"); Dialogs.alert(n); return n + ok;"),
            "t()");
        QCOMPARE(Summary(outcome), QStringLiteral("string:北京true"));
        QCOMPARE(page_->shown, (QStringList{"prompt:城市/上海", "confirm:确定？", "alert:北京"}));
    }

    // CALL_URL loads the other unit once, calls its extern function, and
    // refuses when the unit's use access does not name the caller.
    void CallsAnotherUnit_data() {
        QTest::addColumn<QString>("pragma");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no access pragma") << ""
                                          << "integer:43";
        QTest::newRow("domain and path allowed") << "use access domain \"example\" path \"/s\";"
                                                 << "integer:43";
        QTest::newRow("other domain") << "use access domain \"b.example\";"
                                      << "error:";
        QTest::newRow("domain by whole labels") << "use access domain \"xample\";"
                                                << "error:";
        QTest::newRow("path by whole segments") << "use access domain \"a.example\" path \"/s2\";"
                                                << "error:";
    }
    void CallsAnotherUnit() {
        QFETCH(QString, pragma);
        QFETCH(QString, expected);
        const QString other = pragma +
                              " extern function twice(n) { return n * 2; }"
                              " function hidden() { return 0; }";
        const QJsonObject outcome =
            Run("use url Other \"../t/other.wmls\";"
                " extern function t() { return Other#twice(10) + Other#twice(11) + 1; }",
                "t()", {{"http://a.example/t/other.wmls", Unit(other)}});
        const QString summary = Summary(outcome);
        QVERIFY2(summary.startsWith(expected), qPrintable(summary));
        if (expected == "error:") {
            QVERIFY2(summary.contains("不允许"), qPrintable(summary));
            return;
        }
        // Loaded once, from the cache after that.
        QCOMPARE(outcome.value("log").toArray().size(), 2);
    }
    // The deck's card calling a unit is held to its use access too.
    void TheDecksCallIsHeldToUseAccess() {
        QCOMPARE(Summary(Run("use access domain \"a.example\" path \"/s\";"
                             " extern function t() { return 1; }",
                             "t()")),
                 QStringLiteral("integer:1"));
        const QString refused = Summary(
            Run("use access domain \"b.example\"; extern function t() { return 1; }", "t()"));
        QVERIFY2(refused.contains(QStringLiteral("不允许")), qPrintable(refused));
    }
    // In the called unit, URL.getBase is that unit and URL.getReferer the
    // unit that called it, relative to the called one.
    void CalledUnitSeesItsCaller() {
        const QJsonObject outcome = Run(
            "use url Other \"../t/other.wmls\"; extern function t() { return Other#r(); }", "t()",
            {{"http://a.example/t/other.wmls",
              Unit("extern function r() { return URL.getBase() + \" \" + URL.getReferer(); }")}});
        QCOMPARE(Summary(outcome),
                 QStringLiteral("string:http://a.example/t/other.wmls ../s/main.wmls"));
    }
    void CallsAnotherUnitFailures() {
        const QJsonObject hidden = Run(
            "use url Other \"other.wmls\"; extern function t() { return Other#hidden(); }", "t()",
            {{"http://a.example/s/other.wmls",
              Unit("extern function f() {} function hidden() {}")}});
        QVERIFY2(Summary(hidden).startsWith("error:脚本单元中没有"), qPrintable(Summary(hidden)));
        const QJsonObject missing =
            Run("use url Other \"gone.wmls\"; extern function t() { return Other#f(); }", "t()");
        QCOMPARE(Summary(missing), QStringLiteral("error:无法载入脚本单元。"));
    }

    // A page loads at most WmlScript.limits.units units, the first one too.
    void UnitsPerPage_data() {
        QTest::addColumn<int>("others");
        QTest::addColumn<QString>("expected");
        QTest::newRow("within") << 15 << "integer:15";
        QTest::newRow("one more") << 16 << "error:本页载入的脚本单元过多";
    }
    void UnitsPerPage() {
        QFETCH(int, others);
        QFETCH(QString, expected);
        QString pragmas, sum = "0";
        QJsonObject units;
        for (int i = 0; i < others; ++i) {
            pragmas += QStringLiteral("use url U%1 \"u%1.wmls\"; ").arg(i);
            sum += QStringLiteral(" + U%1#f()").arg(i);
            units.insert(QStringLiteral("http://a.example/s/u%1.wmls").arg(i),
                         Unit("extern function f() { return 1; }"));
        }
        const QJsonObject outcome =
            Run(pragmas + "extern function t() { return " + sum + "; }", "t()", units);
        QVERIFY2(Summary(outcome).startsWith(expected), qPrintable(Summary(outcome)));
        QCOMPARE(RunScript(view_.get(), "WmlScript.limits.units").toInt(), 16);
    }

    // A call the deck runtime could not parse is the script's error too.
    void MalformedCall() {
        QCOMPARE(Summary(Run("extern function t() { return 1; }", "t(1,")),
                 QStringLiteral("error:调用脚本函数的写法有误。"));
    }

    // A unit that is not what the format says is a fatal error, never an
    // exception out of run().
    void MalformedUnits_data() {
        QTest::addColumn<QByteArray>("unit");
        const QByteArray good = QByteArray::fromStdString(
            tessaly::wap::wmlscript::Compile("extern function t() { return \"ok\"; }").unit);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated") << good.left(good.size() - 1);
        QTest::newRow("trailing byte") << good + '\0';
        QByteArray version = good;
        version[0] = '\x20';
        QTest::newRow("version") << version;
        // A function whose only instruction, RETURN_ES, is made a reserved opcode.
        QByteArray opcode = QByteArray::fromStdString(
            tessaly::wap::wmlscript::Compile("extern function t() {}").unit);
        opcode[opcode.size() - 1] = '\x7f';
        QTest::newRow("reserved opcode") << opcode;
    }
    void MalformedUnits() {
        QFETCH(QByteArray, unit);
        const QJsonObject outcome =
            RunUnits({{UnitUrl, QString::fromLatin1(unit.toBase64())}}, "t()");
        QVERIFY2(outcome.value("error").toString().startsWith("脚本单元"),
                 qPrintable(QJsonDocument(outcome).toJson()));
    }

    // Strings of type 6 are in the character set the constant pool names (its
    // MIBenum number); a number the machine does not know is a fatal error.
    void Charsets_data() {
        QTest::addColumn<int>("mib");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("GB2312") << 2025 << QByteArray("\xd6\xd0") << "string:中";
        QTest::newRow("GBK") << 113 << QByteArray("\xd6\xd0") << "string:中";
        QTest::newRow("Big5") << 2026 << QByteArray("\xa4\xa4") << "string:中";
        QTest::newRow("Shift_JIS") << 17 << QByteArray("\x92\x86") << "string:中";
        QTest::newRow("UTF-16") << 1015 << QByteArray("\x4e\x2d") << "string:中";
        QTest::newRow("Latin-1") << 4 << QByteArray("\xe9") << "string:é";
        QTest::newRow("unknown") << 9999 << QByteArray("a")
                                 << "error:脚本单元所用的字符集无法识别。";
    }
    void Charsets() {
        QFETCH(int, mib);
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        // One constant, no pragma, t() { return the constant; }.
        std::string body;
        tessaly::wap::wmlscript::AppendMultiByte(body, 1);
        tessaly::wap::wmlscript::AppendMultiByte(body, static_cast<std::uint32_t>(mib));
        body += '\x06';
        tessaly::wap::wmlscript::AppendMultiByte(body, static_cast<std::uint32_t>(text.size()));
        body += text.toStdString();
        body += std::string("\x00\x01\x01\x00\x01t\x00\x00\x02\x50\x3a", 11);
        std::string unit(1, '\x01');
        tessaly::wap::wmlscript::AppendMultiByte(unit, static_cast<std::uint32_t>(body.size()));
        unit += body;
        const QJsonObject outcome = RunUnits(
            {{UnitUrl, QString::fromLatin1(QByteArray::fromStdString(unit).toBase64())}}, "t()");
        QCOMPARE(Summary(outcome), expected);
    }

    // A script that never ends stops within the bound and the page keeps
    // running its own timers meanwhile.
    void EndlessLoopKeepsPageResponsive() {
        FreshPage();
        RunScript(
            view_.get(),
            QStringLiteral(
                "window.outcome = ''; window.tick = 0;"
                "(function () { var host = makeHost({'%1': '%2'}, {});"
                " var start = performance.now();"
                " setTimeout(function () { window.tick = performance.now() - start; }, 5);"
                " WmlScript.run(host, '%1', WmlScript.parseCall('t()')).then("
                "  function (o) { o.millis = performance.now() - start;"
                "   window.outcome = JSON.stringify(o); }); })();")
                .arg(UnitUrl, Unit("extern function t() { var i = 0; while (true) { i++; } }")));
        QString outcome;
        QVERIFY(QTest::qWaitFor(
            [&] {
                outcome = RunScript(view_.get(), "window.outcome").toString();
                return !outcome.isEmpty();
            },
            10000));
        const QJsonObject o = QJsonDocument::fromJson(outcome.toUtf8()).object();
        QCOMPARE(o.value("error").toString(), QStringLiteral("脚本运行超时，已停止。"));
        QVERIFY2(o.value("millis").toDouble() < 1000, qPrintable(outcome));
        const double tick = RunScript(view_.get(), "window.tick").toDouble();
        QVERIFY2(tick > 0 && tick < o.value("millis").toDouble(), qPrintable(outcome));
    }

    // Deck addresses: literals only, bounded.
    void ParsesCalls_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("literals")
            << "check(1, 'a b', -2.5e1, true, invalid)"
            << "{\"name\":\"check\",\"args\":[1,\"a b\",{\"v\":-25},true,{\"invalid\":true}]}";
        QTest::newRow("none") << " f ( ) "
                              << "{\"name\":\"f\",\"args\":[]}";
        QTest::newRow("escapes and radix") << "f(\"a\\\"b\\x41\", 0x1F, 010)"
                                           << "{\"name\":\"f\",\"args\":[\"a\\\"bA\",31,8]}";
        QTest::newRow("trailing comma") << "f(1,)"
                                        << "null";
        QTest::newRow("after the call") << "f(1) x"
                                        << "null";
        QTest::newRow("expression") << "f(1+2)"
                                    << "null";
        QTest::newRow("variable") << "f(a)"
                                  << "null";
        QTest::newRow("integer too large") << "f(2147483648)"
                                           << "null";
        QTest::newRow("too many arguments")
            << "f(" + QStringList(33, QStringLiteral("1")).join(',') + ")"
            << "null";
        QTest::newRow("too long") << "f('" + QString(5000, 'a') + "')"
                                  << "null";
    }
    void ParsesCalls() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        FreshPage();
        const QString literal = QString::fromUtf8(
            QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1));
        QCOMPARE(RunScript(view_.get(), "JSON.stringify(WmlScript.parseCall(" + literal + "))")
                     .toString(),
                 expected);
    }

    // The machine's library table is the compiler's.
    void LibraryTableMatchesCompiler() {
        FreshPage();
        const QJsonArray machine =
            QJsonDocument::fromJson(
                RunScript(view_.get(), "JSON.stringify(WmlScript.libraries)").toString().toUtf8())
                .array();
        QJsonArray compiler;
        for (const auto& f : tessaly::wap::wmlscript::LibraryFunctions) {
            compiler.append(QJsonArray{
                f.libraryIndex, f.functionIndex,
                QString::fromUtf8(f.library.data(), static_cast<qsizetype>(f.library.size())) +
                    "." + QString::fromUtf8(f.name.data(), static_cast<qsizetype>(f.name.size())),
                f.arguments});
        }
        QCOMPARE(machine, compiler);
    }
};

TESSALY_WEB_TEST_MAIN(WmlScriptMachineTest)
#include "wmlscript_machine_test.moc"
