// The batch run: read one PLY file, simplify it once, write the GiD pair.
#pragma once

#include "app/batch_request.h"

namespace Tavrin {

// Runs what the command line asked for. Returns the exit status: 0 when the
// files were written, non-zero after any failure (each failure prints one
// line first).
int batch_run(const BatchRequest& request);

}  // namespace Tavrin
