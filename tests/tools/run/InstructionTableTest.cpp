// The assembler's instruction table against the machine: every mnemonic is
// assembled into a small program, run on the machine, and its effect checked
// against the instruction set table (code, bytes, cycles, operation, flags),
// which this file writes out on its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "app/Session.h"
#include "memory/MemoryFile.h"
#include "asm/Assembler.h"
#include "asm/InstructionSet.h"

namespace tarnwick {
namespace {

struct State {
    unsigned a = 0;
    bool cf = false;
    bool zf = false;
};

// What an instruction does to the accumulator and flags, given M.
using Operation = std::function<State(State, unsigned m)>;

State withResult(State s, unsigned sum) {
    s.a = sum & 0xFF;
    s.cf = sum > 0xFF;
    s.zf = s.a == 0;
    return s;
}

State withA(State s, unsigned a) {
    s.a = a & 0xFF;
    return s;
}

enum class Kind { memory, store, jump, oneByte, halt };

struct Entry {
    std::uint8_t code;
    int bytes;
    int cycles;  // 0: halts
    Kind kind;
    Operation operation;               // memory and one-byte kinds
    std::function<bool(State)> taken;  // jumps
};

// The instruction set table, row by row.
const std::map<std::string_view, Entry>& table() {
    static const std::map<std::string_view, Entry> entries = {
        {"LDA", {0x10, 3, 8, Kind::memory, [](State s, unsigned m) { return withA(s, m); }, {}}},
        {"STA", {0x11, 3, 8, Kind::store, [](State s, unsigned) { return s; }, {}}},
        {"ADD", {0x20, 3, 8, Kind::memory, [](State s, unsigned m) { return withResult(s, s.a + m); }, {}}},
        {"SUB",
         {0x21,
          3,
          8,
          Kind::memory,
          [](State s, unsigned m) { return withResult(s, s.a + (~m & 0xFF) + 1); },
          {}}},
        {"ADC",
         {0x22, 3, 8, Kind::memory, [](State s, unsigned m) { return withResult(s, s.a + m + s.cf); }, {}}},
        {"SBC",
         {0x23,
          3,
          8,
          Kind::memory,
          [](State s, unsigned m) { return withResult(s, s.a + (~m & 0xFF) + s.cf); },
          {}}},
        {"JMP", {0x30, 3, 8, Kind::jump, {}, [](State) { return true; }}},
        {"JZ", {0x31, 3, 8, Kind::jump, {}, [](State s) { return s.zf; }}},
        {"JC", {0x32, 3, 8, Kind::jump, {}, [](State s) { return s.cf; }}},
        {"JNZ", {0x33, 3, 8, Kind::jump, {}, [](State s) { return !s.zf; }}},
        {"JNC", {0x34, 3, 8, Kind::jump, {}, [](State s) { return !s.cf; }}},
        {"OR", {0x40, 3, 8, Kind::memory, [](State s, unsigned m) { return withA(s, s.a | m); }, {}}},
        {"AND", {0x41, 3, 8, Kind::memory, [](State s, unsigned m) { return withA(s, s.a & m); }, {}}},
        {"XOR", {0x42, 3, 8, Kind::memory, [](State s, unsigned m) { return withA(s, s.a ^ m); }, {}}},
        {"SHL", {0x44, 1, 4, Kind::oneByte, [](State s, unsigned) { return withA(s, s.a << 1); }, {}}},
        {"SHR", {0x45, 1, 4, Kind::oneByte, [](State s, unsigned) { return withA(s, s.a >> 1); }, {}}},
        {"ROL",
         {0x46,
          1,
          4,
          Kind::oneByte,
          [](State s, unsigned) { return withA(s, (s.a << 1) | (s.a >> 7)); },
          {}}},
        {"ROR",
         {0x47,
          1,
          4,
          Kind::oneByte,
          [](State s, unsigned) { return withA(s, (s.a >> 1) | (s.a << 7)); },
          {}}},
        {"NOP", {0x50, 1, 4, Kind::oneByte, [](State s, unsigned) { return s; }, {}}},
        {"NOP1", {0x51, 1, 4, Kind::oneByte, [](State s, unsigned) { return s; }, {}}},
        {"HLT", {0xFF, 1, 0, Kind::halt, {}, {}}},
    };
    return entries;
}

// Sets CF and ZF through an addition (the only way a program can), then A
// with LDA, which leaves the flags alone: three three-byte instructions.
std::string prelude(State s) {
    // 0 + 0 = 0 (CF 0, ZF 1); 1 + 1 = 2 (0, 0); FFh + 1 = 0 (1, 1); FFh + 2 = 1 (1, 0)
    const char* operands = s.cf ? (s.zf ? "vff, v01" : "vff, v02") : (s.zf ? "v00, v00" : "v01, v01");
    std::string first(operands, 3), second(operands + 5, 3);
    return "        lda " + first + "\n        add " + second + "\n        lda va\n";
}

constexpr int preludeInstructions = 3;

std::string dataBlock(State s, unsigned m) {
    std::ostringstream out;
    out << "        org 80h\n"
        << "v00:    db 0\nv01:    db 1\nv02:    db 2\nvff:    db 0FFh\n"
        << "va:     db " << s.a << "\nvm:     db " << m << "\n";
    return out.str();
}

struct Outcome {
    State state;
    unsigned haltAddress = 0;
    std::uint64_t haltCycle = 0;
    unsigned m = 0;
};

// Assembles and runs the program to its halt on the byte array.
std::optional<Outcome> runProgram(const std::string& source) {
    assembler::Program program = assembler::assemble(source);
    if (!program.ok()) {
        ADD_FAILURE() << "does not assemble:\n" << source;
        return std::nullopt;
    }
    const std::vector<std::uint8_t> file = assembler::memoryFile(program);
    MemoryFileResult image = parseMemoryFile(file);
    if (!image) {
        ADD_FAILURE() << image.error;
        return std::nullopt;
    }
    Session session;
    if (!session.load(*image.image) || !session.start()) {
        ADD_FAILURE() << "the machine did not start:\n" << source;
        return std::nullopt;
    }
    if (session.run(1000) != Session::End::halted) {
        ADD_FAILURE() << "no halt within 1000 cycles:\n" << source;
        return std::nullopt;
    }
    const LampReading lamps = session.lamps();
    Outcome outcome{{lamps.accumulator, lamps.carry, lamps.zero}, lamps.address, session.cycle(), 0};
    outcome.m = session.peek(0x85);  // vm
    return outcome;
}

// A halt is latched two cycles into its instruction.
std::uint64_t haltCycleAfter(int cyclesBefore) { return static_cast<std::uint64_t>(cyclesBefore) + 2; }

std::string describe(std::string_view mnemonic, State s, unsigned m) {
    std::ostringstream out;
    out << mnemonic << " with A = " << std::hex << s.a << "h, M = " << m << "h, CF = " << s.cf
        << ", ZF = " << s.zf;
    return out.str();
}

const State flagStates[] = {{0, false, false}, {0, false, true}, {0, true, false}, {0, true, true}};
const std::pair<unsigned, unsigned> operandPairs[] = {{0x5A, 0x33}, {0xFF, 0x01}, {0x00, 0x00}, {0x80, 0x80},
                                                      {0xD1, 0x20}, {0x20, 0xD1}, {0x01, 0xFF}, {0xA5, 0x5A}};

TEST(InstructionTable, TheAssemblersTableIsTheInstructionSet) {
    std::set<std::string_view> seen;
    for (const assembler::Instruction& instruction : assembler::instructionSet) {
        SCOPED_TRACE(std::string(instruction.mnemonic));
        auto entry = table().find(instruction.mnemonic);
        ASSERT_NE(entry, table().end()) << "a mnemonic the instruction set does not have";
        EXPECT_EQ(instruction.code, entry->second.code);
        EXPECT_EQ(instruction.size, entry->second.bytes);
        seen.insert(instruction.mnemonic);
    }
    EXPECT_EQ(seen.size(), table().size()) << "an instruction without a mnemonic in the assembler";
}

TEST(InstructionTable, EveryMnemonicDoesWhatTheTableSays) {
    for (const assembler::Instruction& instruction : assembler::instructionSet) {
        auto found = table().find(instruction.mnemonic);
        ASSERT_NE(found, table().end()) << instruction.mnemonic;
        const Entry& entry = found->second;
        const std::string mnemonic(instruction.mnemonic);
        for (State flags : flagStates) {
            for (auto [a, m] : operandPairs) {
                State before{a, flags.cf, flags.zf};
                SCOPED_TRACE(describe(mnemonic, before, m));
                std::string source = prelude(before);
                int cyclesBefore = preludeInstructions * 8;
                State expected = before;
                unsigned expectedM = m;
                unsigned expectedHalt = 0;
                switch (entry.kind) {
                    case Kind::memory:
                        source += "        " + mnemonic + " vm\n        hlt\n";
                        expected = entry.operation(before, m);
                        cyclesBefore += entry.cycles;
                        expectedHalt = preludeInstructions * 3 + 3;
                        break;
                    case Kind::store:
                        source += "        " + mnemonic + " vm\n        hlt\n";
                        expectedM = a;
                        cyclesBefore += entry.cycles;
                        expectedHalt = preludeInstructions * 3 + 3;
                        break;
                    case Kind::jump: {
                        // Not taken: the HLT right after; taken: the one after that.
                        source += "        " + mnemonic + " taken\n        hlt\ntaken:  hlt\n";
                        cyclesBefore += entry.cycles;
                        expectedHalt = preludeInstructions * 3 + 3 + (entry.taken(before) ? 1 : 0);
                        break;
                    }
                    case Kind::oneByte:
                        source += "        " + mnemonic + "\n        hlt\n";
                        expected = entry.operation(before, m);
                        cyclesBefore += entry.cycles;
                        expectedHalt = preludeInstructions * 3 + 1;
                        break;
                    case Kind::halt:
                        source += "        " + mnemonic + "\n";
                        expectedHalt = preludeInstructions * 3;
                        break;
                }
                source += dataBlock(before, m);
                std::optional<Outcome> outcome = runProgram(source);
                ASSERT_TRUE(outcome) << source;
                EXPECT_EQ(outcome->state.a, expected.a) << source;
                EXPECT_EQ(outcome->state.cf, expected.cf) << source;
                EXPECT_EQ(outcome->state.zf, expected.zf) << source;
                EXPECT_EQ(outcome->m, expectedM) << source;
                EXPECT_EQ(outcome->haltAddress, expectedHalt) << source;
                EXPECT_EQ(outcome->haltCycle, haltCycleAfter(cyclesBefore)) << source;
                if (HasFailure()) return;
            }
        }
    }
}

// The table's own worked case for subtraction with borrow.
TEST(InstructionTable, SubtractWithBorrowTakesOneMoreWithoutCarry) {
    std::optional<Outcome> outcome =
        runProgram(prelude({0xD1, false, false}) + "        sbc vm\n        hlt\n" +
                   dataBlock({0xD1, false, false}, 0x20));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->state.a, 0xB0u);
    EXPECT_TRUE(outcome->state.cf);
    EXPECT_FALSE(outcome->state.zf);
}

}  // namespace
}  // namespace tarnwick
