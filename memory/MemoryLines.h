#pragma once

#include <cstdint>

#include "memory/SixtyFourKbRAM.h"

namespace tarnwick {

// The line operations of the memory interface as tables, so that callers can
// drive a whole address or byte one line at a time in line order.
using LineSetter = void (SixtyFourKbRAM::*)(bool);
using LineGetter = bool (SixtyFourKbRAM::*)();

inline constexpr LineSetter addressLineSetters[16] = {
    &SixtyFourKbRAM::setAddressBit0,  &SixtyFourKbRAM::setAddressBit1,  &SixtyFourKbRAM::setAddressBit2,
    &SixtyFourKbRAM::setAddressBit3,  &SixtyFourKbRAM::setAddressBit4,  &SixtyFourKbRAM::setAddressBit5,
    &SixtyFourKbRAM::setAddressBit6,  &SixtyFourKbRAM::setAddressBit7,  &SixtyFourKbRAM::setAddressBit8,
    &SixtyFourKbRAM::setAddressBit9,  &SixtyFourKbRAM::setAddressBit10, &SixtyFourKbRAM::setAddressBit11,
    &SixtyFourKbRAM::setAddressBit12, &SixtyFourKbRAM::setAddressBit13, &SixtyFourKbRAM::setAddressBit14,
    &SixtyFourKbRAM::setAddressBit15,
};

inline constexpr LineSetter dataInLineSetters[8] = {
    &SixtyFourKbRAM::setDataInBit0, &SixtyFourKbRAM::setDataInBit1, &SixtyFourKbRAM::setDataInBit2,
    &SixtyFourKbRAM::setDataInBit3, &SixtyFourKbRAM::setDataInBit4, &SixtyFourKbRAM::setDataInBit5,
    &SixtyFourKbRAM::setDataInBit6, &SixtyFourKbRAM::setDataInBit7,
};

inline constexpr LineGetter dataOutLineGetters[8] = {
    &SixtyFourKbRAM::getDataOutBit0, &SixtyFourKbRAM::getDataOutBit1, &SixtyFourKbRAM::getDataOutBit2,
    &SixtyFourKbRAM::getDataOutBit3, &SixtyFourKbRAM::getDataOutBit4, &SixtyFourKbRAM::getDataOutBit5,
    &SixtyFourKbRAM::getDataOutBit6, &SixtyFourKbRAM::getDataOutBit7,
};

// A0 to A15 in order.
inline void applyAddress(SixtyFourKbRAM& ram, std::uint16_t address) {
    for (int i = 0; i < 16; ++i) (ram.*addressLineSetters[i])(((address >> i) & 1) != 0);
}

// D0 to D7 in order.
inline void applyDataIn(SixtyFourKbRAM& ram, std::uint8_t byte) {
    for (int j = 0; j < 8; ++j) (ram.*dataInLineSetters[j])(((byte >> j) & 1) != 0);
}

inline std::uint8_t readDataOut(SixtyFourKbRAM& ram) {
    std::uint8_t byte = 0;
    for (int j = 0; j < 8; ++j) byte |= static_cast<std::uint8_t>((ram.*dataOutLineGetters[j])() << j);
    return byte;
}

}  // namespace tarnwick
