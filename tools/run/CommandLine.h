#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnwick::run {

// The exit status of tarnwick-run.
inline constexpr int exitHalted = 0;
inline constexpr int exitCycleLimit = 1;
inline constexpr int exitFailure = 2;  // usage, an image that cannot be loaded, output that cannot be written

// Runs tarnwick-run with its arguments (the program name excluded): the
// report goes to `out`, messages to `err`.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tarnwick::run
