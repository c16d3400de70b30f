#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

class Computer;

// A memory image file: an 8-byte big-endian header holding the first and the
// last address (signed 32-bit), then the image, the byte for address a at
// offset 8 + a. Only the first 65544 bytes of a file are ever read.
inline constexpr std::size_t memoryFileHeaderSize = 8;
inline constexpr std::size_t memoryFileMaxSize = memoryFileHeaderSize + 65536;

// The part of a file that gets loaded: the bytes for first to last. A file
// whose first address is above its last loads nothing (bytes is empty).
struct MemoryImage {
    std::int32_t first = 0;
    std::int32_t last = -1;
    std::vector<std::uint8_t> bytes;
};

// Either an image or the reason the file is refused.
struct MemoryFileResult {
    std::optional<MemoryImage> image;
    std::string error;

    explicit operator bool() const { return image.has_value(); }
};

// Validates the bytes a file supplied (at most memoryFileMaxSize of them are
// looked at). Refuses a file shorter than its header, a range reaching below
// address 0 or above 65535, and a file too short for its range, with a
// message that names the numbers.
MemoryFileResult parseMemoryFile(std::span<const std::uint8_t> contents);

// Reads at most memoryFileMaxSize bytes of the file at path and parses them.
// Open and read errors are refused like malformed files; messages begin
// with the path.
MemoryFileResult readMemoryFile(const std::filesystem::path& path);

// Writes the image into the computer's memory through its control panel, one
// memory step per address in increasing order: the sixteen address lines,
// each followed by its address lamp, the eight data-in lines, Write on, one
// panel step, all under the cycle lock. afterEach, if given, runs after
// each address with the lock released (to repaint or to pause). Returns false
// and writes nothing if the image is not one that parseMemoryFile could give
// (range outside 0 to 65535, or bytes not matching the range).
bool writeMemoryImage(Computer& computer, const MemoryImage& image,
                      const std::function<void(std::int32_t address)>& afterEach = {});

// Reads the memory from first to last through the control panel with Write
// off, one memory step per address, under the cycle lock.
std::vector<std::uint8_t> readMemoryRange(Computer& computer, std::uint16_t first, std::uint16_t last);

}  // namespace tarnwick
