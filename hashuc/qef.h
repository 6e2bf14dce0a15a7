// Quadric error functions of the clustering cells. Every triangle touching a
// cell adds the plane quadric of its supporting plane, weighted by a third of
// its area, for each of its corners in the cell; the cell is represented by
// the point minimising the summed quadric when that point lies in the cell,
// else by the mean of its corners (after Lindstrom 2000, "Out-of-core
// simplification of large polygonal models"). All positions are normalised.
#pragma once

#include <cmath>
#include <cstdint>

#include "base/vec3.h"
#include "hashuc/grid.h"

namespace Tavrin {

// Fourteen floats that follow the key in every quadric cell slot.
//   while accumulating: 0..5 a11 a12 a13 a22 a23 a33, 6 c, 7..9 b1 b2 b3,
//                       10..12 sum of corner positions, 13 corner count
//   after solveCell:    0 key as float, 1 status, 2 count, 3..6 zero,
//                       7, 8 output node number (high, low 16 bits; written
//                       by the output numbering), 9 b3, 10..12 point, 13 error
struct QefRecord {
  float v[14];
};
static_assert(sizeof(QefRecord) == 56, "QefRecord is 56 bytes");

// Solve outcomes, also written to the results file as "tipo" codes.
enum QefStatus : int {
  QEF_SOLVED = 0,        // minimiser inside the cell
  QEF_FEW_SAMPLES = 1,   // fewer than 3 corners: mean
  QEF_OUTSIDE_CELL = 2,  // minimiser outside the cell: mean
  QEF_NO_INVERSE = 3,    // determinant exactly 0 in double: mean
  QEF_SINGULAR = 4,      // |det| <= 1e-30: mean
};

// The ten weighted plane terms a triangle adds for each of its corners:
// w*nx*nx, w*nx*ny, w*nx*nz, w*ny*ny, w*ny*nz, w*nz*nz, w*d*d, w*d*nx,
// w*d*ny, w*d*nz (each product evaluated left to right in float).
struct PlaneQuadric {
  float t[10];
};

// Plane quadric of the triangle p0 p1 p2 (normalised positions): weight a
// third of the area; zero terms when the weight is not above eps. Inline:
// it runs once per triangle and cell in the accumulation.
inline PlaneQuadric trianglePlaneQuadric(const Vec3& p0, const Vec3& p1, const Vec3& p2,
                                         float eps) {
  const Vec3 e1 = p1 - p0;
  const Vec3 e2 = p2 - p0;
  // N = e1 x e2 component by component: (e1.y*e2.z - e1.z*e2.y, ...).
  const Vec3 N = cross(e1, e2);
  // |N| in double from the float components, then back to float.
  const float len =
      static_cast<float>(std::sqrt(static_cast<double>(N.x) * N.x + static_cast<double>(N.y) * N.y +
                                   static_cast<double>(N.z) * N.z));
  const float w = len / 6.0f;  // a third of the area |N| / 2
  Vec3 n(0.0f, 0.0f, 0.0f);    // a degenerate triangle adds nothing
  if (eps < w) n = Vec3(N.x / len, N.y / len, N.z / len);
  // d = -((nx*p0.x + ny*p0.y) + nz*p0.z)
  const float d = -dot(n, p0);
  PlaneQuadric q;
  q.t[0] = w * n.x * n.x;
  q.t[1] = w * n.x * n.y;
  q.t[2] = w * n.x * n.z;
  q.t[3] = w * n.y * n.y;
  q.t[4] = w * n.y * n.z;
  q.t[5] = w * n.z * n.z;
  q.t[6] = w * d * d;
  q.t[7] = w * d * n.x;
  q.t[8] = w * d * n.y;
  q.t[9] = w * d * n.z;
  return q;
}

// Adds one corner: the plane terms to fields 0..9, the corner to 10..12 and 1
// to the count. Field by field, in that order.
inline void addCorner(QefRecord& r, const PlaneQuadric& q, const Vec3& corner) {
  for (int i = 0; i < 10; ++i) r.v[i] += q.t[i];
  r.v[10] += corner.x;
  r.v[11] += corner.y;
  r.v[12] += corner.z;
  r.v[13] += 1.0f;
}

// Folds a whole triangle into the records of its three corners' cells, corner
// 0, 1, 2 in order (the records may coincide).
void accumulateTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, QefRecord& r0,
                        QefRecord& r1, QefRecord& r2, float eps);

// Solves a cell: returns 1 when solved (count >= 1), 0 when skipped, and
// rewrites the record into its solved form.
int solveCell(QefRecord& r, uint64_t key, const ClusterGrid& grid);

// Sub-cluster form: the count is given; field 0 gets the sub-cluster key,
// field 2 the count, field 3 the cell key (sub-key >> 3), field 4 the octant
// (sub-key & 7), fields 5 and 6 zero.
int solveCell(QefRecord& r, uint64_t subkey, int count, const ClusterGrid& grid);

// Output node number kept in fields 7 and 8 of a solved record.
inline void setNodeNumber(float* high_low, int32_t j) {
  high_low[0] = static_cast<float>(j / 65536);
  high_low[1] = static_cast<float>(j % 65536);
}
inline int32_t nodeNumber(const float* high_low) {
  return static_cast<int32_t>(high_low[0]) * 65536 + static_cast<int32_t>(high_low[1]);
}

// 4x4 helpers shared with the octree's own solve.
// Determinant by cofactor expansion in float.
float determinant4(const float m[16]);
// Inverse by cofactors (adjugate / determinant, the determinant recomputed in
// double from the cofactors); false when that determinant is exactly 0.
bool invert4(const float m[16], float inv[16]);
// v^T Q v with v = (p, 1), Q row-major 4x4, evaluated in float.
float quadricError4(const float q[16], const Vec3& p);

// v^T Q v with v = (head[0] .. head[n-2], 1), Q row-major n x n, in float:
// r_i = ((q[i][0]*v0 + q[i][1]*v1) + ...) + q[i][n-1]*1 for every row, then
// e = ((v0*r_0 + v1*r_1) + ...) + 1*r_{n-1}, all left to right.
float quadricErrorN(const float* q, const float* head, int n);

// The full quadric Q = [A b; b^T c] of an accumulating record, row-major.
void recordQuadric(const QefRecord& r, float q[16]);

// Minimiser of the quadric q (row-major 4x4, as from recordQuadric) for the
// cell of `key`: M = q with its last row replaced by (0 0 0 1); status 4
// when |determinant4(M)| <= 1e-30f or NaN, 3 when invert4 fails, else p =
// the first three entries of the last column of M^-1 and status 0 when
// grid.contains(key, p), 2 otherwise. p is written only for status 0 and 2.
QefStatus minimiseQuadric4(const float q[16], uint64_t key, const ClusterGrid& grid, Vec3& p);

}  // namespace Tavrin
