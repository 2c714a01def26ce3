#include "page_scripts.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tessaly {

QString AccessKeyScript(int digit) {
    // Elements inside a hidden card (or hidden otherwise) have no boxes.
    return QStringLiteral(
               "(function (key) {"
               "  var all = document.querySelectorAll('[accesskey]');"
               "  for (var i = 0; i < all.length; ++i) {"
               "    var e = all[i];"
               "    if (String(e.getAttribute('accesskey')).trim() !== key ||"
               "        e.getClientRects().length === 0) continue;"
               "    e.focus();"
               "    if (!e.matches('input:not([type=button]):not([type=submit]),textarea,select'))"
               "      e.click();"
               "    return true;"
               "  }"
               "  return false;"
               "})('%1')")
        .arg(digit);
}

QString SoftKeyScript(int index) {
    return QStringLiteral(
               "(function (index) {"
               "  var card = document.querySelector('section.wml-card:not([hidden])');"
               "  var keys = card ? card.querySelectorAll('.wml-keys > .wml-do') : [];"
               "  if (index >= keys.length) return false;"
               "  keys[index].click();"
               "  return true;"
               "})(%1)")
        .arg(index);
}

QString PageFactsScript() {
    return QStringLiteral(
        "(function () {"
        "  var facts = {title: document.title, contentType: document.contentType,"
        "               characterSet: document.characterSet, bytes: -1, cards: 0, card: ''};"
        "  var entry = performance.getEntriesByType('navigation')[0];"
        "  if (entry && entry.decodedBodySize > 0) facts.bytes = entry.decodedBodySize;"
        "  var cards = document.querySelectorAll('section.wml-card');"
        "  facts.cards = cards.length;"
        "  var shown = document.querySelector('section.wml-card:not([hidden])');"
        "  if (shown) {"
        "    var title = shown.querySelector('.wml-title');"
        "    facts.card = (title ? title.textContent : '') || location.hash.slice(1);"
        "  }"
        "  return JSON.stringify(facts);"
        "})()");
}

QString ReplaceDocumentScript(const QString& html) {
    // A JSON string is a JavaScript string literal.
    const QByteArray literal =
        QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
    return QStringLiteral(
               "(function (html) {"
               "  var made = new DOMParser().parseFromString(html, 'text/html');"
               "  document.replaceChild(document.importNode(made.documentElement, true),"
               "                        document.documentElement);"
               "  return true;"
               "})(%1)")
        .arg(QString::fromUtf8(literal));
}

QString ErrorPageScript(const QString& script) {
    return QStringLiteral("(document.URL.indexOf('chrome-error:') === 0 && (%1))").arg(script);
}

QString BackspaceScript() {
    return QStringLiteral(
        "addEventListener('keydown', function (event) {"
        "  if (event.key !== 'Backspace' || event.defaultPrevented || event.altKey ||"
        "      event.ctrlKey || event.metaKey || event.shiftKey) return;"
        "  var target = event.composedPath()[0];"
        "  if (target && (target.isContentEditable ||"
        "                 (target.matches && target.matches('input,textarea,select')))) return;"
        "  history.back();"
        "});");
}

}  // namespace tessaly
