// The message sink of interactive mode: logged text to the output window,
// state messages to the status bar with an immediate redraw, message boxes
// to the toolkit's modal dialog, busy events to the bar's star.
#pragma once

#include "base/messages.h"

namespace Tavrin {

struct Application;

// A sink that sends every route to the viewer of `app`, which must outlive
// the sink's installation and be made on the thread that runs the windows.
// Log messages arriving without a status bar, and log and status messages
// from other threads, go to standard output.
MessageSink make_viewer_sink(Application& app);

}  // namespace Tavrin
