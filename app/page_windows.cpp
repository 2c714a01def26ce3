#include "page_windows.h"

#include <QPointer>
#include <QWebEngineView>

#include "browser_pane.h"
#include "page_info_window.h"
#include "source_window.h"

namespace tessaly {

void ConnectPageWindows(BrowserPane* pane, QWidget* owner, QWebEngineProfile* profile,
                        SentDocumentLookup sent) {
    QObject::connect(pane, &BrowserPane::PageInfoRequested, owner, [pane, owner, sent] {
        QPointer<QWidget> window(owner);
        pane->ReadPageFacts([window, sent](const PageFacts& facts) {
            if (!window) {
                return;
            }
            auto* info = new PageInfoWindow(facts, sent(facts.address), window);
            info->show();
        });
    });
    QObject::connect(pane, &BrowserPane::SourceRequested, owner, [pane, owner, profile, sent] {
        const QUrl address = pane->View()->url();
        const std::optional<SentDocument> document = sent(address);
        SourceWindow* window = document && !document->source.isEmpty()
                                   ? SourceWindow::ForText(address, document->source, owner)
                                   : SourceWindow::ForPage(address, profile, owner);
        window->show();
    });
}

}  // namespace tessaly
