// The 64-bit pseudo-random generator that draws the constants of the cell
// tables' hash functions: a combination of a linear congruential step, an
// xorshift and a multiply-with-carry generator, started from a fixed state so
// that a run creating its tables in the same order draws the same functions.
// Draws may come from inside parallel loops, so next() is serialised by a lock.
#pragma once

#include <cstdint>
#include <mutex>

namespace Tavrin {

class Random64 {
 public:
  Random64() { reset(); }
  Random64(const Random64&) = delete;
  Random64& operator=(const Random64&) = delete;

  // Returns the next value; safe to call from several threads at once (the
  // order in which concurrent callers are served is not fixed).
  uint64_t next();
  // Back to the fixed initial state.
  void reset();

 private:
  std::mutex mutex_;
  uint64_t u_ = 0, v_ = 0, w_ = 0;
};

}  // namespace Tavrin
