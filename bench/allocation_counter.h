// Counts the heap allocations made through operator new on the calling thread while an
// AllocationCount lives. The binary that links allocation_counter.cpp replaces the global
// operator new and delete (every form) with malloc and free, so AddressSanitizer still sees each
// block, allocated and freed alike.
#pragma once

#include <cstddef>

namespace zr::bench {

class AllocationCount {
 public:
  AllocationCount();
  ~AllocationCount();
  AllocationCount(const AllocationCount&) = delete;
  AllocationCount& operator=(const AllocationCount&) = delete;
  // Allocations on this thread since construction.
  std::size_t Count() const;

 private:
  std::size_t start_;
};

// Hands a pointer to the compiler as if it were read, so that an allocation is not left out.
void Keep(const void* p);

// Allocations made while `ignored()` is true are not counted (a test's own bookkeeping, say).
void IgnoreAllocationsWhile(bool (*ignored)());

}  // namespace zr::bench
