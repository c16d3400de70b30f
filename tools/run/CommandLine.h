#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/run/Compare.h"

namespace tarnwick::run {

// The exit status of tarnwick-run.
inline constexpr int exitHalted = 0;
inline constexpr int exitCycleLimit = 1;
inline constexpr int exitFailure = 2;  // usage, an image that cannot be loaded, output that cannot be written
inline constexpr int exitMemoriesDiffer = 3;  // --compare-memories found a difference
inline constexpr int exitStopped = 4;         // stopped at a --break or --watch address

// Runs tarnwick-run with its arguments (the program name excluded): the
// report goes to `out`, messages to `err`.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The same, with the memories --compare-memories runs side by side given by
// the caller instead of standardMemories().
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   const std::vector<MemoryKind>& memories);

}  // namespace tarnwick::run
