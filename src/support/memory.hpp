// How much memory the process may use, as the environment decides it, and how much it holds.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvane::memory {

// The smallest of the address-space and data-segment limits (soft), the control group's
// memory limit (v2 memory.max or v1 limit_in_bytes, ancestors included) and physical memory.
// Computed on the first call.
uint64_t environment_limit();

// Physical memory the process holds now, in bytes; 0 when it cannot be told.
uint64_t resident_bytes();

// A control group's limit file: "max" or a huge v1 figure means none (UINT64_MAX).
uint64_t parse_cgroup_limit(std::string_view text);

}  // namespace orvane::memory
