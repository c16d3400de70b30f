// Arbitrary bytes as a memory file: the loader must never read past what the
// file supplied, and every image it accepts must be one it can write.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "app/MemoryLoader.h"
#include "app/Session.h"

namespace {

// Powered, with Reset on, as the front panel starts.
tarnwick::Computer& computer() {
    static tarnwick::Session* session = new tarnwick::Session(true);
    return session->computer();
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> contents(data, size);
    const tarnwick::MemoryFileResult result = tarnwick::parseMemoryFile(contents);
    if (!result) {
        check(!result.error.empty());
        return 0;
    }
    // Whatever parses serialises back to the same header and range.
    const std::vector<std::uint8_t> again = tarnwick::serialiseMemoryFile(*result.image);
    const tarnwick::MemoryFileResult reparsed = tarnwick::parseMemoryFile(again);
    check(reparsed && reparsed.image->first == result.image->first &&
          reparsed.image->last == result.image->last && reparsed.image->bytes == result.image->bytes);
    const tarnwick::MemoryImage& image = *result.image;
    check(result.error.empty());
    check(size >= tarnwick::memoryFileHeaderSize);
    if (image.first > image.last) {
        check(image.bytes.empty());
        return 0;
    }
    check(image.first >= 0 && image.last <= 65535);
    check(image.bytes.size() == static_cast<std::size_t>(image.last - image.first) + 1);
    for (std::size_t i = 0; i < image.bytes.size(); ++i) {
        check(image.bytes[i] ==
              data[tarnwick::memoryFileHeaderSize + static_cast<std::size_t>(image.first) + i]);
    }
    // Writing is one memory step per address; keep each input quick.
    if (image.bytes.size() <= 256) {
        check(tarnwick::writeMemoryImage(computer(), image));
        const auto first = static_cast<std::uint16_t>(image.first);
        const auto last = static_cast<std::uint16_t>(image.last);
        check(tarnwick::readMemoryRange(computer(), first, last) == image.bytes);
    }
    return 0;
}
