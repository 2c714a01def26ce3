#pragma once

#include <QJsonDocument>
#include <QPoint>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

namespace tessaly::testing {

// Clicks with the mouse at point of the page in view, as the user would.
inline void ClickAt(QWebEngineView* view, const QPoint& point) {
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    QTest::mouseClick(target, Qt::LeftButton, {}, point);
}

// Clicks with the mouse, as the user would, the middle of the first element
// of the page in view that matches selector (inside a frame: the frame's
// middle). False when the page has no such element within timeoutMs.
inline bool ClickElement(QWebEngineView* view, const QString& selector, int timeoutMs = 10000) {
    const QString script =
        QStringLiteral(
            "(function () { var e = document.querySelector(%1); if (!e) return null;"
            " e.scrollIntoView({block: 'center'}); var r = e.getBoundingClientRect();"
            " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
            .arg(QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{selector})
                                       .toJson(QJsonDocument::Compact)
                                       .chopped(1)
                                       .mid(1)));
    // Shared with the callback, which may still come after a time-out.
    struct Answer {
        bool given = false;
        QVariantList xy;
    };
    const auto answer = std::make_shared<Answer>();
    view->page()->runJavaScript(script, [answer](const QVariant& result) {
        answer->xy = result.toList();
        answer->given = true;
    });
    const QVariantList& xy = answer->xy;
    if (!QTest::qWaitFor([&] { return answer->given; }, timeoutMs) || xy.size() != 2) {
        return false;
    }
    ClickAt(view, QPoint(xy[0].toInt(), xy[1].toInt()));
    return true;
}

// What script returns in the page in view, or an invalid QVariant when it
// gives no answer within timeoutMs.
inline QVariant RunScript(QWebEngineView* view, const QString& script, int timeoutMs = 30000) {
    // Shared with the callback, which may still come after a time-out.
    struct Answer {
        bool given = false;
        QVariant value;
    };
    const auto answer = std::make_shared<Answer>();
    view->page()->runJavaScript(script, [answer](const QVariant& result) {
        answer->value = result;
        answer->given = true;
    });
    if (!QTest::qWaitFor([&] { return answer->given; }, timeoutMs)) {
        qWarning("script did not finish: %s", qPrintable(script));
    }
    return answer->value;
}

// The title of the page in view once it satisfies done, or an empty string
// after timeoutMs. Test pages count what their scripts did in their title.
template <class Done>
QString WaitForTitle(QWebEngineView* view, Done done, int timeoutMs = 30000) {
    return QTest::qWaitFor([&] { return done(view->title()); }, timeoutMs) ? view->title()
                                                                           : QString();
}

}  // namespace tessaly::testing
