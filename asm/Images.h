#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "asm/Assembler.h"
#include "asm/ProgramText.h"
#include "memory/InputFile.h"
#include "memory/MemoryFile.h"

namespace tarnwick::assembler {

// Far more than any program for 64 KB of memory; keeps a mistaken argument
// such as /dev/zero from being read for ever.
inline constexpr std::size_t largestSource = 16 * 1024 * 1024;

// An image to load, or why there is none. Every message is a whole line
// that names the file: "p.asm:3:9: message" or "p.RAM: reason".
struct ImageResult {
    std::optional<MemoryImage> image;
    std::vector<std::string> errors;     // the first errors (up to the assembler's limit)
    std::size_t errorCount = 0;          // every error found, listed or not
    std::optional<std::string> warning;  // an image that loads nothing, and why
    // The errors are a source's, by line and column; else there is at most
    // one, about the file itself.
    bool sourceErrors = false;
    // A source's labels and their addresses; none for a memory file.
    std::map<std::string, std::uint16_t> labels;
    // A source's lines with the address of each, kept with its image.
    std::shared_ptr<const ProgramText> source;

    explicit operator bool() const { return image.has_value(); }
};

// A source assembled: the image and its messages, and the program for a
// listing.
struct AssembledSource : ImageResult {
    Program program;
    bool binary = false;  // not text at all: errors holds the one message saying so
};

// The one way from source text to a memory image, for the front panel and
// both tools. `name` is the file named in the messages. Text holding a zero
// byte is refused as a binary file (a memory image, when it parses as a
// memory file that loads something, or as any memory file named .RAM).
AssembledSource assembleSource(std::string_view text, std::string_view name,
                               std::size_t errorLimit = defaultErrorLimit);

// A source file's text, read through readInput (at most largestSource bytes).
// A regular file past that size, not named .asm, that is a memory image is
// refused as one.
InputResult readSource(const std::string& path);

// True for a path read as an assembler source: a name ending in .asm, in
// any case.
bool isAssemblerSource(const std::string& path);

// What "Load Memory File..." and tarnwick-run load from a path: a source is
// assembled in memory and its emitted range loaded; anything else is read
// as a memory file.
ImageResult readImage(const std::string& path, std::size_t errorLimit = defaultErrorLimit);

}  // namespace tarnwick::assembler
