#pragma once

class QWidget;

namespace tessaly {

// Makes a top-level window publish no name to the window manager, as a window
// with an empty caption should. On X11 Qt never leaves a title empty: it
// publishes the application's name instead, which task switchers then list.
// Creates the native window if it does not exist yet; call it before the
// window is first shown. Does nothing on other display systems.
void PublishNoWindowName(QWidget* window);

}  // namespace tessaly
