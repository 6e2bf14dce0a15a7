// Drawing one Object in the current GL context, centred on its bounding-box
// centre, with its render method, draw style, face culling, scalar colouring
// and bounding box. Its RenderArrays are built on the first draw and kept in
// Object::graphic until dropped. Colour, lighting and line width are the
// caller's (Scene::draw_objects).
#pragma once

#include <cstdint>

#include "mesh/object.h"

namespace Tavrin {

// Draws the object; an object without nodes shows the placeholder sphere.
// Builds the RenderArrays lazily (with the usable render method, stored back
// into render_method) and the colour map when draw_scalar is set.
void draw_object(Object& object);

// An operation changed the mesh: the arrays are rebuilt on the next draw.
void drop_graphic(Object& object);

// Releases the arrays and the colour map and stores the usable method for
// `method` (buffer objects or vertex arrays fall back to display lists when
// the driver lacks them). Returns the method stored.
int32_t set_render_method(Object& object, int32_t method);

// Builds the arrays for the object now (nodes, normals, line and triangle
// index lists; elements naming a node that does not exist are left out).
// Null for an object without nodes.
class RenderArrays;
RenderArrays* build_graphic(Object& object);

}  // namespace Tavrin
