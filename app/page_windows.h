#pragma once

#include "page_details.h"

class QWebEngineProfile;
class QWidget;

namespace tessaly {

class BrowserPane;

// Opens 页面信息 and 查看源代码 for the page the pane shows when the user
// asks (context menu or key), owned by `owner`. What a site sent for a
// converted page comes from `sent`.
void ConnectPageWindows(BrowserPane* pane, QWidget* owner, QWebEngineProfile* profile,
                        SentDocumentLookup sent);

}  // namespace tessaly
