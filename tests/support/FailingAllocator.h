#pragma once

namespace tarnwick::testing {

// FailingAllocator.cpp replaces the global allocator of the test executable
// it is compiled into, so that a test can make an allocation fail and see
// what was left behind. Every form of operator new counts, so it does not
// matter how a memory obtains its storage.

// Starts counting afresh and makes the n-th allocation from now (1 = the
// next) throw std::bad_alloc, once; 0 fails none.
void failAllocation(long n);
// Allocations that succeeded since the last failAllocation call.
long allocationsSinceArmed();
// Of those and of what was allocated before, how many more were made than
// released since the last failAllocation call: 0 when nothing leaked.
long liveSinceArmed();

}  // namespace tarnwick::testing
