// Camera arithmetic; see camera.h.
#include "render/camera.h"

#include <cmath>

namespace Tavrin {

namespace {

bool usable(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

float model_size_of(const Object& object) {
  if (object.num_nodes() == 0) return 2.0f;
  const Box b = object.box();
  double dx = double{b.max.x} - b.min.x, dy = double{b.max.y} - b.min.y,
         dz = double{b.max.z} - b.min.z;
  double d = std::sqrt(dx * dx + dy * dy + dz * dz);
  // Ten times the size (the eye distance) plus the far margin must fit a
  // float, and the size must not vanish as a float.
  if (!usable(d) || d < 1e-30 || d > 1e36) return 2.0f;
  return static_cast<float>(d);
}

Frustum camera_frustum(float model_size, float zoom, float eye_distance, float aspect) {
  double size = usable(model_size) ? model_size : 2.0;
  double z = usable(zoom) ? zoom : 1.0;
  double eye = usable(eye_distance) ? eye_distance : 10.0 * size;
  double a = usable(aspect) ? aspect : 1.0;
  double c = size * z;
  Frustum f;
  f.left = -c * a;
  f.right = c * a;
  f.bottom = -c;
  f.top = c;
  f.eye = eye;
  f.near_plane = eye - 1.5 * size;
  f.far_plane = eye + 1.5 * size;
  // An eye inside the model's reach would put the near plane at or behind
  // the eye; keep a thin positive near plane in front of it instead.
  if (!(f.far_plane > 0.0)) f.far_plane = 3.0 * size;
  if (!(f.near_plane > 0.0)) f.near_plane = f.far_plane * 1e-4;
  return f;
}

float zoom_step(float zoom, float factor) {
  float d = zoom * factor;
  if (d > 0 && zoom < 10 - d) return zoom + d;
  if (d < 0 && zoom > 0.0001f - d) return zoom + d;
  return zoom;
}

}  // namespace Tavrin
