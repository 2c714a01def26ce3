#pragma once

#include <QWebEngineUrlSchemeHandler>

namespace tessaly::wap {
class RenderedDecks;
}

namespace tessaly {

// The built-in start page and its sample WAP site are served from the
// program's resources under its own URL scheme, so they work offline:
// tessaly://start/index.html is the resource :/start/index.html.
inline constexpr char StartPageScheme[] = "tessaly";
// The one host of the scheme; nothing is served under any other.
inline constexpr char StartPageHost[] = "start";

// Must run before the application object exists.
void RegisterStartPageScheme();

class StartPageSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;

    // The record of documents rendered from WML decks (.wml files of the
    // sample site are converted on the way); it must outlive the handler.
    void SetRenderedDecks(wap::RenderedDecks* decks) { renderedDecks_ = decks; }

private:
    wap::RenderedDecks* renderedDecks_ = nullptr;
};

}  // namespace tessaly
