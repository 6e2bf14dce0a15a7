// The weighted plane quadrics of four triangles at once. Lane by lane the
// operations are those of trianglePlaneQuadric, in the same order and the
// same precision (the normal's length in double), so every result is bit
// for bit the one the single-triangle form gives: IEEE arithmetic rounds a
// vector lane exactly as it rounds a scalar, and the build never contracts
// products into fused multiply-adds.
#pragma once

#include "hashuc/qef.h"

namespace Tavrin {

// corners[i] points to the three normalised corners of triangle i (0..3).
void trianglePlaneQuadrics4(const Vec3* const corners[4], float eps, PlaneQuadric out[4]);

}  // namespace Tavrin
