// Process-wide state that several subsystems consult.
#pragma once

namespace Tavrin {

// True during a batch run: every message then goes to standard output.
extern bool batch_mode;

// Hash-table space factor from the command line or the menu; 0 means
// "none given" and each table then uses its own default.
extern float load_factor;

}  // namespace Tavrin
