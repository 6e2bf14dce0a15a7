// Running out of memory. Allocations that fail note their size here (the
// large-array allocator, and in the programs the global operator new), so
// that whoever stops the run can tell the user how much was asked for; the
// report is one line, "Not enough memory to <what> (<bytes> needed).".
#pragma once

#include <atomic>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace Tavrin {

// Notes that an allocation of `bytes` failed on this thread.
void note_failed_allocation(size_t bytes);
// The size of the last allocation noted as failed on this thread since the
// last forget_failed_allocation(); 0 when none was.
size_t last_failed_allocation();
void forget_failed_allocation();

// "Not enough memory to <what> (1.234.567 bytes needed).\n" on the log route
// and in a message box (shown only by an interactive sink); without the
// parenthesis when `bytes` is 0 (not known).
void report_no_memory(const std::string& what, size_t bytes);

// Gives `v` n copies of `value`; false, with the report for `what`, when
// memory is short (`v` is then empty).
template <class T>
bool try_assign(std::vector<T>& v, size_t n, const T& value, const std::string& what) {
  try {
    v.assign(n, value);
    return true;
  } catch (const std::bad_alloc&) {
    std::vector<T>().swap(v);
    report_no_memory(what, n * sizeof(T));
    return false;
  }
}

// Runs work(); when memory runs short on the way (std::bad_alloc on this
// thread), reports it for `what` and returns false. What work() built is
// freed on the way out; what it had not yet replaced stays as it was.
template <class Work>
bool within_memory(const std::string& what, const Work& work) {
  forget_failed_allocation();
  try {
    work();
    return true;
  } catch (const std::bad_alloc&) {
    report_no_memory(what, last_failed_allocation());
    return false;
  }
}

// Carries running out of memory out of a parallel region, where an escaping
// std::bad_alloc would end the program: each thread runs its work through
// run(), which stops the work of every thread once one has failed; after
// the region, the starting thread calls rethrow(), which throws
// std::bad_alloc there (with the size noted) if any thread failed.
class ParallelAllocations {
 public:
  template <class Work>
  void run(const Work& work) {
    if (failed_.load(std::memory_order_relaxed)) return;
    try {
      work();
    } catch (const std::bad_alloc&) {
      bytes_.store(last_failed_allocation(), std::memory_order_relaxed);
      failed_.store(true);
    }
  }
  bool failed() const { return failed_.load(std::memory_order_relaxed); }
  void rethrow() const {
    if (!failed()) return;
    note_failed_allocation(bytes_.load());
    throw std::bad_alloc();
  }

 private:
  std::atomic<bool> failed_{false};
  std::atomic<size_t> bytes_{0};
};

}  // namespace Tavrin
