// Between the library's plain arrays and the program's Object: a view
// becomes the Object the drivers and writers take, an Object becomes the
// arrays a caller owns.
#pragma once

#include <memory>

#include "mesh/object.h"
#include "tavrin/tavrin.h"

namespace tavrin::detail {

// An Object holding a copy of a view that check_mesh accepts: triangles in
// order with tag 0, lines numbered by their place, the fields as given (no
// field is added). Its name stays empty.
std::unique_ptr<Tavrin::Object> object_from_view(const MeshView& view);

// The arrays of an Object (its own nodes, not its full mesh).
Mesh mesh_from_object(const Tavrin::Object& object);

}  // namespace tavrin::detail
