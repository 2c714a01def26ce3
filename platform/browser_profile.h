#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;

namespace tessaly::wap {
class RenderedDecks;
}

namespace tessaly {

// The browser profile of the program folder. Cookies and cache live in
// Data\Browser, so logins to WAP sites survive a restart. Without a Data
// folder the profile keeps everything in memory: the program never creates
// that folder itself. The built-in site records the decks it renders in
// decks, when given; it must outlive the profile.
QWebEngineProfile* CreateBrowserProfile(const QString& programFolder, QObject* parent,
                                        wap::RenderedDecks* decks = nullptr);

}  // namespace tessaly
