// A one-byte test-and-test-and-set lock for short critical sections (one
// record update, one bucket append). Cheaper than an OpenMP lock per bucket
// and understood by the thread sanitizer.
#pragma once

#include <atomic>
#include <cstdint>

namespace Tavrin {

class SpinLock {
 public:
  void lock() {
    for (;;) {
      if (!flag_.exchange(1, std::memory_order_acquire)) return;
      while (flag_.load(std::memory_order_relaxed)) __builtin_ia32_pause();
    }
  }
  void unlock() { flag_.store(0, std::memory_order_release); }

 private:
  std::atomic<uint8_t> flag_{0};
};

class SpinGuard {
 public:
  explicit SpinGuard(SpinLock& l) : lock_(l) { lock_.lock(); }
  ~SpinGuard() { lock_.unlock(); }
  SpinGuard(const SpinGuard&) = delete;
  SpinGuard& operator=(const SpinGuard&) = delete;

 private:
  SpinLock& lock_;
};

}  // namespace Tavrin
