#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace tessaly {

// The dialogs a page (a WMLScript's Dialogs library, or a site's script)
// asks for, as the program's own Chinese dialogs. The text is a site's: it
// is shown as plain text, cut to a readable length.
void ShowPageAlert(QWidget* parent, const QUrl& page, const QString& text);
bool AskPageConfirm(QWidget* parent, const QUrl& page, const QString& text);
// The text the user gave, or nothing when the dialog was cancelled.
std::optional<QString> AskPagePrompt(QWidget* parent, const QUrl& page, const QString& text,
                                     const QString& defaultText);

}  // namespace tessaly
