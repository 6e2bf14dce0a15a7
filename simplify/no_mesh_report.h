// The line that says why a batch run produced no mesh: the nodes' box could
// not be cut into cells, or plainly that there is no mesh.
#pragma once

#include <string>

namespace Tavrin {

class Object;

// Says in one line that the simplification produced no mesh and nothing was
// written, naming the nodes' bounding box when it cannot be divided into
// cells. `source` is the mesh the in-memory road read; the streamed road
// passes none, and the nodes are read again from `file` in blocks.
void report_no_mesh(const Object* source, const std::string& file);

}  // namespace Tavrin
