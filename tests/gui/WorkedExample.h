#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "memory/MemoryFile.h"

namespace tarnwick::testing {

// The worked example: load 5Ah, add 33h, store at 22h, halt.
inline MemoryImage workedExampleImage() {
    MemoryImage image;
    image.first = 0;
    image.last = 0x21;
    image.bytes.assign(0x22, 0);
    const std::vector<std::uint8_t> program{0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    std::copy(program.begin(), program.end(), image.bytes.begin());
    image.bytes[0x20] = 0x5A;
    image.bytes[0x21] = 0x33;
    return image;
}

// What a user does before the first cycle: Power on, the image written as
// the loader writes it, Reset off. The cycles are the caller's to run.
inline void powerOnAndLoad(Machine& machine, const MemoryImage& image) {
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    writeMemoryImage(machine.computer(), image);
    machine.computer().resetSwitch().setState(0);
}

}  // namespace tarnwick::testing
