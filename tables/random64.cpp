#include "tables/random64.h"

namespace Tavrin {

void Random64::reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  u_ = 0xC2FF32EB6107F89FULL;
  v_ = 0x59D35EF47805ED56ULL;
  w_ = 0x631CF2D8356C8EE9ULL;
}

uint64_t Random64::next() {
  std::lock_guard<std::mutex> guard(mutex_);
  u_ = u_ * 0x27BB2EE687B0B0FDULL + 0x61C8864680B583BFULL;
  v_ ^= v_ >> 17;
  v_ ^= v_ << 31;
  v_ ^= v_ >> 8;
  w_ = 0xFFFFDA61ULL * (w_ & 0xFFFFFFFFULL) + (w_ >> 32);
  uint64_t x = u_ ^ (u_ << 21);
  x ^= x >> 35;
  x ^= x << 4;
  return (x + v_) ^ w_;
}

}  // namespace Tavrin
