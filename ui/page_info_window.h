#pragma once

#include <QDialog>
#include <optional>

#include "browser_pane.h"
#include "page_details.h"

namespace tessaly {

// "页面信息": the address, title, content type as the site sent it, the
// encoding used, the size, and for a deck its card count and the card
// shown. Every value is shown as text, never read as markup.
class PageInfoWindow : public QDialog {
    Q_OBJECT

public:
    PageInfoWindow(const PageFacts& facts, const std::optional<SentDocument>& sent, QWidget* owner);

    // The rows shown, label and value, in order (for the tests).
    QList<QPair<QString, QString>> Rows() const { return rows_; }

    // A size in bytes as the window shows it: "1,234 字节（1.2 KB）".
    static QString SizeText(qint64 bytes);

private:
    QList<QPair<QString, QString>> rows_;
};

}  // namespace tessaly
