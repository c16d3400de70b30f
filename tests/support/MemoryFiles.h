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

}  // namespace tarnwick::testing
