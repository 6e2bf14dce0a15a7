// Solve of the extended quadrics of dimension 5 and 7 (position plus one or
// three values). The determinant decides whether the system is usable, then
// M = [A b; 0 .. 0 1] is inverted in place by Gauss-Jordan elimination with
// full pivoting; the last column of M^-1 holds the minimising position and
// values. Unusable or out-of-cell solutions fall back to the means.

#include "hashuc/qef_extended.h"

#include <cmath>
#include <utility>

#include "base/messages.h"

namespace Tavrin {

// Expansion along the first row, recursively down to the closed-form 4 x 4
// determinant: det = term(0) + term(1) + ... in column order, term(j) =
// m[0][j] * (+/-) det(minor without row 0 and column j). The same minors
// recur many times (a 7 x 7 expansion meets 210 4 x 4 minors but only 35
// distinct ones), so each minor is evaluated once: a minor is named by its
// column set, its rows being the last |set| rows. Every value is formed by
// exactly the operations of the plain recursion, in the same order.
float determinantN(const float* m, int n) {
  if (n == 4) return determinant4(m);
  if (n < 4 || n > kMaxExtendedDimension) return 0.0f;  // no system of these sizes is solved
  float det_of[1 << kMaxExtendedDimension];
  const unsigned all = (1u << n) - 1;
  for (unsigned set = 0; set <= all; ++set) {
    const int size = __builtin_popcount(set);
    if (size < 4) continue;
    const int row = n - size;
    if (size == 4) {
      float sub[16];
      for (int r = 0; r < 4; ++r)
        for (int c = 0, sc = 0; c < n; ++c)
          if (set & (1u << c)) sub[4 * r + sc++] = m[n * (row + r) + c];
      det_of[set] = determinant4(sub);
      continue;
    }
    // Smaller sets are numerically smaller, so their minors are ready.
    float det = 0.0f;
    for (int c = 0, j = 0; c < n; ++c) {
      if (!(set & (1u << c))) continue;
      const float sub = det_of[set & ~(1u << c)];
      const float term = m[n * row + c] * ((j & 1) ? -sub : sub);
      det = j == 0 ? term : det + term;
      ++j;
    }
    det_of[set] = det;
  }
  return det_of[all];
}

// Full-pivoting Gauss-Jordan in float. The step for pivot (p, p):
//   piv = a[p][p]; a[p][p] = 1; a[p][l] = a[p][l] / piv for every l;
//   for every other row r: f = a[r][p]; a[r][p] = 0;
//                          a[r][l] = a[r][l] - a[p][l] * f for every l.
// After all steps the column interchanges are undone in reverse order.
bool GaussJordan(float* a, int n) {
  int used[kMaxExtendedDimension] = {};
  int row_of[kMaxExtendedDimension], col_of[kMaxExtendedDimension];
  auto at = [a, n](int r, int c) -> float& { return a[n * r + c]; };
  for (int step = 0; step < n; ++step) {
    float big = 0.0f;
    int prow = -1, pcol = -1;
    for (int r = 0; r < n; ++r) {
      if (used[r]) continue;
      for (int c = 0; c < n; ++c) {
        if (used[c]) continue;
        const float mag = std::fabs(at(r, c));
        if (mag >= big) {
          big = mag;
          prow = r;
          pcol = c;
        }
      }
    }
    // No candidate at all means every remaining entry is NaN: as singular.
    if (prow < 0 || at(prow, pcol) == 0.0f) {
      log_message("GaussJordan: Singular matrix.\n");
      return false;
    }
    used[pcol] = 1;
    if (prow != pcol)
      for (int l = 0; l < n; ++l) std::swap(at(prow, l), at(pcol, l));
    row_of[step] = prow;
    col_of[step] = pcol;
    const int p = pcol;
    const float piv = at(p, p);
    at(p, p) = 1.0f;
    for (int l = 0; l < n; ++l) at(p, l) = at(p, l) / piv;
    for (int r = 0; r < n; ++r) {
      if (r == p) continue;
      const float f = at(r, p);
      at(r, p) = 0.0f;
      for (int l = 0; l < n; ++l) at(r, l) = at(r, l) - at(p, l) * f;
    }
  }
  for (int step = n - 1; step >= 0; --step)
    if (row_of[step] != col_of[step])
      for (int r = 0; r < n; ++r) std::swap(at(r, row_of[step]), at(r, col_of[step]));
  return true;
}

int solveExtended(int n, const float* Q, const float* mean, int count, uint64_t key,
                  const ClusterGrid& grid, float* out, float* error) {
  if (count < 1 || n < 4 || n > kMaxExtendedDimension) return -1;
  const int m = n - 1;
  int status = QEF_FEW_SAMPLES;
  if (count >= 3) {
    float M[kMaxExtendedDimension * kMaxExtendedDimension];
    for (int i = 0; i < n * m; ++i) M[i] = Q[i];
    for (int c = 0; c < m; ++c) M[n * m + c] = 0.0f;
    M[n * n - 1] = 1.0f;
    const float det = determinantN(M, n);
    if (!(std::fabs(det) > 1e-30f)) {
      status = QEF_SINGULAR;
    } else if (!GaussJordan(M, n)) {
      status = QEF_NO_INVERSE;
    } else {
      for (int i = 0; i < m; ++i) out[i] = M[n * i + m];
      status = grid.contains(key, Vec3(out[0], out[1], out[2])) ? QEF_SOLVED : QEF_OUTSIDE_CELL;
    }
  }
  if (status != QEF_SOLVED)
    for (int i = 0; i < m; ++i) out[i] = mean[i];
  *error = std::sqrt(std::fabs(quadricErrorN(Q, out, n)));
  return status;
}

}  // namespace Tavrin
