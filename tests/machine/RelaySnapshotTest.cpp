// The copy a view of the relays takes: every relay and signal as the map
// reads it from the computer, and the relays before the last step exactly
// as they stood then.

#include <gtest/gtest.h>

#include <vector>

#include "MachineTestSupport.h"
#include "app/Session.h"
#include "machine/MachineMap.h"
#include "machine/RelaySnapshot.h"

namespace tarnwick {
namespace {

std::vector<std::uint8_t> relaysThroughMap(const Computer& computer) {
    std::vector<std::uint8_t> bytes;
    for (const auto& relay : MachineMap::get().relays())
        bytes.push_back(MachineMap::relay(computer, relay).bits());
    return bytes;
}

MemoryImage imageOf(const testing::Image& image) {
    MemoryImage result;
    result.first = 0;
    result.bytes = image.bytes;
    result.last = static_cast<std::int32_t>(image.bytes.size()) - 1;
    return result;
}

TEST(RelaySnapshot, CopiesEveryRelayAndSignalAndTheRelaysBeforeEachCycle) {
    Session session(true);
    ASSERT_TRUE(session.load(imageOf(testing::workedExample)));
    ASSERT_TRUE(session.start());
    Computer& computer = session.computer();
    const MachineMap& map = MachineMap::get();

    RelaySnapshot snapshot;
    computer.copyRelays(snapshot, false);
    EXPECT_TRUE(snapshot.before.empty()) << "nothing kept while no view asks";
    EXPECT_FALSE(snapshot.relayMemory);

    computer.keepRelaysBeforeStep(true);
    bool anyChanged = false;
    for (int cycle = 0; cycle < 40; ++cycle) {
        const std::vector<std::uint8_t> before = relaysThroughMap(computer);
        const std::uint64_t steps = snapshot.steps;
        session.runCycle();
        computer.copyRelays(snapshot, false);
        EXPECT_EQ(snapshot.steps, steps + 1);
        ASSERT_EQ(snapshot.relays, relaysThroughMap(computer)) << "cycle " << cycle;
        ASSERT_EQ(snapshot.before, before) << "cycle " << cycle;
        for (std::size_t k = 0; k < snapshot.relays.size(); ++k) {
            const bool changed = ((before[k] ^ snapshot.relays[k]) & 0x0C) != 0;
            EXPECT_EQ(snapshot.changed(k), changed) << map.relays()[k].name;
            anyChanged = anyChanged || changed;
        }
        ASSERT_EQ(snapshot.signalValues.size(), map.signals().size());
        for (std::size_t k = 0; k < map.signals().size(); ++k)
            EXPECT_EQ(snapshot.signalValues[k], MachineMap::value(computer, map.signals()[k]))
                << map.signals()[k].name;
    }
    EXPECT_TRUE(anyChanged);
    computer.keepRelaysBeforeStep(false);
    session.runCycle();
    computer.copyRelays(snapshot, false);
    EXPECT_TRUE(snapshot.before.empty());
}

TEST(RelaySnapshot, PicturesTheRelayMemoryOnlyWhileItIsInUse) {
    Session session(false);
    Computer& computer = session.computer();
    RelaySnapshot snapshot;
    computer.copyRelays(snapshot, true);
    ASSERT_TRUE(snapshot.relayMemory);
    ASSERT_NE(snapshot.memory, nullptr);
    computer.copyRelays(snapshot, false);
    EXPECT_FALSE(snapshot.relayMemory);
    computer.replaceMemory(true);
    computer.copyRelays(snapshot, true);
    EXPECT_FALSE(snapshot.relayMemory) << "the byte array has no relays";
}

}  // namespace
}  // namespace tarnwick
