// Uninitialised arrays for the big cell tables. Arrays of 4 MB and more are
// aligned to 2 MB and marked for transparent huge pages: table lookups land on
// random slots, and with small pages nearly every one would also miss the TLB.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace Tavrin {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using LargeArray = std::unique_ptr<T[], FreeDeleter>;

// n elements, not initialised; null when n is 0 or memory is short.
template <class T>
LargeArray<T> allocateLargeArray(size_t n) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  constexpr size_t kHugePage = size_t{2} << 20;
  const size_t bytes = n * sizeof(T);
  if (bytes == 0) return LargeArray<T>();
  if (bytes < 2 * kHugePage) return LargeArray<T>(static_cast<T*>(std::malloc(bytes)));
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (p) madvise(p, rounded, MADV_HUGEPAGE);
  return LargeArray<T>(static_cast<T*>(p));
}

}  // namespace Tavrin
