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
#include "memory/MemoryFile.h"
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
    std::size_t memory = 0;   // index of the memory that left the reference
    std::uint64_t cycle = 0;  // the reference's cycle number (0: before cycle 1)
    bool inLamps = true;      // else in the final memory, at address
    PanelReading reference, other;
    std::uint16_t address = 0;
    std::uint8_t referenceByte = 0, otherByte = 0;
};

struct Comparison {
    Session::End end = Session::End::cycleLimit;
    std::optional<Difference> difference;
    std::size_t addressesCompared = 0;
};

// One session per memory, each loaded with the same image. Runs them cycle
// by cycle until the reference halts, reaches maxCycles or fails to start,
// or until any lamp differs. Then reads back, through each memory, the
// image's range, the extra range if given, and every address the machine
// stored to in the run, and compares the bytes.
Comparison compareMemories(std::vector<std::unique_ptr<Session>>& sessions, const MemoryImage& image,
                           std::uint64_t maxCycles,
                           std::optional<std::pair<std::uint16_t, std::uint16_t>> extraRange);

}  // namespace tarnwick::run
