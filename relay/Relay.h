#pragma once

#include <cstdint>

// Forces a circuit's setters, getters and step inline wherever they are
// used, at every optimisation level: the lane memory steps circuits built of
// lane vectors inside functions compiled for wider instruction sets, and a
// call to an out-of-line copy would pass those vectors the wrong way.
#define TARNWICK_INLINE __attribute__((always_inline))

namespace tarnwick {

#ifdef TARNWICK_COUNT_RELAY_TICKS
// Only in the executable that proves the tick counts the code states: every
// tick adds one. Without the macro a tick costs what it always did.
inline std::uint64_t relayTicksCounted = 0;
#endif

// The one logic element of the machine: a unit-delay relay in one byte.
//
//   bit 7  pending supply   (setVoltage)
//   bit 6  pending coil     (setCoil)
//   bit 3  current supply   (copied from bit 7 by tick)
//   bit 2  current coil     (copied from bit 6 by tick)
//   bits 5, 4, 1, 0 are always 0.
//
// The byte is a char8_t rather than an unsigned char: unsigned char may alias
// any object, which would force the compiler to reload every neighbouring
// relay after each write and keeps whole circuits out of registers.
class Relay {
public:
    // What a contact carries: on or off.
    using Signal = bool;

    void setVoltage(bool on) { bits_ = static_cast<char8_t>((bits_ & 0x7F) | (on << 7)); }
    void setCoil(bool on) { bits_ = static_cast<char8_t>((bits_ & 0xBF) | (on << 6)); }

    // Pending inputs become current; the pending half is left as it is.
    void tick() {
#ifdef TARNWICK_COUNT_RELAY_TICKS
        ++relayTicksCounted;
#endif
        bits_ = static_cast<char8_t>((bits_ & 0xF0) | (bits_ >> 4));
    }

    bool normallyOpen() const { return (bits_ & 0x0C) == 0x0C; }
    bool normallyClosed() const { return (bits_ & 0x0C) == 0x08; }

    // The pending inputs, as the next tick will take them.
    bool supplyInput() const { return (bits_ & 0x80) != 0; }
    bool coilInput() const { return (bits_ & 0x40) != 0; }

    // The raw byte, for tests of the bit layout.
    std::uint8_t bits() const { return bits_; }

private:
    char8_t bits_ = 0;
};

static_assert(sizeof(Relay) == 1);

}  // namespace tarnwick
