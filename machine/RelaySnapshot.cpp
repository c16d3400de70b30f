// The copies a view of the relays takes from a Computer.

#include "machine/RelaySnapshot.h"

#include <cstring>

#include "machine/Computer.h"
#include "machine/MachineMap.h"
#include "memory/RelayLaneRAM.h"

namespace tarnwick {

namespace {

// The map's relays as runs of adjacent bytes in the Computer (a circuit's
// relays lie side by side), so a copy is a few dozen memcpy calls rather
// than one load per relay.
struct Run {
    std::size_t offset;  // in the Computer
    std::size_t index;   // of the first relay in the map
    std::size_t length;
};

const std::vector<Run>& relayRuns() {
    static const std::vector<Run> runs = [] {
        std::vector<Run> result;
        for (const auto& relay : MachineMap::get().relays()) {
            if (!result.empty() && result.back().offset + result.back().length == relay.offset &&
                result.back().index + result.back().length == relay.index) {
                ++result.back().length;
            } else {
                result.push_back({relay.offset, relay.index, 1});
            }
        }
        return result;
    }();
    return runs;
}

void copyRuns(const Computer& computer, std::uint8_t* out) {
    const auto* base = reinterpret_cast<const unsigned char*>(&computer);
    for (const Run& run : relayRuns()) std::memcpy(out + run.index, base + run.offset, run.length);
}

}  // namespace

void Computer::noteRelaysBefore() {
    ++relaySteps_;
    if (!keepRelaysBefore_.load(std::memory_order_relaxed)) {
        relaysBefore_.clear();
        return;
    }
    relaysBefore_.resize(MachineMap::get().relays().size());
    copyRuns(*this, relaysBefore_.data());
}

void Computer::copyRelays(RelaySnapshot& snapshot, bool withMemory) {
    const MachineMap& map = MachineMap::get();
    relayRuns();  // built before the lock is taken
    if (withMemory && !snapshot.memory) snapshot.memory = std::make_shared<MemoryRelayPicture>();
    std::scoped_lock lock(cycleLock_);
    snapshot.steps = relaySteps_;
    snapshot.relays.resize(map.relays().size());
    copyRuns(*this, snapshot.relays.data());
    snapshot.before = relaysBefore_;
    snapshot.signalValues.resize(map.signals().size());
    for (std::size_t k = 0; k < map.signals().size(); ++k)
        snapshot.signalValues[k] = MachineMap::value(*this, map.signals()[k]);
    const auto* lanes = dynamic_cast<const RelayLaneRAM*>(&controlPanel_.memory());
    snapshot.relayMemory = withMemory && lanes != nullptr;
    if (snapshot.relayMemory) {
        lanes->countLitRelays(*snapshot.memory);
    }
}

}  // namespace tarnwick
