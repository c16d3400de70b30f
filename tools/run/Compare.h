#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Session.h"
#include "machine/Lamps.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick::run {

// A memory the computer can run on, by name.
struct MemoryKind {
    std::string name;
    std::function<std::unique_ptr<SixtyFourKbRAM>()> make;
};

// The memories --compare-memories runs side by side; the first is the
// reference the others must match. Another memory is one more entry here.
std::vector<MemoryKind> standardMemories();

// Every lamp of the front panel: the machine's and the RAM control panel's
// data lamps, which show what the memory answered in the cycle.
struct PanelReading {
    LampReading lamps;
    unsigned memoryData = 0;

    bool operator==(const PanelReading&) const = default;
};

PanelReading readPanel(const Computer& computer);

struct Difference {
    // In the lamps of a cycle, in a byte of the final memory, or in a relay
    // of the two relay-built memories at the end.
    enum class Kind { lamps, memoryByte, relay };
    Kind kind = Kind::lamps;
    std::size_t reference = 0;  // index of the memory compared against
    std::size_t memory = 0;     // index of the memory that left it
    std::uint64_t cycle = 0;    // the first memory's cycle number (0: before cycle 1)
    PanelReading referenceLamps, otherLamps;
    std::uint16_t address = 0;
    std::uint8_t referenceByte = 0, otherByte = 0;  // the bytes, or the relay bytes
    std::string relay;                              // the relay's name in the map
};

struct Comparison {
    Session::End end = Session::End::cycleLimit;
    std::optional<Difference> difference;
    std::size_t addressesCompared = 0;
    std::size_t relaysCompared = 0;
};

// One session per memory, each loaded with the same image. Runs them cycle
// by cycle until the first halts, reaches maxCycles or fails to start, or
// until any lamp differs. Then compares every byte of the 64 KB, read from
// where each memory stores it (SixtyFourKbRAM::peek, no memory step), and,
// where both the lanes and the tree of the relay-built memory ran, every
// relay of the one against the other.
Comparison compareMemories(std::vector<std::unique_ptr<Session>>& sessions, std::uint64_t maxCycles);

}  // namespace tarnwick::run
