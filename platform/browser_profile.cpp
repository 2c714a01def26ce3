#include "browser_profile.h"

#include <QDir>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "qt_paths.h"
#include "start_page_scheme.h"

namespace tessaly {

QWebEngineProfile* CreateBrowserProfile(const QString& programFolder, QObject* parent,
                                        wap::RenderedDecks* decks) {
    const QString dataFolder = ProgramFilePath(programFolder, "\\Data");
    QWebEngineProfile* profile = nullptr;
    if (QDir(dataFolder).exists()) {
        profile = new QWebEngineProfile(QStringLiteral("Tessaly"), parent);
        const QString storage = ProgramFilePath(programFolder, "\\Data\\Browser");
        profile->setPersistentStoragePath(storage);
        profile->setCachePath(ProgramFilePath(programFolder, "\\Data\\Browser\\Cache"));
        // Cookies as the engine keeps them: a site's session cookies end with
        // the program, its lasting ones stay in the folder.
    } else {
        profile = new QWebEngineProfile(parent);
    }
    profile->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh;q=0.9,en;q=0.6"));
    // A page opened from disk gets what a local file gets in a browser: it
    // may show the files it names, never read them (the engine would let it).
    profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    auto* site = new StartPageSchemeHandler(profile);
    site->SetRenderedDecks(decks);
    profile->installUrlSchemeHandler(StartPageScheme, site);
    return profile;
}

}  // namespace tessaly
