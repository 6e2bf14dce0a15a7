// A small direct-mapped cache of recently met 64-bit words. A pass that meets
// the same words again and again, mostly soon after each other (the cell
// pairs of neighbouring triangles), keeps only the words the cache has not
// seen: most repeats go, memory stays at a few kilobytes whatever the input
// size, and whatever passes still holds every distinct word at least once.
#pragma once

#include <array>
#include <cstdint>

namespace Tavrin {

class RecentWords {
 public:
  RecentWords() { seen_.fill(kNone); }

  // False when w is certainly a repeat; true when it may be new (it is then
  // remembered, replacing the word that shared its place).
  bool admit(uint64_t w) {
    uint64_t& place = seen_[(w * 0x9E3779B97F4A7C15ull) >> (64 - kBits)];
    if (place == w) return false;
    place = w;
    return true;
  }

 private:
  static constexpr int kBits = 10;
  static constexpr uint64_t kNone = ~uint64_t{0};  // never admitted twice: see admit
  std::array<uint64_t, size_t{1} << kBits> seen_;
};

}  // namespace Tavrin
