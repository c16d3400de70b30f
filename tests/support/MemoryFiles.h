#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick::testing {

using Bytes = std::vector<std::uint8_t>;

// A memory file's 8-byte header: first and last address, big-endian.
inline Bytes memoryFileHeader(std::uint32_t first, std::uint32_t last) {
    return {static_cast<std::uint8_t>(first >> 24), static_cast<std::uint8_t>(first >> 16),
            static_cast<std::uint8_t>(first >> 8),  static_cast<std::uint8_t>(first),
            static_cast<std::uint8_t>(last >> 24),  static_cast<std::uint8_t>(last >> 16),
            static_cast<std::uint8_t>(last >> 8),   static_cast<std::uint8_t>(last)};
}

// A memory file with the header and `imageBytes` bytes of image, the byte
// for address a being a * 7 + 1.
inline Bytes memoryFile(std::uint32_t first, std::uint32_t last, std::size_t imageBytes) {
    Bytes bytes = memoryFileHeader(first, last);
    for (std::size_t a = 0; a < imageBytes; ++a) bytes.push_back(static_cast<std::uint8_t>(a * 7 + 1));
    return bytes;
}

// The worked example from address 0: load 5Ah from 20h, add 33h from 21h,
// store at 22h, halt. The accumulator ends at 8Dh.
inline Bytes workedExample() {
    Bytes image(0x22, 0);
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    for (std::size_t i = 0; i < sizeof program; ++i) image[i] = program[i];
    image[0x20] = 0x5A;
    image[0x21] = 0x33;
    return image;
}

}  // namespace tarnwick::testing
