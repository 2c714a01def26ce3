// The WMLScript machine in the real browser engine: bytecode instructions per
// second on a loop-heavy script compiled by the program's compiler, measured
// in the page around WmlScript.run (target: at least 10 million a second).

#include <QApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "page_input.h"
#include "web_engine_setup.h"
#include "wmlscript.h"
#include "wmlscript_machine_script.h"

namespace {

constexpr double TargetPerSecond = 10e6;
constexpr int Runs = 15;
// Iterations of the loop per run: a few million instructions, well inside
// the machine's budget for one run.
constexpr int Iterations = 400000;

constexpr auto LoopSource =
    "extern function loop(n) {"
    "  var s = 0;"
    "  for (var i = 0; i < n; i++) { s = s + i % 7; }"
    "  return s;"
    "}";

}  // namespace

int main(int argc, char* argv[]) {
    tessaly::PrepareWebEngine();
    QApplication app(argc, argv);

    const auto compiled = tessaly::wap::wmlscript::Compile(LoopSource);
    if (!compiled.ok) {
        std::printf("the loop does not compile: %s\n", compiled.message.c_str());
        return 1;
    }
    QWebEngineView view;
    QEventLoop loading;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &loading, &QEventLoop::quit);
    view.page()->setHtml("<!DOCTYPE html><title>bench</title>", QUrl("http://a.example/"));
    loading.exec();

    const QString unit = QString::fromLatin1(QByteArray::fromStdString(compiled.unit).toBase64());
    tessaly::testing::RunScript(
        &view,
        QString::fromUtf8(tessaly::wap::WmlScriptMachineScript) +
            QStringLiteral(
                "\nwindow.timeRun = function () {"
                "  window.timing = '';"
                "  var s = atob('%1'), bytes = new Uint8Array(s.length);"
                "  for (var i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);"
                "  var host = {loadUnit: function () { return Promise.resolve(bytes.buffer); },"
                "    currentCard: function () { return ''; }};"
                "  var call = WmlScript.parseCall('loop(%2)');"
                "  var start = performance.now();"
                "  WmlScript.run(host, 'http://a.example/loop.wmls', call).then(function (o) {"
                "    o.millis = performance.now() - start; window.timing = JSON.stringify(o);"
                "  });"
                "};")
                .arg(unit)
                .arg(Iterations));

    std::vector<double> rates;
    for (int run = 0; run < Runs; ++run) {
        tessaly::testing::RunScript(&view, "timeRun()");
        QString timing;
        (void)QTest::qWaitFor(
            [&] {
                timing = tessaly::testing::RunScript(&view, "window.timing").toString();
                return !timing.isEmpty();
            },
            30000);
        const QJsonObject outcome = QJsonDocument::fromJson(timing.toUtf8()).object();
        if (!outcome.value("error").toString().isEmpty() || outcome.isEmpty()) {
            std::printf("the loop stopped: %s\n", qPrintable(timing));
            return 1;
        }
        rates.push_back(outcome.value("instructions").toDouble() /
                        (outcome.value("millis").toDouble() / 1000.0));
    }
    std::sort(rates.begin(), rates.end());
    const double median = rates[rates.size() / 2];
    std::printf("WMLScript loop, %d iterations a run: %.1f million instructions/s (median of %d)\n",
                Iterations, median / 1e6, Runs);
    std::printf("instructions/s / target of 10 million (target at least 1): %.2f (%s)\n",
                median / TargetPerSecond, median >= TargetPerSecond ? "met" : "missed");
    return 0;
}
