#include "base/timer.h"

#include <sys/time.h>

namespace Tavrin {

namespace {
void now(int64_t& seconds, uint16_t& millis) {
  timeval tv;
  gettimeofday(&tv, nullptr);
  seconds = tv.tv_sec;
  millis = static_cast<uint16_t>(tv.tv_usec / 1000);
}
}  // namespace

void Timer::start() { now(seconds_, millis_); }

float Timer::elapsed() const {
  int64_t s;
  uint16_t ms;
  now(s, ms);
  // (s - s0 - 1) * 1000 + (ms - ms0 + 1000): the millisecond part is taken
  // modulo 2^16, which is exact since it lies between 1 and 1999.
  uint16_t part = static_cast<uint16_t>(ms - millis_ + 1000);
  return static_cast<float>(static_cast<double>((s - seconds_ - 1) * 1000 + part) / 1000.0);
}

}  // namespace Tavrin
