#pragma once

class QCoreApplication;

namespace tessaly {

// What the web engine needs before the application object is created: the
// start page's URL scheme, shared GL contexts, and, when running as root,
// Chromium's sandbox turned off (Chromium refuses to start as root with it on),
// and with it the zygote processes that only serve the sandbox.
void PrepareWebEngine();

// Chinese for Qt's own dialogs and the browser's context menu.
void InstallChineseTranslations(QCoreApplication& app);

}  // namespace tessaly
