#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/run/CommandLine.h"

namespace tarnwick::testing {

// What tarnwick-run answered: its exit status and both streams.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// tarnwick-run with these arguments, in this process.
inline RunResult runInProcess(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.status = tarnwick::run::runCommandLine(arguments, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarnwick::testing
