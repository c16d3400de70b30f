#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tarnwick {

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
    void setVoltage(bool on) { bits_ = static_cast<char8_t>((bits_ & 0x7F) | (on << 7)); }
    void setCoil(bool on) { bits_ = static_cast<char8_t>((bits_ & 0xBF) | (on << 6)); }

    // Pending inputs become current; the pending half is left as it is.
    void tick() { bits_ = static_cast<char8_t>((bits_ & 0xF0) | (bits_ >> 4)); }

    bool normallyOpen() const { return (bits_ & 0x0C) == 0x0C; }
    bool normallyClosed() const { return (bits_ & 0x0C) == 0x08; }

    // The raw byte, for tests of the bit layout.
    std::uint8_t bits() const { return bits_; }

private:
    char8_t bits_ = 0;
};

static_assert(sizeof(Relay) == 1);
static_assert(std::is_trivially_copyable_v<Relay>);

// Up to eight neighbouring relays as one word, relay i in byte i, so that a
// circuit can tick them all with a few word operations instead of one
// read-modify-write per relay. Only where bytes lie in memory in that order.
inline constexpr bool relayWordsAvailable = std::endian::native == std::endian::little;

// The byte value repeated in each of the first n bytes of a word.
constexpr std::uint64_t relayLanes(int n, std::uint8_t byte) {
    std::uint64_t word = 0;
    for (int i = 0; i < n; ++i) word |= std::uint64_t{byte} << (8 * i);
    return word;
}

template <int N>
std::uint64_t loadRelays(const Relay (&relays)[N]) {
    static_assert(N >= 1 && N <= 8);
    if constexpr (N == 2 || N == 4 || N == 8) {
        using Word = std::conditional_t<N == 2, std::uint16_t, std::conditional_t<N == 4, std::uint32_t, std::uint64_t>>;
        Word word;
        std::memcpy(&word, relays, N);
        return word;
    } else {
        // Assembled byte by byte: a partial copy into a wider word would make
        // the processor wait for the copy before it can read the word.
        std::uint64_t word = 0;
        for (int i = 0; i < N; ++i) word |= std::uint64_t{relays[i].bits()} << (8 * i);
        return word;
    }
}

template <int N>
void storeRelays(Relay (&relays)[N], std::uint64_t word) {
    static_assert(N >= 1 && N <= 8);
    std::memcpy(static_cast<void*>(relays), &word, N);
}

// tick() on every relay of a word: each byte's high half, copied to its low half.
constexpr std::uint64_t tickRelayWord(std::uint64_t word) {
    const std::uint64_t pending = word & relayLanes(8, 0xF0);
    return pending | (pending >> 4);
}

}  // namespace tarnwick
