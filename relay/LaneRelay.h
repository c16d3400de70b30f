#pragma once

#include <cstdint>
#include <type_traits>

#include "relay/Relay.h"

namespace tarnwick {

// A vector of L bytes: one relay of L copies of the same circuit, lane i
// belonging to copy i. A circuit templated on its relay type and built of
// these steps all L copies at once with the circuit's own code: every input
// and output is then a mask, 0xFF in a lane where the signal is on and 0
// where it is off. Each lane holds exactly the byte a Relay would.
template <class Lanes>
class LaneRelay {
public:
    using LaneRelayTag = void;
    using Signal = Lanes;
    static constexpr int lanes = sizeof(Lanes);

    TARNWICK_INLINE void setVoltage(Signal on) { bits_ = (bits_ & 0x7F) | (on & 0x80); }
    TARNWICK_INLINE void setCoil(Signal on) { bits_ = (bits_ & 0xBF) | (on & 0x40); }
    // Bits 5 and 4 are always 0, so the low half is the high half's copy
    // with nothing below it; said so, the compiler can see that a relay
    // whose supply and coil are both written before its tick no longer
    // depends on what it held.
    TARNWICK_INLINE void tick() {
#ifdef TARNWICK_COUNT_RELAY_TICKS
        relayTicksCounted += lanes;
#endif
        bits_ = (bits_ & 0xC0) | ((bits_ >> 4) & 0x0C);
    }
    TARNWICK_INLINE Signal normallyOpen() const { return (Signal)((bits_ & 0x0C) == 0x0C); }
    TARNWICK_INLINE Signal normallyClosed() const { return (Signal)((bits_ & 0x0C) == 0x08); }

    TARNWICK_INLINE Signal coilInput() const { return (Signal)((bits_ & 0x40) != 0); }

    TARNWICK_INLINE Signal bits() const { return bits_; }
    TARNWICK_INLINE void setBits(Signal bits) { bits_ = bits; }

private:
    Signal bits_ = {};
};

// A signal on in every lane, or in none.
template <class Signal>
TARNWICK_INLINE inline Signal everyLane(bool on) {
    if constexpr (std::is_same_v<Signal, bool>) {
        return on;
    } else {
        Signal lanes = {};
        return lanes - static_cast<std::uint8_t>(on);  // 0 - 1 wraps to 0xFF
    }
}

}  // namespace tarnwick
