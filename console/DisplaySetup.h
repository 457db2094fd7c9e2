#pragma once
// How the console talks to the display, settled before the application object exists.

namespace corvane::console {

// Call before constructing the QApplication. On X11 the console sends its pixels in the
// requests themselves instead of through memory shared with the X server. In RUN a frame
// repaints a few LEDs of a few hundred bytes each; with shared memory Qt must first wait,
// one round trip to the server, until the server has read the previous frame out of the
// segment, and that wait cost the console more than all its painting (and woke it a few
// hundred extra times a second). A setting of QT_XCB_NO_MITSHM in the environment is kept.
void PrepareDisplay();

}  // namespace corvane::console
