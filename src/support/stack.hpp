// The interpreter recurses once per nested call and per level of nested expression, so it runs
// on a thread with a large stack and checks the room left before going deeper.
#pragma once

#include <functional>

namespace orvane::stack {

// Runs `body` on a new thread whose stack has room for very deep recursion; returns its result.
int run_with_large_stack(const std::function<int()>& body);

// The lowest address the calling thread may recurse down to, keeping a safety margin.
const char* limit();

// The current stack position, read without making the caller set up a frame pointer.
inline const char* position() {
#if defined(__x86_64__)
  const char* sp;
  asm("mov %%rsp, %0" : "=r"(sp));
  return sp;
#elif defined(__aarch64__)
  const char* sp;
  asm("mov %0, sp" : "=r"(sp));
  return sp;
#else
  return static_cast<const char*>(__builtin_frame_address(0));
#endif
}

inline bool exhausted(const char* limit_address) { return position() < limit_address; }

}  // namespace orvane::stack
