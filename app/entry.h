// The three roads of the program: usage text, batch run, interactive mode.
#pragma once

namespace Tavrin {

// Chooses the road from the arguments (program path first) and runs it;
// returns the process exit status.
int run_program(int argc, char** argv);

}  // namespace Tavrin
