#include <gtest/gtest.h>

#include <algorithm>
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
