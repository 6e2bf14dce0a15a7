// The normal-aware handlers: a thin sheet keeps both sides where plain
// clustering collapses them, the merge rule of the adaptive handlers, the
// octant of degenerate normals, value averaging over merged cells, memory
// reports, thread-count independence and driver runs end to end.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hashuc/hash_uc_adapt_normal.h"
#include "hashuc/hash_uc_normal.h"
#include "hashuc_run_util.h"
#include "simplify/driver.h"

namespace Tavrin {
namespace {

using test::Mesh;

constexpr simp_type kNormalTypes[] = {HASH_UC_NORMAL, HASH_UC_ADAPT_NORMAL, HASH_UC_TEMP_NORMAL};

// Two k x k sheets of side 1, at z = 0 facing +z and at z = gap facing -z.
Mesh thinSheet(int k, float gap) {
  Mesh m;
  for (int side = 0; side < 2; ++side) {
    const int32_t base = m.nodeCount();
    for (int j = 0; j <= k; ++j)
      for (int i = 0; i <= k; ++i) m.addNode(float(i) / k, float(j) / k, side ? gap : 0.0f);
    for (int j = 0; j < k; ++j)
      for (int i = 0; i < k; ++i) {
        const int32_t a = base + j * (k + 1) + i, b = a + 1, c = a + k + 1, d = c + 1;
        if (side == 0)
          m.tris.insert(m.tris.end(), {a, b, d, a, d, c});
        else
          m.tris.insert(m.tris.end(), {a, d, b, a, c, d});
      }
  }
  return m;
}

TEST(HashUCNormalHandlers, ThinSheetKeepsBothSides) {
  const Mesh m = thinSheet(40, 0.01f);
  // An odd grid puts both sheets in the middle layer of cells.
  const test::FactoryRun plain = test::runThroughFactory(m, 9, HASH_UC);
  ASSERT_GT(plain.nodes, 0);
  for (simp_type type : kNormalTypes) {
    SCOPED_TRACE(simp_type_keyword(type));
    const test::FactoryRun run = test::runThroughFactory(m, 9, type);
    ASSERT_TRUE(run.handler);
    EXPECT_EQ(run.handler->type(), type);
    EXPECT_EQ(run.nodes, 2 * plain.nodes);
    test::expectMeshInvariants(run.mesh);
    EXPECT_EQ(run.mesh.triangleCount(), 2 * plain.mesh.triangleCount());
    // Every node stays on its own sheet; plain clustering puts them between.
    int low = 0, high = 0;
    for (int32_t i = 0; i < run.nodes; ++i) {
      const float z = run.mesh.nodes[3 * i + 2];
      low += std::fabs(z) < 1e-4f;
      high += std::fabs(z - 0.01f) < 1e-4f;
    }
    EXPECT_EQ(low, plain.nodes);
    EXPECT_EQ(high, plain.nodes);
  }
  for (int32_t i = 0; i < plain.nodes; ++i) EXPECT_NEAR(plain.mesh.nodes[3 * i + 2], 0.005f, 1e-4f);
}

// One triangle with unit normal n, its corner at c: (c, c + t, c + n x t).
void addFacing(Mesh& m, const Vec3& c, const Vec3& n) {
  const Vec3 t = normalize(cross(n, std::fabs(n.y) < 0.9f ? Vec3(0, 1, 0) : Vec3(1, 0, 0)));
  const Vec3 u = cross(n, t);
  const int32_t a = m.addNode(c.x, c.y, c.z);
  const int32_t b = m.addNode(c.x + t.x, c.y + t.y, c.z + t.z);
  const int32_t d = m.addNode(c.x + u.x, c.y + u.y, c.z + u.z);
  m.tris.insert(m.tris.end(), {a, b, d});
}

Vec3 degrees(float angle) {  // in the xz plane, symmetric about +z
  const double h = angle * M_PI / 360.0;
  return Vec3(static_cast<float>(std::sin(h)), 0.0f, static_cast<float>(std::cos(h)));
}

TEST(HashUCNormalHandlers, MergeOfOctantsInOneCell) {
  struct Case {
    const char* name;
    std::vector<Vec3> normals;  // one triangle each, all in one cell
    int adaptive_nodes;
  };
  auto pair = [](float angle) {
    const Vec3 a = degrees(angle);
    return std::vector<Vec3>{a, Vec3(-a.x, a.y, a.z)};
  };
  const Vec3 four[4] = {{1, .3f, .3f}, {1, .3f, -.3f}, {1, -.3f, .3f}, {1, -.3f, -.3f}};
  const Case cases[] = {
      {"one octant", {Vec3(0.1f, 0.2f, 1), Vec3(0.3f, 0.1f, 1)}, 1},
      {"90 degrees", pair(90), 1},
      {"110 degrees", pair(110), 1},
      {"130 degrees", pair(130), 2},
      {"180 degrees", pair(180), 2},
      {"four close octants", {four[0], four[1], four[2], four[3]}, 1},
      {"five close octants", {four[0], four[1], four[2], four[3], Vec3(-.1f, 1, .3f)}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mesh m;
    for (size_t i = 0; i < c.normals.size(); ++i)
      addFacing(m, Vec3(3.0f * i, 0, 0), normalize(c.normals[i]));
    std::set<uint32_t> octants;
    for (const Vec3& n : c.normals) octants.insert(octant_of(n));
    for (simp_type type : kNormalTypes) {
      const test::FactoryRun run = test::runThroughFactory(m, 1, type);
      const int want = type == HASH_UC_NORMAL ? static_cast<int>(octants.size()) : c.adaptive_nodes;
      EXPECT_EQ(run.nodes, want) << simp_type_keyword(type);
      std::vector<std::vector<float>> exported;
      int32_t length = 0;
      EXPECT_EQ(run.handler->exportCells(exported, length), 6);
      EXPECT_EQ(length, want);
    }
  }
}

TEST(HashUCNormalHandlers, NotANumberComponentCountsAsNegative) {
  EXPECT_EQ(octant_of(Vec3(std::nanf(""), 1, 1)), 4u);
  EXPECT_EQ(octant_of(Vec3(1, std::nanf(""), 1)), 2u);
  EXPECT_EQ(octant_of(Vec3(1, 1, -std::nanf(""))), 1u);
  // A triangle so large that its normal overflows: (0, 0, inf) scales to
  // (0, 0, NaN), so its nodes are in octant 1 rather than 0.
  for (float scale : {1.0f, 1e20f}) {
    Mesh m;
    m.addNode(0, 0, 0);
    m.addNode(scale, 0, 0);
    m.addNode(0, scale, 0);
    m.tris = {0, 1, 2};
    HashUCNormal h;
    h.setUpGrid(4, m.coords.data(), 3, 3);
    h.computeNodeNormals(m.coords.data(), 3, 3, m.tris.data(), 1, 3);
    h.initialiseWithNormals(4, m.coords.data(), 3, 3, m.tris.data(), 1, 3);
    ASSERT_EQ(h.nodeNormals().size(), 3u);
    for (uint64_t key : h.space().cellKeys) EXPECT_EQ(key & 7, scale > 1 ? 1u : 0u) << scale;
  }
}

TEST(HashUCNormalHandlers, MergedCellAveragesAllItsNodes) {
  // Two triangles in one cell: values 0 on the first, 1 on the second.
  for (float angle : {90.0f, 180.0f}) {
    Mesh m;
    const Vec3 a = degrees(angle);
    addFacing(m, Vec3(0, 0, 0), a);
    addFacing(m, Vec3(3, 0, 0), Vec3(-a.x, a.y, a.z));
    const std::vector<float> v = {0, 0, 0, 1, 1, 1};
    for (simp_type type : {HASH_UC_ADAPT_NORMAL, HASH_UC_TEMP_NORMAL}) {
      test::FactoryRun run = test::runThroughFactory(m, 1, type);
      const float* values[1] = {v.data()};
      const int32_t strides[1] = {1};
      std::vector<std::vector<float>> out;
      reset_handler_cells(run.handler.get());
      const int32_t length = interpolate_handler_values(run.handler.get(), m.coords.data(), 6,
                                                        values, strides, 1, &out);
      ASSERT_EQ(out.size(), 1u);
      if (angle < 120) {
        ASSERT_EQ(length, 1);
        EXPECT_EQ(out[0][0], 0.5f);
      } else {
        ASSERT_EQ(length, 2);
        EXPECT_EQ(std::min(out[0][0], out[0][1]), 0.0f);
        EXPECT_EQ(std::max(out[0][0], out[0][1]), 1.0f);
      }
    }
  }
}

TEST(HashUCNormalHandlers, MemoryReports) {
  const Mesh m = test::bumpyTorus(80, 30);
  struct Case {
    simp_type type;
    uint64_t per_bucket;
  };
  for (const Case& c : {Case{HASH_UC_NORMAL, 36686}, Case{HASH_UC_ADAPT_NORMAL, 45854},
                        Case{HASH_UC_TEMP_NORMAL, 45855}}) {
    SCOPED_TRACE(simp_type_keyword(c.type));
    test::FactoryRun run = test::runThroughFactory(m, 20, c.type);
    ASSERT_TRUE(run.handler);
    uint64_t buckets = 0, keys = 0;
    if (const auto* h = dynamic_cast<const HashUCNormal*>(run.handler.get())) {
      buckets = h->table()->bucketCount();
      keys = h->space().cellKeys.size();
    } else if (const auto* h2 =
                   dynamic_cast<const AdaptNormalHandler<QefAccNormalInfo>*>(run.handler.get())) {
      buckets = h2->table()->bucketCount();
      keys = h2->space().cellKeys.size();
    }
    ASSERT_GT(buckets, 0u);
    EXPECT_EQ(run.handler->memoryBytes(), 216 + c.per_bucket * buckets + 8 * keys);
    run.handler->releaseCells();
    EXPECT_EQ(run.handler->memoryBytes(), 176u);
  }
}

struct FullRun {
  SimplifiedMesh mesh;
  std::vector<std::vector<float>> values, exported;
};

FullRun fullRun(const Mesh& m, int32_t grid, simp_type type, const std::vector<float>& value) {
  FullRun r;
  test::FactoryRun f = test::runThroughFactory(m, grid, type);
  r.mesh = f.mesh;
  int32_t length = 0;
  f.handler->exportCells(r.exported, length);
  const float* v[2] = {value.data(), m.coords.data() + 1};
  const int32_t s[2] = {1, 3};
  reset_handler_cells(f.handler.get());
  interpolate_handler_values(f.handler.get(), m.coords.data(), m.nodeCount(), v, s, 2, &r.values);
  return r;
}

TEST(HashUCNormalHandlers, SameBytesForOneTwoFourThreadsAndBothAdaptiveForms) {
  std::unique_ptr<Object> dragon = load_ply(test::data_path("dragon_small.ply"));
  ASSERT_TRUE(dragon);
  const Mesh meshes[] = {test::fromObject(*dragon), thinSheet(30, 0.002f)};
  for (const Mesh& m : meshes) {
    std::vector<float> value(m.nodeCount());
    for (int32_t i = 0; i < m.nodeCount(); ++i)
      value[i] = (i % 9 == 0) ? kNoValue : 0.5f * (i % 17);
    for (simp_type type : kNormalTypes) {
      SCOPED_TRACE(simp_type_keyword(type));
      const FullRun one = test::withThreads(1, [&] { return fullRun(m, 35, type, value); });
      test::expectMeshInvariants(one.mesh);
      EXPECT_GT(one.mesh.triangleCount(), 100);
      ASSERT_EQ(one.values.size(), 2u);
      EXPECT_EQ(one.values[0].size() * 3, one.mesh.nodes.size());
      for (int threads : {2, 4}) {
        const FullRun r = test::withThreads(threads, [&] { return fullRun(m, 35, type, value); });
        test::expectSameMesh(one.mesh, r.mesh);
        ASSERT_EQ(r.values.size(), 2u);
        for (int j = 0; j < 2; ++j) EXPECT_TRUE(test::sameBytes(one.values[j], r.values[j]));
        for (size_t j = 0; j < one.exported.size(); ++j)
          EXPECT_TRUE(test::sameBytes(one.exported[j], r.exported[j]));
      }
      if (type == HASH_UC_TEMP_NORMAL) {
        const FullRun adaptive = fullRun(m, 35, HASH_UC_ADAPT_NORMAL, value);
        test::expectSameMesh(adaptive.mesh, one.mesh);
        for (int j = 0; j < 2; ++j) EXPECT_TRUE(test::sameBytes(adaptive.values[j], one.values[j]));
      }
    }
  }
}

TEST(HashUCNormalHandlers, DriverRunsEndToEnd) {
  std::unique_ptr<Object> src = load_ply(test::data_path("bunny_attrs.ply"));
  ASSERT_TRUE(src);
  ASSERT_FALSE(src->scalars.empty());
  for (simp_type type : kNormalTypes) {
    SCOPED_TRACE(simp_type_keyword(type));
    test::MessageCapture capture;
    std::unique_ptr<Object> r = simplify_object(src.get(), 20, type);
    ASSERT_TRUE(r);
    EXPECT_GT(r->num_triangles(), 100);
    ASSERT_EQ(r->scalars.size(), src->scalars.size());
    // Averages stay within the range of their source field.
    for (size_t f = 0; f < src->scalars.size(); ++f) {
      const auto [lo, hi] =
          std::minmax_element(src->scalars[f].values.begin(), src->scalars[f].values.end());
      ASSERT_EQ(r->scalars[f].values.size(), r->nodes.size());
      for (float v : r->scalars[f].values) {
        EXPECT_GE(v, *lo - 1e-3f * std::fabs(*lo));
        EXPECT_LE(v, *hi + 1e-3f * std::fabs(*hi));
      }
    }
  }
}

}  // namespace
}  // namespace Tavrin
