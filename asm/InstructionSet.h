#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick::assembler {

// One machine instruction as the assembler knows it: its mnemonic, the code
// byte it assembles to and whether an address follows the code.
struct Instruction {
    std::string_view mnemonic;
    std::uint8_t code;
    int size;  // 3: code, address high byte, address low byte; 1: code alone
};

// The twenty-one codes the machine executes, one mnemonic each.
// clang-format off
inline constexpr std::array<Instruction, 21> instructionSet{{
    {"LDA", 0x10, 3},
    {"STA", 0x11, 3},
    {"ADD", 0x20, 3},
    {"SUB", 0x21, 3},
    {"ADC", 0x22, 3},
    {"SBC", 0x23, 3},
    {"JMP", 0x30, 3},
    {"JZ", 0x31, 3},
    {"JC", 0x32, 3},
    {"JNZ", 0x33, 3},
    {"JNC", 0x34, 3},
    {"OR", 0x40, 3},
    {"AND", 0x41, 3},
    {"XOR", 0x42, 3},
    {"SHL", 0x44, 1},
    {"SHR", 0x45, 1},
    {"ROL", 0x46, 1},
    {"ROR", 0x47, 1},
    {"NOP", 0x50, 1},
    {"NOP1", 0x51, 1},
    {"HLT", 0xFF, 1},
}};
// clang-format on

// True when the two names are equal ignoring ASCII letter case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The instruction with this mnemonic (any letter case), or nullptr.
const Instruction* findInstruction(std::string_view mnemonic);

// Mnemonics, directives and operator words: names no label or constant may take.
bool isReservedWord(std::string_view name);

}  // namespace tarnwick::assembler
