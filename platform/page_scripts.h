#pragma once

#include <QString>

namespace tessaly {

// Small scripts the pane runs in the page, in a world of their own (the
// page's scripts cannot see or change them). Each returns a plain value.

// Follows the visible element whose accesskey is `digit` (1 to 9), as a
// phone's keypad did: a link or button is clicked, a field is focused.
// Returns whether there was one.
QString AccessKeyScript(int digit);

// Presses the soft key `index` (0 for the left, 1 for the right) of the WML
// card shown: its first or second `do` button. Returns whether there was one.
QString SoftKeyScript(int index);

// What the page itself knows of its document, as a JSON object: title,
// contentType, characterSet, bytes (as it came, when the engine knows), and
// for a WML deck the number of cards and the card shown.
QString PageFactsScript();

// Replaces the whole document shown with `html` (a page of the program's
// own, never a site's), keeping the address and the history as they are.
QString ReplaceDocumentScript(const QString& html);

// Runs `script` only in the engine's own error page; returns whether it did.
QString ErrorPageScript(const QString& script);

// Installed in every page: Backspace, when no field or editable part of the
// page has the focus and the page did not take the key, goes back.
QString BackspaceScript();

}  // namespace tessaly
