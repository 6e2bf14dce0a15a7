// Uninitialised arrays for the big cell tables. Arrays of 4 MB and more are
// aligned to 2 MB and marked for transparent huge pages: table lookups land on
// random slots, and with small pages nearly every one would also miss the TLB.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

#include "base/memory_check.h"

namespace Tavrin {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using LargeArray = std::unique_ptr<T[], FreeDeleter>;

// n elements, not initialised; null when n is 0 or memory is short (the
// size asked for is then noted for the report, see base/memory_check.h).
template <class T>
LargeArray<T> allocateLargeArray(size_t n) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  constexpr size_t kHugePage = size_t{2} << 20;
  if (n > SIZE_MAX / sizeof(T)) {
    note_failed_allocation(SIZE_MAX);
    return LargeArray<T>();
  }
  const size_t bytes = n * sizeof(T);
  if (bytes == 0) return LargeArray<T>();
  void* p = nullptr;
  if (bytes < 2 * kHugePage) {
    p = std::malloc(bytes);
  } else {
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, rounded);
    if (p) madvise(p, rounded, MADV_HUGEPAGE);
  }
  if (!p) note_failed_allocation(bytes);
  return LargeArray<T>(static_cast<T*>(p));
}

// allocateLargeArray for a caller that has no failure result of its own:
// when memory is short it throws std::bad_alloc, as a std::vector of that
// size would, so that the shell that started the run reports it. Call it
// outside parallel regions only.
template <class T>
LargeArray<T> requireLargeArray(size_t n) {
  LargeArray<T> array = allocateLargeArray<T>(n);
  if (!array && n > 0) throw std::bad_alloc();
  return array;
}

}  // namespace Tavrin
