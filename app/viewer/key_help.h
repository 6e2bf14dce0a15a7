// The key and mouse help written to the output window.
#pragma once

namespace Tavrin {

// Logs the help lines (keys, mouse buttons in the window and on the status
// bar) between two rules of dashes.
void print_key_help();

}  // namespace Tavrin
