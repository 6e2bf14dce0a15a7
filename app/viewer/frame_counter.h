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

  float rate_one() const { return one_.rate; }
  float rate_ten() const { return ten_.rate; }
  int64_t frames() const { return frames_; }
  // "fps: %.3g - %.3g" with the one-second and the ten-second rate.
  std::string label() const;

 private:
  // One measuring window: when it began, the frame count then, its rate.
  struct Window {
    double length;
    double start = 0.0;
    int64_t frames_at_start = 0;
    float rate = 0.0f;
    // Restarts the window at `now`; true when it was past its length and
    // took a new rate.
    bool advance(double now, int64_t frames);
  };

  Clock clock_;
  bool started_ = false;
  int64_t frames_ = 0;
  Window one_{1.0}, ten_{10.0};
};

}  // namespace Tavrin
