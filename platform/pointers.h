#pragma once

#include <QCursor>

namespace tessaly {

// The program's own mouse pointers, from its resources.
QCursor ArrowPointer();     // over the main and About windows
QCursor LinkPointer();      // over controls that act as links
QCursor SiteLinkPointer();  // over the About window's site address

}  // namespace tessaly
