#include "memory/MemoryFile.h"

#include "memory/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarnwick {

namespace {

std::int32_t bigEndian(std::span<const std::uint8_t> bytes) {
    const std::uint32_t value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return static_cast<std::int32_t>(value);
}

void putBigEndian(std::vector<std::uint8_t>& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

MemoryFileResult refuse(std::string message) { return MemoryFileResult{std::nullopt, std::move(message)}; }

// A header of printable characters: a memory file's header starts with a
// zero byte whenever its range can be loaded, a source or listing never does.
bool startsWithText(std::span<const std::uint8_t> contents) {
    if (contents.size() < memoryFileHeaderSize) return false;
    return std::all_of(contents.begin(), contents.begin() + memoryFileHeaderSize, [](std::uint8_t c) {
        return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
    });
}

constexpr const char* textFileAdvice =
    "is not a memory file (it starts with text; is it an assembler source? assemble it with "
    "tarnwick-asm, or pass it with its .asm name)";

}  // namespace

bool MemoryImage::consistent() const {
    if (empty()) return bytes.empty();
    return first >= 0 && last <= memoryFileLastAddress &&
           bytes.size() == static_cast<std::size_t>(last - first) + 1;
}

std::string hexAddress(std::int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%04llXh", static_cast<unsigned long long>(value));
    return text;
}

MemoryFileResult parseMemoryFile(std::span<const std::uint8_t> contents) {
    if (contents.size() > memoryFileMaxSize) contents = contents.first(memoryFileMaxSize);
    if (contents.size() < memoryFileHeaderSize) {
        return refuse("the file is " + std::to_string(contents.size()) +
                      " bytes long, shorter than the 8-byte header");
    }
    MemoryImage image;
    image.first = bigEndian(contents.subspan(0, 4));
    image.last = bigEndian(contents.subspan(4, 4));
    // A text file is named as such whatever its "range": a listing's first
    // eight characters often read as a first address above the last.
    if (startsWithText(contents)) return refuse(textFileAdvice);
    if (image.empty()) {
        std::string warning = "the first address " + std::to_string(image.first) + " is above the last address " +
                              std::to_string(image.last) + ": nothing is loaded";
        return MemoryFileResult{std::move(image), {}, std::move(warning)};
    }
    if (image.first < 0) {
        return refuse("the first address " + std::to_string(image.first) + " is below 0");
    }
    if (image.last > memoryFileLastAddress) {
        return refuse("the last address " + std::to_string(image.last) + " (" + hexAddress(image.last) +
                      ") is above 65535 (FFFFh)");
    }
    const std::size_t needed = memoryFileHeaderSize + static_cast<std::size_t>(image.last) + 1;
    if (contents.size() < needed) {
        return refuse("the file is " + std::to_string(contents.size()) + " bytes long, but its range " +
                      hexAddress(image.first) + " to " + hexAddress(image.last) + " needs " +
                      std::to_string(needed) + " bytes");
    }
    const auto begin = contents.begin() + static_cast<std::ptrdiff_t>(memoryFileHeaderSize + image.first);
    image.bytes.assign(begin, contents.begin() + static_cast<std::ptrdiff_t>(needed));
    return MemoryFileResult{std::move(image), {}};
}

MemoryFileResult readMemoryFile(const std::filesystem::path& path) {
    InputResult input = readInput(path, memoryFileMaxSize, Excess::ignored, "a memory file");
    if (!input) return refuse(std::move(input.error));
    MemoryFileResult result = parseMemoryFile(*input.bytes);
    const std::string name = path.string();
    if (!result) result.error = name + ": " + result.error;
    if (result.warning) result.warning = name + ": " + *result.warning;
    return result;
}

std::vector<std::uint8_t> serialiseMemoryFile(const MemoryImage& image) {
    std::vector<std::uint8_t> file;
    const std::size_t end = image.empty() ? 0 : static_cast<std::size_t>(image.last) + 1;
    file.reserve(memoryFileHeaderSize + end);
    putBigEndian(file, image.first);
    putBigEndian(file, image.last);
    if (image.empty()) return file;
    file.resize(memoryFileHeaderSize + static_cast<std::size_t>(image.first), 0);
    file.insert(file.end(), image.bytes.begin(), image.bytes.end());
    return file;
}

}  // namespace tarnwick
