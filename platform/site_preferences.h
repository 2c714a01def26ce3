#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <mutex>

class QWebEngineProfile;

namespace tessaly {

// What the user chose for a site during this run: its zoom and, for a site
// that declares no encoding, the encoding its pages are read in. Nothing is
// kept past the end of the run. A site is its host.
class SitePreferences : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    // The zoom steps Ctrl+plus and Ctrl+minus move through.
    static const QList<double> ZoomSteps;
    // The encodings the user may choose, as the WAP gateway names them;
    // the first, empty, is automatic.
    static const QStringList Encodings;

    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    double Zoom(const QUrl& page) const;
    // The next zoom step in or out (steps = +1 or -1) from the site's, kept for the site.
    double StepZoom(const QUrl& page, int steps);
    void ResetZoom(const QUrl& page);

    // The chosen encoding of the page's site, or empty for automatic.
    QString Encoding(const QUrl& page) const;
    // Unknown names are taken as automatic.
    void SetEncoding(const QUrl& page, const QString& encoding);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    static QString Site(const QUrl& page) { return page.host().toLower(); }

    QHash<QString, double> zoom_;
    // Asked from the engine's request path as well as by the pane.
    mutable std::mutex encodingMutex_;
    QHash<QString, QString> encoding_;
};

}  // namespace tessaly
