#include "memory/FastRAM.h"

#include <cstring>

namespace tarnwick {

namespace {
constexpr std::size_t kBytes = 65536;
}

FastRAM::FastRAM() : memory(std::make_unique<std::uint8_t[]>(kBytes)) {}

void FastRAM::step() {
    // An unpowered memory keeps nothing; the write below still lands, as the
    // byte array has no relays that would need power to store it.
    if (voltage == 0) std::memset(memory.get(), 0, kBytes);
    latchedAddress = address;
    if (write != 0) memory[latchedAddress] = dataIn;
    dataOut = memory[latchedAddress];
}

}  // namespace tarnwick
