// HashUC against a plain single-threaded clustering written here from the
// description of the method: a std::unordered_map from cell key to fourteen
// floats, triangles folded in input order, the same float arithmetic in the
// same order, the same solve. Node positions must agree bit for bit, and so
// must statuses, triangles and lines, for 1, 2 and 4 threads.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <unordered_map>

#include "hashuc_test_util.h"

namespace Tavrin {
namespace {

using Cell = std::array<float, 14>;

// --- The oracle -------------------------------------------------------------

Vec3 crossF(const Vec3& u, const Vec3& v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// The ten weighted plane terms of a triangle, a third of its area as weight.
std::array<float, 10> planeTerms(const Vec3& p0, const Vec3& p1, const Vec3& p2, float eps) {
  const Vec3 n3 = crossF(p1 - p0, p2 - p0);
  const float len = static_cast<float>(std::sqrt(static_cast<double>(n3.x) * n3.x +
                                                 static_cast<double>(n3.y) * n3.y +
                                                 static_cast<double>(n3.z) * n3.z));
  const float w = len / 6.0f;
  float nx = 0, ny = 0, nz = 0;
  if (eps < w) {
    nx = n3.x / len;
    ny = n3.y / len;
    nz = n3.z / len;
  }
  const float d = -((nx * p0.x + ny * p0.y) + nz * p0.z);
  return {w * nx * nx, w * nx * ny, w * nx * nz, w * ny * ny, w * ny * nz,
          w * nz * nz, w * d * d,   w * d * nx,  w * d * ny,  w * d * nz};
}

float minor3(const float m[16], int r, int c) {
  float e[9];
  int k = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (i != r && j != c) e[k++] = m[4 * i + j];
  const float t0 = e[4] * e[8] - e[5] * e[7];
  const float t1 = e[3] * e[8] - e[5] * e[6];
  const float t2 = e[3] * e[7] - e[4] * e[6];
  return e[0] * t0 - e[1] * t1 + e[2] * t2;
}

struct Solved {
  Vec3 point;
  int status = -1;
  int count = 0;
  float error = 0;
};

Solved solveOracle(const Cell& v, uint64_t key, const ClusterGrid& grid) {
  Solved s;
  s.count = static_cast<int>(v[13]);
  const Vec3 mean(v[10] / v[13], v[11] / v[13], v[12] / v[13]);
  s.status = 1;
  if (s.count >= 3) {
    const float m[16] = {v[0], v[1], v[2], v[7], v[1], v[3], v[4], v[8],
                         v[2], v[4], v[5], v[9], 0,    0,    0,    1};
    float cof[16];
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        cof[4 * r + c] = ((r + c) & 1) ? -minor3(m, r, c) : minor3(m, r, c);
    const float det = ((m[0] * cof[0] + m[1] * cof[1]) + m[2] * cof[2]) + m[3] * cof[3];
    if (!(std::fabs(det) > 1e-30f)) {
      s.status = 4;
    } else {
      const double dd = ((static_cast<double>(m[0]) * cof[0] + static_cast<double>(m[1]) * cof[1]) +
                         static_cast<double>(m[2]) * cof[2]) +
                        static_cast<double>(m[3]) * cof[3];
      if (dd == 0.0) {
        s.status = 3;
      } else {
        // Last column of the inverse: adjugate entries (r, 3) = cofactor (3, r).
        const Vec3 p(static_cast<float>(cof[12] / dd), static_cast<float>(cof[13] / dd),
                     static_cast<float>(cof[14] / dd));
        s.status = grid.contains(key, p) ? 0 : 2;
        if (s.status == 0) s.point = p;
      }
    }
  }
  if (s.status != 0) s.point = mean;
  const float q[16] = {v[0], v[1], v[2], v[7], v[1], v[3], v[4], v[8],
                       v[2], v[4], v[5], v[9], v[7], v[8], v[9], v[6]};
  const float h[4] = {s.point.x, s.point.y, s.point.z, 1.0f};
  float e = 0;
  for (int i = 0; i < 4; ++i) {
    const float row =
        ((q[4 * i] * h[0] + q[4 * i + 1] * h[1]) + q[4 * i + 2] * h[2]) + q[4 * i + 3] * h[3];
    e = i == 0 ? h[i] * row : e + h[i] * row;
  }
  s.error = std::sqrt(std::fabs(e));
  return s;
}

struct OracleResult {
  std::unordered_map<uint64_t, Solved> cells;  // every occupied cell
  // Cells reached by no corner: the mean of their nodes, in mesh units.
  std::unordered_map<uint64_t, Vec3> placed;
  std::set<std::array<int32_t, 3>> triangles;  // rotated: smallest node first
  std::set<std::pair<int32_t, int32_t>> lines;
};

std::array<int32_t, 3> rotated(int32_t a, int32_t b, int32_t c) {
  if (b < a && b < c) return {b, c, a};
  if (c < a && c < b) return {c, a, b};
  return {a, b, c};
}

// `number` maps a cell key to its output node (the handler's key order).
OracleResult oracle(const test::Mesh& m, const ClusterSpace& space,
                    const std::unordered_map<uint64_t, int32_t>& number) {
  const NormalizationBox& nb = space.normalisation;
  const ClusterGrid& grid = space.grid;
  const Vec3 diag = grid.max - grid.min;
  const float eps = static_cast<float>(1e-30 * std::sqrt(static_cast<double>(diag.x) * diag.x +
                                                         static_cast<double>(diag.y) * diag.y +
                                                         static_cast<double>(diag.z) * diag.z));
  auto q = [&](int32_t node) { return nb.normalise(&m.coords[3 * node]); };
  std::unordered_map<uint64_t, Cell> sums;
  for (int32_t i = 0; i < m.nodeCount(); ++i) sums.try_emplace(grid.key(q(i)), Cell{});
  for (int32_t t = 0; t < m.triangleCount(); ++t) {
    const Vec3 p[3] = {q(m.tris[3 * t]), q(m.tris[3 * t + 1]), q(m.tris[3 * t + 2])};
    const std::array<float, 10> terms = planeTerms(p[0], p[1], p[2], eps);
    for (const Vec3& c : p) {
      Cell& cell = sums[grid.key(c)];
      for (int k = 0; k < 10; ++k) cell[k] += terms[k];
      cell[10] += c.x;
      cell[11] += c.y;
      cell[12] += c.z;
      cell[13] += 1.0f;
    }
  }
  OracleResult r;
  std::unordered_map<uint64_t, std::array<double, 4>> node_sums;
  for (const auto& [key, cell] : sums) {
    Solved s;  // a cell reached by no corner: zero record, placed below
    if (cell[13] >= 1.0f)
      s = solveOracle(cell, key, grid);
    else
      node_sums[key] = {0, 0, 0, 0};
    r.cells[key] = s;
  }
  for (int32_t i = 0; i < m.nodeCount(); ++i) {
    auto it = node_sums.find(grid.key(q(i)));
    if (it == node_sums.end()) continue;
    for (int a = 0; a < 3; ++a) it->second[a] += m.coords[3 * i + a];
    it->second[3] += 1.0;
  }
  for (const auto& [key, sum] : node_sums)
    r.placed[key] = Vec3(static_cast<float>(sum[0] / sum[3]), static_cast<float>(sum[1] / sum[3]),
                         static_cast<float>(sum[2] / sum[3]));
  std::map<std::array<int32_t, 3>, std::array<int32_t, 3>> first;  // sorted nodes -> triangle
  std::map<std::pair<int32_t, int32_t>, int> edges;
  for (int32_t t = 0; t < m.triangleCount(); ++t) {
    Vec3 p[3];
    uint64_t k[3];
    int32_t o[3];
    for (int c = 0; c < 3; ++c) {
      p[c] = q(m.tris[3 * t + c]);
      k[c] = grid.key(p[c]);
      o[c] = number.at(k[c]);
    }
    if (k[0] != k[1] && k[1] != k[2] && k[0] != k[2]) {
      const Vec3 r0 = r.cells[k[0]].point, r1 = r.cells[k[1]].point, r2 = r.cells[k[2]].point;
      const bool keep = dot(normalize(crossF(p[1] - p[0], p[2] - p[0])),
                            normalize(crossF(r1 - r0, r2 - r0))) >= 0.0f;
      std::array<int32_t, 3> tri = keep ? std::array<int32_t, 3>{o[0], o[1], o[2]}
                                        : std::array<int32_t, 3>{o[0], o[2], o[1]};
      std::array<int32_t, 3> sorted = tri;
      std::sort(sorted.begin(), sorted.end());
      first.try_emplace(sorted, tri);
      for (int c = 0; c < 3; ++c) {
        const int32_t a = o[c], b = o[(c + 1) % 3];
        edges[{std::min(a, b), std::max(a, b)}] += 1;
      }
    } else if (!(k[0] == k[1] && k[1] == k[2])) {
      const int32_t a = k[0] != k[1] ? o[0] : o[1], b = k[0] != k[1] ? o[1] : o[2];
      edges[{std::min(a, b), std::max(a, b)}] += 0;
    }
  }
  for (const auto& [sorted, tri] : first) r.triangles.insert(rotated(tri[0], tri[1], tri[2]));
  for (const auto& [edge, counter] : edges)
    if (counter == 0) r.lines.insert(edge);
  return r;
}

// --- The comparison -----------------------------------------------------------

uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

void expectMatchesOracle(const test::Mesh& m, int32_t grid, const std::string& label) {
  SCOPED_TRACE(label + " grid " + std::to_string(grid));
  const test::HandlerRun run = test::runHandler(m, grid);
  std::unordered_map<uint64_t, int32_t> number;
  for (size_t j = 0; j < run.keys.size(); ++j) number[run.keys[j]] = static_cast<int32_t>(j);
  const OracleResult o = oracle(m, run.space, number);

  ASSERT_EQ(run.keys.size(), o.cells.size());
  ASSERT_EQ(run.mesh.nodes.size(), 3 * run.keys.size());
  ASSERT_EQ(run.exported.size(), 4u);
  int mismatches = 0;
  for (size_t j = 0; j < run.keys.size() && mismatches < 5; ++j) {
    const Solved& s = o.cells.at(run.keys[j]);
    const auto placed = o.placed.find(run.keys[j]);
    const Vec3 p =
        placed != o.placed.end() ? placed->second : run.space.normalisation.denormalise(s.point);
    const float* h = &run.mesh.nodes[3 * j];
    const bool same = bits(p.x) == bits(h[0]) && bits(p.y) == bits(h[1]) && bits(p.z) == bits(h[2]);
    if (!same) ++mismatches;
    EXPECT_TRUE(same) << "node " << j << " key " << run.keys[j] << ": oracle (" << p.x << ", "
                      << p.y << ", " << p.z << ") handler (" << h[0] << ", " << h[1] << ", " << h[2]
                      << ") status " << s.status;
    if (s.status >= 0) {
      EXPECT_EQ(run.exported[1][j], static_cast<float>(s.status)) << "node " << j;
      EXPECT_EQ(run.exported[2][j], static_cast<float>(s.count)) << "node " << j;
      EXPECT_EQ(bits(run.exported[3][j]), bits(s.error)) << "node " << j;
    }
  }
  std::set<std::array<int32_t, 3>> tris;
  for (int32_t t = 0; t < run.mesh.triangleCount(); ++t) {
    const int32_t* x = &run.mesh.triangles[3 * t];
    EXPECT_TRUE(tris.insert(rotated(x[0], x[1], x[2])).second) << "duplicate triangle " << t;
  }
  EXPECT_EQ(tris, o.triangles);
  std::set<std::pair<int32_t, int32_t>> lines;
  for (int32_t l = 0; l < run.mesh.lineCount(); ++l)
    lines.insert({run.mesh.lines[2 * l], run.mesh.lines[2 * l + 1]});
  EXPECT_EQ(lines, o.lines);
}

struct OracleCase {
  const char* name;
  std::vector<int32_t> grids;
};

class HashUCOracle : public ::testing::TestWithParam<int> {};

TEST_P(HashUCOracle, MatchesPlainSingleThreadedClustering) {
  const int threads = GetParam();
  const int saved = omp_get_max_threads();
  omp_set_num_threads(threads);
  const OracleCase files[] = {{"bunny.ply", {1, 4, 16, 64, 256}},
                              {"teapot.ply", {8, 32, 128}},
                              {"dragon_small.ply", {16, 100, 512}}};
  for (const OracleCase& c : files) {
    const test::Mesh m = test::loadMesh(c.name);
    ASSERT_GT(m.triangleCount(), 0) << c.name;
    for (int32_t g : c.grids) expectMatchesOracle(m, g, c.name);
  }
  test::Mesh torus = test::bumpyTorus(90, 40);
  torus.addNode(3.0f, 0.0f, 0.0f);  // used by no triangle
  for (int32_t g : {2, 7, 33, 200}) expectMatchesOracle(torus, g, "torus");
  omp_set_num_threads(saved);
}

INSTANTIATE_TEST_SUITE_P(Threads, HashUCOracle, ::testing::Values(1, 2, 4));

// The whole output, in its order, is the same for every thread count.
TEST(HashUCOracleThreads, OutputIsByteIdenticalForAnyThreadCount) {
  const test::Mesh m = test::loadMesh("dragon_small.ply");
  const int saved = omp_get_max_threads();
  for (int32_t g : {32, 300}) {
    omp_set_num_threads(1);
    const test::HandlerRun one = test::runHandler(m, g);
    // 20 threads: more than the accumulation splits the table into.
    for (int threads : {2, 3, 4, 7, 20}) {
      omp_set_num_threads(threads);
      const test::HandlerRun many = test::runHandler(m, g);
      EXPECT_EQ(
          0, std::memcmp(one.mesh.nodes.data(), many.mesh.nodes.data(), one.mesh.nodes.size() * 4));
      EXPECT_EQ(one.mesh.nodes.size(), many.mesh.nodes.size());
      EXPECT_EQ(one.mesh.triangles, many.mesh.triangles);
      EXPECT_EQ(one.mesh.lines, many.mesh.lines);
      EXPECT_EQ(one.keys, many.keys);
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
}  // namespace Tavrin
