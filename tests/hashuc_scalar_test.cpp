// The scalar-aware handlers: the extended quadric of a triangle, the value
// box, optimised values at the output nodes, and reproducibility.

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <random>

#include "hashuc/handler_factory.h"
#include "hashuc/handler_makers.h"
#include "hashuc/hash_uc_scalar.h"
#include "hashuc_test_util.h"

namespace Tavrin {
namespace {

using test::Mesh;

// f(p) = 1 + 2x - 3y + 0.5z, and two more linear fields for vectors.
float linear(const float* p, int which = 0) {
  switch (which) {
    case 1:
      return -4.0f + 0.5f * p[0] + p[1] + 2.0f * p[2];
    case 2:
      return 10.0f - p[0] + 0.25f * p[1] - 3.0f * p[2];
    default:
      return 1.0f + 2.0f * p[0] - 3.0f * p[1] + 0.5f * p[2];
  }
}

// A unit UV sphere; the poles are single nodes.
Mesh sphere(int rings, int segments) {
  Mesh m;
  m.addNode(0, 0, 1);
  for (int i = 1; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      const double t = M_PI * i / rings, f = 2 * M_PI * j / segments;
      m.addNode(static_cast<float>(std::sin(t) * std::cos(f)),
                static_cast<float>(std::sin(t) * std::sin(f)), static_cast<float>(std::cos(t)));
    }
  const int32_t south = m.addNode(0, 0, -1);
  auto ring = [&](int i, int j) { return 1 + (i - 1) * segments + (j % segments); };
  for (int j = 0; j < segments; ++j) {
    m.tris.insert(m.tris.end(), {0, ring(1, j), ring(1, j + 1)});
    m.tris.insert(m.tris.end(), {south, ring(rings - 1, j + 1), ring(rings - 1, j)});
  }
  for (int i = 1; i + 1 < rings; ++i)
    for (int j = 0; j < segments; ++j)
      m.tris.insert(m.tris.end(), {ring(i, j), ring(i + 1, j), ring(i + 1, j + 1), ring(i, j),
                                   ring(i + 1, j + 1), ring(i, j + 1)});
  return m;
}

struct ScalarRun {
  SimplifiedMesh mesh;
  ExtraOutputs extra;
  std::vector<std::vector<float>> averaged;  // plain per-cell averages of the inputs
  NormalizationBox value_box;
};

template <class Handler>
ScalarRun runScalar(const Mesh& m, int32_t grid, const std::vector<std::vector<float>>& values,
                    bool with_values = true) {
  ScalarRun r;
  Handler h;
  h.initialise(grid, m.coords.data(), m.nodeCount(), 3);
  QefInputs in;
  for (size_t k = 0; k < values.size(); ++k) in.arrays[k] = values[k].data();
  in.count = static_cast<int32_t>(values.size());
  if (with_values)
    h.submitWithValues(m.coords.data(), 3, in, m.tris.data(), m.triangleCount(), 3);
  else
    h.submit(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3);
  h.solve();
  h.outputWithValues(m.coords.data(), 3, m.tris.data(), m.triangleCount(), 3, r.mesh, r.extra);
  r.value_box = h.valueBox();
  if (!values.empty()) {
    h.resetCells();
    const int32_t strides[3] = {1, 1, 1};
    int32_t length = 0;
    h.interpolateValues(m.coords.data(), m.nodeCount(), 3, in.arrays, strides, in.count, r.averaged,
                        length);
  }
  return r;
}

std::vector<float> field(const Mesh& m, int which) {
  std::vector<float> v(m.nodeCount());
  for (int32_t i = 0; i < m.nodeCount(); ++i) v[i] = linear(&m.coords[3 * i], which);
  return v;
}

// Largest |values[i] - f(output node i)|.
float largestMiss(const SimplifiedMesh& mesh, const std::vector<float>& values, int which) {
  float worst = 0.0f;
  for (int32_t i = 0; i < mesh.nodeCount(); ++i)
    worst = std::max(worst, std::fabs(values[i] - linear(&mesh.nodes[3 * i], which)));
  return worst;
}

// --- The quadric of one triangle -------------------------------------------

// Squared distance of v from the plane through p0, p1, p2 (n dimensions), by
// least squares in double.
double planeDistance2(const double* p0, const double* p1, const double* p2, const double* v,
                      int n) {
  double u[7], w[7], r[7];
  for (int i = 0; i < n; ++i) {
    u[i] = p1[i] - p0[i];
    w[i] = p2[i] - p0[i];
    r[i] = v[i] - p0[i];
  }
  double uu = 0, uw = 0, ww = 0, ur = 0, wr = 0;
  for (int i = 0; i < n; ++i) {
    uu += u[i] * u[i], uw += u[i] * w[i], ww += w[i] * w[i];
    ur += u[i] * r[i], wr += w[i] * r[i];
  }
  const double det = uu * ww - uw * uw;
  const double s = (ur * ww - wr * uw) / det, t = (wr * uu - ur * uw) / det;
  double d2 = 0;
  for (int i = 0; i < n; ++i) {
    const double e = r[i] - s * u[i] - t * w[i];
    d2 += e * e;
  }
  return d2;
}

template <int M>
void checkTriangleQuadric() {
  using P = ScalarQefPolicy<M>;
  constexpr int n = P::kDims;
  std::mt19937 rng(7 + M);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 50; ++trial) {
    // Nodes 0, 1, 2 with positions in q and values in their own arrays.
    std::vector<float> vals[3];
    typename P::Fold fold;
    Box box;
    box.min = Vec3(-2, -2, -2);
    box.max = Vec3(2, 2, 2);
    fold.value_box.compute(box);  // values scaled by 1/2
    TriangleCorners tc;
    double p[3][n];
    for (int k = 0; k < M; ++k) vals[k].resize(3);
    for (int j = 0; j < 3; ++j) {
      tc.node[j] = j;
      tc.q[j] = Vec3(u(rng), u(rng), u(rng));
      for (int c = 0; c < 3; ++c) p[j][c] = tc.q[j][c];
      for (int k = 0; k < M; ++k) {
        vals[k][j] = 2.0f * u(rng);
        p[j][3 + k] = vals[k][j] / 2.0;
      }
    }
    for (int k = 0; k < M; ++k) fold.values[k] = vals[k].data();
    const typename P::Terms q = fold.terms(tc);
    for (int j = 0; j < 3; ++j)
      for (int c = 0; c < n; ++c) ASSERT_NEAR(q.corner[j][c], p[j][c], 1e-6);
    for (int probe = 0; probe < 5; ++probe) {
      double v[n];
      for (int c = 0; c < n; ++c) v[c] = u(rng);
      double e = q.c;
      for (int i = 0; i < n; ++i) {
        e += 2 * q.b[i] * v[i];
        for (int j = 0; j < n; ++j)
          e += q.a[i <= j ? P::upper(i, j) : P::upper(j, i)] * v[i] * v[j];
      }
      EXPECT_NEAR(e, planeDistance2(p[0], p[1], p[2], v, n), 2e-4) << "M " << M;
    }
  }
  // Three coinciding corners: A = I, b = -p0, c = p0 . p0.
  typename P::Fold fold;
  TriangleCorners tc;
  for (int j = 0; j < 3; ++j) tc.q[j] = Vec3(0.5f, -0.25f, 0.125f);
  const typename P::Terms q = fold.terms(tc);
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j) EXPECT_EQ(q.a[P::upper(i, j)], i == j ? 1.0f : 0.0f);
  EXPECT_EQ(q.b[0], -0.5f);
  EXPECT_EQ(q.b[1], 0.25f);
  EXPECT_EQ(q.b[n - 1], 0.0f);
  EXPECT_FLOAT_EQ(q.c, 0.25f + 0.0625f + 0.015625f);
}

TEST(HashUCScalar, TriangleQuadricIsSquaredDistanceToItsPlane) {
  checkTriangleQuadric<1>();
  checkTriangleQuadric<3>();
}

// --- Value box ------------------------------------------------------------------

TEST(HashUCScalar, ValueBox) {
  const float X = kNoValue;
  struct Case {
    const char* name;
    int m;
    std::vector<std::vector<float>> values;
    Vec3 centre, half;
  };
  const Case cases[] = {
      {"range 2..6", 1, {{2, 6, 3}}, {4, 0, 0}, {2, 2, 2}},
      {"constant", 1, {{5, 5, 5}}, {5, 0, 0}, {1, 1, 1}},
      {"no-value nodes left out", 1, {{X, 1, 3, X}}, {2, 0, 0}, {1, 1, 1}},
      {"no value at all", 1, {{X, X}}, {0, 0, 0}, {1, 1, 1}},
      {"three values share one scale", 3, {{0, 4}, {0, 1}, {0, 2}}, {2, 0.5f, 1}, {2, 2, 2}},
      {"one missing component drops the node",
       3,
       {{0, 9, 2}, {0, 0, 0}, {0, X, 0}},
       {1, 0, 0},
       {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const float* arrays[3] = {};
    for (size_t k = 0; k < c.values.size(); ++k) arrays[k] = c.values[k].data();
    const int64_t n = static_cast<int64_t>(c.values[0].size());
    const NormalizationBox b =
        c.m == 1 ? scalarValueBox<1>(arrays, n) : scalarValueBox<3>(arrays, n);
    for (int k = 0; k < 3; ++k) {
      EXPECT_FLOAT_EQ(b.centre[k], c.centre[k]) << k;
      EXPECT_FLOAT_EQ(b.half_extent[k], c.half[k]) << k;
    }
  }
}

// --- Optimised values -------------------------------------------------------------

// Every point of a mesh carrying a linear field lies in the hyperplane
// s = f(x, y, z), and so does the minimiser of the summed quadrics: the
// optimised value at every output node is f there. The per-cell average is
// f at the mean of the cell's nodes, which is not the output node on a
// curved surface.
TEST(HashUCScalar, LinearFieldIsExactAtOutputNodes) {
  struct Case {
    const char* name;
    Mesh mesh;
    int32_t grid;
  };
  const Case cases[] = {{"torus", test::bumpyTorus(120, 60), 16}, {"sphere", sphere(60, 90), 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScalarRun r = runScalar<HashUCScalar>(c.mesh, c.grid, {field(c.mesh, 0)});
    ASSERT_GT(r.mesh.nodeCount(), 50);
    ASSERT_EQ(r.extra.flag, 1);
    ASSERT_EQ(r.extra.arrays.size(), 1u);
    ASSERT_EQ(r.extra.arrays[0].size(), static_cast<size_t>(r.mesh.nodeCount()));
    const float optimised = largestMiss(r.mesh, r.extra.arrays[0], 0);
    const float averaged = largestMiss(r.mesh, r.averaged[0], 0);
    EXPECT_LT(optimised, 2e-3f);
    EXPECT_GT(averaged, 20 * optimised);
    EXPECT_GT(averaged, 1e-2f);
  }
}

TEST(HashUCScalar3, LinearVectorIsExactAtOutputNodes) {
  const Mesh m = test::bumpyTorus(120, 60);
  const ScalarRun r = runScalar<HashUCScalar3>(m, 16, {field(m, 0), field(m, 1), field(m, 2)});
  ASSERT_EQ(r.extra.arrays.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_LT(largestMiss(r.mesh, r.extra.arrays[k], k), 5e-3f);
    EXPECT_GT(largestMiss(r.mesh, r.averaged[k], k), 1e-2f);
  }
}

// Nodal normals as the three values: what comes back is the solved vector,
// close to the surface normal but not rescaled to unit length.
TEST(HashUCScalar3, NormalsComeBackAsSolved) {
  const Mesh m = sphere(40, 60);
  std::vector<std::vector<float>> normals(3, std::vector<float>(m.nodeCount()));
  for (int32_t i = 0; i < m.nodeCount(); ++i)
    for (int k = 0; k < 3; ++k) normals[k][i] = m.coords[3 * i + k];  // unit sphere
  const ScalarRun r = runScalar<HashUCScalar3>(m, 4, normals);
  ASSERT_EQ(r.extra.arrays.size(), 3u);
  float furthest = 0.0f;  // from unit length
  for (int32_t i = 0; i < r.mesh.nodeCount(); ++i) {
    const Vec3 n(r.extra.arrays[0][i], r.extra.arrays[1][i], r.extra.arrays[2][i]);
    const Vec3 p(r.mesh.nodes[3 * i], r.mesh.nodes[3 * i + 1], r.mesh.nodes[3 * i + 2]);
    const float len = std::sqrt(dot(n, n));
    ASSERT_TRUE(std::isfinite(len));
    EXPECT_NEAR(len, 1.0f, 0.1f);
    EXPECT_GT(dot(n, p) / (len * std::sqrt(dot(p, p))), 0.9f);
    furthest = std::max(furthest, std::fabs(len - 1.0f));
  }
  EXPECT_GT(furthest, 0.01f);  // visibly not unit length
}

// A constant field, a field with no-value nodes, and no field at all come
// back constant (the no-value nodes sit at the centre of the value range).
TEST(HashUCScalar, ConstantAndMissingValues) {
  const Mesh m = test::bumpyTorus(60, 30);
  std::vector<float> holes(m.nodeCount(), 3.0f);
  for (int32_t i = 0; i < m.nodeCount(); i += 5) holes[i] = kNoValue;
  struct Case {
    const char* name;
    std::vector<std::vector<float>> values;
    bool with_values;
    float expected;
  };
  const Case cases[] = {
      {"constant", {std::vector<float>(m.nodeCount(), 7.25f)}, true, 7.25f},
      {"no-value nodes", {holes}, true, 3.0f},
      {"no values given", {}, true, 0.0f},
      {"plain submit", {}, false, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScalarRun r = runScalar<HashUCScalar>(m, 8, c.values, c.with_values);
    ASSERT_GT(r.mesh.triangleCount(), 0);
    ASSERT_EQ(r.extra.arrays.size(), 1u);
    for (float v : r.extra.arrays[0]) ASSERT_NEAR(v, c.expected, 1e-5f);
  }
  // Three arrays expected but only one given: all values 0.
  const ScalarRun r = runScalar<HashUCScalar3>(m, 8, {holes});
  ASSERT_EQ(r.extra.arrays.size(), 3u);
  for (const auto& a : r.extra.arrays)
    for (float v : a) ASSERT_EQ(v, 0.0f);
}

// --- Handler contract -------------------------------------------------------------

TEST(HashUCScalar, TypeAndMemory) {
  const Mesh m = test::bumpyTorus(60, 30);
  struct Case {
    simp_type made_for;
    uint64_t per_bucket;
  };
  for (const Case& c : {Case{HASH_UC_SCALAR, 50438}, Case{HASH_UC_SCALAR3_NORMAL, 87110},
                        Case{HASH_UC_SCALAR3_VECTOR, 87110}}) {
    SCOPED_TRACE(c.made_for);
    std::unique_ptr<HandlerInterface> empty = make_scalar_handler(c.made_for);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->type(), HASH_UC_SCALAR);
    EXPECT_EQ(empty->memoryBytes(), 232u);
    std::unique_ptr<HandlerInterface> h =
        create_handler(8, c.made_for, m.coords.data(), m.nodeCount());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->type(), HASH_UC_SCALAR);
    uint64_t buckets = 0, keys = 0;
    if (c.made_for == HASH_UC_SCALAR) {
      auto* s = dynamic_cast<HashUCScalar*>(h.get());
      ASSERT_TRUE(s && s->table());
      buckets = s->table()->bucketCount();
      keys = s->space().cellKeys.size();
    } else {
      auto* s = dynamic_cast<HashUCScalar3*>(h.get());
      ASSERT_TRUE(s && s->table());
      buckets = s->table()->bucketCount();
      keys = s->space().cellKeys.size();
    }
    EXPECT_EQ(h->memoryBytes(), c.per_bucket * buckets + 272 + 8 * keys);
  }
}

// Same mesh, same bytes for 1, 2 and 4 threads.
template <class Handler>
void checkThreadIndependence(const Mesh& m, const std::vector<std::vector<float>>& values) {
  const int saved = omp_get_max_threads();
  std::vector<ScalarRun> runs;
  for (int threads : {1, 2, 4}) {
    omp_set_num_threads(threads);
    runs.push_back(runScalar<Handler>(m, 24, values));
  }
  omp_set_num_threads(saved);
  auto same = [](const auto& a, const auto& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
  };
  for (size_t i = 1; i < runs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(same(runs[0].mesh.nodes, runs[i].mesh.nodes));
    EXPECT_TRUE(same(runs[0].mesh.triangles, runs[i].mesh.triangles));
    EXPECT_TRUE(same(runs[0].mesh.lines, runs[i].mesh.lines));
    ASSERT_EQ(runs[0].extra.arrays.size(), runs[i].extra.arrays.size());
    for (size_t k = 0; k < runs[0].extra.arrays.size(); ++k)
      EXPECT_TRUE(same(runs[0].extra.arrays[k], runs[i].extra.arrays[k]));
  }
}

TEST(HashUCScalar, SameBytesForAnyThreadCount) {
  const Mesh m = test::bumpyTorus(150, 70);
  std::vector<float> wave(m.nodeCount());
  for (int32_t i = 0; i < m.nodeCount(); ++i) wave[i] = std::sin(7.0f * m.coords[3 * i]);
  checkThreadIndependence<HashUCScalar>(m, {wave});
  checkThreadIndependence<HashUCScalar3>(m, {wave, field(m, 1), field(m, 2)});
}

}  // namespace
}  // namespace Tavrin
