#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "hashuc/plane_quadric4.h"
#include "hashuc/qef.h"
#include "hashuc/qef_extended.h"
#include "test_support.h"

namespace Tavrin {
namespace {

// A 4 x 4 x 4 grid over [-1, 1]^3: cells are about 0.5 wide, so the cell
// (2, 2, 2) spans roughly [0, 0.5]^3.
ClusterGrid makeGrid(int mode = 0) {
  Box b;
  b.min = Vec3(-1, -1, -1);
  b.max = Vec3(1, 1, 1);
  ClusterGrid g;
  g.setUp(b, 4, 4, 4, mode);
  return g;
}

struct Tri {
  Vec3 p[3];
};

// Folds the triangles into one record per cell, corner by corner.
std::map<uint64_t, QefRecord> accumulate(const std::vector<Tri>& tris, const ClusterGrid& g) {
  std::map<uint64_t, QefRecord> cells;
  for (const Tri& t : tris) {
    PlaneQuadric q = trianglePlaneQuadric(t.p[0], t.p[1], t.p[2], 1e-30f);
    for (const Vec3& c : t.p) {
      QefRecord& r = cells.try_emplace(g.key(c), QefRecord{}).first->second;
      addCorner(r, q, c);
    }
  }
  return cells;
}

// Three triangles in the planes x = c.x, y = c.y and z = c.z, each with a
// corner at c: their quadrics meet in c.
std::vector<Tri> cornerOfBox(const Vec3& c, float s = 0.25f) {
  return {{{c, c + Vec3(0, s, 0), c + Vec3(0, 0, s)}},
          {{c, c + Vec3(0, 0, s), c + Vec3(s, 0, 0)}},
          {{c, c + Vec3(s, 0, 0), c + Vec3(0, s, 0)}}};
}

double quadricAt(const QefRecord& r, const Vec3& p) {
  float q[16];
  recordQuadric(r, q);
  const double v[4] = {p.x, p.y, p.z, 1.0};
  double e = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) e += v[i] * q[4 * i + j] * v[j];
  return e;
}

TEST(HashUCQef, PlaneQuadricVanishesOnThePlaneAndGrowsWithDistance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-0.9f, 0.9f);
  for (int t = 0; t < 50; ++t) {
    Vec3 p0(u(rng), u(rng), u(rng)), p1(u(rng), u(rng), u(rng)), p2(u(rng), u(rng), u(rng));
    QefRecord r{};
    addCorner(r, trianglePlaneQuadric(p0, p1, p2, 1e-30f), p0);
    Vec3 n = cross(p1 - p0, p2 - p0);
    double len = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    double w = len / 6;
    Vec3 unit = n * (1.0 / len);
    for (const Vec3& p : {p0, p1, p2}) EXPECT_NEAR(quadricAt(r, p), 0.0, 1e-5 * (1 + w));
    const float h = 0.3f;
    Vec3 off = (p0 + p1 + p2) * (1.0f / 3) + unit * h;
    EXPECT_NEAR(quadricAt(r, off), w * h * h, 1e-5 * (1 + w)) << t;
  }
}

TEST(HashUCQef, ZeroAreaTriangleAddsCornersButNoQuadric) {
  const Vec3 a(0.1f, 0.1f, 0.1f), b(0.2f, 0.2f, 0.2f);
  for (const Tri& t : {Tri{{a, b, b + (b - a)}}, Tri{{a, a, a}}, Tri{{a, b, a}}}) {
    QefRecord r{};
    accumulateTriangle(t.p[0], t.p[1], t.p[2], r, r, r, 1e-30f);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.v[i], 0.0f) << i;
    EXPECT_EQ(r.v[13], 3.0f);
    EXPECT_FLOAT_EQ(r.v[10], t.p[0].x + t.p[1].x + t.p[2].x);
  }
}

TEST(HashUCQef, CornerSharedBySixTrianglesCountsSixTimes) {
  const ClusterGrid g = makeGrid();
  const Vec3 c(0.1f, 0.2f, 0.3f);
  std::vector<Tri> fan;
  for (int i = 0; i < 6; ++i) {
    double a0 = i * M_PI / 3, a1 = (i + 1) * M_PI / 3;
    fan.push_back({{c, c + Vec3(0.6f * std::cos(a0), 0.6f * std::sin(a0), 0.05f),
                    c + Vec3(0.6f * std::cos(a1), 0.6f * std::sin(a1), 0.05f)}});
  }
  auto cells = accumulate(fan, g);
  const QefRecord& r = cells.at(g.key(c));
  EXPECT_EQ(r.v[13], 6.0f);
  float sx = 0;
  for (int i = 0; i < 6; ++i) sx += c.x;
  EXPECT_EQ(r.v[10], sx);
  EXPECT_GT(r.v[5], 0.0f);
}

// Cell solves of small configurations, checked against the geometry.
TEST(HashUCQef, SolveCellStatusesAndRecordRewrite) {
  const ClusterGrid g = makeGrid();
  const Vec3 inside(0.1f, 0.15f, 0.2f);
  const uint64_t cell = g.key(inside);
  const Vec3 far(-0.7f, -0.7f, -0.7f);
  struct Case {
    const char* name;
    std::vector<Tri> tris;
    int status_a, status_b;  // accepted statuses
    bool expect_mean;
    Vec3 point;  // when not the mean
  };
  std::vector<Tri> coplanar;  // a tilted plane through `inside`, all in the cell
  const Vec3 u(0.1f, -0.05f, 0.02f), v(0.03f, 0.08f, -0.1f);
  for (int i = 0; i < 4; ++i)
    coplanar.push_back({{inside, inside + u * (0.3f * i), inside + v * (0.2f + 0.25f * i)}});
  // Planes y = 0.15 and z = 0.2 and the plane x - y = 0.4, all drawn inside
  // the cell; they meet at (0.55, 0.15, 0.2), beyond the cell's x = 0.5.
  std::vector<Tri> outside = cornerOfBox(inside);
  outside[0] = {{Vec3(0.45f, 0.05f, 0.1f), Vec3(0.48f, 0.08f, 0.1f), Vec3(0.45f, 0.05f, 0.4f)}};
  const std::vector<Case> cases = {
      {"one corner", {{{inside, far, far + Vec3(0.1f, 0, 0)}}}, 1, 1, true, {}},
      {"two corners of two triangles",
       {{{inside, far, far + Vec3(0.1f, 0, 0)}},
        {{far, inside + Vec3(0.2f, 0.1f, 0), far + Vec3(0, 0.1f, 0)}}},
       1,
       1,
       true,
       {}},
      {"three planes meeting inside", cornerOfBox(inside), 0, 0, false, inside},
      {"three planes meeting outside", outside, 2, 2, true, {}},
      {"coplanar", coplanar, 4, 2, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto cells = accumulate(c.tris, g);
    QefRecord r = cells.at(cell);
    const QefRecord before = r;
    int corners = 0;
    for (const Tri& t : c.tris)
      for (const Vec3& p : t.p) corners += g.key(p) == cell;
    ASSERT_EQ(solveCell(r, cell, g), 1);
    const int status = static_cast<int>(r.v[1]);
    EXPECT_TRUE(status == c.status_a || status == c.status_b) << status;
    EXPECT_EQ(r.v[0], static_cast<float>(cell));
    EXPECT_EQ(r.v[2], static_cast<float>(corners));
    for (int i = 3; i <= 6; ++i) EXPECT_EQ(r.v[i], 0.0f);
    EXPECT_EQ(r.v[9], before.v[9]);
    EXPECT_GE(r.v[13], 0.0f);
    const Vec3 got(r.v[10], r.v[11], r.v[12]);
    if (c.expect_mean) {
      const float n = before.v[13];
      EXPECT_EQ(got, Vec3(before.v[10] / n, before.v[11] / n, before.v[12] / n));
    } else {
      EXPECT_NEAR(got.x, c.point.x, 1e-5);
      EXPECT_NEAR(got.y, c.point.y, 1e-5);
      EXPECT_NEAR(got.z, c.point.z, 1e-5);
      EXPECT_LT(r.v[13], 1e-3f);
    }
    EXPECT_NEAR(r.v[13], std::sqrt(std::fabs(quadricAt(before, got))), 1e-4);
  }
}

TEST(HashUCQef, EmptyCellIsSkippedUntouched) {
  const ClusterGrid g = makeGrid();
  QefRecord r{};
  r.v[3] = 5.0f;  // quadric terms without corners
  const QefRecord before = r;
  EXPECT_EQ(solveCell(r, 0, g), 0);
  EXPECT_EQ(solveCell(r, 0, 0, g), 0);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
}

TEST(HashUCQef, SubClusterFormUsesGivenCountAndWritesKeys) {
  const Vec3 inside(0.1f, 0.15f, 0.2f);
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    const ClusterGrid g = makeGrid(mode);
    const ClusterGrid plain = makeGrid(0);
    const uint64_t cell = plain.key(inside);
    const uint64_t sub = 8 * cell + 5;
    QefRecord base{};
    for (const Tri& t : cornerOfBox(inside))
      accumulateTriangle(t.p[0], t.p[1], t.p[2], base, base, base, 1e-30f);

    QefRecord r = base;
    ASSERT_EQ(solveCell(r, sub, 9, g), 1);
    EXPECT_EQ(r.v[1], 0.0f);
    EXPECT_EQ(r.v[0], static_cast<float>(sub));
    EXPECT_EQ(r.v[2], 9.0f);
    EXPECT_EQ(r.v[3], static_cast<float>(cell));
    EXPECT_EQ(r.v[4], 5.0f);
    EXPECT_EQ(r.v[5], 0.0f);
    EXPECT_EQ(r.v[6], 0.0f);
    EXPECT_NEAR(r.v[10], inside.x, 1e-5);

    // A smaller given count wins over field 13: too few corners, mean by it.
    r = base;
    ASSERT_EQ(solveCell(r, sub, 2, g), 1);
    EXPECT_EQ(r.v[1], 1.0f);
    EXPECT_EQ(r.v[2], 2.0f);
    EXPECT_EQ(r.v[10], base.v[10] / 2.0f);
  }
}

// ---- 4x4 routines against double-precision oracles -----------------------

double leibnizDet(const double* m, int n) {
  std::vector<int> perm(n);
  for (int i = 0; i < n; ++i) perm[i] = i;
  double det = 0;
  do {
    int inversions = 0;
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) inversions += perm[i] > perm[j];
    double t = inversions & 1 ? -1 : 1;
    for (int i = 0; i < n; ++i) t *= m[n * i + perm[i]];
    det += t;
  } while (std::next_permutation(perm.begin(), perm.end()));
  return det;
}

// Inverse by Gauss-Jordan with partial pivoting in double.
std::vector<double> inverseDouble(const float* a, int n) {
  std::vector<double> m(2 * n * n, 0.0);
  const int w = 2 * n;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) m[w * i + j] = a[n * i + j];
    m[w * i + n + i] = 1;
  }
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(m[w * r + c]) > std::fabs(m[w * p + c])) p = r;
    for (int j = 0; j < w; ++j) std::swap(m[w * c + j], m[w * p + j]);
    double piv = m[w * c + c];
    for (int j = 0; j < w; ++j) m[w * c + j] /= piv;
    for (int r = 0; r < n; ++r)
      if (r != c) {
        double f = m[w * r + c];
        for (int j = 0; j < w; ++j) m[w * r + j] -= f * m[w * c + j];
      }
  }
  std::vector<double> inv(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) inv[n * i + j] = m[w * i + n + j];
  return inv;
}

// Random diagonally dominant matrix, optionally with its rows permuted so
// that the large entries sit off the diagonal.
std::vector<float> wellConditioned(std::mt19937& rng, int n, bool permute) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> m(n * n);
  for (float& x : m) x = u(rng);
  for (int i = 0; i < n; ++i) m[n * i + i] += (u(rng) > 0 ? 1.0f : -1.0f) * (n + 1.0f) * (i + 1);
  if (permute) {
    std::vector<float> p(n * n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) p[n * ((i * 3 + 1) % n) + j] = m[n * i + j];
    m = p;
  }
  return m;
}

void expectNearInverse(const float* got, const std::vector<double>& want, int n) {
  double scale = 0;
  for (double x : want) scale = std::max(scale, std::fabs(x));
  for (int i = 0; i < n * n; ++i) EXPECT_NEAR(got[i], want[i], 2e-6 * scale) << i;
}

TEST(HashUCQef, Invert4AndDeterminant4MatchDoubleOracle) {
  std::mt19937 rng(11);
  for (int t = 0; t < 200; ++t) {
    std::vector<float> m = wellConditioned(rng, 4, t % 2 == 1);
    double dm[16];
    for (int i = 0; i < 16; ++i) dm[i] = m[i];
    const double det = leibnizDet(dm, 4);
    EXPECT_NEAR(determinant4(m.data()), det, 1e-5 * std::fabs(det));
    float inv[16];
    ASSERT_TRUE(invert4(m.data(), inv));
    expectNearInverse(inv, inverseDouble(m.data(), 4), 4);
  }
}

// The minimiser forms only the cofactors it needs; its status and point must
// be bit for bit those of determinant4 and invert4's last column, for
// ordinary, nearly singular and singular quadrics and for points inside and
// outside the cell.
TEST(HashUCQef, MinimiserMatchesFullInverseBitForBit) {
  const ClusterGrid g = makeGrid();
  const uint64_t key = 2 + 4 * (2 + 4 * 2);  // cell (2, 2, 2)
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  int solved = 0, singular = 0;
  for (int t = 0; t < 20000; ++t) {
    float q[16];
    for (int i = 0; i < 16; ++i) q[i] = u(rng);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < i; ++j) q[4 * i + j] = q[4 * j + i];
    if (t % 5 == 1) q[8] = q[4], q[9] = q[5], q[10] = q[6];           // two equal rows
    if (t % 5 == 2) q[0] *= 1e-12f, q[5] *= 1e-12f, q[10] *= 1e-12f;  // nearly singular
    float m[16];
    std::memcpy(m, q, sizeof m);
    m[12] = m[13] = m[14] = 0.0f;
    m[15] = 1.0f;
    QefStatus want = QEF_SINGULAR;
    Vec3 want_p(7, 7, 7);
    float inv[16];
    if (std::fabs(determinant4(m)) > 1e-30f) {
      want = QEF_NO_INVERSE;
      if (invert4(m, inv)) {
        want_p = Vec3(inv[3], inv[7], inv[11]);
        want = g.contains(key, want_p) ? QEF_SOLVED : QEF_OUTSIDE_CELL;
      }
    }
    Vec3 p(7, 7, 7);
    const QefStatus got = minimiseQuadric4(q, key, g, p);
    ASSERT_EQ(got, want) << t;
    solved += got == QEF_SOLVED;
    singular += got == QEF_SINGULAR;
    if (got == QEF_SOLVED || got == QEF_OUTSIDE_CELL) {
      ASSERT_EQ(std::memcmp(&p, &want_p, sizeof p), 0) << t;
    }
  }
  EXPECT_GT(solved, 0);
  EXPECT_GT(singular, 0);
}

TEST(HashUCQef, SingularMatricesHaveZeroDeterminantAndNoInverse) {
  const float cases[][16] = {
      {1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 1},      // equal rows
      {1, 0, 3, 4, 2, 0, 1, 4, 5, 0, 7, 8, 0, 0, 0, 1},      // zero column
      {1, 2, 3, 4, 5, 6, 7, 8, 6, 8, 10, 12, 0, 0, 0, 1},    // row 2 = row 0 + row 1
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},      // zero
      {2, 4, 6, 8, 1, 2, 3, 4, -3, 5, 1, 0, 0, 0, 0, 0.5f},  // row 0 = 2 row 1
  };
  for (const auto& m : cases) {
    EXPECT_EQ(determinant4(m), 0.0f);
    float inv[16];
    EXPECT_FALSE(invert4(m, inv));
  }
}

// ---- extended solver --------------------------------------------------------

TEST(HashUCQef, GaussJordanMatchesDoubleInverse) {
  std::mt19937 rng(5);
  for (int n : {5, 7}) {
    for (int t = 0; t < 50; ++t) {
      SCOPED_TRACE(::testing::Message() << "n=" << n << " t=" << t);
      std::vector<float> m = wellConditioned(rng, n, t % 2 == 1);
      std::vector<double> want = inverseDouble(m.data(), n);
      double dm[49];
      for (int i = 0; i < n * n; ++i) dm[i] = m[i];
      const double det = leibnizDet(dm, n);
      EXPECT_NEAR(determinantN(m.data(), n), det, 1e-5 * std::fabs(det));
      ASSERT_TRUE(GaussJordan(m.data(), n));
      expectNearInverse(m.data(), want, n);
    }
  }
}

TEST(HashUCQef, GaussJordanPivotsThroughAFullPermutation) {
  // A scaled permutation matrix: every pivot needs a row and a column swap.
  for (int n : {5, 7}) {
    std::vector<float> m(n * n, 0.0f);
    for (int i = 0; i < n; ++i) m[n * i + (i * 2 + 3) % n] = static_cast<float>(1 << i);
    m[1] = 0.125f;
    std::vector<double> want = inverseDouble(m.data(), n);
    ASSERT_TRUE(GaussJordan(m.data(), n));
    expectNearInverse(m.data(), want, n);
  }
}

TEST(HashUCQef, GaussJordanReportsSingularMatrix) {
  std::vector<float> zero_row = {1, 2, 0, 0, 3, 0, 0, 0, 0, 0, 4, 1, 0,
                                 2, 0, 1, 0, 0, 8, 0, 0, 0, 0, 0, 1};
  std::vector<float> equal_rows = {2, 4,    1, 8, 0.5f, 1, 1, 1, 1, 1, 2, 4, 1,
                                   8, 0.5f, 0, 0, 3,    0, 1, 0, 0, 0, 0, 1};
  for (auto* m : {&zero_row, &equal_rows}) {
    test::MessageCapture capture;
    EXPECT_FALSE(GaussJordan(m->data(), 5));
    ASSERT_EQ(capture.messages().size(), 1u);
    EXPECT_EQ(capture.messages()[0], "GaussJordan: Singular matrix.\n");
  }
}

// Generalised plane quadric of a triangle in n - 1 dimensions, summed in
// double into Q (n x n, [A b; b^T c]).
void addGeneralisedQuadric(const std::vector<double>& p0, const std::vector<double>& p1,
                           const std::vector<double>& p2, std::vector<double>& Q) {
  const int d = static_cast<int>(p0.size()), n = d + 1;
  auto sub = [](std::vector<double> a, const std::vector<double>& b) {
    for (size_t i = 0; i < a.size(); ++i) a[i] -= b[i];
    return a;
  };
  auto dotp = [](const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0;
    for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return s;
  };
  std::vector<double> e1 = sub(p2, p0);
  double l1 = std::sqrt(dotp(e1, e1));
  for (double& x : e1) x /= l1;
  std::vector<double> e2 = sub(p1, p0);
  double k = dotp(e2, e1);
  for (int i = 0; i < d; ++i) e2[i] -= k * e1[i];
  double l2 = std::sqrt(dotp(e2, e2));
  for (double& x : e2) x /= l2;
  const double a1 = dotp(p0, e1), a2 = dotp(p0, e2);
  for (int i = 0; i < d; ++i) {
    for (int j = 0; j < d; ++j) Q[n * i + j] += (i == j) - e1[i] * e1[j] - e2[i] * e2[j];
    const double b = a1 * e1[i] + a2 * e2[i] - p0[i];
    Q[n * i + d] += b;
    Q[n * d + i] += b;
  }
  Q[n * d + d] += dotp(p0, p0) - a1 * a1 - a2 * a2;
}

// Triangles carrying m linear functions of position; solves the extended cell.
struct ExtendedResult {
  int status;
  std::vector<float> out;
  float error;
  std::vector<float> mean;
};
ExtendedResult solveLinearField(int m, const std::vector<Tri>& tris, const ClusterGrid& g,
                                uint64_t key) {
  const int n = m + 4;
  auto f = [](int s, const Vec3& p) {
    return 0.3 + 0.1 * s + (0.5 - 0.2 * s) * p.x - 0.2 * p.y + (0.4 + 0.1 * s) * p.z;
  };
  std::vector<double> Q(n * n, 0.0), sum(n - 1, 0.0);
  int count = 0;
  for (const Tri& t : tris) {
    std::vector<double> q[3];
    for (int c = 0; c < 3; ++c) {
      q[c] = {t.p[c].x, t.p[c].y, t.p[c].z};
      for (int s = 0; s < m; ++s) q[c].push_back(f(s, t.p[c]));
    }
    addGeneralisedQuadric(q[0], q[1], q[2], Q);
    for (int c = 0; c < 3; ++c) {
      for (int i = 0; i < n - 1; ++i) sum[i] += q[c][i];
      ++count;
    }
  }
  ExtendedResult r;
  std::vector<float> Qf(Q.begin(), Q.end());
  for (double s : sum) r.mean.push_back(static_cast<float>(s / count));
  r.out.assign(n - 1, -99.0f);
  r.status = solveExtended(n, Qf.data(), r.mean.data(), count, key, g, r.out.data(), &r.error);
  for (int s = 0; s < m; ++s) {
    Vec3 p(r.out[0], r.out[1], r.out[2]);
    EXPECT_NEAR(r.out[3 + s], f(s, p), 1e-4) << "value " << s;
  }
  return r;
}

TEST(HashUCQef, SolveExtendedRecoversLinearValuesAtTheSolvedPoint) {
  const ClusterGrid g = makeGrid();
  const Vec3 inside(0.1f, 0.15f, 0.2f);
  const uint64_t key = g.key(inside);
  std::vector<Tri> flat;  // a planar patch: no unique minimiser
  for (int i = 0; i < 3; ++i)
    flat.push_back({{inside + Vec3(0.02f * i, 0, 0), inside + Vec3(0.2f, 0.05f * i, 0),
                     inside + Vec3(0.01f * i, 0.2f, 0)}});
  for (int m : {1, 3}) {
    SCOPED_TRACE(m);
    ExtendedResult corner = solveLinearField(m, cornerOfBox(inside), g, key);
    EXPECT_EQ(corner.status, QEF_SOLVED);
    EXPECT_NEAR(corner.out[0], inside.x, 1e-4);
    EXPECT_NEAR(corner.out[1], inside.y, 1e-4);
    EXPECT_NEAR(corner.out[2], inside.z, 1e-4);
    EXPECT_LT(corner.error, 1e-2f);

    ExtendedResult patch = solveLinearField(m, flat, g, key);
    EXPECT_TRUE(patch.status == QEF_SINGULAR || patch.status == QEF_OUTSIDE_CELL) << patch.status;
    EXPECT_EQ(patch.out, patch.mean);

    ExtendedResult away = solveLinearField(m, cornerOfBox(inside), g, g.key(Vec3(-0.6f, 0, 0)));
    EXPECT_EQ(away.status, QEF_OUTSIDE_CELL);
    EXPECT_EQ(away.out, away.mean);
  }
}

TEST(HashUCQef, SolveExtendedFewSamplesAndSkip) {
  const ClusterGrid g = makeGrid();
  float Q[25] = {}, mean[4] = {0.1f, 0.2f, 0.3f, 0.4f}, out[4] = {9, 9, 9, 9}, err = -1;
  EXPECT_EQ(solveExtended(5, Q, mean, 0, 0, g, out, &err), -1);
  EXPECT_EQ(out[0], 9.0f);
  EXPECT_EQ(solveExtended(5, Q, mean, 2, 0, g, out, &err), QEF_FEW_SAMPLES);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], mean[i]);
  EXPECT_EQ(err, 0.0f);
  EXPECT_EQ(solveExtended(5, Q, mean, 5, 0, g, out, &err), QEF_SINGULAR);
}

}  // namespace
}  // namespace Tavrin

namespace Tavrin {
namespace {

// The four-lane quadrics equal the single-triangle ones bit for bit: random
// triangles of every scale, degenerate ones, and areas around the threshold.
TEST(PlaneQuadric4, BitIdenticalToSingleTriangleForm) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<std::array<Vec3, 3>> tris;
  for (float scale : {1.0f, 1e-3f, 1e-6f, 1e-12f, 1e-18f})
    for (int i = 0; i < 400; ++i) {
      const Vec3 a(unit(gen), unit(gen), unit(gen));
      tris.push_back({a, a + Vec3(unit(gen), unit(gen), unit(gen)) * scale,
                      a + Vec3(unit(gen), unit(gen), unit(gen)) * scale});
    }
  const Vec3 a(0.25f, -0.5f, 0.75f), b(0.5f, 0.5f, 0.5f);
  tris.push_back({a, a, a});               // a point
  tris.push_back({a, b, (a + b) * 0.5f});  // collinear
  tris.push_back({a, b, b});               // two equal corners
  for (float eps : {0.0f, 1e-30f, 1e-12f, 1e-7f}) {
    for (size_t i = 0; i + 4 <= tris.size(); ++i) {
      const Vec3* const corners[4] = {tris[i].data(), tris[i + 1].data(), tris[i + 2].data(),
                                      tris[(i + 3) % tris.size()].data()};
      PlaneQuadric four[4];
      trianglePlaneQuadrics4(corners, eps, four);
      for (int k = 0; k < 4; ++k) {
        const PlaneQuadric one =
            trianglePlaneQuadric(corners[k][0], corners[k][1], corners[k][2], eps);
        ASSERT_EQ(0, std::memcmp(one.t, four[k].t, sizeof one.t))
            << "triangle " << i + k << " eps " << eps;
      }
    }
  }
}

}  // namespace
}  // namespace Tavrin

namespace Tavrin {
namespace {

// The plain expansion along the first row down to the closed-form 4 x 4.
float recursiveDeterminant(const float* m, int n) {
  if (n == 4) return determinant4(m);
  const int k = n - 1;
  float minor[49];
  float det = 0.0f;
  for (int j = 0; j < n; ++j) {
    for (int r = 1; r < n; ++r)
      for (int c = 0, mc = 0; c < n; ++c)
        if (c != j) minor[k * (r - 1) + mc++] = m[n * r + c];
    const float sub = recursiveDeterminant(minor, k);
    const float term = m[j] * ((j & 1) ? -sub : sub);
    det = j == 0 ? term : det + term;
  }
  return det;
}

// Evaluating each distinct minor once changes no bit of the result, for
// random, badly scaled and singular matrices.
TEST(HashUCQef, SharedMinorsGiveTheRecursiveDeterminantExactly) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int n : {5, 6, 7}) {
    for (int t = 0; t < 300; ++t) {
      float m[49];
      for (int i = 0; i < n * n; ++i)
        m[i] = u(rng) * (t % 3 == 0 ? std::ldexp(1.0f, (i % 40) - 20) : 1.0f);
      if (t % 5 == 0)
        for (int c = 0; c < n; ++c) m[n * (n - 1) + c] = m[n * 1 + c];  // two equal rows
      const float want = recursiveDeterminant(m, n), got = determinantN(m, n);
      ASSERT_EQ(0, std::memcmp(&want, &got, sizeof want)) << "n=" << n << " t=" << t;
    }
  }
}

}  // namespace
}  // namespace Tavrin
