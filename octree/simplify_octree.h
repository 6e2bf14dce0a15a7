// The octree simplifier: builds (or reuses) the object's octree and
// decimates the mesh with a maximum quadric error.
#pragma once

#include <memory>

#include "mesh/object.h"

namespace Tavrin {

// Simplifies object.full when present, else the object. max_error is in the
// units of the mesh mapped into the unit cube. The octree is kept in the
// object for the next run on the same mesh, and the object receives the
// per-node fields "error qef" and "error dist". No object (with a message)
// when the mesh has no nodes, the octree cannot be built or nothing is left.
std::unique_ptr<Object> simplify_octree(Object& object, float max_error);

}  // namespace Tavrin
