// The global allocation functions of the programs: those of the C++ library,
// except that a request that cannot be met notes its size before it throws
// std::bad_alloc, so that the run can say how much memory was missing. This
// file is linked into every program, not the library.
#include <cstdlib>
#include <new>

#include "base/memory_check.h"

// The sanitizers bring allocation functions of their own, which track how
// each block was allocated: the programs keep those there.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVRIN_OWN_ALLOCATOR 0
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVRIN_OWN_ALLOCATOR 0
#endif
#ifndef TAVRIN_OWN_ALLOCATOR
#define TAVRIN_OWN_ALLOCATOR 1
#endif

#if TAVRIN_OWN_ALLOCATOR

namespace {

void* allocate(std::size_t bytes) {
  for (;;) {
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) {
      Tavrin::note_failed_allocation(bytes);
      throw std::bad_alloc();
    }
    handler();
  }
}

void* allocate_aligned(std::size_t bytes, std::align_val_t alignment) {
  const std::size_t align = static_cast<std::size_t>(alignment);
  for (;;) {
    void* p = nullptr;
    if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, bytes ? bytes : 1) == 0)
      return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) {
      Tavrin::note_failed_allocation(bytes);
      throw std::bad_alloc();
    }
    handler();
  }
}

void* allocate_or_null(std::size_t bytes) noexcept {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) Tavrin::note_failed_allocation(bytes);
  return p;
}

void* allocate_aligned_or_null(std::size_t bytes, std::align_val_t alignment) noexcept {
  const std::size_t align = static_cast<std::size_t>(alignment);
  void* p = nullptr;
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, bytes ? bytes : 1) == 0)
    return p;
  Tavrin::note_failed_allocation(bytes);
  return nullptr;
}

}  // namespace

// Every form is replaced, the non-throwing ones included, so that each block
// is freed by the allocator that made it.
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return allocate_or_null(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return allocate_or_null(bytes);
}
void* operator new(std::size_t bytes, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_aligned_or_null(bytes, a);
}
void* operator new[](std::size_t bytes, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_aligned_or_null(bytes, a);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t a) { return allocate_aligned(bytes, a); }
void* operator new[](std::size_t bytes, std::align_val_t a) { return allocate_aligned(bytes, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#endif  // TAVRIN_OWN_ALLOCATOR
