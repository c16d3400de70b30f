#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::assembler {

// An error in the source, at a 1-based line and column (columns count bytes;
// a tab is one column).
struct Diagnostic {
    int line = 0;
    int column = 0;
    std::string message;
};

// What one source line produced, for the listing.
struct ListedLine {
    std::optional<std::int64_t> address;   // where its bytes or its label go
    std::vector<std::uint8_t> bytes;       // what it emitted
    std::optional<std::int64_t> constant;  // the value it gave a named constant
};

inline constexpr std::size_t memorySize = 0x10000;

// The most errors an assembly keeps: enough to fix a source by, few enough
// that a file of nothing but errors cannot fill memory or a screen.
inline constexpr std::size_t defaultErrorLimit = 1000;

struct Program {
    std::vector<Diagnostic> errors;    // the first errors found (up to the limit), by line and column
    std::size_t errorCount = 0;        // every error found, kept or not
    std::vector<std::uint8_t> memory;  // memorySize bytes; unused addresses hold 0
    std::uint16_t first = 0;           // lowest address the source emits
    std::uint16_t last = 0;            // highest address the source emits
    std::vector<ListedLine> lines;     // one per source line
    std::map<std::string, std::uint16_t> labels;  // every label and its address

    bool ok() const { return errorCount == 0; }
};

// Assembles source text in two passes: the first gives every label its
// address, the second evaluates operands and data and emits the bytes.
// Never throws on bad input; every problem is counted, and the first
// errorLimit of them (in line and column order) become Diagnostics.
Program assemble(std::string_view source, std::size_t errorLimit = defaultErrorLimit);

// The source without a leading UTF-8 byte order mark, as assemble and
// listing read it.
std::string_view withoutByteOrderMark(std::string_view source);

// "file:line:column: message"
std::string formatDiagnostic(std::string_view fileName, const Diagnostic& diagnostic);

// The memory file for an assembled program: the 8-byte header (first and
// last address, big-endian) followed by the image from address 0 to last.
std::vector<std::uint8_t> memoryFile(const Program& program);

// Address, bytes, line number and source text for every source line.
std::string listing(const Program& program, std::string_view source);

}  // namespace tarnwick::assembler
