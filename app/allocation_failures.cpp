// The global allocation functions of the programs: those of the C++ library,
// except that a request that cannot be met notes its size before it throws
// std::bad_alloc, so that the run can say how much memory was missing. This
// file is linked into every program, not the library.
#include <cstdlib>
#include <new>

#include "base/memory_check.h"

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

}  // namespace

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
