#include "asm/InstructionSet.h"

#include <algorithm>

namespace tarnwick::assembler {

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr std::array<std::string_view, 6> otherWords{"ORG", "DB", "DW", "EQU", "HIGH", "LOW"};

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

const Instruction* findInstruction(std::string_view mnemonic) {
    for (const Instruction& instruction : instructionSet) {
        if (equalsIgnoringCase(instruction.mnemonic, mnemonic)) return &instruction;
    }
    return nullptr;
}

bool isReservedWord(std::string_view name) {
    return findInstruction(name) != nullptr ||
           std::any_of(otherWords.begin(), otherWords.end(),
                       [name](std::string_view word) { return equalsIgnoringCase(word, name); });
}

}  // namespace tarnwick::assembler
