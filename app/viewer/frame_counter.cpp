// Frame-rate windows of one and ten seconds.
#include "app/viewer/frame_counter.h"

#include <sys/time.h>

#include "base/messages.h"

namespace Tavrin {

namespace {

double time_of_day() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_usec / 1000) / 1000.0;
}

}  // namespace

FrameCounter::FrameCounter(Clock clock) : clock_(clock ? clock : time_of_day) {}

bool FrameCounter::Window::advance(double now, int64_t frames) {
  const double elapsed = now - start;
  if (!(elapsed > length)) return false;
  rate = static_cast<float>(static_cast<double>(frames - frames_at_start) / elapsed);
  start = now;
  frames_at_start = frames;
  return true;
}

bool FrameCounter::count() {
  const double now = clock_();
  ++frames_;
  if (!started_) {
    started_ = true;
    one_.start = ten_.start = now;
    one_.frames_at_start = ten_.frames_at_start = frames_;
    return false;
  }
  const bool one_changed = one_.advance(now, frames_);
  const bool ten_changed = ten_.advance(now, frames_);
  return one_changed || ten_changed;
}

std::string FrameCounter::label() const { return format("fps: %.3g - %.3g", one_.rate, ten_.rate); }

}  // namespace Tavrin
