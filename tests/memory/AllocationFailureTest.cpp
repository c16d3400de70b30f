// Building the relay-built memory when an allocation fails part-way: the
// std::bad_alloc reaches the caller and every part built so far is released.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "memory/SixtyFourKilobyteRAM.h"

namespace {

// While armed, the global allocator counts live allocations and fails once
// the budget of successful allocations is spent.
bool armed = false;
long budget = 0;
long live = 0;
long made = 0;

void* allocate(std::size_t size) {
    if (armed) {
        if (budget == 0) throw std::bad_alloc();
        --budget;
        ++made;
        ++live;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void release(void* p) {
    if (p == nullptr) return;
    if (armed) --live;
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace tarnwick {
namespace {

struct Outcome {
    bool threw;
    long made;
    long live;
};

Outcome buildWithBudget(long allocations) {
    armed = true;
    budget = allocations;
    live = 0;
    made = 0;
    bool threw = false;
    try {
        SixtyFourKilobyteRAM ram;
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    armed = false;
    return {threw, made, live};
}

TEST(SixtyFourKilobyteRAM, FailedAllocationReleasesEverythingBuilt) {
    // Failures at the first part, inside the first column and block, at a
    // level boundary and at the very last part.
    const long budgets[] = {0, 1, 2, 5, 11, 100, 722, 723, 5000, 370'000, 740'349};
    for (long allocations : budgets) {
        const Outcome outcome = buildWithBudget(allocations);
        EXPECT_TRUE(outcome.threw) << allocations;
        EXPECT_EQ(outcome.made, allocations);
        EXPECT_EQ(outcome.live, 0) << "leaked after failing at allocation " << allocations;
    }
}

TEST(SixtyFourKilobyteRAM, BuildsWithExactlyItsPartsAllocated) {
    // The top object is built on the stack here; every other part is one
    // allocation.
    const Outcome outcome = buildWithBudget(740'350);
    EXPECT_FALSE(outcome.threw);
    EXPECT_EQ(outcome.made, 740'350);
    EXPECT_EQ(outcome.live, 0);
}

}  // namespace
}  // namespace tarnwick
