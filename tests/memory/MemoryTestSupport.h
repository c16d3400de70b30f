#pragma once

#include <cstdint>

#include "memory/MemoryLines.h"
#include "memory/SixtyFourKbRAM.h"

namespace tarnwick::testing {

// One memory access as the machine makes it: address lines, data-in lines,
// Write, one step; returns the data-out byte.
inline std::uint8_t access(SixtyFourKbRAM& ram, std::uint16_t address, std::uint8_t data, bool write) {
    applyAddress(ram, address);
    applyDataIn(ram, data);
    ram.setWrite(write);
    ram.step();
    return readDataOut(ram);
}

inline std::uint8_t read(SixtyFourKbRAM& ram, std::uint16_t address) {
    return access(ram, address, 0, false);
}

inline std::uint8_t write(SixtyFourKbRAM& ram, std::uint16_t address, std::uint8_t data) {
    return access(ram, address, data, true);
}

}  // namespace tarnwick::testing
