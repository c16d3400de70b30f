#include "app/MemoryLoader.h"

#include "machine/Computer.h"

namespace tarnwick {

bool writeMemoryImage(Computer& computer, const MemoryImage& image,
                      const std::function<bool(std::int32_t address)>& afterEach) {
    if (!image.consistent()) return false;
    for (std::int32_t address = image.first; address <= image.last; ++address) {
        computer.loadByte(static_cast<std::uint16_t>(address),
                          image.bytes[static_cast<std::size_t>(address - image.first)]);
        if (afterEach && !afterEach(address)) break;
    }
    return true;
}

std::vector<std::uint8_t> readMemoryRange(Computer& computer, std::uint16_t first, std::uint16_t last,
                                          const std::function<bool()>& afterEach) {
    std::vector<std::uint8_t> bytes;
    if (first > last) return bytes;
    bytes.reserve(static_cast<std::size_t>(last - first) + 1);
    for (unsigned address = first; address <= last; ++address) {
        bytes.push_back(computer.readByte(static_cast<std::uint16_t>(address)));
        if (afterEach && !afterEach()) break;
    }
    return bytes;
}

}  // namespace tarnwick
