// Four plane quadrics per call with 4-lane float and 2-lane double vectors
// (the compiler's generic vectors; plain SSE2 on x86-64).
#include "hashuc/plane_quadric4.h"

#include <emmintrin.h>

namespace Tavrin {

namespace {

typedef float F4 __attribute__((vector_size(16)));
typedef float F2 __attribute__((vector_size(8)));
typedef double D2 __attribute__((vector_size(16)));
typedef int I4 __attribute__((vector_size(16)));

// sqrt(x*x + y*y + z*z) in double from float lanes, rounded back to float.
F4 lengthInDouble(F4 x, F4 y, F4 z) {
  auto half = [](F4 v, int h) -> D2 {
    const F2 two =
        h == 0 ? __builtin_shufflevector(v, v, 0, 1) : __builtin_shufflevector(v, v, 2, 3);
    return __builtin_convertvector(two, D2);
  };
  F2 out[2];
  for (int h = 0; h < 2; ++h) {
    const D2 dx = half(x, h), dy = half(y, h), dz = half(z, h);
    const D2 sum = dx * dx + dy * dy + dz * dz;
    out[h] = __builtin_convertvector(static_cast<D2>(_mm_sqrt_pd(static_cast<__m128d>(sum))), F2);
  }
  return __builtin_shufflevector(out[0], out[1], 0, 1, 2, 3);
}

}  // namespace

void trianglePlaneQuadrics4(const Vec3* const corners[4], float eps, PlaneQuadric out[4]) {
  F4 p[3][3];  // p[corner][axis], one triangle per lane
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 4; ++i) {
      p[c][0][i] = corners[i][c].x;
      p[c][1][i] = corners[i][c].y;
      p[c][2][i] = corners[i][c].z;
    }
  const F4 e1x = p[1][0] - p[0][0], e1y = p[1][1] - p[0][1], e1z = p[1][2] - p[0][2];
  const F4 e2x = p[2][0] - p[0][0], e2y = p[2][1] - p[0][1], e2z = p[2][2] - p[0][2];
  const F4 Nx = e1y * e2z - e1z * e2y;
  const F4 Ny = e1z * e2x - e1x * e2z;
  const F4 Nz = e1x * e2y - e1y * e2x;
  const F4 len = lengthInDouble(Nx, Ny, Nz);
  const F4 w = len / 6.0f;
  const I4 keep = eps < w;  // all ones where the triangle counts
  const F4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
  const F4 nx = keep ? Nx / len : zero;
  const F4 ny = keep ? Ny / len : zero;
  const F4 nz = keep ? Nz / len : zero;
  const F4 d = -((nx * p[0][0] + ny * p[0][1]) + nz * p[0][2]);
  const F4 t[10] = {w * nx * nx, w * nx * ny, w * nx * nz, w * ny * ny, w * ny * nz,
                    w * nz * nz, w * d * d,   w * d * nx,  w * d * ny,  w * d * nz};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 10; ++k) out[i].t[k] = t[k][i];
}

}  // namespace Tavrin
