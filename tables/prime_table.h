// The sizes of the cell tables are entries of a table of 1 followed by every
// prime below 3,000,000. The searches answer as a scan of that table would;
// they test primality directly and sieve the table (once, on first use) only
// for arguments whose squares or cubes wrap in 32 bits.
#pragma once

#include <cstdint>
#include <vector>

namespace Tavrin {

class PrimeTable {
 public:
  static constexpr uint32_t kLimit = 3000000;

  // The one table (built on first call, thread-safe).
  static const PrimeTable& instance();

  uint32_t size() const { return static_cast<uint32_t>(entries_.size()); }
  uint32_t operator[](uint32_t i) const { return entries_[i]; }
  uint32_t last() const { return entries_.back(); }

 private:
  PrimeTable();
  std::vector<uint32_t> entries_;
};

// Main slot count of a single-level cuckoo or coherent table for n keys at a
// space factor: the first entry above n * factor (the square of the first
// entry whose square exceeds it beyond the last entry), at least 499.
uint32_t tableSizeFor(uint32_t n, float factor);
// The largest entry not above x (1 for x = 0); 0 when x is beyond the table.
uint32_t largestEntryAtMost(uint32_t x);
// The first entry whose cube exceeds x.
uint32_t firstCubeAbove(uint32_t x);

}  // namespace Tavrin
