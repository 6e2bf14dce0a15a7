#include "mesh/stream_boundary.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace Tavrin {

StreamBoundary::StreamBoundary(int64_t num_nodes)
    : num_nodes_(std::max<int64_t>(1, num_nodes)),
      ranges_((std::max<int64_t>(1, num_nodes) >> kRangeShift) + 1) {
  const size_t marks = static_cast<size_t>(num_nodes > 0 ? num_nodes : 0);
  try {
    count_.assign(static_cast<size_t>(ranges_), 0);
    marks_.assign(marks, 0);
  } catch (const std::bad_alloc&) {
    missing_ = marks + sizeof(uint64_t) * static_cast<uint64_t>(ranges_);
  }
}

template <class Visit>
void StreamBoundary::sides(const int32_t* t, int64_t count, const Visit& visit) const {
  const int64_t n = num_nodes_;
  auto side = [&](int32_t a, int32_t b) {
    const int32_t lo = std::min(a, b), hi = std::max(a, b);
    if (lo >= 0 && hi < n)
      visit(lo,
            (static_cast<uint64_t>(static_cast<uint32_t>(lo)) << 32) | static_cast<uint32_t>(hi));
  };
  for (int64_t i = 0; i < count; ++i) {
    const int32_t* c = t + 3 * i;
    side(c[0], c[1]);
    side(c[1], c[2]);
    side(c[0], c[2]);
  }
}

void StreamBoundary::count_triangles(const int32_t* t, int64_t count) {
  sides(t, count, [&](int32_t lo, uint64_t) { ++count_[range_of(lo)]; });
}

int StreamBoundary::plan(uint64_t budget) {
  const uint64_t most = std::max<uint64_t>(1, budget / sizeof(uint64_t));
  part_first_.assign(1, 0);
  uint64_t in_part = 0;
  most_words_ = 0;
  for (int64_t r = 0; r < ranges_; ++r) {
    if (in_part > 0 && in_part + count_[r] > most) {
      part_first_.push_back(r);
      in_part = 0;
    }
    in_part += count_[r];
    most_words_ = std::max(most_words_, in_part);
  }
  part_first_.push_back(ranges_);
  return static_cast<int>(part_first_.size() - 1);
}

bool StreamBoundary::begin_pass(int part) {
  first_ = part_first_[part];
  last_ = part_first_[part + 1];
  try {
    cursor_.assign(static_cast<size_t>(last_ - first_ + 1), 0);
    end_.assign(static_cast<size_t>(last_ - first_), 0);
  } catch (const std::bad_alloc&) {
    missing_ = 2 * sizeof(uint64_t) * static_cast<uint64_t>(last_ - first_ + 1);
    return false;
  }
  for (int64_t r = first_; r < last_; ++r)
    end_[r - first_] = cursor_[r - first_ + 1] = cursor_[r - first_] + count_[r];
  overflow_ = false;
  // Filled by the sweep before it is read: no need to clear it.
  if (!words_) {
    const uint64_t words = std::max<uint64_t>(1, most_words_);
    words_.reset(new (std::nothrow) uint64_t[words]);
    if (!words_) {
      missing_ = sizeof(uint64_t) * words;
      return false;
    }
  }
  return true;
}

void StreamBoundary::add_triangles(const int32_t* t, int64_t count) {
  uint64_t* words = words_.get();
  sides(t, count, [&](int32_t lo, uint64_t word) {
    const int64_t r = range_of(lo);
    if (r < first_ || r >= last_) return;
    // More sides than the first sweep counted: the triangles changed.
    uint64_t& at = cursor_[r - first_];
    if (at == end_[r - first_])
      overflow_ = true;
    else
      words[at++] = word;
  });
}

bool StreamBoundary::end_pass() {
  // Every range must be filled exactly, or some words were never written.
  if (overflow_ || !std::equal(end_.begin(), end_.end(), cursor_.begin())) return false;
  // After the sweep each cursor stands at the start of the next range.
  const int64_t ranges = last_ - first_;
  uint64_t* words = words_.get();
  uint8_t* marks = marks_.data();
  bool any = false;
#pragma omp parallel for schedule(dynamic, 64) reduction(|| : any)
  for (int64_t r = 0; r < ranges; ++r) {
    uint64_t* begin = words + (r == 0 ? 0 : cursor_[r - 1]);
    uint64_t* end = words + cursor_[r];
    std::sort(begin, end);
    for (uint64_t* w = begin; w < end;) {
      uint64_t* e = w + 1;
      while (e < end && *e == *w) ++e;
      if (e - w == 1) {
        std::atomic_ref<uint8_t>(marks[*w >> 32]).store(1, std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(marks[*w & 0xFFFFFFFFu]).store(1, std::memory_order_relaxed);
        any = true;
      }
      w = e;
    }
  }
  any_ = any_ || any;
  return true;
}

void StreamBoundary::finish() {
  words_.reset();
  std::vector<uint64_t>().swap(count_);
  std::vector<uint64_t>().swap(cursor_);
  std::vector<uint64_t>().swap(end_);
}

}  // namespace Tavrin
