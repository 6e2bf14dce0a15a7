// The three cell tables against an independent oracle (std::unordered_set):
// every key is found at a slot of its own holding that key and a zero record,
// no other key is found, and the build statistics agree with the slots.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "tables/coherent_hash.h"
#include "tables/random_streams.h"
#include "tables/single_cuckoo.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {
namespace {

struct Rec24 {
  float f[6];
};
struct Rec56 {
  float f[14];
};
struct Rec80 {
  float f[20];
};
struct Rec144 {
  float f[35];
};
static_assert(sizeof(CellSlot<Rec24>) == 32 && sizeof(CellSlot<Rec56>) == 64 &&
              sizeof(CellSlot<Rec80>) == 88 && sizeof(CellSlot<Rec144>) == 152);

struct KeySet {
  std::string name;
  std::vector<uint64_t> keys;
};

std::vector<uint64_t> randomKeys(size_t n, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::unordered_set<uint64_t> seen;
  std::vector<uint64_t> keys;
  while (keys.size() < n) {
    const uint64_t k = gen() >> 8;  // below 2^56
    if (seen.insert(k).second) keys.push_back(k);
  }
  return keys;
}

// Keys of the cells of an n^3 grid crossed by a sphere of radius 0.4 n: long
// runs of consecutive keys along the rows, as a real surface gives.
std::vector<uint64_t> sphereShellKeys(uint32_t n) {
  std::vector<uint64_t> keys;
  const double c = n / 2.0, r = 0.4 * n;
  for (uint32_t iz = 0; iz < n; ++iz)
    for (uint32_t iy = 0; iy < n; ++iy)
      for (uint32_t ix = 0; ix < n; ++ix) {
        const double dx = ix + 0.5 - c, dy = iy + 0.5 - c, dz = iz + 0.5 - c;
        if (std::fabs(std::sqrt(dx * dx + dy * dy + dz * dz) - r) <= 0.87)
          keys.push_back(ix + static_cast<uint64_t>(n) * (iy + static_cast<uint64_t>(n) * iz));
      }
  return keys;
}

std::vector<KeySet> keySets() {
  std::vector<uint64_t> run(30000);
  for (size_t i = 0; i < run.size(); ++i) run[i] = 1000000 + i;
  return {
      {"none", {}},
      {"one", {12345}},
      {"zero", {0}},
      {"two", {0, 1}},
      {"random", randomKeys(20000, 7)},
      {"consecutive", run},
      {"sphere64", sphereShellKeys(64)},
      {"sphere128", sphereShellKeys(128)},
  };
}

// Builds as the handlers do: a single-level or coherent table that fails
// (a rare stash collision) is built once more at factor 1.15.
template <class Table>
uint32_t buildTable(Table& t, const std::vector<uint64_t>& keys, float factor) {
  const uint32_t n = static_cast<uint32_t>(keys.size());
  Random64& random = handler_random();
  if constexpr (requires { t.build(keys.data(), n, factor, random); }) {
    const uint32_t built = t.build(keys.data(), n, factor, random);
    return built || n == 0 ? built : t.build(keys.data(), n, 1.15f, random);
  } else {
    return t.build(keys.data(), n, random);
  }
}

// Checks the table holds exactly the keys, each once, with zero records.
template <class Table>
void expectHoldsExactly(const Table& t, const std::vector<uint64_t>& keys) {
  using Slot = typename Table::Slot;
  const std::unordered_set<uint64_t> oracle(keys.begin(), keys.end());
  const decltype(Slot::rec) zero{};
  uint64_t occupied = 0;
  for (uint64_t i = 0; i < t.slotCount(); ++i) {
    const Slot& s = t.slot(i);
    EXPECT_EQ(std::memcmp(&s.rec, &zero, sizeof zero), 0) << "slot " << i;
    if (s.key == kEmptyCellKey) continue;
    ++occupied;
    ASSERT_TRUE(oracle.count(s.key)) << "stray key " << s.key;
    ASSERT_EQ(t.find_index(s.key), static_cast<int64_t>(i)) << "key " << s.key;
  }
  EXPECT_EQ(occupied, keys.size());

  // Lock-free lookups from all threads find every key.
  int64_t hits = 0;
#pragma omp parallel for schedule(static) reduction(+ : hits)
  for (int64_t i = 0; i < static_cast<int64_t>(keys.size()); ++i) {
    const int64_t at = t.find_index(keys[i]);
    if (at >= 0 && t.slot(at).key == keys[i]) ++hits;
  }
  EXPECT_EQ(hits, static_cast<int64_t>(keys.size()));

  std::vector<uint64_t> absent = randomKeys(2000, 99);
  for (uint64_t k : keys) absent.push_back(k + 1);
  absent.push_back(0);
  absent.push_back(kEmptyCellKey);
  for (uint64_t q : absent)
    if (!oracle.count(q)) {
      ASSERT_EQ(t.find_index(q), -1) << "absent key " << q;
    }
}

template <class Table>
class TablesCellTable : public ::testing::Test {};

using TableTypes = ::testing::Types<TwoLevelCuckooTable<Rec56>, TwoLevelCuckooTable<Rec24>,
                                    TwoLevelCuckooTable<Rec80>, TwoLevelCuckooTable<Rec144>,
                                    SingleCuckooTable<Rec56>, SingleCuckooTable<Rec24>,
                                    CoherentHashTable<Rec56>, CoherentHashTable<Rec24>>;
TYPED_TEST_SUITE(TablesCellTable, TableTypes);

TYPED_TEST(TablesCellTable, HoldsEveryKeyOfEveryKeySet) {
  for (const KeySet& set : keySets()) {
    for (float factor : {1.1f, 1.4f}) {
      SCOPED_TRACE(set.name + " factor " + std::to_string(factor));
      TypeParam table;
      ASSERT_EQ(buildTable(table, set.keys, factor), set.keys.size());
      ASSERT_TRUE(table.built());
      expectHoldsExactly(table, set.keys);
      table.release();
      EXPECT_FALSE(table.built());
      EXPECT_EQ(table.find_index(set.keys.empty() ? 1 : set.keys[0]), -1);
    }
  }
}

// ---- two-level table ---------------------------------------------------

using TwoLevel = TwoLevelCuckooTable<Rec56>;

TEST(TablesTwoLevel, BucketCountAndBucketContents) {
  EXPECT_EQ(TwoLevel::bucketCountFor(0), 8u);
  EXPECT_EQ(TwoLevel::bucketCountFor(3272), 8u);
  EXPECT_EQ(TwoLevel::bucketCountFor(3273), 9u);
  EXPECT_EQ(TwoLevel::bucketCountFor(409 * 100), 100u);
  const std::vector<uint64_t> keys = sphereShellKeys(128);
  TwoLevel t;
  ASSERT_EQ(t.build(keys.data(), static_cast<uint32_t>(keys.size()), handler_random()),
            keys.size());
  EXPECT_EQ(t.slotCount(), uint64_t{t.bucketCount()} * 573);
  std::vector<int> per_bucket(t.bucketCount(), 0);
  for (uint64_t k : keys) {
    const int64_t i = t.find_index(k);
    ASSERT_GE(i, 0);
    EXPECT_EQ(static_cast<uint64_t>(i) / 573, t.bucketOf(k));
    EXPECT_EQ(&t.lock(i), &t.lock(uint64_t{t.bucketOf(k)} * 573));
    ++per_bucket[t.bucketOf(k)];
  }
  for (uint32_t b = 0; b < t.bucketCount(); ++b) EXPECT_EQ(t.count(b), per_bucket[b]);
}

// Keys 8 j + 3 all fall into bucket 3 of 8 under k mod B.
std::vector<uint64_t> oneBucketKeys(uint32_t n) {
  std::vector<uint64_t> keys(n);
  for (uint32_t j = 0; j < n; ++j) keys[j] = 8ull * j + 3;
  return keys;
}

TEST(TablesTwoLevel, A511KeyBucketFitsAndThe512thOverflows) {
  TwoLevel t;
  std::vector<uint64_t> keys = oneBucketKeys(511);
  t.allocate(511);
  ASSERT_EQ(t.bucketCount(), 8u);
  EXPECT_TRUE(t.distribute(keys.data(), 511));
  EXPECT_EQ(t.count(3), 511);
  keys = oneBucketKeys(512);
  t.allocate(512);
  EXPECT_FALSE(t.distribute(keys.data(), 512));

  // The full build gets past the overflow with the second bucket function.
  ASSERT_EQ(t.build(keys.data(), 512, handler_random()), 512u);
  EXPECT_EQ(t.bucketHashOn(), 1);
  EXPECT_EQ(t.multiplier(), largestEntryAtMost(512 * 8));
  EXPECT_EQ(t.addend(), firstCubeAbove(512));
  EXPECT_EQ(t.modulus(), 1900813u);
  expectHoldsExactly(t, keys);
}

// The slots a build notes are those a lookup finds, for a build that
// succeeds at once, one that needs the second bucket function (a 512-key
// bucket) and one over many buckets with several threads.
TEST(TablesTwoLevel, NotedSlotsAreTheSlotsLookupsFind) {
  const std::vector<std::vector<uint64_t>> cases = {sphereShellKeys(64), oneBucketKeys(512),
                                                    randomKeys(100000, 7)};
  for (const std::vector<uint64_t>& keys : cases) {
    const uint32_t n = static_cast<uint32_t>(keys.size());
    TwoLevel t;
    std::vector<uint32_t> slot(n, 0xFFFFFFFFu);
    ASSERT_EQ(t.build(keys.data(), n, handler_random(), slot.data()), n);
    ASSERT_TRUE(t.notedSlots());
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(int64_t{slot[i]}, t.find_index(keys[i])) << i;
    ASSERT_EQ(t.build(keys.data(), n, handler_random()), n);
    EXPECT_FALSE(t.notedSlots());
  }
}

TEST(TablesTwoLevel, StagingOrderDoesNotDependOnThreads) {
  const std::vector<uint64_t> keys = randomKeys(40000, 3);
  const uint32_t n = static_cast<uint32_t>(keys.size());
  std::vector<uint64_t> staged[2];
  const int saved = omp_get_max_threads();
  for (int run = 0; run < 2; ++run) {
    omp_set_num_threads(run == 0 ? 1 : 3);
    TwoLevel t;
    t.allocate(n);
    ASSERT_TRUE(t.distribute(keys.data(), n));
    for (uint32_t b = 0; b < t.bucketCount(); ++b)
      for (int j = 0; j < t.count(b); ++j) staged[run].push_back(t.slot(uint64_t{b} * 573 + j).key);
  }
  omp_set_num_threads(saved);
  // Oracle: bucket by bucket, keys in input order.
  TwoLevel ref;
  ref.allocate(n);
  std::vector<std::vector<uint64_t>> buckets(ref.bucketCount());
  for (uint64_t k : keys) buckets[ref.bucketOf(k)].push_back(k);
  std::vector<uint64_t> expected;
  for (const auto& b : buckets) expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(staged[0], expected);
  EXPECT_EQ(staged[1], expected);
}

// The second level as a plain reading of its rule: per iteration, per
// sub-table, every unplaced key in key order writes itself into its position
// and displaces the key there. Returns the key number per position (-1:
// empty), or nothing when 25 iterations leave a key unplaced.
std::vector<int> placeLikeTheRule(const std::vector<uint64_t>& staged, uint32_t seed) {
  const int count = static_cast<int>(staged.size());
  std::vector<int> where(573, -1), status(count, 0);
  for (int iteration = 0; iteration < 25; ++iteration) {
    for (int t = 0; t < 3; ++t) {
      for (int k = 0; k < count; ++k) {
        if (status[k] != 0) continue;
        int& cell = where[TwoLevel::position(t, seed, static_cast<uint32_t>(staged[k]))];
        if (cell >= 0) status[cell] = 2;
        cell = k;
      }
      for (int p = 191 * t; p < 191 * (t + 1); ++p)
        if (where[p] >= 0) status[where[p]] = 1;
      for (int& st : status)
        if (st == 2) st = 0;
    }
    if (std::find(status.begin(), status.end(), 0) == status.end()) return where;
  }
  return {};
}

// With one thread the seeds go to the buckets in order, so every bucket's
// placement can be replayed: the table's positions are the rule's, seed by
// seed, for crowded buckets (up to the 511-key limit) and ordinary ones.
TEST(TablesTwoLevel, BucketPlacementFollowsTheRule) {
  const int saved = omp_get_max_threads();
  omp_set_num_threads(1);
  for (uint32_t n : {511u * 8, 409u * 8, 3000u}) {
    SCOPED_TRACE(std::to_string(n) + " keys");
    const std::vector<uint64_t> keys = randomKeys(n, n);
    TwoLevel t;
    ASSERT_TRUE(t.allocate(n));
    if (!t.distribute(keys.data(), n)) continue;  // a bucket over 511 keys: nothing to place
    std::vector<std::vector<uint64_t>> staged(t.bucketCount());
    for (uint64_t k : keys) staged[t.bucketOf(k)].push_back(k);
    Random64 table_draws, replay_draws;
    const bool placed = t.placeBuckets(table_draws);
    bool replayed = true;
    for (uint32_t b = 0; b < t.bucketCount() && replayed; ++b) {
      std::vector<int> where;
      for (int attempt = 0; attempt < 25 && where.empty(); ++attempt)
        where = placeLikeTheRule(staged[b], static_cast<uint32_t>(replay_draws.next()));
      replayed = !where.empty();
      if (!replayed || !placed) break;
      for (uint32_t p = 0; p < 573; ++p)
        ASSERT_EQ(t.slot(uint64_t{b} * 573 + p).key,
                  where[p] < 0 ? kEmptyCellKey : staged[b][where[p]])
            << "bucket " << b << " position " << p;
    }
    EXPECT_EQ(placed, replayed);
  }
  omp_set_num_threads(saved);
}

// ---- single-level cuckoo -----------------------------------------------

using Single = SingleCuckooTable<Rec56>;

TEST(TablesSingleCuckoo, FunctionsAndDraws) {
  EXPECT_EQ(Single::functionCountFor(1.05f), 6);
  EXPECT_EQ(Single::functionCountFor(1.1f), 5);
  EXPECT_EQ(Single::functionCountFor(1.15f), 4);
  EXPECT_EQ(Single::functionCountFor(1.2f), 4);
  EXPECT_EQ(Single::maxEvictionsFor(1), 0);
  EXPECT_EQ(Single::maxEvictionsFor(2), 5);

  Random64 random, reference;
  const std::vector<uint64_t> keys = randomKeys(1000, 5);
  Single t;
  ASSERT_EQ(t.build(keys.data(), 1000, 1.1f, random), 1000u);
  EXPECT_EQ(t.functionCount(), 5);
  EXPECT_EQ(t.mainSlots(), 1103u);
  EXPECT_EQ(t.slotCount(), 1103u + 101u);
  EXPECT_EQ(t.function(0).mix, 0u);
  for (int j = 1; j <= 6; ++j) {
    const CuckooHashFunction& f = j < 6 ? t.function(j) : t.stashFunction();
    EXPECT_EQ(f.mix, static_cast<uint32_t>(reference.next()));
    EXPECT_EQ(f.add, static_cast<uint32_t>(reference.next()));
    EXPECT_EQ(f.modulus, 4294967291u);
    EXPECT_EQ(f.size, j < 6 ? 1103u : 101u);
  }
  EXPECT_EQ(random.next(), reference.next());  // exactly twelve draws
}

TEST(TablesSingleCuckoo, StatisticsAgreeWithTheSlots) {
  for (const KeySet& set : keySets()) {
    if (set.keys.empty()) continue;
    SCOPED_TRACE(set.name);
    Single t;
    const uint32_t n = static_cast<uint32_t>(set.keys.size());
    ASSERT_EQ(buildTable(t, set.keys, 1.1f), n);
    uint32_t stashed = 0;
    for (uint64_t k : set.keys) stashed += t.find_index(k) >= t.mainSlots();
    EXPECT_EQ(t.stashCount(), stashed);
    const int max = Single::maxEvictionsFor(n);
    EXPECT_LE(t.minEvictions(), t.meanEvictions());
    EXPECT_LE(t.meanEvictions(), t.maxEvictions());
    EXPECT_LE(t.maxEvictions(), max);
    if (stashed) {
      EXPECT_EQ(t.maxEvictions(), max);
    }
    if (n == 1) {
      EXPECT_EQ(stashed, 1u);  // no room for a single swap
    }
    if (set.name == "consecutive" || set.name == "two") {  // identity places all at once
      EXPECT_EQ(t.maxEvictions(), 0);
      EXPECT_EQ(t.meanEvictions(), 0.0f);
    }
    EXPECT_NE(t.statsLine(n).find(format("MAX EVICTIONS = %d\n", max)), std::string::npos);
  }
}

TEST(TablesSingleCuckoo, StashCollisionFailsTheBuild) {
  // 1000 keys in 503 main slots: at least 396 stashed keys share 101 stash slots.
  const std::vector<uint64_t> keys = randomKeys(1000, 11);
  Single t;
  EXPECT_EQ(t.build(keys.data(), 1000, 0.5f, handler_random()), 0u);
  EXPECT_FALSE(t.built());
  EXPECT_EQ(t.find_index(keys[0]), -1);
  EXPECT_EQ(t.functionCount(), 4);
}

// ---- coherent parallel hash ----------------------------------------------

using Coherent = CoherentHashTable<Rec56>;

TEST(TablesCoherent, AgesBoundEveryLookup) {
  for (const KeySet& set : keySets()) {
    SCOPED_TRACE(set.name);
    Random64 random, reference;
    Coherent t;
    const uint32_t n = static_cast<uint32_t>(set.keys.size());
    ASSERT_EQ(t.build(set.keys.data(), n, 1.1f, random), n);
    EXPECT_EQ(t.probe(0).offset, 0u);
    for (int i = 1; i <= 32; ++i)
      EXPECT_EQ(t.probe(i).offset, static_cast<uint32_t>(reference.next()));
    EXPECT_EQ(random.next(), reference.next());  // exactly 32 draws

    int highest = 0;
    for (uint64_t k : set.keys) {
      const int64_t at = t.find_index(k);
      int a = 1;
      while (a < 32 && t.position(k, a) != static_cast<uint64_t>(at)) ++a;
      ASSERT_LT(a, 32);
      EXPECT_GE(t.age(k % t.slotCount()), a);
      highest = std::max(highest, a);
    }
    uint64_t sum = 0, homes = 0;
    int top = 0;
    for (uint64_t h = 0; h < t.slotCount(); ++h)
      if (t.age(h)) {
        sum += t.age(h);
        ++homes;
        top = std::max<int>(top, t.age(h));
      }
    EXPECT_DOUBLE_EQ(t.averageAge(), homes ? double(sum) / double(homes) : 0.0);
    EXPECT_LE(t.maxAge(), top);
    EXPECT_EQ(top, highest);
    if (set.name == "consecutive" || set.name == "two") {  // all at home
      EXPECT_EQ(t.maxAge(), 1);
      EXPECT_EQ(t.averageAge(), 1.0);
    }
  }
}

TEST(TablesCoherent, KeysThatCannotBePlacedFailTheBuild) {
  const std::vector<uint64_t> keys = randomKeys(1000, 13);
  Coherent t;
  EXPECT_EQ(t.build(keys.data(), 1000, 0.1f, handler_random()), 0u);  // 1000 keys, 499 slots
  EXPECT_FALSE(t.built());
  EXPECT_EQ(t.maxAge(), 32);
  const uint64_t wide[] = {1, uint64_t{1} << 56};
  EXPECT_EQ(t.build(wide, 2, 1.1f, handler_random()), 0u);
  EXPECT_EQ(t.find_index(1), -1);
}

}  // namespace
}  // namespace Tavrin
