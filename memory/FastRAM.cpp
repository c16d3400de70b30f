#include "memory/FastRAM.h"

#include <cstring>

#include "memory/StateBytes.h"

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

namespace {
constexpr std::size_t kStateSize = kBytes + 2 * sizeof(std::uint8_t) + 2 * sizeof(std::uint32_t) + 2;
}

bool FastRAM::saveState(std::vector<std::uint8_t>& state) const {
    StateWriter out(state, fastRamState, kStateSize);
    out.bytes(memory_.get(), kBytes);
    out.field(voltage_);
    out.field(write_);
    out.field(address_);
    out.field(latchedAddress_);
    out.field(dataIn_);
    out.field(dataOut_);
    return true;
}

bool FastRAM::restoreState(const std::vector<std::uint8_t>& state) {
    StateReader in(state, fastRamState, kStateSize);
    if (!in.valid()) return false;
    in.bytes(memory_.get(), kBytes);
    in.field(voltage_);
    in.field(write_);
    in.field(address_);
    in.field(latchedAddress_);
    in.field(dataIn_);
    in.field(dataOut_);
    return true;
}

}  // namespace tarnwick
