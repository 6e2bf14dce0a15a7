// Exact x mod d for any 64-bit x and a divisor d fixed at run time (1 up to
// 2^32), without a division instruction. A 64-bit division costs tens of
// cycles and sits on the path of every table probe; here the quotient is
// estimated with the precomputed reciprocal m = floor((2^64 - 1) / d) as the
// high half of x * m. The estimate is never above the true quotient and at
// most two below it, so the remainder x - q d lies in [0, 3d) and two
// conditional subtractions make it exact.
#pragma once

#include <cstdint>

namespace Tavrin {

class FastModulus {
 public:
  FastModulus() = default;
  explicit FastModulus(uint64_t divisor)
      : divisor_(divisor == 0 ? 1 : divisor), reciprocal_(~uint64_t{0} / divisor_) {}

  uint64_t divisor() const { return divisor_; }

  uint64_t operator()(uint64_t x) const {
    const uint64_t q =
        static_cast<uint64_t>((static_cast<unsigned __int128>(x) * reciprocal_) >> 64);
    uint64_t r = x - q * divisor_;
    r -= r >= divisor_ ? divisor_ : 0;
    r -= r >= divisor_ ? divisor_ : 0;
    return r;
  }

 private:
  uint64_t divisor_ = 1;
  uint64_t reciprocal_ = ~uint64_t{0};
};

}  // namespace Tavrin
