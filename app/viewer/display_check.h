// Whether an X display can be opened, asked before the toolkit touches it:
// the toolkit ends the process with its own terse message when it cannot.
#pragma once

namespace Tavrin {

// True when the display named by DISPLAY opens (it is closed again at once).
bool display_available();

}  // namespace Tavrin
