// Renumbering by spatial sort, and the two-thread sort beneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "mesh/object.h"
#include "mesh/sort_grid.h"
#include "mesh/two_thread_sort.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

// n nodes in clusters (so that many share a cell, some share a position),
// random triangles and lines, a scalar holding each node's number and one
// holding a function of its position.
void make_cloud(Object& o, int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-5.0f, 5.0f);
  o.nodes.resize(n);
  for (int i = 0; i < n; ++i) {
    if (i % 7 == 3 && i > 0)
      o.nodes[i] = o.nodes[rng() % i];  // repeated position
    else if (i % 3 == 0)
      o.nodes[i] = {u(rng), u(rng), u(rng)};
    else
      o.nodes[i] = Vec3(1.0f, 2.0f, 3.0f) + Vec3(u(rng), u(rng), u(rng)) * 1e-5f;
  }
  o.triangles.resize(n);
  for (int i = 0; i < n; ++i) o.triangles[i] = {int(rng() % n), int(rng() % n), int(rng() % n), 3};
  o.lines = {{0, n - 1, 4}, {n / 2, n / 3, 9}};
  o.compute_normals();
  o.scalars = {{"number", std::vector<float>(n)}, {"f", std::vector<float>(n)}};
  for (int i = 0; i < n; ++i) {
    o.scalars[0].values[i] = float(i);
    o.scalars[1].values[i] = o.nodes[i].x * 3 - o.nodes[i].z;
  }
  o.update_bbox();
}

// The old number of each new node (the "number" field follows its node).
std::vector<int> old_numbers(const Object& o) {
  std::vector<int> out;
  for (float v : o.scalars[0].values) out.push_back(int(v));
  return out;
}

// Everything stays attached to its point, and the order is by cell, then
// old number, checked against a stable sort by cell.
void check_renumbered(const Object& before, const Object& after) {
  const size_t n = before.nodes.size();
  std::vector<int> old = old_numbers(after);
  std::vector<int> sorted_old = old;
  std::sort(sorted_old.begin(), sorted_old.end());
  std::vector<int> identity(n);
  std::iota(identity.begin(), identity.end(), 0);
  ASSERT_EQ(sorted_old, identity) << "not a permutation";

  SortGrid grid = SortGrid::around(before.box());
  std::vector<int> expected = identity;
  std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
    return grid.cell(before.nodes[a]) < grid.cell(before.nodes[b]);
  });
  ASSERT_EQ(old, expected);

  for (size_t j = 0; j < n; ++j) {
    ASSERT_EQ(after.nodes[j], before.nodes[old[j]]);
    ASSERT_EQ(after.normals[j], before.normals[old[j]]);
    ASSERT_EQ(after.scalars[1].values[j], before.scalars[1].values[old[j]]);
  }
  for (size_t t = 0; t < before.triangles.size(); ++t) {
    const TriangleRecord &p = before.triangles[t], &q = after.triangles[t];
    ASSERT_EQ(after.nodes[q.a], before.nodes[p.a]);
    ASSERT_EQ(after.nodes[q.b], before.nodes[p.b]);
    ASSERT_EQ(after.nodes[q.c], before.nodes[p.c]);
    ASSERT_EQ(q.tag, 0);
  }
  for (size_t l = 0; l < before.lines.size(); ++l) {
    EXPECT_EQ(old[after.lines[l].a], before.lines[l].a);
    EXPECT_EQ(old[after.lines[l].b], before.lines[l].b);
    EXPECT_EQ(after.lines[l].source, 0u);
  }
  EXPECT_EQ(after.bbox_min, before.bbox_min);
  EXPECT_EQ(after.bbox_max, before.bbox_max);
}

// 150,000 nodes take the single-thread sort, 250,000 the two-thread sort.
TEST(MeshRenumber, KeepsEverythingAttachedAndOrdersByCell) {
  for (int n : {1, 2, 1000, 150000, 250000}) {
    Object before, o;
    make_cloud(before, n, 11u + n);
    make_cloud(o, n, 11u + n);
    test::MessageCapture capture;
    o.renumerate();
    SCOPED_TRACE(n);
    check_renumbered(before, o);
    EXPECT_EQ(capture.text(),
              "Qsorting along Z.\nQsorting along Y.\nQsorting along X.\n"
              "Qsorting according to cluster_id.\nUpdating vertices.\nUpdating normals.\n"
              "Updating scalars.\nUpdating connectivity.\n");
  }
}

// An independent oracle: on a lattice coarser than the cells the order is by
// z, then y, then x.
TEST(MeshRenumber, LatticeComesOutInZYXOrder) {
  Object o;
  for (int z = 0; z < 20; ++z)
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) o.nodes.emplace_back(float(x), float(y), float(z) - 3.0f);
  std::shuffle(o.nodes.begin(), o.nodes.end(), std::mt19937(5));
  o.normals.resize(o.nodes.size());
  test::MessageCapture capture;
  o.renumerate();
  for (size_t j = 0; j + 1 < o.nodes.size(); ++j) {
    const Vec3 &p = o.nodes[j], &q = o.nodes[j + 1];
    ASSERT_TRUE(std::tie(p.z, p.y, p.x) < std::tie(q.z, q.y, q.x)) << j;
  }
}

TEST(MeshRenumber, SecondRenumberingChangesNothing) {
  Object o;
  make_cloud(o, 20000, 3);
  o.full = std::make_unique<Object>();
  make_cloud(*o.full, 30000, 4);
  test::MessageCapture capture;
  o.renumerate();
  const std::vector<Vec3> once = o.nodes, full_once = o.full->nodes;
  std::vector<int> full_old = old_numbers(*o.full);
  EXPECT_FALSE(std::is_sorted(full_old.begin(), full_old.end())) << "full mesh not renumbered";
  o.renumerate();
  EXPECT_TRUE(o.nodes == once);
  EXPECT_TRUE(o.full->nodes == full_once);

  Object empty;
  empty.renumerate();
  EXPECT_TRUE(empty.nodes.empty());
}

// Sorted, reversed, all-equal and all-at-the-origin inputs must neither
// exhaust the range stack nor take quadratic time.
TEST(MeshRenumber, LargeOrderedAndDegenerateInputsFinish) {
  const int n = 1000000;
  for (int pattern = 0; pattern < 4; ++pattern) {
    Object o;
    o.nodes.resize(n);
    for (int i = 0; i < n; ++i) {
      float t = float(pattern == 1 ? n - i : i);
      if (pattern <= 1) o.nodes[i] = {t, t * 0.5f, 2.0f};  // flat: equal z keys
      if (pattern == 2) o.nodes[i] = {7.0f, 7.0f, 7.0f};
      // pattern 3: every node at the origin (a grid without width)
    }
    o.normals.resize(n);
    o.update_bbox();
    const SortGrid grid = SortGrid::around(o.box());
    o.triangles = {{0, n / 2, n - 1, 1}};
    const Vec3 a = o.nodes[0], b = o.nodes[n / 2], c = o.nodes[n - 1];
    test::MessageCapture capture;
    o.renumerate();
    SCOPED_TRACE(pattern);
    const TriangleRecord& t = o.triangles[0];
    EXPECT_EQ(o.nodes[t.a], a);
    EXPECT_EQ(o.nodes[t.b], b);
    EXPECT_EQ(o.nodes[t.c], c);
    for (int j = 0; j + 1 < n; j += 97) ASSERT_LE(grid.cell(o.nodes[j]), grid.cell(o.nodes[j + 1]));
    // Already in cell order, or all in one cell: ties keep their order.
    if (pattern != 1) {
      EXPECT_TRUE(t.a == 0 && t.b == n / 2 && t.c == n - 1);
    }
  }
}

TEST(TwoThreadSort, MatchesStandardSortOnHardOrders) {
  struct Item {
    int key, id;
  };
  auto by_key = [](const Item& a, const Item& b) { return a.key < b.key; };
  std::mt19937 rng(17);
  for (size_t n : {0, 1, 2, 3, 8, 9, 10, 17, 1000, 50000}) {
    for (int pattern = 0; pattern < 6; ++pattern) {
      std::vector<Item> items(n);
      for (size_t i = 0; i < n; ++i) {
        int k = int(i);
        if (pattern == 1) k = int(n - i);
        if (pattern == 2) k = 4;
        if (pattern == 3) k = int(rng() % 3);
        if (pattern == 4) k = int(i < n / 2 ? i : n - i);  // organ pipe
        if (pattern == 5) k = int(rng());
        items[i] = {k, int(i)};
      }
      std::vector<Item> expected = items;
      std::sort(expected.begin(), expected.end(), by_key);
      sort_records(items.data(), n, by_key, 0);  // always the two-thread path
      std::vector<int> ids;
      for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(items[i].key, expected[i].key) << n << " pattern " << pattern << " at " << i;
        ids.push_back(items[i].id);
      }
      std::sort(ids.begin(), ids.end());
      for (size_t i = 0; i < n; ++i) ASSERT_EQ(ids[i], int(i)) << "lost record";
    }
  }
}

}  // namespace
}  // namespace Tavrin
