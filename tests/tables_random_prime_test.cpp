#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tables/prime_table.h"
#include "tables/random64.h"

namespace Tavrin {
namespace {

TEST(TablesRandom64, FreshGeneratorStartsFromTheFixedState) {
  Random64 r;
  EXPECT_EQ(r.next(), 0xF24416F195C26763ULL);
  EXPECT_EQ(r.next(), 0xE74C0AEB8BED9350ULL);
  EXPECT_EQ(r.next(), 0x64426C2ACB7E3A43ULL);
  r.reset();
  EXPECT_EQ(r.next(), 0xF24416F195C26763ULL);
}

TEST(TablesRandom64, ConcurrentDrawsAreSerialised) {
  // Every draw of a serialised generator is one of the sequence's first draws.
  constexpr int kDraws = 4000;
  Random64 reference, shared;
  std::vector<uint64_t> expected(kDraws), got(kDraws);
  for (uint64_t& v : expected) v = reference.next();
#pragma omp parallel for schedule(static)
  for (int i = 0; i < kDraws; ++i) got[i] = shared.next();
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);
}

TEST(TablesPrimeTable, HoldsOneThenThePrimesBelowTheLimit) {
  const PrimeTable& p = PrimeTable::instance();
  ASSERT_EQ(p.size(), 216817u);
  EXPECT_EQ(p[0], 1u);
  EXPECT_EQ(p[1], 2u);
  EXPECT_EQ(p[4], 7u);
  EXPECT_EQ(p[p.size() - 3], 2999951u);
  EXPECT_EQ(p[p.size() - 2], 2999957u);
  EXPECT_EQ(p.last(), 2999999u);
}

TEST(TablesPrimeTable, TableSizeFor) {
  struct Case {
    uint32_t n;
    float factor;
    uint32_t expected;
  } cases[] = {
      {0, 1.1f, 499},           {400, 1.1f, 499},         {1000, 1.1f, 1103},
      {2999998, 1.0f, 2999999}, {2999999, 1.0f, 3003289}, {3000000, 1.0f, 3003289},
      {453, 1.1f, 499},         {454, 1.1f, 503},  // t = 498 -> 499 ; t = 499 -> 503
  };
  for (const Case& c : cases) EXPECT_EQ(tableSizeFor(c.n, c.factor), c.expected) << c.n;
}

// The searches answer from primality tests where they can and read the table
// only for extreme arguments: everywhere they must give what a scan of the
// table gives, 32-bit wrapping of squares and cubes included.
TEST(TablesPrimeTable, SearchesMatchAScanOfTheTable) {
  const PrimeTable& p = PrimeTable::instance();
  // The first entry whose power exceeds t, or the table's size.
  auto first_above = [&](uint32_t t, auto power) -> uint32_t {
    uint32_t i = 0;
    while (i < p.size() && power(p[i]) <= t) ++i;
    return i;
  };
  auto square = [](uint32_t e) -> uint32_t { return e * e; };
  auto cube = [](uint32_t e) -> uint32_t { return e * e * e; };
  std::vector<uint32_t> xs;
  for (uint32_t x = 0; x < 20000; ++x) xs.push_back(x);
  for (uint32_t edge : {2999957u, 2999999u, 65521u * 65521u, 1621u * 1621u * 1621u, 0xFFFFFFFFu})
    for (uint32_t d = 0; d < 5; ++d) {
      xs.push_back(edge - d);
      if (edge + d > edge) xs.push_back(edge + d);
    }
  std::mt19937 gen(5);
  for (int i = 0; i < 300; ++i) xs.push_back(static_cast<uint32_t>(gen()));
  for (int i = 0; i < 300; ++i) xs.push_back(static_cast<uint32_t>(gen() % 4000000));
  for (uint32_t x : xs) {
    uint32_t size = 0;
    if (x < p.last()) {
      const uint32_t i = first_above(x, [](uint32_t e) { return e; });
      size = i < p.size() ? p[i] : 0;
    } else {
      const uint32_t i = first_above(x, square);
      size = i < p.size() ? square(p[i]) : 0;
    }
    ASSERT_EQ(tableSizeFor(x, 1.0f), size < 499 ? 499 : size) << x;
    uint32_t at_most = 0;
    for (uint32_t i = 0; i < p.size(); ++i)
      if (p[i] > x) {
        at_most = i == 0 ? p[0] : p[i - 1];
        break;
      }
    ASSERT_EQ(largestEntryAtMost(x), at_most) << x;
    const uint32_t c = first_above(x, cube);
    ASSERT_EQ(firstCubeAbove(x), c < p.size() ? p[c] : 0) << x;
  }
}

TEST(TablesPrimeTable, LargestEntryAtMostAndFirstCubeAbove) {
  EXPECT_EQ(largestEntryAtMost(0), 1u);
  EXPECT_EQ(largestEntryAtMost(1), 1u);
  EXPECT_EQ(largestEntryAtMost(10), 7u);
  EXPECT_EQ(largestEntryAtMost(11), 11u);
  EXPECT_EQ(largestEntryAtMost(2999998), 2999957u);
  EXPECT_EQ(largestEntryAtMost(2999999), 0u);
  EXPECT_EQ(largestEntryAtMost(3000000), 0u);
  EXPECT_EQ(firstCubeAbove(0), 1u);
  EXPECT_EQ(firstCubeAbove(1), 2u);
  EXPECT_EQ(firstCubeAbove(8), 3u);
  EXPECT_EQ(firstCubeAbove(1000000), 101u);
}

}  // namespace
}  // namespace Tavrin
