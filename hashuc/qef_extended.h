// Extended quadric error functions of the scalar-aware handlers: the variable
// vector is v = (x, y, z, s1 .. sm, 1) with m = 1 (dimension 5) or m = 3
// (dimension 7), and a cell's point and values minimise v^T Q v. After
// Garland and Heckbert 1998, "Simplifying surfaces with color and texture
// using quadric error metrics".
#pragma once

#include <cstdint>

#include "hashuc/grid.h"
#include "hashuc/qef.h"

namespace Tavrin {

// Largest dimension solveExtended accepts (4 to 7 work; the handlers use 5
// and 7).
constexpr int kMaxExtendedDimension = 7;

// Determinant of the n x n row-major matrix m (4 <= n <= 7) by cofactor
// expansion along the first row down to determinant4, in float:
// det = ((m[0][0]*C0 + m[0][1]*C1) + ...) + m[0][n-1]*C(n-1), where Cj is the
// determinant of the minor without row 0 and column j (rows and columns kept
// in order), negated when j is odd.
float determinantN(const float* m, int n);

// Inverts the n x n row-major matrix a (n <= 7) in place by Gauss-Jordan
// elimination with full pivoting. For each step the largest magnitude among
// the rows and columns not yet used as pivots is taken, scanning rows then
// columns in increasing order, a later element winning a tie (>=). A pivot
// of exactly 0 prints "GaussJordan: Singular matrix." and returns false (a
// is then partly transformed).
bool GaussJordan(float* a, int n);

// Solves one extended cell.
//   n      matrix dimension, 4 to 7 (5: one value, 7: three values)
//   Q      n*n floats, the full symmetric quadric [A b; b^T c], row-major
//   mean   n-1 floats: the mean position (3) followed by the mean values
//   count  corners added to the cell
//   key    the cell key, grid the clustering grid (point-in-cell test)
//   out    n-1 floats: the point followed by the values
//   error  sqrt|v^T Q v| at v = (out, 1)
// Returns -1 without touching out and error when count < 1 (the cell is
// skipped) or n is out of range; otherwise the status: 1 when count < 3;
// 4 when |det M| <= 1e-30f or NaN, M = Q with its last row (0 .. 0 1); 3 when
// GaussJordan finds M singular; else the first n-1 entries of the last
// column of M^-1, status 0 when its position lies in the cell of key, 2 when
// not. Statuses 1 to 4 give out = mean.
int solveExtended(int n, const float* Q, const float* mean, int count, uint64_t key,
                  const ClusterGrid& grid, float* out, float* error);

}  // namespace Tavrin
