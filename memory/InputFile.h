#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// What happens to the bytes of an input beyond the most a reader takes.
enum class Excess {
    ignored,  // read up to the limit; the rest is never looked at (a memory file)
    refused,  // an input longer than the limit is refused (an assembler source)
};

// What an input gave: its bytes, or why it cannot be read. The message
// begins with the path ("p.asm: cannot open: No such file or directory").
struct InputResult {
    std::optional<std::vector<std::uint8_t>> bytes;
    std::string error;

    explicit operator bool() const { return bytes.has_value(); }
};

// How long a device may take to deliver its bytes before it is refused.
inline constexpr std::chrono::milliseconds deviceReadTime{2000};

// The one way every program opens an input it was given, so that none can
// block on it or read it for ever. Regular files are read up to `limit`
// bytes; a character device too, within deviceReadTime (/dev/zero is read,
// a terminal is refused at once). A directory, named pipe, socket or block
// device is refused without waiting: a pipe with no writer would hold the
// caller until some other program opened it. `what` names what the input
// should be, for the message about a file that is too large
// ("an assembler source").
InputResult readInput(const std::filesystem::path& path, std::size_t limit, Excess excess, const char* what);

}  // namespace tarnwick
