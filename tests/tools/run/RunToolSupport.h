#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

// A field of a one-line JSON object (a trace line, the report): a number,
// or true/false as 1/0; nothing when it is absent or null.
inline std::optional<std::uint64_t> jsonNumber(const std::string& line, const std::string& name) {
    const std::size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return std::nullopt;
    const std::string value = line.substr(at + name.size() + 3);
    if (value.rfind("true", 0) == 0) return 1;
    if (value.rfind("false", 0) == 0) return 0;
    if (value.rfind("null", 0) == 0) return std::nullopt;
    return std::stoull(value);
}

}  // namespace tarnwick::testing
