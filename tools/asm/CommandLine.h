#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnwick::assembler {

// The exit status of tarnwick-asm: 0 when the image (and listing) were
// written, 2 for a usage error, an unreadable source, an error in the source
// or a file that could not be written.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 2;

// Runs tarnwick-asm with its arguments (the program name excluded).
// Messages go to `out` and `err`; files are written only when there is no
// error, each first to a temporary file beside it that is then renamed.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tarnwick::assembler
