// Building a relay-built memory when an allocation fails part-way: the
// std::bad_alloc reaches the caller and every part built so far is released.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

#include "memory/RelayLaneRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"
#include "tests/support/FailingAllocator.h"

namespace tarnwick {
namespace {

struct Outcome {
    bool threw;
    long made;
    long live;
};

// Builds with at most `allocations` successful allocations (the next one
// fails), and says what was made and what is still live afterwards.
template <class Build>
Outcome countAllocations(long allocations, Build build) {
    testing::failAllocation(allocations + 1);
    bool threw = false;
    try {
        build();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    const Outcome outcome{threw, testing::allocationsSinceArmed(), testing::liveSinceArmed()};
    testing::failAllocation(0);
    return outcome;
}

Outcome buildMemory(long allocations) {
    return countAllocations(allocations, [] { SixtyFourKilobyteRAM ram; });
}

constexpr long kUnlimited = 1L << 40;

TEST(SixtyFourKilobyteRAM, ReleasesEverythingItAllocated) {
    const Outcome outcome = buildMemory(kUnlimited);
    EXPECT_FALSE(outcome.threw);
    EXPECT_GT(outcome.made, 0);
    EXPECT_EQ(outcome.live, 0);
}

TEST(SixtyFourKilobyteRAM, FailedAllocationReleasesEverythingBuilt) {
    const long needed = buildMemory(kUnlimited).made;
    // Failures at the first allocation, early, half-way and at the last one.
    const long budgets[] = {0, 1, 2, needed / 2, needed - 2, needed - 1};
    for (long allocations : budgets) {
        const Outcome outcome = buildMemory(allocations);
        EXPECT_TRUE(outcome.threw) << allocations;
        EXPECT_EQ(outcome.made, allocations);
        EXPECT_EQ(outcome.live, 0) << "leaked after failing at allocation " << allocations;
    }
    EXPECT_FALSE(buildMemory(needed).threw);
}

// The lanes hold their relays in one allocation.
TEST(RelayLaneRAM, FailedAllocationReleasesEverythingBuilt) {
    auto build = [] { RelayLaneRAM ram; };
    const Outcome built = countAllocations(kUnlimited, build);
    EXPECT_FALSE(built.threw);
    EXPECT_EQ(built.live, 0);
    for (long allocations = 0; allocations < built.made; ++allocations) {
        const Outcome outcome = countAllocations(allocations, build);
        EXPECT_TRUE(outcome.threw) << allocations;
        EXPECT_EQ(outcome.live, 0) << "leaked after failing at allocation " << allocations;
    }
}

// Parts made outside a memory: their chunk goes back to the heap once it is
// closed and its last part released, in either order.
TEST(PartPool, ReturnsAChunkOnceClosedAndEmpty) {
    const Outcome releasedFirst = countAllocations(kUnlimited, [] {
        auto cell = std::make_unique<MemoryCell>();
        auto column = std::make_unique<CellColumn>();
        cell.reset();
        column.reset();
        PartPool::closeChunk();
    });
    EXPECT_EQ(releasedFirst.made, 1);
    EXPECT_EQ(releasedFirst.live, 0);

    long liveBeforeRelease = -1;
    const Outcome closedFirst = countAllocations(kUnlimited, [&] {
        auto cell = std::make_unique<MemoryCell>();
        PartPool::closeChunk();
        liveBeforeRelease = testing::liveSinceArmed();
    });
    EXPECT_EQ(liveBeforeRelease, 1);
    EXPECT_EQ(closedFirst.live, 0);
}

// A memory built on one thread and released on another.
TEST(PartPool, PartsMayBeReleasedOnAnotherThread) {
    const Outcome outcome = countAllocations(kUnlimited, [] {
        std::unique_ptr<SixtyFourKilobyteRAM> ram;
        std::thread([&] { ram = std::make_unique<SixtyFourKilobyteRAM>(); }).join();
        ram.reset();
    });
    EXPECT_GT(outcome.made, 1);
    EXPECT_EQ(outcome.live, 0);
}

}  // namespace
}  // namespace tarnwick
