#include "app/MemoryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "machine/Computer.h"
#include "memory/MemoryLines.h"

namespace tarnwick {

namespace {

std::int32_t bigEndian(std::span<const std::uint8_t> bytes) {
    const std::uint32_t value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return static_cast<std::int32_t>(value);
}

MemoryFileResult refuse(std::string message) { return MemoryFileResult{std::nullopt, std::move(message)}; }

std::string hex(std::int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%04llXh", static_cast<unsigned long long>(value));
    return text;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

MemoryFileResult parseMemoryFile(std::span<const std::uint8_t> contents) {
    if (contents.size() > memoryFileMaxSize) contents = contents.first(memoryFileMaxSize);
    if (contents.size() < memoryFileHeaderSize) {
        return refuse("the file is " + std::to_string(contents.size()) +
                      " bytes long, shorter than the 8-byte header");
    }
    MemoryImage image;
    image.first = bigEndian(contents.subspan(0, 4));
    image.last = bigEndian(contents.subspan(4, 4));
    if (image.first > image.last) return MemoryFileResult{std::move(image), {}};

    if (image.first < 0) {
        return refuse("the first address " + std::to_string(image.first) + " is below 0");
    }
    if (image.last > 65535) {
        return refuse("the last address " + std::to_string(image.last) + " (" + hex(image.last) +
                      ") is above 65535 (FFFFh)");
    }
    const std::size_t needed = memoryFileHeaderSize + static_cast<std::size_t>(image.last) + 1;
    if (contents.size() < needed) {
        return refuse("the file is " + std::to_string(contents.size()) + " bytes long, but its range " +
                      hex(image.first) + " to " + hex(image.last) + " needs " + std::to_string(needed) +
                      " bytes");
    }
    const auto begin = contents.begin() + static_cast<std::ptrdiff_t>(memoryFileHeaderSize + image.first);
    image.bytes.assign(begin, contents.begin() + static_cast<std::ptrdiff_t>(needed));
    return MemoryFileResult{std::move(image), {}};
}

MemoryFileResult readMemoryFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
    if (!file) return refuse(name + ": cannot open: " + std::strerror(errno));

    std::vector<std::uint8_t> contents(memoryFileMaxSize);
    std::size_t length = 0;
    while (length < contents.size()) {
        const std::size_t got = std::fread(contents.data() + length, 1, contents.size() - length, file.get());
        length += got;
        if (got == 0) break;
    }
    if (std::ferror(file.get())) {
        const int error = errno;
        return refuse(name + ": cannot read: " + std::strerror(error));
    }
    contents.resize(length);

    MemoryFileResult result = parseMemoryFile(contents);
    if (!result) result.error = name + ": " + result.error;
    return result;
}

bool writeMemoryImage(Computer& computer, const MemoryImage& image,
                      const std::function<void(std::int32_t address)>& afterEach) {
    if (image.first > image.last) return image.bytes.empty();
    if (image.first < 0 || image.last > 65535 ||
        image.bytes.size() != static_cast<std::size_t>(image.last - image.first) + 1) {
        return false;
    }
    // Through the interface: GCC's bounds sanitizer mishandles a call through
    // a member-function pointer on an object of a final class.
    SixtyFourKbRAM& panel = computer.controlPanel;
    for (std::int32_t address = image.first; address <= image.last; ++address) {
        const std::uint8_t byte = image.bytes[static_cast<std::size_t>(address - image.first)];
        {
            std::scoped_lock lock(computer.cycleLock);
            for (int i = 0; i < 16; ++i) {
                const bool bit = ((address >> i) & 1) != 0;
                (panel.*addressLineSetters[i])(bit);
                computer.addressLamps[i].setState(bit ? 1 : 0);
            }
            applyDataIn(panel, byte);
            panel.setWrite(true);
            panel.step();
        }
        if (afterEach) afterEach(address);
    }
    return true;
}

std::vector<std::uint8_t> readMemoryRange(Computer& computer, std::uint16_t first, std::uint16_t last) {
    std::vector<std::uint8_t> bytes;
    if (first > last) return bytes;
    bytes.reserve(static_cast<std::size_t>(last - first) + 1);
    SixtyFourKbRAM& panel = computer.controlPanel;
    for (unsigned address = first; address <= last; ++address) {
        std::scoped_lock lock(computer.cycleLock);
        applyAddress(panel, static_cast<std::uint16_t>(address));
        panel.setWrite(false);
        panel.step();
        bytes.push_back(readDataOut(panel));
    }
    return bytes;
}

}  // namespace tarnwick
