#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "asm/Assembler.h"

namespace tarnwick::assembler {

// A program as lines of text, each with the address its bytes or its label
// take: a source's own lines (labels, comments and all), or the
// disassembler's lines for bytes in memory. What the Program window shows.
struct ProgramText {
    struct Line {
        std::string text;
        std::optional<std::uint16_t> address;
        std::size_t size = 0;  // bytes it emits at address
    };
    std::vector<Line> lines;
    std::vector<std::pair<std::string, std::uint16_t>> labels;  // by name

    // The line whose bytes hold address: the last one emitting there, or
    // failing that the first labelled there; none if no line covers it.
    std::optional<std::size_t> lineOf(std::uint16_t address) const;
    // The address of a label: its exact name, else ignoring letter case.
    std::optional<std::uint16_t> labelAddress(std::string_view name) const;
};

// The lines of an assembled source with the assembler's line-to-address table.
ProgramText programText(const Program& program, std::string_view source);

// The disassembler's source for bytes (first up to first + size - 1), with
// each line's address from assembling it again.
ProgramText disassembledText(std::uint16_t first, std::span<const std::uint8_t> bytes);

}  // namespace tarnwick::assembler
