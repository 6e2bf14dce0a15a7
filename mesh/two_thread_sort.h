// Sorting of large record arrays on two threads: one partition step around
// the middle record splits the array, then each side is sorted on a thread of
// its own by a quicksort with an explicit range stack. Small arrays use the
// standard sort on the calling thread.
//
// The quicksort takes the middle record as pivot and stops its scans at
// records equal to the pivot, so runs of equal keys split evenly. It keeps
// the larger part on the stack and goes on with the smaller, so the stack
// never holds more than log2(n) ranges; a range that is split more than
// 2 log2(n) levels deep (an adversarial order) is finished by heap sort, so
// the time stays O(n log n) whatever the input.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <thread>
#include <utility>

namespace Tavrin {

// Record counts from which the sort is split across two threads.
constexpr size_t kTwoThreadSortFrom = 200000;

namespace sort_detail {

constexpr size_t kSmallRange = 8;
// Enough for any 32-bit count: every push at least halves the current range.
constexpr int kStackRanges = 30;

// Partitions [lo, hi), hi - lo >= 2, around its middle record. Returns the
// pivot's final place p: records before p are not greater, records after p
// are not smaller than the pivot.
template <class Record, class Less>
size_t partition_middle(Record* r, size_t lo, size_t hi, Less& less) {
  std::swap(r[lo], r[lo + (hi - lo) / 2]);
  const Record pivot = r[lo];
  size_t i = lo, j = hi;
  for (;;) {
    while (less(r[++i], pivot))
      if (i == hi - 1) break;
    while (less(pivot, r[--j])) {
    }  // stops at lo at the latest, where the pivot is
    if (i >= j) break;
    std::swap(r[i], r[j]);
  }
  std::swap(r[lo], r[j]);
  return j;
}

// Sorts [lo, hi) by moving the largest record to the end, again and again.
template <class Record, class Less>
void selection_sort(Record* r, size_t lo, size_t hi, Less& less) {
  for (size_t end = hi; end > lo + 1; --end) {
    size_t largest = lo;
    for (size_t k = lo + 1; k < end; ++k)
      if (less(r[largest], r[k])) largest = k;
    std::swap(r[largest], r[end - 1]);
  }
}

template <class Record, class Less>
void quicksort(Record* r, size_t n, Less& less) {
  struct Range {
    size_t lo, hi;
    int depth;
  };
  const int depth_limit = 2 * static_cast<int>(std::bit_width(n));
  Range stack[kStackRanges];
  int top = 0;
  Range current{0, n, 0};
  for (;;) {
    while (current.hi - current.lo > kSmallRange) {
      if (current.depth > depth_limit) {
        std::make_heap(r + current.lo, r + current.hi, less);
        std::sort_heap(r + current.lo, r + current.hi, less);
        current.hi = current.lo;
        break;
      }
      const size_t p = partition_middle(r, current.lo, current.hi, less);
      Range left{current.lo, p, current.depth + 1};
      Range right{p + 1, current.hi, current.depth + 1};
      if (left.hi - left.lo < right.hi - right.lo) std::swap(left, right);
      stack[top++] = left;
      current = right;
    }
    selection_sort(r, current.lo, current.hi, less);
    if (top == 0) return;
    current = stack[--top];
  }
}

}  // namespace sort_detail

// Sorts n records ascending by less (a strict weak order). From
// two_thread_from records on, the work is split across two threads; the
// caller waits for both.
template <class Record, class Less>
void sort_records(Record* records, size_t n, Less less,
                  size_t two_thread_from = kTwoThreadSortFrom) {
  if (n < two_thread_from || n < 2) {
    std::sort(records, records + n, less);
    return;
  }
  const size_t p = sort_detail::partition_middle(records, 0, n, less);
  Less right_less = less;
  std::thread left([&] { sort_detail::quicksort(records, p, less); });
  std::thread right([&] { sort_detail::quicksort(records + p + 1, n - p - 1, right_less); });
  left.join();
  right.join();
}

}  // namespace Tavrin
