#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "memory/MemoryRelayPicture.h"

namespace tarnwick {

// What a view of the relays shows, copied from a Computer under its cycle
// lock (Computer::copyRelays) so that the view paints without the lock.
// relays[k] and before[k] are the bytes of MachineMap::relays()[k];
// signalValues[k] is the value of MachineMap::signals()[k].
struct RelaySnapshot {
    // Steps of the computer's relays so far (cycles and control-panel steps):
    // a view redraws only when it has moved.
    std::uint64_t steps = 0;
    std::vector<std::uint8_t> relays;
    // The same relays before the last step, while the computer keeps them
    // (Computer::keepRelaysBeforeStep); empty otherwise.
    std::vector<std::uint8_t> before;
    std::vector<std::uint64_t> signalValues;
    // Whether the relay-built memory is in use and memory was asked for and
    // filled in.
    bool relayMemory = false;
    std::shared_ptr<MemoryRelayPicture> memory;

    // A relay's normally-open contact carries current: supply and coil on.
    static bool lit(std::uint8_t relay) { return (relay & 0x0C) == 0x0C; }
    // A relay's state (its current supply and coil) changed in the last step.
    bool changed(std::size_t k) const { return !before.empty() && ((relays[k] ^ before[k]) & 0x0C) != 0; }
};

}  // namespace tarnwick
