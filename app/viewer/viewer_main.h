// Interactive mode: the viewer's windows, the mesh and the event loop.
#pragma once

namespace Tavrin {

// Runs the viewer with argv[1] as the mesh to show (the default model when
// there is none or it cannot be read). Returns the process exit status: 0
// when the event loop ends, non-zero (after one line on standard error
// telling how to run under a virtual display) when no display can be
// opened. Quitting from inside the loop ends the process with status 0.
int run_viewer(int argc, char** argv);

}  // namespace Tavrin
