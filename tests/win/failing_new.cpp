#include "tests/win/failing_new.h"

#include <cstdlib>
#include <new>

std::atomic<DWORD> g_failingThread{0};
std::atomic<long> g_allocationsLeft{0};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // the pair below replaces both sides
void* operator new(std::size_t size) {
  if (g_failingThread.load() == GetCurrentThreadId() && g_allocationsLeft.fetch_sub(1) <= 0) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
