#include "allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)

bool allocations_counted() { return false; }
long allocation_count() { return 0; }

#else

namespace {
std::atomic<long> allocations{0};
}

bool allocations_counted() { return true; }
long allocation_count() { return allocations; }

// The array and nothrow forms of the standard library call these.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  ++allocations;
  const std::size_t a = std::size_t(alignment);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a == 0 ? a : (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#endif
