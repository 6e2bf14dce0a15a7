// The display check, alone in its file: Xlib's macros (Status, None, Bool)
// clash with names elsewhere in the viewer.
#include "app/viewer/display_check.h"

#include <X11/Xlib.h>

namespace Tavrin {

bool display_available() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace Tavrin
