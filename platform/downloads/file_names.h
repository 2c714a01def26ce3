#pragma once

#include <QString>
#include <functional>

namespace tessaly {

// The longest file name the downloads write, in bytes of UTF-8. Leaves room
// for " (99).part" within the 255 bytes most file systems allow.
inline constexpr int MaxFileNameBytes = 200;

// Reduces a name proposed by a server or a page to a plain file name that is
// safe on every desktop: no folders (only what follows the last / or \), no
// control or direction-override characters, none of < > : " | ? *, no leading
// dots, no trailing dots or spaces, never a device name reserved on Windows
// (con, prn, aux, nul, com1-9, lpt1-9, with or without an extension) and at
// most MaxFileNameBytes of UTF-8 with the extension kept. A name with nothing
// left becomes "download".
QString SafeFileName(const QString& proposed);

// "game.jar" numbered n: "game (n).jar", shortened so it stays within
// MaxFileNameBytes. Number 0 is the name itself.
QString NumberedFileName(const QString& fileName, int n);

// The first of folder/name, folder/"name (1)", folder/"name (2)"... for which
// neither the path nor the path with ".part" is taken; a name numbered
// already, "name (2)", goes on with "name (3)". An empty string when
// thousands of numbers are all taken.
QString FreeFilePath(const QString& folder, const QString& fileName,
                     const std::function<bool(const QString& path)>& taken);

// The name a download is written under until it is complete.
QString PartialPath(const QString& finalPath);

}  // namespace tessaly
