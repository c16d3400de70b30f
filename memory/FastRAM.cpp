#include "memory/FastRAM.h"

#include <cstring>

namespace tarnwick {

namespace {
constexpr std::size_t kBytes = 65536;
}

FastRAM::FastRAM() : memory_(std::make_unique<std::uint8_t[]>(kBytes)) {}

void FastRAM::step() {
    // An unpowered memory keeps nothing; the write below still lands, as the
    // byte array has no relays that would need power to store it.
    if (voltage_ == 0) std::memset(memory_.get(), 0, kBytes);
    latchedAddress_ = address_;
    if (write_ != 0) memory_[latchedAddress_] = dataIn_;
    dataOut_ = memory_[latchedAddress_];
}

}  // namespace tarnwick
