// The boundary marks of the streamed road against a map of sides, for
// budgets that split the sides into many parts, and sweeps that differ from
// the first one (the file changed): refused, never written past a part.
#include "mesh/stream_boundary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace Tavrin {
namespace {

std::vector<uint8_t> oracle_marks(const std::vector<int32_t>& t, int32_t n) {
  std::map<std::pair<int32_t, int32_t>, int> sides;
  for (size_t i = 0; i < t.size(); i += 3)
    for (auto [a, b] : {std::pair{t[i], t[i + 1]}, {t[i + 1], t[i + 2]}, {t[i], t[i + 2]}})
      ++sides[{std::min(a, b), std::max(a, b)}];
  std::vector<uint8_t> marks(n, 0);
  for (const auto& [side, count] : sides)
    if (count == 1) marks[side.first] = marks[side.second] = 1;
  return marks;
}

// Feeds `sweep` (then `later` on every part sweep) in blocks of 7
// triangles; false when a part was refused.
bool run(StreamBoundary& b, const std::vector<int32_t>& sweep, const std::vector<int32_t>& later,
         uint64_t budget, int* parts_out = nullptr) {
  auto feed = [](const std::vector<int32_t>& t, auto&& add) {
    for (size_t i = 0; i < t.size(); i += 21)
      add(t.data() + i, static_cast<int64_t>(std::min<size_t>(21, t.size() - i) / 3));
  };
  feed(sweep, [&](const int32_t* t, int64_t m) { b.count_triangles(t, m); });
  const int parts = b.plan(budget);
  if (parts_out) *parts_out = parts;
  for (int p = 0; p < parts; ++p) {
    b.begin_pass(p);
    feed(later, [&](const int32_t* t, int64_t m) { b.add_triangles(t, m); });
    if (!b.end_pass()) return false;
  }
  return true;
}

TEST(StreamBoundary, MarksMatchAMapOfSidesForEveryBudget) {
  std::mt19937 random(7);
  const int32_t n = 2000;
  std::vector<int32_t> t;
  for (int i = 0; i < 3 * 3000; ++i) t.push_back(static_cast<int32_t>(random() % n));
  // Repeated and degenerate triangles, and a side from a node to itself.
  t.insert(t.end(), {1, 2, 3, 1, 2, 3, 4, 4, 5, 9, 9, 9});
  for (uint64_t budget : {64u, 1u << 20}) {
    SCOPED_TRACE(testing::Message() << "budget " << budget);
    StreamBoundary b(n);
    int parts = 0;
    ASSERT_TRUE(run(b, t, t, budget, &parts));
    if (budget <= 64) {
      EXPECT_GE(parts, 31);
    }
    EXPECT_TRUE(b.marks() == oracle_marks(t, n));
  }
  // A later sweep with a side more, a side less, or another side in the same
  // place: refused when the counts differ, never written past a range.
  std::vector<int32_t> more = t, less = t, moved = t;
  more.insert(more.end(), {7, 8, 9});
  less.resize(less.size() - 3);
  moved[0] = (moved[0] + 1) % n;
  for (uint64_t budget : {64u}) {
    StreamBoundary a(n), b(n), c(n);
    EXPECT_FALSE(run(a, t, more, budget));
    EXPECT_FALSE(run(b, t, less, budget));
    run(c, t, moved, budget);  // may pass the counts: only memory safety is asked
  }
}

}  // namespace
}  // namespace Tavrin
