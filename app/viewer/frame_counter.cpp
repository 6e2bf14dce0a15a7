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

bool FrameCounter::count() {
  const double now = clock_();
  ++frames_;
  if (!started_) {
    started_ = true;
    start_one_ = start_ten_ = now;
    frames_at_one_ = frames_at_ten_ = frames_;
    return false;
  }
  bool changed = false;
  const double one = now - start_one_;
  if (one > 1.0) {
    rate_one_ = static_cast<float>(static_cast<double>(frames_ - frames_at_one_) / one);
    start_one_ = now;
    frames_at_one_ = frames_;
    changed = true;
  }
  const double ten = now - start_ten_;
  if (ten > 10.0) {
    rate_ten_ = static_cast<float>(static_cast<double>(frames_ - frames_at_ten_) / ten);
    start_ten_ = now;
    frames_at_ten_ = frames_;
    changed = true;
  }
  return changed;
}

std::string FrameCounter::label() const { return format("fps: %.3g - %.3g", rate_one_, rate_ten_); }

}  // namespace Tavrin
