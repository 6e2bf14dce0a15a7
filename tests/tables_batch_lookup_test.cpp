// The division-free modulus against the % operator, the batched lookups of
// the three cell tables (in key order and in table order) against their
// single lookup, and the lock-free builds
// under many more threads than cores (so that chains interleave as much as
// possible) against an oracle set.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "tables/coherent_hash.h"
#include "tables/fast_modulus.h"
#include "tables/ordered_lookup.h"
#include "tables/random_streams.h"
#include "tables/single_cuckoo.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {
namespace {

struct Rec56 {
  float f[14];
};

TEST(TablesFastModulus, AgreesWithTheRemainderOperator) {
  const uint64_t top = ~uint64_t{0};
  const uint64_t divisors[] = {1,          2,          3,           7,           191,
                               499,        573,        65536,       1900813,     4691u * 4691u,
                               2147483647, 2147483648, 4294967291u, 4294967295u, 4294967296u};
  std::mt19937_64 gen(5);
  for (uint64_t d : divisors) {
    SCOPED_TRACE("divisor " + std::to_string(d));
    const FastModulus mod(d);
    EXPECT_EQ(mod.divisor(), d);
    // Around multiples of d, at the ends of the 56-bit and 64-bit ranges.
    std::vector<uint64_t> xs = {0,
                                1,
                                d - 1,
                                d,
                                d + 1,
                                2 * d - 1,
                                2 * d,
                                3 * d + 1,
                                (uint64_t{1} << 56) - 1,
                                uint64_t{1} << 56,
                                uint64_t{1} << 63,
                                top,
                                top - 1,
                                top - d,
                                top / d * d,
                                top / d * d - 1};
    for (int i = 0; i < 20000; ++i) {
      const uint64_t r = gen();
      xs.push_back(r);
      xs.push_back(r >> 8);
      xs.push_back(r >> 32);
      xs.push_back((r >> 40) * d + (i % 3 == 0 ? d - 1 : 0));
    }
    for (uint64_t x : xs) ASSERT_EQ(mod(x), x % d) << "x = " << x;
  }
}

std::vector<uint64_t> distinctKeys(size_t n, uint64_t seed, int shift) {
  std::mt19937_64 gen(seed);
  std::unordered_set<uint64_t> seen;
  std::vector<uint64_t> keys;
  while (keys.size() < n) {
    const uint64_t k = gen() >> shift;
    if (seen.insert(k).second) keys.push_back(k);
  }
  return keys;
}

// Grid rows: runs of consecutive keys with gaps, as cells along a surface.
std::vector<uint64_t> rowKeys(size_t n) {
  std::vector<uint64_t> keys;
  for (uint64_t row = 0; keys.size() < n; ++row)
    for (uint64_t x = 0; x < 40 && keys.size() < n; ++x) keys.push_back(row * 1024 + 300 + x);
  return keys;
}

template <class Table>
uint32_t buildFor(Table& t, const std::vector<uint64_t>& keys, float factor) {
  const uint32_t n = static_cast<uint32_t>(keys.size());
  if constexpr (requires { t.build(keys.data(), n, factor, handler_random()); })
    return t.build(keys.data(), n, factor, handler_random());
  else
    return t.build(keys.data(), n, handler_random());
}

template <class Table>
class TablesBatchLookup : public ::testing::Test {};
using BatchTypes = ::testing::Types<TwoLevelCuckooTable<Rec56>, SingleCuckooTable<Rec56>,
                                    CoherentHashTable<Rec56>>;
TYPED_TEST_SUITE(TablesBatchLookup, BatchTypes);

// Hits, misses and keys no table can hold, mixed, in batches shorter and
// longer than the prefetch distance, give what find_index gives.
TYPED_TEST(TablesBatchLookup, AnswersAsTheSingleLookup) {
  for (int set = 0; set < 2; ++set) {
    const std::vector<uint64_t> keys = set == 0 ? distinctKeys(30000, 11, 8) : rowKeys(30000);
    SCOPED_TRACE(set == 0 ? "random keys" : "row keys");
    TypeParam table;
    ASSERT_EQ(buildFor(table, keys, 1.25f), keys.size());
    std::vector<uint64_t> queries;
    std::mt19937_64 gen(3);
    for (size_t i = 0; i < keys.size(); ++i) {
      queries.push_back(keys[i]);
      queries.push_back(keys[i] + 1);
      if (i % 97 == 0) {
        queries.push_back(gen());
        queries.push_back(kEmptyCellKey);
        queries.push_back(uint64_t{1} << 56);
        queries.push_back(0);
      }
    }
    const std::unordered_set<uint64_t> oracle(keys.begin(), keys.end());
    for (size_t length :
         {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{33}, queries.size()}) {
      std::vector<int64_t> out(length + 1, -7);
      table.find_indices(queries.data(), length, out.data());
      for (size_t i = 0; i < length; ++i) {
        ASSERT_EQ(out[i], table.find_index(queries[i])) << "query " << i << " of " << length;
        ASSERT_EQ(out[i] >= 0, oracle.count(queries[i]) == 1) << "key " << queries[i];
      }
      EXPECT_EQ(out[length], -7) << "wrote past the batch";
    }
    // find_all, in parallel: the small table takes the chunked path; the
    // tables that can order a batch by table position give the same answers
    // that way, in batches of any length and with any number of threads.
    std::vector<int64_t> all(queries.size() + 1, -7);
    table.find_all(queries.data(), queries.size(), all.data());
    for (size_t i = 0; i < queries.size(); ++i)
      ASSERT_EQ(all[i], table.find_index(queries[i])) << i;
    EXPECT_EQ(all.back(), -7);
    if constexpr (TypeParam::kLookupInTableOrder) {
      const int saved = omp_get_max_threads();
      for (int threads : {1, 3})
        for (size_t batch : {size_t{1}, size_t{7}, size_t{4096}, queries.size() + 5}) {
          SCOPED_TRACE(std::to_string(threads) + " threads, batches of " + std::to_string(batch));
          omp_set_num_threads(threads);
          std::fill(all.begin(), all.end(), -7);
          const size_t length = queries.size() - 3;
          const bool done = findAllInTableOrder(table, queries.data(), length, all.data(), batch);
          omp_set_num_threads(saved);
          ASSERT_TRUE(done);
          for (size_t i = 0; i < length; ++i) ASSERT_EQ(all[i], table.find_index(queries[i])) << i;
          for (size_t i = length; i < all.size(); ++i)
            EXPECT_EQ(all[i], -7) << "wrote past the keys";
        }
    }
    // A released table answers -1 for every key of a batch.
    table.release();
    std::vector<int64_t> out(64, 0);
    table.find_indices(keys.data(), out.size(), out.data());
    for (int64_t v : out) EXPECT_EQ(v, -1);
  }
}

// Far more threads than cores make chains of different threads meet on the
// same slots; tightly packed tables make chains long. Every key must end in
// exactly one slot, and no slot may hold anything else.
TYPED_TEST(TablesBatchLookup, CrowdedParallelBuildLosesAndDuplicatesNothing) {
  const int saved = omp_get_max_threads();
  for (int threads : {3, 8}) {
    for (float factor : {1.05f, 1.1f}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, factor " + std::to_string(factor));
      omp_set_num_threads(threads);
      const std::vector<uint64_t> keys = distinctKeys(60000, 17 + threads, 8);
      TypeParam table;
      uint32_t built = buildFor(table, keys, factor);
      if (!built) built = buildFor(table, keys, 1.15f);  // a rare stash collision
      omp_set_num_threads(saved);
      ASSERT_EQ(built, keys.size());
      std::unordered_set<uint64_t> seen;
      for (uint64_t i = 0; i < table.slotCount(); ++i) {
        const uint64_t k = table.slot(i).key;
        if (k == kEmptyCellKey) continue;
        ASSERT_TRUE(seen.insert(k).second) << "key " << k << " stored twice";
      }
      EXPECT_EQ(seen, std::unordered_set<uint64_t>(keys.begin(), keys.end()));
      std::vector<int64_t> out(keys.size());
      table.find_indices(keys.data(), keys.size(), out.data());
      for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_GE(out[i], 0);
        ASSERT_EQ(table.slot(static_cast<uint64_t>(out[i])).key, keys[i]);
      }
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
}  // namespace Tavrin
