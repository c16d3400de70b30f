#include "memory/MemoryFile.h"

#include "asm/Assembler.h"

namespace tarnwick::assembler {

std::vector<std::uint8_t> memoryFile(const Program& program) {
    MemoryImage image;
    image.first = program.first;
    image.last = program.last;
    image.bytes.assign(program.memory.begin() + program.first, program.memory.begin() + program.last + 1);
    return serialiseMemoryFile(image);
}

}  // namespace tarnwick::assembler
