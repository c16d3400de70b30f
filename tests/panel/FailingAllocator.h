#pragma once

namespace tarnwick::testing {

// Makes the n-th allocation from now (1 = the next) throw std::bad_alloc,
// once; 0 disarms. Every form of operator new counts, so it does not matter
// how a memory obtains its storage.
void failAllocation(long n);
// Allocations made since the last failAllocation call.
long allocationsSinceArmed();

}  // namespace tarnwick::testing
