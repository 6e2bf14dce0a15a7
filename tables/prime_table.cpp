#include "tables/prime_table.h"

namespace Tavrin {

// Sieves the odd numbers only (index k stands for 2k + 1): half the memory
// and half the crossing-out of a sieve over every number, which matters
// because the first table build of a run waits for it.
PrimeTable::PrimeTable() {
  static_assert(kLimit % 2 == 0);
  constexpr uint32_t kOdd = kLimit / 2;
  std::vector<uint8_t> composite(kOdd, 0);
  entries_.reserve(216817);
  entries_.push_back(1);
  entries_.push_back(2);
  for (uint32_t k = 1; k < kOdd; ++k) {
    if (composite[k]) continue;
    const uint64_t p = 2 * uint64_t{k} + 1;
    entries_.push_back(static_cast<uint32_t>(p));
    for (uint64_t j = p * p / 2; j < kOdd; j += p) composite[j] = 1;
  }
}

const PrimeTable& PrimeTable::instance() {
  static const PrimeTable table;
  return table;
}

namespace {

// The searches below answer from primality tests where the answer lies in
// the table's range and no product wraps; only the extreme arguments read
// the sieved table. A table build of a small mesh then never waits for the
// sieve (about 20 ms, far more than the rest of such a run).
bool is_prime(uint32_t x) {
  if (x < 2) return false;
  if (x % 2 == 0) return x == 2;
  for (uint32_t d = 3; d * d <= x; d += 2)
    if (x % d == 0) return false;
  return true;
}

// Largest prime below the table's limit: its last entry.
constexpr uint32_t kLastEntry = 2999999;

// Smallest entry of the table above x, for x below the last entry.
uint32_t first_entry_above(uint32_t x) {
  if (x == 0) return 1;
  uint32_t p = x + 1;
  while (!is_prime(p)) ++p;
  return p;
}

}  // namespace

uint32_t tableSizeFor(uint32_t n, float factor) {
  const uint32_t t = static_cast<uint32_t>(
      static_cast<int64_t>(static_cast<double>(n) * static_cast<double>(factor)));
  if (t < kLastEntry) {
    const uint32_t r = first_entry_above(t);
    return r < 499 ? 499 : r;
  }
  // The first prime whose square exceeds t, while squares of primes up to
  // 65521 do not wrap.
  if (t < 65521u * 65521u) {
    uint32_t p = 2;
    while (!(p * p > t && is_prime(p))) ++p;
    return p * p;
  }
  // Beyond: the squares of the entries as they come out in 32 bits.
  const PrimeTable& primes = PrimeTable::instance();
  for (uint32_t i = 0; i < primes.size(); ++i) {
    const uint32_t sq = primes[i] * primes[i];
    if (sq > t) return sq < 499 ? 499 : sq;
  }
  return 499;
}

uint32_t largestEntryAtMost(uint32_t x) {
  if (x >= kLastEntry) return 0;
  if (x < 2) return 1;
  while (!is_prime(x)) --x;
  return x;
}

uint32_t firstCubeAbove(uint32_t x) {
  // Below the cube of 1621, the last prime whose cube does not wrap, the
  // answer is a prime up to 1621.
  if (x == 0) return 1;
  if (x < 1621u * 1621u * 1621u) {
    uint32_t p = 2;
    while (!(p * p * p > x && is_prime(p))) ++p;
    return p;
  }
  const PrimeTable& primes = PrimeTable::instance();
  for (uint32_t i = 0; i < primes.size(); ++i) {
    const uint32_t e = primes[i];
    if (e * e * e > x) return e;
  }
  return 0;
}

}  // namespace Tavrin
