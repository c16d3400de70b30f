#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick::assembler {

// Turns the loaded part of a memory image back into a source that assembles
// into the same header and the same bytes. `bytes` holds the bytes for
// `first` up to first + size - 1; it must not be empty nor reach past FFFFh.
//
// Bytes reached as code from 0000h, following fall-through and jumps, become
// instructions; everything else becomes DB, with printable runs of four or
// more as strings. Addresses named inside the image get labels by what is
// there: Lxxxx where an instruction starts, Dxxxx elsewhere. `name` goes
// into the heading comment only.
std::string disassemble(std::uint16_t first, std::span<const std::uint8_t> bytes, std::string_view name);

}  // namespace tarnwick::assembler
