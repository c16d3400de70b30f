#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "asm/Images.h"
#include "memory/MemoryFile.h"

namespace tarnwick {

// The most errors of a source the load's message box lists; the rest are
// counted.
inline constexpr std::size_t loadErrorsShown = 20;

// What "Load Memory File..." and the command line load from a path, read by
// the assembler layer's readImage (a name ending in .asm is assembled). The
// error, if any, is the text for the message box: a source's first
// loadErrorsShown errors, one to a line, then how many there were in all.
// A file that loads nothing (first address above last) gives its warning
// as the error: there is nothing to load, and the user is told why.
MemoryFileResult readImageFile(const std::string& path);
// The same, also handing over a source's lines and addresses (none for a
// memory file or a rejected source).
MemoryFileResult readImageFile(const std::string& path,
                               std::shared_ptr<const assembler::ProgramText>& source);

// The message box text for a result without an image.
std::string loadErrorText(const assembler::ImageResult& result, std::size_t shown = loadErrorsShown);

}  // namespace tarnwick
