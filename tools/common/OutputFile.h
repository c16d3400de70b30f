#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick::tools {

// One output file of a command-line tool, replaced whole or not at all.
// A regular file (or a new one) is written under a temporary name beside it
// and renamed over it by commit(); a link is followed, so the file it names
// is replaced and the link stays. A device or pipe cannot be replaced: it
// gets the contents in place at commit(), kept in memory until then, so a
// run that fails before commit() writes nothing to it.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& requested);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes a temporary file that was never committed.
    ~OutputFile();

    // Creates the temporary file now rather than at the first write(), so
    // that a caller can refuse before it does the work. Each of these returns
    // nothing, or why the file cannot be written.
    std::optional<std::string> open();
    // Appends data.
    std::optional<std::string> write(std::string_view data);
    std::optional<std::string> commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int descriptor_ = -1;
    bool inPlace_ = false;
    std::string contents_;
};

// 1 or 2 when name is one of the names of standard output or standard error
// (/dev/stdout, /dev/fd/1, /proc/self/fd/1 and the same for 2), else 0. A
// tool writes those to the stream it already has, or refuses them.
int standardStreamNumber(std::string_view name);

}  // namespace tarnwick::tools
