#include "site_preferences.h"

#include <QWebEngineUrlRequestInfo>
#include <algorithm>

#include "user_charset.h"

namespace tessaly {

const QList<double> SitePreferences::ZoomSteps = {0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                                  1.25, 1.5,  1.75, 2.0, 2.5, 3.0};

const QStringList SitePreferences::Encodings = {QString(),
                                                QStringLiteral("UTF-8"),
                                                QStringLiteral("GBK"),
                                                QStringLiteral("Big5"),
                                                QStringLiteral("ISO-8859-1"),
                                                QStringLiteral("Windows-1251"),
                                                QStringLiteral("KOI8-R")};

double SitePreferences::Zoom(const QUrl& page) const {
    return zoom_.value(Site(page), 1.0);
}

double SitePreferences::StepZoom(const QUrl& page, int steps) {
    const double now = Zoom(page);
    double next = now;
    if (steps > 0) {
        const auto larger = std::upper_bound(ZoomSteps.begin(), ZoomSteps.end(), now + 0.001);
        next = larger == ZoomSteps.end() ? ZoomSteps.last() : *larger;
    } else if (steps < 0) {
        const auto smaller = std::lower_bound(ZoomSteps.begin(), ZoomSteps.end(), now - 0.001);
        next = smaller == ZoomSteps.begin() ? ZoomSteps.first() : *(smaller - 1);
    }
    zoom_.insert(Site(page), next);
    return next;
}

void SitePreferences::ResetZoom(const QUrl& page) {
    zoom_.remove(Site(page));
}

QString SitePreferences::Encoding(const QUrl& page) const {
    std::lock_guard lock(encodingMutex_);
    return encoding_.value(Site(page));
}

void SitePreferences::SetEncoding(const QUrl& page, const QString& encoding) {
    std::lock_guard lock(encodingMutex_);
    if (encoding.isEmpty() || !Encodings.contains(encoding)) {
        encoding_.remove(Site(page));
    } else {
        encoding_.insert(Site(page), encoding);
    }
}

void SitePreferences::interceptRequest(QWebEngineUrlRequestInfo& info) {
    // Only plain http passes the gateway, which takes the header off; a
    // site reached over https reads the page's own setting instead.
    if (info.requestUrl().scheme() != QLatin1String("http")) {
        return;
    }
    const QString encoding = Encoding(info.requestUrl());
    if (!encoding.isEmpty()) {
        info.setHttpHeader(wap::UserCharsetHeader, encoding.toLatin1());
    }
}

}  // namespace tessaly
