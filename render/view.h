// The view transform the window keeps and hands to every frame: a rotation
// as a unit quaternion (x, y, z, w; w the scalar part) and a pan.
#pragma once

#include <array>

namespace Tavrin {

struct View {
  std::array<float, 4> rotation{0, 0, 0, 1};
  // x and y in units of the frustum's half width and half height at the near
  // plane (so a drag across the window moves the model with the pointer);
  // z in model units.
  std::array<float, 3> pan{0, 0, 0};
};

}  // namespace Tavrin
