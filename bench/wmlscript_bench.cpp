// WMLScript: how fast the compiler turns a script of the kind WAP sites sent
// (form checks, converters, a game, calls to the standard libraries) into a
// unit, in MB of source a second, against the target of at least 5 MB/s. The
// verifier's speed on the result is printed beside it.

#include <cstdio>
#include <string>

#include "bench_report.h"
#include "wmlscript.h"

namespace {

constexpr double TargetMegabytesPerSecond = 5.0;

// About `targetBytes` of script: groups of functions in the manner of a
// site's utility unit, each group with its own names.
std::string SiteScript(std::size_t targetBytes) {
    std::string script =
        "use url Common \"http://wap.example/lib/common.wmls\";\n"
        "use access domain \"wap.example\" path \"/shop\";\n"
        "use meta user agent \"vnd.example.cache\" \"3600\";\n\n";
    for (int group = 0; script.size() < targetBytes; ++group) {
        const std::string n = std::to_string(group);
        script +=
            "/* 检查表单：手机号码与数量 */\n"
            "extern function check" +
            n +
            "(phone, count) {\n"
            "    var digits = 0, i, c;\n"
            "    if (String.length(phone) != 11) {\n"
            "        Dialogs.alert(\"手机号码应为 11 位\");\n"
            "        return false;\n"
            "    }\n"
            "    for (i = 0; i < String.length(phone); i++) {\n"
            "        c = String.charAt(phone, i);\n"
            "        if (c >= \"0\" && c <= \"9\") digits++;\n"
            "        else break;\n"
            "    }\n"
            "    count = Lang.parseInt(count);\n"
            "    if (!isvalid count || count <= 0 || count > 99) {\n"
            "        WMLBrowser.setVar(\"err\", \"数量有误\");\n"
            "        WMLBrowser.go(\"#form\");\n"
            "        return false;\n"
            "    }\n"
            "    return digits == 11;\n"
            "}\n\n"
            "// Converts between currencies at the rate the deck holds.\n"
            "extern function convert" +
            n +
            "(amount, from, to) {\n"
            "    var rate = Lang.parseFloat(WMLBrowser.getVar(\"rate_\" + from + \"_\" + to));\n"
            "    var result = amount * rate;\n"
            "    result = Float.round(result * 100) / 100;\n"
            "    WMLBrowser.setVar(\"result\", String.format(\"%.2f\", result) + ' ' + to);\n"
            "    WMLBrowser.refresh();\n"
            "    return result >= 0 ? result : invalid;\n"
            "}\n\n"
            "function score" +
            n +
            "(guess, secret, tries) {\n"
            "    var diff = Lang.abs(guess - secret), hint = \"\";\n"
            "    while (tries-- > 0) {\n"
            "        if (diff == 0) { hint = \"猜中了！\"; break; }\n"
            "        hint = diff < 10 ? \"很接近\" : (guess < secret ? \"大一点\" : \"小一点\");\n"
            "        diff = diff div 2;\n"
            "    }\n"
            "    return hint + Common#suffix(tries, 0x10, 1.5e2);\n"
            "}\n\n"
            "extern function play" +
            n +
            "() {\n"
            "    var secret = Lang.random(100), guess = Dialogs.prompt(\"猜一个数\", \"50\");\n"
            "    var answer = score" +
            n +
            "(Lang.parseInt(guess), secret, 7);\n"
            "    if (Dialogs.confirm(answer, \"再来\", \"结束\")) WMLBrowser.go(\"#play\");\n"
            "    else WMLBrowser.prev();\n"
            "}\n\n";
        if (group == 60) {
            break;  // 244 functions, within the 255 a unit may hold
        }
    }
    return script;
}

const std::string& Script() {
    static const std::string Text = SiteScript(100 * 1024);
    return Text;
}

void BM_CompileScript(benchmark::State& state) {
    const std::string& script = Script();
    for (auto _ : state) {
        auto result = tessaly::wap::wmlscript::Compile(script);
        if (!result.ok) {
            state.SkipWithError(result.message.c_str());
            return;
        }
        benchmark::DoNotOptimize(result.unit);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * script.size()));
}
BENCHMARK(BM_CompileScript);

void BM_VerifyUnit(benchmark::State& state) {
    const std::string unit = tessaly::wap::wmlscript::Compile(Script()).unit;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tessaly::wap::wmlscript::Verify(unit));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * unit.size()));
}
BENCHMARK(BM_VerifyUnit);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tessaly::bench::RatioReporter reporter("", "", "", 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double nanoseconds = reporter.Nanoseconds("BM_CompileScript");
    if (nanoseconds > 0) {
        const double megabytesPerSecond =
            static_cast<double>(Script().size()) / (1024.0 * 1024.0) / (nanoseconds / 1e9);
        const double ratio = megabytesPerSecond / TargetMegabytesPerSecond;
        std::printf(
            "compiling a %zu-byte script: %.1f MB/s; to the target of %.0f MB/s: %.2f "
            "(target at least 1: %s)\n",
            Script().size(), megabytesPerSecond, TargetMegabytesPerSecond, ratio,
            ratio >= 1 ? "met" : "missed");
    }
    return 0;
}
