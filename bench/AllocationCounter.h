#pragma once
// Counts every allocation of the benchmark program, so that a benchmark can
// report allocations per chunk or per frame. Include it in exactly one source
// file of a program: it replaces the global operator new.
#include <atomic>
#include <cstdlib>
#include <new>

namespace tavrik::bench {

inline std::atomic<long> allocations{0};

}  // namespace tavrik::bench

// GCC takes the replaced pair for a mismatch once both are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  tavrik::bench::allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
