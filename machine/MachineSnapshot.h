#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "panel/SixtyFourKilobyteRAMControlPanel.h"

namespace tarnwick {

// What the debugging views show of the computer, copied in one piece under
// the cycle lock (Computer::copyState) so that a window paints a state the
// machine really had, never one torn by a running cycle.
struct MachineSnapshot {
    std::uint16_t programCounter = 0;
    std::uint16_t operand = 0;
    std::uint8_t code = 0;
    std::uint8_t accumulator = 0;
    bool zeroFlag = false;
    bool carryFlag = false;
    bool clock = false;
    std::optional<int> phase;  // the lit phase, none while the ring is dark
    bool powered = false;
    // The memory as the control panel's copy follows it: the memory's own bytes.
    std::array<std::uint8_t, 0x10000> memory{};
    std::uint64_t memorySteps = 0;
    std::vector<SixtyFourKilobyteRAMControlPanel::Write> recentWrites;  // oldest first
};

// True for the codes that are one byte long; every other code, known or
// not, takes two address bytes after it.
constexpr bool isOneByteCode(std::uint8_t code) {
    return (code >= 0x44 && code <= 0x47) || code == 0x50 || code == 0x51 || code == 0xFF;
}

// The address of the instruction the machine is in: in phase 0 the one being
// fetched at the program counter; in phases 1 and 2 the counter has moved on
// to its address bytes; in phase 3 it rests on the last byte fetched.
constexpr std::uint16_t instructionAddress(std::uint16_t programCounter, std::optional<int> phase,
                                           std::uint8_t code) {
    int back = 0;
    if (phase == 1) back = 1;
    if (phase == 2) back = 2;
    if (phase == 3) back = isOneByteCode(code) ? 0 : 2;
    return static_cast<std::uint16_t>(programCounter - back);
}

}  // namespace tarnwick
