#pragma once

#include <string>

#include "memory/MemoryFile.h"

namespace tarnwick {

// What "Load Memory File..." and the command line load from a path: an
// assembler source (a name ending in .asm, any case) is assembled in memory
// and its emitted range loaded; anything else is read as a memory file. A
// source with errors gives no image and every error as file:line:column:
// message, one to a line.
MemoryFileResult readImageFile(const std::string& path);

// True for a path the loader treats as an assembler source.
bool isAssemblerSource(const std::string& path);

}  // namespace tarnwick
