#include "tools/asm/Assembler.h"

namespace tarnwick::assembler {

namespace {

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

std::vector<std::uint8_t> memoryFile(const Program& program) {
    std::vector<std::uint8_t> file;
    file.reserve(8 + std::size_t{program.last} + 1);
    putBigEndian32(file, program.first);
    putBigEndian32(file, program.last);
    // The image always starts at address 0; bytes below `first` are present
    // but not loaded, and are zero because nothing was emitted there.
    file.insert(file.end(), program.memory.begin(), program.memory.begin() + program.last + 1);
    return file;
}

}  // namespace tarnwick::assembler
