// Millisecond stopwatch on the time of day, used by every timing message.
#pragma once

#include <cstdint>

namespace Tavrin {

class Timer {
 public:
  Timer() { start(); }
  void start();
  // Seconds since the last start(), at millisecond resolution.
  float elapsed() const;

 private:
  int32_t source_ = 1;  // 1: system time of day
  int64_t seconds_ = 0;
  uint16_t millis_ = 0;
};

}  // namespace Tavrin
