#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;

namespace tessaly {

// The browser profile of the program folder. Cookies and cache live in
// Data\Browser, so logins to WAP sites survive a restart. Without a Data
// folder the profile keeps everything in memory: the program never creates
// that folder itself.
QWebEngineProfile* CreateBrowserProfile(const QString& programFolder, QObject* parent);

}  // namespace tessaly
