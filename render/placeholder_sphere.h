// The sphere shown in place of an object without nodes, so that an empty
// scene still shows the drawing style and the camera.
#pragma once

#include <cstdint>

namespace Tavrin {

// Draws a sphere of radius 10 at the origin in `draw_style`: 1 wire (10
// slices, 10 stacks), 2 solid (20, 10), 3 a black wire over the solid one
// pushed back by a polygon offset; 0 logs "Drawing nothing.\n".
void draw_placeholder_sphere(int32_t draw_style);

}  // namespace Tavrin
