#include "page_writer.h"

#include <QRandomGenerator>

#include "json_text.h"
#include "wml_runtime_script.h"

namespace tessaly::wap {

namespace {

// The look of a deck: a narrow phone-like column, soft keys as buttons.
constexpr char PageStyle[] =
    "body{margin:0;background:#e8ecef;font:14px/1.5 sans-serif;color:#111}"
    "main{max-width:480px;margin:0 auto;background:#fff;min-height:100vh;padding:6px 10px}"
    ".wml-title{font-weight:bold;background:#2f5d8a;color:#fff;margin:-6px -10px 6px;"
    "padding:4px 10px}.wml-title:empty{display:none}"
    "p{margin:4px 0;overflow-wrap:anywhere}.wml-center{text-align:center}"
    ".wml-right{text-align:right}.wml-nowrap{white-space:nowrap;overflow-x:auto}"
    ".wml-big{font-size:1.25em}.wml-link{color:#0645ad;text-decoration:underline;cursor:pointer}"
    ".wml-table{border-collapse:collapse}.wml-table td{border:1px solid #ccc;padding:1px 4px}"
    ".wml-keys{border-top:1px solid #ccc;margin-top:8px;padding-top:6px;display:flex;"
    "flex-wrap:wrap;gap:6px}.wml-do{min-width:64px}.wml-input.wml-bad{outline:2px solid #c33}"
    // F1 and F2 press a card's first two soft keys, as a phone's left and right keys did.
    ".wml-keys>.wml-do:nth-child(-n+2)::before{font-size:10px;color:#777;margin-right:4px}"
    ".wml-keys>.wml-do:nth-child(1)::before{content:'F1'}"
    ".wml-keys>.wml-do:nth-child(2)::before{content:'F2'}"
    ".wml-alt{color:#555}.wml-note{font-size:11px;color:#8a5a00;margin:2px 0}"
    "pre.wml-source{font-size:12px;background:#f6f6f6;padding:6px;overflow:auto}"
    "pre.wml-source mark{background:#fbb}";

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

QString Head(const QString& title, const QString& nonce, const QString& extra) {
    // The policy is in the page as well as in the response header: a
    // document written without a response of its own has only this one, and
    // the engine may take the header of a later "304 Not Modified" from the
    // site in place of the header the page came with.
    return QStringLiteral(
               "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
               "<meta http-equiv=\"Content-Security-Policy\" content=\"%1\">"
               "<meta name=\"viewport\" content=\"width=device-width\">"
               "<title>%2</title><style nonce=\"%3\">%4</style>%5</head>")
        .arg(Escaped(ContentSecurityPolicy(nonce)), Escaped(title), nonce, QLatin1String(PageStyle),
             extra);
}

}  // namespace

QString NewNonce() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toBase64());
}

QString ContentSecurityPolicy(const QString& nonce) {
    return QStringLiteral(
               "default-src 'none'; script-src 'nonce-%1'; style-src 'nonce-%1'; "
               "img-src 'self' http: https: data:; form-action 'self' http: https:; "
               // WMLScript units and URL.loadString, from the page's own site only.
               "connect-src 'self'; "
               "base-uri 'none'; object-src 'none'; frame-src 'none'")
        .arg(nonce);
}

QString WriteDeckPage(const ReadDeck& deck, const QString& charset, const QString& nonce,
                      const QList<TextPosition>& repairs, RuntimeDelivery runtime) {
    QString metas = QStringLiteral(
        "<meta name=\"referrer\" id=\"wml-referrer\" "
        "content=\"no-referrer\">");
    for (const auto& [name, content] : deck.metas) {
        metas += QStringLiteral("<meta name=\"%1\" content=\"%2\">")
                     .arg(Escaped(name), Escaped(content));
    }

    QString page = Head(deck.title, nonce, metas);
    // A page that carries its runtime needs the WMLScript machine only when
    // the deck calls a script.
    static const QString FullRuntime = QString::fromUtf8(WmlRuntimeScript);
    static const QString DeckOnlyRuntime = QString::fromUtf8(WmlDeckOnlyRuntimeScript);
    const QString& inPage = deck.callsScripts ? FullRuntime : DeckOnlyRuntime;
    const qsizetype inPageRuntime = runtime == RuntimeDelivery::InPage ? inPage.size() : 0;
    page.reserve(page.size() + deck.cardsHtml.size() + deck.dataMembers.size() + inPageRuntime +
                 1024);
    page += QStringLiteral("<body><main>");
    if (!repairs.isEmpty()) {
        page += QStringLiteral(
                    "<div class=\"wml-note\">本页有 %1 处不规范的写法，已按宽松方式显示"
                    "（第 %2 行第 %3 列：未转义的 &amp;）</div>")
                    .arg(repairs.size())
                    .arg(repairs.first().line)
                    .arg(repairs.first().column);
    }
    page += QStringLiteral("<div class=\"wml-note\" id=\"wml-note\" hidden></div>");
    page += deck.cardsHtml;
    // A script's error, in small type under the card.
    page += QStringLiteral("<div class=\"wml-note\" id=\"wml-script-note\" hidden></div>");
    page += QStringLiteral("</main><script type=\"application/json\" id=\"wml-deck-data\">");
    // The deck's members, then the charset its forms send in.
    page += QStringView(deck.dataMembers).chopped(1);
    page += QStringLiteral(",\"charset\":");
    AppendJsonString(page, charset);
    page += QLatin1Char('}');
    if (runtime == RuntimeDelivery::ByAddress) {
        // Deferred, it runs once the page is parsed, before the page counts
        // as loaded.
        page += QStringLiteral("</script><script nonce=\"%1\" src=\"%2\" defer></script>")
                    .arg(nonce, QLatin1String(WmlRuntimeAddress().data(),
                                              qsizetype(WmlRuntimeAddress().size())));
    } else {
        page += QStringLiteral("</script><script nonce=\"%1\">").arg(nonce);
        page += inPage;
        page += QStringLiteral("</script>");
    }
    page += QStringLiteral("</body></html>");
    return page;
}

QString WriteErrorPage(const ReadDeck& failure, const QString& source, const QString& nonce) {
    QString page = Head(QStringLiteral("WML 页面有错误"), nonce, QString());
    page += QStringLiteral("<body><main><h3>此 WML 页面有错误，无法显示</h3>");
    page += QStringLiteral("<p>第 %1 行，第 %2 列：%3</p>")
                .arg(failure.errorLine)
                .arg(failure.errorColumn)
                .arg(Escaped(failure.errorMessage));
    page += QStringLiteral("<p>页面的源代码如下：</p><pre class=\"wml-source\">");
    const QStringList lines = source.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString numbered = QStringLiteral("%1  %2").arg(i + 1, 4).arg(Escaped(line));
        page +=
            i + 1 == failure.errorLine ? QStringLiteral("<mark>%1</mark>").arg(numbered) : numbered;
        page += QLatin1Char('\n');
    }
    page += QStringLiteral("</pre></main></body></html>");
    return page;
}

std::string_view WmlRuntime() {
    return {WmlRuntimeScript, sizeof WmlRuntimeScript - 1};
}

std::string_view WmlRuntimeAddress() {
    static const std::string Address =
        std::string("http://") + WmlRuntimeHost + "/wml-" + WmlRuntimeVersion + ".js";
    return Address;
}

}  // namespace tessaly::wap
