#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>

#include "machine/Computer.h"
#include "panel/PanelControl.h"

namespace tarnwick {

// Which lamp of a row shows the lowest bit.
enum class LampOrder {
    lowBitFirst,   // lamp k is bit k (address, phases)
    highBitFirst,  // lamp k is bit N - 1 - k (accumulator, code, operand)
};

// The number a row of lamps shows.
template <std::size_t N>
unsigned lampValue(const std::array<IndicatorLamp, N>& lamps, LampOrder order) {
    unsigned value = 0;
    for (std::size_t k = 0; k < N; ++k) {
        const std::size_t bit = order == LampOrder::highBitFirst ? N - 1 - k : k;
        if (lamps[k].isOn()) value |= 1u << bit;
    }
    return value;
}

// What the computer's 55 lamps show, as numbers: what a user reads off the
// front panel.
struct LampReading {
    bool clock = false;
    unsigned phaseMask = 0;    // bit k: phase lamp k
    std::optional<int> phase;  // the one lit phase lamp; empty when none or several
    unsigned address = 0;
    unsigned code = 0;
    unsigned operand = 0;
    unsigned accumulator = 0;
    bool zero = false;
    bool carry = false;

    bool operator==(const LampReading&) const = default;
};

inline LampReading readLamps(const Computer& c) {
    LampReading l;
    l.clock = c.clockLamp().isOn();
    l.phaseMask = lampValue(c.phaseLamps(), LampOrder::lowBitFirst);
    for (int k = 0; k < 4; ++k) {
        if (l.phaseMask == (1u << k)) l.phase = k;
    }
    l.address = lampValue(c.addressLamps(), LampOrder::lowBitFirst);
    l.code = lampValue(c.codeLamps(), LampOrder::highBitFirst);
    l.operand = lampValue(c.operandLamps(), LampOrder::highBitFirst);
    l.accumulator = lampValue(c.accumulatorLamps(), LampOrder::highBitFirst);
    l.zero = c.zeroFlagLamp().isOn();
    l.carry = c.carryFlagLamp().isOn();
    return l;
}

inline std::ostream& operator<<(std::ostream& out, const LampReading& l) {
    const auto flags = out.flags();
    out << std::hex << "{clock " << l.clock << " phases " << l.phaseMask << " address " << l.address
        << " code " << l.code << " operand " << l.operand << " A " << l.accumulator << " Z " << l.zero
        << " C " << l.carry << "}";
    out.flags(flags);
    return out;
}

}  // namespace tarnwick
