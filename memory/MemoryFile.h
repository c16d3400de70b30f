#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The memory file format, and nothing else: no machine in here.
//
// A memory file is an 8-byte big-endian header holding the first and the
// last address (signed 32-bit), then the image, the byte for address a at
// offset 8 + a. Only the first 65544 bytes of a file are ever read.
inline constexpr std::size_t memoryFileHeaderSize = 8;
inline constexpr std::size_t memoryFileMaxSize = memoryFileHeaderSize + 65536;
inline constexpr std::int32_t memoryFileLastAddress = 65535;

// The part of a file that gets loaded: the bytes for first to last. A file
// whose first address is above its last loads nothing (bytes is empty).
struct MemoryImage {
    std::int32_t first = 0;
    std::int32_t last = -1;
    std::vector<std::uint8_t> bytes;

    bool empty() const { return first > last; }
    // True when the range lies within 0 to 65535 and bytes fills it exactly
    // (or the range is empty and so are the bytes).
    bool consistent() const;
};

// Either an image or the reason the file is refused. A file that parsed but
// loads nothing (its first address is above its last) has a warning that
// says so, naming both numbers.
struct MemoryFileResult {
    std::optional<MemoryImage> image;
    std::string error;
    std::optional<std::string> warning = std::nullopt;

    explicit operator bool() const { return image.has_value(); }
};

// Validates the bytes a file supplied (at most memoryFileMaxSize of them are
// looked at). Refuses a file shorter than its header, a header of text (a
// source or listing under another name), a range reaching below address 0
// or above 65535, and a file too short for its range, with a message that
// names the numbers.
MemoryFileResult parseMemoryFile(std::span<const std::uint8_t> contents);

// Reads at most memoryFileMaxSize bytes of the file at path (through
// readInput, so a pipe, directory or terminal is refused without waiting)
// and parses them. Errors and the warning begin with the path.
MemoryFileResult readMemoryFile(const std::filesystem::path& path);

// The file for an image: the header, then every address from 0 to last, the
// addresses below first as 0. An empty image gives its header alone.
// The image must be consistent().
std::vector<std::uint8_t> serialiseMemoryFile(const MemoryImage& image);

// "0022h": the way addresses are written in messages.
std::string hexAddress(std::int64_t value);

}  // namespace tarnwick
