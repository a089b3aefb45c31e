// The test binary's operator new can be told to fail, as it would with memory exhausted.
#pragma once

namespace orvane::testing {

// Every allocation in the calling thread fails with std::bad_alloc while this guard lives.
class RefuseAllocations {
 public:
  RefuseAllocations();
  ~RefuseAllocations();
  RefuseAllocations(const RefuseAllocations&) = delete;
  RefuseAllocations& operator=(const RefuseAllocations&) = delete;
};

}  // namespace orvane::testing
