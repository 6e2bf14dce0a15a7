// A small single-threaded set of 64-bit words (open addressing, linear
// probing, doubled at half load). Used by passes that meet the same word
// many times and want each distinct word once, in order of first meeting.
#pragma once

#include <cstdint>
#include <vector>

namespace Tavrin {

class WordSet {
 public:
  // The all-ones word cannot be held: it marks free places.
  static constexpr uint64_t kFree = ~uint64_t{0};

  explicit WordSet(size_t expected = 1024) { rehash(capacityFor(expected)); }

  // True when w was not in the set yet (it is now).
  bool insert(uint64_t w) {
    // Words tend to come back soon after they were first met: a small cache
    // of recent words answers most repeats without probing the big table.
    uint64_t& recent = recent_[(w * 0xC2B2AE3D27D4EB4Full) >> (64 - kRecentBits)];
    if (recent == w) return false;
    recent = w;
    size_t i = place(w);
    while (table_[i] != kFree) {
      if (table_[i] == w) return false;
      i = (i + 1) & mask_;
    }
    table_[i] = w;
    if (++size_ * 2 > table_.size()) rehash(table_.size() * 2);
    return true;
  }
  size_t size() const { return size_; }

 private:
  static size_t capacityFor(size_t expected) {
    size_t c = 16;
    while (c < 2 * expected) c *= 2;
    return c;
  }
  size_t place(uint64_t w) const {
    return static_cast<size_t>((w * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void rehash(size_t capacity) {
    std::vector<uint64_t> old;
    old.swap(table_);
    table_.assign(capacity, kFree);
    mask_ = capacity - 1;
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) --shift_;
    for (uint64_t w : old) {
      if (w == kFree) continue;
      size_t i = place(w);
      while (table_[i] != kFree) i = (i + 1) & mask_;
      table_[i] = w;
    }
  }

  static constexpr int kRecentBits = 10;
  std::vector<uint64_t> table_;
  std::vector<uint64_t> recent_ = std::vector<uint64_t>(size_t{1} << kRecentBits, kFree);
  size_t mask_ = 0;
  int shift_ = 64;
  size_t size_ = 0;
};

}  // namespace Tavrin
