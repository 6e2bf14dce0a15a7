// The frame-rate counter of the status bar: frames per second over a
// one-second and a ten-second window, refreshed as frames are drawn.
#pragma once

#include <cstdint>
#include <string>

namespace Tavrin {

class FrameCounter {
 public:
  // Seconds on some fixed origin, at millisecond resolution or better.
  using Clock = double (*)();
  // The default clock is the time of day.
  explicit FrameCounter(Clock clock = nullptr);

  // Counts one frame. Both windows start at the first call. A window whose
  // time is past its length (1 s, 10 s) takes (frames since it began) /
  // (its elapsed seconds) as its rate and starts again. True when a rate
  // changed; label() then has the new text.
  bool count();

  float rate_one() const { return rate_one_; }
  float rate_ten() const { return rate_ten_; }
  int64_t frames() const { return frames_; }
  // "fps: %.3g - %.3g" with the one-second and the ten-second rate.
  std::string label() const;

 private:
  Clock clock_;
  bool started_ = false;
  int64_t frames_ = 0;
  double start_one_ = 0.0, start_ten_ = 0.0;
  int64_t frames_at_one_ = 0, frames_at_ten_ = 0;
  float rate_one_ = 0.0f, rate_ten_ = 0.0f;
};

}  // namespace Tavrin
