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

uint32_t tableSizeFor(uint32_t n, float factor) {
  const PrimeTable& primes = PrimeTable::instance();
  const uint32_t t = static_cast<uint32_t>(
      static_cast<int64_t>(static_cast<double>(n) * static_cast<double>(factor)));
  uint32_t r = 0;
  if (t < primes.last()) {
    for (uint32_t i = 0; i < primes.size(); ++i) {
      if (primes[i] > t) {
        r = primes[i];
        break;
      }
    }
  } else {
    for (uint32_t i = 0; i < primes.size(); ++i) {
      const uint32_t sq = primes[i] * primes[i];
      if (sq > t) {
        r = sq;
        break;
      }
    }
  }
  return r < 499 ? 499 : r;
}

uint32_t largestEntryAtMost(uint32_t x) {
  const PrimeTable& primes = PrimeTable::instance();
  for (uint32_t i = 0; i < primes.size(); ++i)
    if (primes[i] > x) return i == 0 ? primes[0] : primes[i - 1];
  return 0;
}

uint32_t firstCubeAbove(uint32_t x) {
  const PrimeTable& primes = PrimeTable::instance();
  for (uint32_t i = 0; i < primes.size(); ++i) {
    const uint32_t e = primes[i];
    if (e * e * e > x) return e;
  }
  return 0;
}

}  // namespace Tavrin
