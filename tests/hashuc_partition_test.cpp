// The slot partition that gives every slot to one thread, and the word set
// that keeps the distinct collapsed edges of a pass.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "hashuc/grid.h"
#include "hashuc/recent_words.h"
#include "tables/slot_partition.h"

namespace Tavrin {
namespace {

// Parts are contiguous, cover every slot, and are never empty when there
// are at least as many slots as parts.
TEST(SlotPartition, ContiguousPartsCoverEverySlot) {
  for (uint64_t slots :
       {1ull, 2ull, 3ull, 15ull, 16ull, 17ull, 1000ull, 229448ull, 4294967295ull}) {
    for (int threads : {1, 2, 3, 7, 16, 17, 64}) {
      const SlotPartition p(slots, threads);
      ASSERT_GE(p.parts(), 1);
      ASSERT_LE(p.parts(), SlotPartition::kMaxParts);
      EXPECT_EQ(p.parts(), std::min(threads, SlotPartition::kMaxParts));
      EXPECT_EQ(p.part(0), 0);
      EXPECT_LT(p.part(slots - 1), p.parts()) << slots << " " << threads;
      if (slots <= 100000) {
        std::vector<uint64_t> size(p.parts(), 0);
        int last = 0;
        for (uint64_t s = 0; s < slots; ++s) {
          const int q = p.part(s);
          ASSERT_GE(q, last);  // monotone: contiguous ranges
          ASSERT_LT(q, p.parts());
          last = q;
          ++size[q];
        }
        if (slots >= static_cast<uint64_t>(p.parts())) {
          for (int q = 0; q < p.parts(); ++q) {
            EXPECT_GT(size[q], 0u) << slots << " slots, part " << q;
            // Balanced to within one slot per part and rounding.
            EXPECT_LE(size[q], slots / p.parts() + 2);
          }
        }
      }
    }
  }
}

TEST(SlotPartition, EveryPartRunsOnce) {
  const SlotPartition p(1000, 5);
  std::vector<int> runs(p.parts(), 0);
  p.forEachPart([&](int q) { ++runs[q]; });
  for (int r : runs) EXPECT_EQ(r, 1);
}

// Whatever the filter admits holds every distinct word at least once, and
// an immediate repeat is never admitted.
TEST(RecentWords, KeepsEveryDistinctWordAndDropsNearRepeats) {
  std::mt19937_64 gen(7);
  RecentWords filter;
  std::set<uint64_t> all, admitted;
  size_t admissions = 0;
  uint64_t last = 0;
  bool have_last = false;
  for (int i = 0; i < 200000; ++i) {
    // Runs of repeats over a range far larger than the cache.
    const uint64_t w = i % 5 == 0 || !have_last ? (gen() % 100000) << 20 | 3 : last;
    const bool in = filter.admit(w);
    if (have_last && w == last) {
      EXPECT_FALSE(in);
    }
    if (in) {
      admitted.insert(w);
      ++admissions;
    }
    all.insert(w);
    last = w;
    have_last = true;
  }
  EXPECT_EQ(all, admitted);
  EXPECT_LT(admissions, 200000u / 4);
  EXPECT_TRUE(filter.admit(0));  // zero is a word like any other
}

// The parallel bounding box is the box of one pass from the first point:
// NaN coordinates never move it (unless the first point has them), and of
// two equal zeros the first met stays.
TEST(BoundingBoxParallel, SameAsOnePassForAnyThreadCount) {
  auto serial = [](const std::vector<float>& c) {
    Box b;
    b.min = b.max = Vec3(c[0], c[1], c[2]);
    for (size_t i = 3; i < c.size(); i += 3)
      for (int k = 0; k < 3; ++k) {
        if (c[i + k] < b.min[k]) b.min[k] = c[i + k];
        if (c[i + k] > b.max[k]) b.max[k] = c[i + k];
      }
    return b;
  };
  std::mt19937 gen(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const float nan = std::nanf("");
  const int saved = omp_get_max_threads();
  for (int threads : {1, 2, 3, 8}) {
    omp_set_num_threads(threads);
    for (int variant = 0; variant < 4; ++variant) {
      std::vector<float> c;
      for (int i = 0; i < 3000; ++i) c.push_back(variant == 3 ? 0.0f : u(gen));
      if (variant == 1) c[0] = nan;  // a NaN first point keeps the box NaN there
      if (variant >= 2)
        for (size_t i = 0; i < c.size(); i += 7)
          c[i] = (i / 7) % 2 ? -0.0f : (variant == 2 ? nan : 0.0f);
      const Box want = serial(c);
      const Box got = boundingBox(c.data(), static_cast<int64_t>(c.size() / 3), 3);
      EXPECT_EQ(0, std::memcmp(&want.min, &got.min, sizeof(Vec3))) << threads << " " << variant;
      EXPECT_EQ(0, std::memcmp(&want.max, &got.max, sizeof(Vec3))) << threads << " " << variant;
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
}  // namespace Tavrin
