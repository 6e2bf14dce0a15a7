// Quadric error functions of the clustering cells: the accumulation of a
// triangle into the cell records (its weighted plane quadric is inline in
// qef.h) and the solve of a cell for the point minimising its summed quadric.
//
// The idea: the minimiser solves A p = -b, which is the last column of the
// inverse of M = [A b; 0 0 0 1]. The inverse is formed in closed form from
// the sixteen cofactors, so millions of cells solve without loops or
// pivoting. When the minimiser is unreliable (too few corners, a near-zero
// determinant, no inverse) or leaves the cell, the cell falls back to the
// mean of its corners.
//
// Every floating-point expression below is written in a fixed, plain order
// (left to right, float unless noted) so that an independent implementation
// can reproduce the results bit for bit. The build uses ISO C++ without
// -ffast-math, so the compiler neither reassociates nor contracts into fused
// multiply-adds.

#include "hashuc/qef.h"

#include <cmath>

namespace Tavrin {

void accumulateTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, QefRecord& r0,
                        QefRecord& r1, QefRecord& r2, float eps) {
  const PlaneQuadric q = trianglePlaneQuadric(p0, p1, p2, eps);
  addCorner(r0, q, p0);
  addCorner(r1, q, p1);
  addCorner(r2, q, p2);
}

// ---------------------------------------------------------------------------
// 4x4 closed-form routines. A matrix is 16 floats, row-major: m[4*row + col].
//
// minor(r, c) is the determinant of the 3x3 matrix left after deleting row r
// and column c, whose rows r0 < r1 < r2 and columns c0 < c1 < c2 keep their
// order:
//     | a b k |
//     | d e f |   minor = ((a*(e*i - f*h)) - (b*(d*i - f*g))) + (k*(d*h - e*g))
//     | g h i |
// in float, each product rounded, each parenthesis evaluated before the next.
// cofactor(r, c) = minor(r, c) when r + c is even, -minor(r, c) when odd.
// ---------------------------------------------------------------------------

namespace {

float minor3(const float m[16], int r, int c) {
  int rows[3], cols[3];
  for (int i = 0, k = 0; i < 4; ++i)
    if (i != r) rows[k++] = i;
  for (int j = 0, k = 0; j < 4; ++j)
    if (j != c) cols[k++] = j;
  auto at = [&](int i, int j) { return m[4 * rows[i] + cols[j]]; };
  const float a = at(0, 0), b = at(0, 1), k = at(0, 2);
  const float d = at(1, 0), e = at(1, 1), f = at(1, 2);
  const float g = at(2, 0), h = at(2, 1), i = at(2, 2);
  const float t0 = e * i - f * h;
  const float t1 = d * i - f * g;
  const float t2 = d * h - e * g;
  return a * t0 - b * t1 + k * t2;
}

float cofactor(const float m[16], int r, int c) {
  const float minor = minor3(m, r, c);
  return ((r + c) & 1) ? -minor : minor;
}

}  // namespace

// det = ((m[0]*C00 + m[1]*C01) + m[2]*C02) + m[3]*C03 in float: expansion
// along the first row with the float cofactors above.
float determinant4(const float m[16]) {
  float det = m[0] * cofactor(m, 0, 0);
  for (int j = 1; j < 4; ++j) det += m[j] * cofactor(m, 0, j);
  return det;
}

// All sixteen cofactors C(r, c) in float as above. The determinant is
// recomputed from the first row in double:
//   det = (((double)m[0]*(double)C00 + (double)m[1]*(double)C01)
//          + (double)m[2]*(double)C02) + (double)m[3]*(double)C03.
// det == 0 exactly fails. Otherwise inv[4*r + c] = (float)((double)C(c, r) / det):
// the adjugate (transposed cofactors) divided by det in double, one rounding
// to float per entry.
bool invert4(const float m[16], float inv[16]) {
  float C[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) C[4 * r + c] = cofactor(m, r, c);
  double det = static_cast<double>(m[0]) * static_cast<double>(C[0]);
  for (int j = 1; j < 4; ++j) det += static_cast<double>(m[j]) * static_cast<double>(C[j]);
  if (det == 0.0) return false;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      inv[4 * r + c] = static_cast<float>(static_cast<double>(C[4 * c + r]) / det);
  return true;
}

float quadricErrorN(const float* q, const float* head, int n) {
  float e = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float vi = i < n - 1 ? head[i] : 1.0f;
    float row = q[n * i] * head[0];
    for (int j = 1; j < n; ++j) row += q[n * i + j] * (j < n - 1 ? head[j] : 1.0f);
    e = i == 0 ? vi * row : e + vi * row;
  }
  return e;
}

float quadricError4(const float q[16], const Vec3& p) {
  const float head[3] = {p.x, p.y, p.z};
  return quadricErrorN(q, head, 4);
}

void recordQuadric(const QefRecord& r, float q[16]) {
  const float* v = r.v;
  const float rows[16] = {v[0], v[1], v[2], v[7],  //
                          v[1], v[3], v[4], v[8],  //
                          v[2], v[4], v[5], v[9],  //
                          v[7], v[8], v[9], v[6]};
  for (int i = 0; i < 16; ++i) q[i] = rows[i];
}

QefStatus minimiseQuadric4(const float q[16], uint64_t key, const ClusterGrid& grid, Vec3& p) {
  float m[16];
  for (int i = 0; i < 12; ++i) m[i] = q[i];
  m[12] = 0.0f;
  m[13] = 0.0f;
  m[14] = 0.0f;
  m[15] = 1.0f;
  // The same figures as determinant4 and invert4 give, formed from the
  // seven cofactors they use here: row 0 for both determinants, and row 3,
  // whose transposes are the last column of the inverse, M^-1 (0, 0, 0, 1)^T.
  float first[4];
  for (int c = 0; c < 4; ++c) first[c] = cofactor(m, 0, c);
  float det = m[0] * first[0];
  for (int j = 1; j < 4; ++j) det += m[j] * first[j];
  if (!(std::fabs(det) > 1e-30f)) return QEF_SINGULAR;  // NaN included
  double exact = static_cast<double>(m[0]) * static_cast<double>(first[0]);
  for (int j = 1; j < 4; ++j) exact += static_cast<double>(m[j]) * static_cast<double>(first[j]);
  if (exact == 0.0) return QEF_NO_INVERSE;
  float column[3];
  for (int r = 0; r < 3; ++r)
    column[r] = static_cast<float>(static_cast<double>(cofactor(m, 3, r)) / exact);
  p = Vec3(column[0], column[1], column[2]);
  return grid.contains(key, p) ? QEF_SOLVED : QEF_OUTSIDE_CELL;
}

namespace {

// The solve shared by both forms: `count` corners (>= 1) whose positions sum
// to fields 10..12; `divisor` is the count as float the mean divides by.
// Returns the status and leaves point and error for the caller to store.
QefStatus solveRecord(const QefRecord& r, int64_t count, float divisor, uint64_t contains_key,
                      const ClusterGrid& grid, Vec3& point, float& error) {
  float q[16];
  recordQuadric(r, q);
  // The mean is (sx / count, sy / count, sz / count), a division per axis.
  const Vec3 mean(r.v[10] / divisor, r.v[11] / divisor, r.v[12] / divisor);
  QefStatus status = QEF_FEW_SAMPLES;
  if (count >= 3) status = minimiseQuadric4(q, contains_key, grid, point);
  if (status != QEF_SOLVED) point = mean;
  error = std::sqrt(std::fabs(quadricError4(q, point)));
  return status;
}

void writeSolved(QefRecord& r, QefStatus status, float count, const Vec3& point, float error) {
  r.v[1] = static_cast<float>(status);
  r.v[2] = count;
  r.v[3] = r.v[4] = r.v[5] = r.v[6] = 0.0f;
  r.v[10] = point.x;
  r.v[11] = point.y;
  r.v[12] = point.z;
  r.v[13] = error;
}

}  // namespace

int solveCell(QefRecord& r, uint64_t key, const ClusterGrid& grid) {
  // The count is a float holding an integer; NaN or less than one skips.
  if (!(r.v[13] >= 1.0f)) return 0;
  const int64_t k = static_cast<int64_t>(r.v[13]);
  Vec3 point;
  float error = 0.0f;
  const QefStatus status = solveRecord(r, k, r.v[13], key, grid, point, error);
  writeSolved(r, status, static_cast<float>(k), point, error);
  r.v[0] = static_cast<float>(key);
  return 1;
}

int solveCell(QefRecord& r, uint64_t subkey, int count, const ClusterGrid& grid) {
  if (count < 1) return 0;
  const uint64_t cell = subkey >> 3;
  // contains() drops the octant itself in octant mode; give it the plain
  // cell key otherwise.
  const uint64_t contains_key = grid.mode == 1 ? subkey : cell;
  Vec3 point;
  float error = 0.0f;
  const float c = static_cast<float>(count);
  const QefStatus status = solveRecord(r, count, c, contains_key, grid, point, error);
  writeSolved(r, status, c, point, error);
  r.v[0] = static_cast<float>(subkey);
  r.v[3] = static_cast<float>(cell);
  r.v[4] = static_cast<float>(subkey & 7u);
  return 1;
}

}  // namespace Tavrin
