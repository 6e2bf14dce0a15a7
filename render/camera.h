// The camera's numbers, kept apart from the GL calls: how big the model is,
// where the eye sits, and the perspective frustum of a frame.
#pragma once

#include "mesh/object.h"

namespace Tavrin {

// The size a model is framed by: the length of its bounding-box diagonal
// when it has nodes and that length is a usable positive number, else 2
// (no nodes, a single point, a box that was never computed, or one so large
// that the eye distance would overflow a float).
float model_size_of(const Object& object);

struct Frustum {
  double left, right, bottom, top, near_plane, far_plane;
  double eye;  // distance of the eye from the origin it looks at
};

// The perspective frustum for a model of `model_size` seen from
// `eye_distance` at `zoom` (the half height at the near plane in model
// sizes). The near plane always stays positive and the frustum non-empty,
// whatever the inputs; a non-positive or non-finite aspect counts as 1.
Frustum camera_frustum(float model_size, float zoom, float eye_distance, float aspect);

// The zoom after one step of `factor` (+0.1 or -0.1 from the keys and the
// wheel): moves by zoom x factor while the result stays below 10 and above
// 0.0001, else stays.
float zoom_step(float zoom, float factor);

}  // namespace Tavrin
