// Node normals for the normal-aware handlers: each node's normal is the sum
// of the unit normals of the triangles that use it, scaled to unit length.
// The sums are reproducible: every node belongs to one thread, which walks
// the triangles in order and sums the corners of its own nodes, so the
// result is the one a single thread walking the triangles would form.
// These sums stay apart from mesh/node_fields.h's add_node_normals, which
// both roads share for the object's normals: the handlers scale with
// unitLength (which leaves a vector of length 1 alone) rather than
// normalize (which leaves one whose absolute values sum to 1 alone), so
// one function would change the normal types' outputs; the streamed road
// takes none of those types.
#pragma once

#include <cstdint>
#include <vector>

#include "base/vec3.h"

namespace Tavrin {

// v scaled to unit length; a vector whose squared length is 0 or exactly 1
// (or not a number) is returned unchanged.
inline Vec3 unitLength(const Vec3& v) {
  const float len2 = dot(v, v);
  if (!(len2 > 0.0f) || len2 == 1.0f) return v;
  const float len = std::sqrt(len2);
  return {v.x / len, v.y / len, v.z / len};
}

// Fills `normals` with one normal per node. The unit normal of triangle
// (A, B, C) is (B - A) x (C - A) scaled to unit length. A corner naming a
// node outside 0 .. node_count-1 is ignored. Without nodes or triangles
// there are no normals: `normals` is left empty and the result is false.
bool computeNodeNormalSums(const float* coords, int64_t node_count, int32_t components,
                           const int32_t* triangles, int64_t triangle_count, int32_t stride,
                           std::vector<Vec3>& normals);

}  // namespace Tavrin
