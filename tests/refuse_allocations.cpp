// Replaces the global operator new and delete of the test binary. Kept alone in its file: with
// other code beside them the compiler pairs inlined allocations with these and warns.
#include "refuse_allocations.hpp"

#include <cstdlib>
#include <new>

namespace {
thread_local bool t_refuse = false;
}  // namespace

namespace orvane::testing {
RefuseAllocations::RefuseAllocations() { t_refuse = true; }
RefuseAllocations::~RefuseAllocations() { t_refuse = false; }
}  // namespace orvane::testing

void* operator new(std::size_t size) {
  if (t_refuse) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The no-throw forms (std::stable_sort's buffer, among others) must pair with the deletes above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (t_refuse) return nullptr;
  return std::malloc(size ? size : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
