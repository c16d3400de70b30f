#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asm/Assembler.h"

namespace tarnwick::assembler {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Assembles source that must be free of errors.
Program assembleClean(const std::string& source) {
    Program program = assemble(source);
    for (const Diagnostic& d : program.errors)
        ADD_FAILURE() << formatDiagnostic("source", d) << "\n" << source;
    return program;
}

Bytes bytesAt(const Program& program, std::size_t address, std::size_t count) {
    return Bytes(program.memory.begin() + static_cast<std::ptrdiff_t>(address),
                 program.memory.begin() + static_cast<std::ptrdiff_t>(address + count));
}

// The whole emitted range, first to last.
Bytes emitted(const Program& program) {
    return bytesAt(program, program.first, program.last - program.first + 1u);
}

TEST(Assembler, EveryMnemonicEncodesItsCode) {
    struct Case {
        const char* source;
        Bytes bytes;
    };
    const Case cases[] = {
        {"lda 1234h", {0x10, 0x12, 0x34}},
        {"sta 1234h", {0x11, 0x12, 0x34}},
        {"add 1234h", {0x20, 0x12, 0x34}},
        {"sub 1234h", {0x21, 0x12, 0x34}},
        {"adc 1234h", {0x22, 0x12, 0x34}},
        {"sbc 1234h", {0x23, 0x12, 0x34}},
        {"jmp 1234h", {0x30, 0x12, 0x34}},
        {"jz 1234h", {0x31, 0x12, 0x34}},
        {"jc 1234h", {0x32, 0x12, 0x34}},
        {"jnz 1234h", {0x33, 0x12, 0x34}},
        {"jnc 1234h", {0x34, 0x12, 0x34}},
        {"or 1234h", {0x40, 0x12, 0x34}},
        {"and 1234h", {0x41, 0x12, 0x34}},
        {"xor 1234h", {0x42, 0x12, 0x34}},
        {"shl", {0x44}},
        {"shr", {0x45}},
        {"rol", {0x46}},
        {"ror", {0x47}},
        {"nop", {0x50}},
        {"nop1", {0x51}},
        {"hlt", {0xFF}},
    };
    for (const Case& c : cases) {
        for (std::string text : {std::string(c.source), std::string("  ") + c.source}) {
            Program program = assembleClean(text);
            EXPECT_EQ(program.first, 0) << text;
            EXPECT_EQ(emitted(program), c.bytes) << text;
        }
        // Mnemonics ignore letter case.
        std::string upper = c.source;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_EQ(emitted(assembleClean(upper)), c.bytes) << upper;
    }
    EXPECT_EQ(emitted(assembleClean("LdA 0\nHlT")), (Bytes{0x10, 0, 0, 0xFF}));
}

TEST(Assembler, LabelsReachForwardAndBackward) {
    Program program = assembleClean(
        "        jmp fwd      ; forward\n"
        "back:   nop\n"
        "        jz back      ; backward\n"
        "fwd:\n"
        "        jnc $        ; its own address\n"
        "        hlt\n");
    EXPECT_EQ(emitted(program), (Bytes{0x30, 0x00, 0x07, 0x50, 0x31, 0x00, 0x03, 0x34, 0x00, 0x07, 0xFF}));
}

TEST(Assembler, LabelsAreCaseSensitiveAndMayShareALineWithCode) {
    Program program = assembleClean("Loop: nop\nloop: jmp Loop\n jmp loop\n");
    EXPECT_EQ(emitted(program), (Bytes{0x50, 0x30, 0x00, 0x00, 0x30, 0x00, 0x01}));
}

TEST(Assembler, NumbersInEveryBase) {
    struct Case {
        const char* text;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"42", 42},     {"2Ah", 0x2A},   {"2ah", 0x2A},    {"0x2A", 0x2A},   {"0X2a", 0x2A},
        {"0FFh", 0xFF}, {"101010b", 42}, {"0b101010", 42}, {"0B101010", 42}, {"0B1h", 0xB1},
        {"'A'", 'A'},   {"'\\n'", '\n'}, {"'\\''", '\''},  {"';'", ';'},     {"0", 0},
    };
    for (const Case& c : cases) {
        std::string source = std::string("db ") + c.text;
        EXPECT_EQ(emitted(assembleClean(source)), Bytes{c.value}) << source;
    }
}

TEST(Assembler, ExpressionsAddSubtractAndTakeBytesOfAddresses) {
    struct Case {
        const char* text;
        Bytes bytes;  // as a DW
    };
    const Case cases[] = {
        {"1000h + 20h - 1", {0x10, 0x1F}},
        {"5 - 3 - 1", {0x00, 0x01}},  // left to right
        {"10 - (3 - 1)", {0x00, 0x08}},
        {"-1", {0xFF, 0xFF}},
        {"-(-5)", {0x00, 0x05}},
        {"+7", {0x00, 0x07}},
        {"low(1234h)", {0x00, 0x34}},
        {"high 1234h", {0x00, 0x12}},
        {"HIGH(1234h) + 1", {0x00, 0x13}},  // HIGH takes the value right after it
        {"high(1234h + 100h)", {0x00, 0x13}},
        {"low -1", {0x00, 0xFF}},
        {"high(-2)", {0x00, 0xFF}},
        {"$", {0x00, 0x00}},
        {"$ + 2", {0x00, 0x02}},
        {"((((1))))", {0x00, 0x01}},
        {"'z' - 'a'", {0x00, 25}},
    };
    for (const Case& c : cases) {
        std::string source = std::string("dw ") + c.text;
        EXPECT_EQ(emitted(assembleClean(source)), c.bytes) << source;
    }
}

TEST(Assembler, DataDirectivesEmitBytesStringsAndWordsHighByteFirst) {
    Program program = assembleClean(
        "bytes:  db 1, 0FFh, -1, -128, \"Hi\", 'x'\n"
        "escape: db \"a\\\"b\\\\\\n\\t\\r\\0;\"\n"
        "words:  dw 1234h, 0FFFFh, -32768, bytes, words\n"
        "empty:  db \"\"\n"
        "after:  db after\n");
    EXPECT_EQ(bytesAt(program, 0, 7), (Bytes{1, 0xFF, 0xFF, 0x80, 'H', 'i', 'x'}));
    EXPECT_EQ(bytesAt(program, 7, 8), (Bytes{'a', '"', 'b', '\\', '\n', '\t', '\r', 0}));
    EXPECT_EQ(bytesAt(program, 15, 1), Bytes{';'});
    EXPECT_EQ(bytesAt(program, 16, 10), (Bytes{0x12, 0x34, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x10}));
    EXPECT_EQ(bytesAt(program, 26, 1), Bytes{26});  // an empty string takes no room
    EXPECT_EQ(program.last, 26);
}

TEST(Assembler, OriginsLeaveZeroGapsAndSetTheEmittedRange) {
    Program program = assembleClean(
        "        org 100h\n"
        "        lda data\n"
        "        hlt\n"
        "        org 80h      ; below the code: still fine, nothing overlaps\n"
        "data:   db 7\n"
        "        org 1FFh\n"
        "        db 9\n");
    EXPECT_EQ(program.first, 0x80);
    EXPECT_EQ(program.last, 0x1FF);
    EXPECT_EQ(bytesAt(program, 0x100, 4), (Bytes{0x10, 0x00, 0x80, 0xFF}));
    EXPECT_EQ(program.memory[0x80], 7);
    EXPECT_EQ(program.memory[0x1FF], 9);
    for (std::size_t a = 0x104; a < 0x1FF; ++a) ASSERT_EQ(program.memory[a], 0) << a;
    for (std::size_t a = 0x81; a < 0x100; ++a) ASSERT_EQ(program.memory[a], 0) << a;
}

TEST(Assembler, AdjacentOriginsDoNotOverlap) {
    Program program = assembleClean("org 10h\ndb 1\norg 0Fh\ndb 2\norg 11h\ndw 0304h\norg 0Dh\ndw 0506h");
    EXPECT_EQ(program.first, 0x0D);
    EXPECT_EQ(emitted(program), (Bytes{5, 6, 2, 1, 3, 4}));
}

TEST(Assembler, TheLastAddressMayBeFFFF) {
    Program program = assembleClean("org 0FFFDh\nlda $ + 2\nend:\n");
    EXPECT_EQ(program.first, 0xFFFD);
    EXPECT_EQ(program.last, 0xFFFF);
    EXPECT_EQ(bytesAt(program, 0xFFFD, 3), (Bytes{0x10, 0xFF, 0xFF}));
    // `end` is 10000h, one past memory: defining it is fine, using it as an address is not.
    EXPECT_FALSE(assemble("org 0FFFDh\nlda end\nend:\n").ok());
}

TEST(Assembler, ConstantsMayReferToLaterNamesAndToEachOther) {
    Program program = assembleClean(
        "base    equ 40h\n"
        "size    equ last - table + 1    ; labels further down\n"
        "double  equ size + size         ; another constant\n"
        "        org base\n"
        "table:  db size, double, start\n"
        "last:   db HIGH(table), LOW table\n"
        "start   equ $                   ; the address at this line\n"
        "        org base + 10h          ; a constant defined above\n"
        "        lda count               ; a constant defined below\n"
        "count   equ 0CAFEh\n");
    EXPECT_EQ(bytesAt(program, 0x40, 5), (Bytes{4, 8, 0x45, 0x00, 0x40}));
    EXPECT_EQ(bytesAt(program, 0x50, 3), (Bytes{0x10, 0xCA, 0xFE}));
}

TEST(Assembler, MemoryFileHeaderIsBigEndianAndTheImageStartsAtZero) {
    // The two-number sum: code at 0, data at 20h.
    Program program = assembleClean(
        "lda 20h\nadd 21h\nsta 22h\nhlt\n"
        "org 20h\n"
        "db 5Ah, 33h, 0\n");
    Bytes file = memoryFile(program);
    Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0x22, 0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    expected.resize(8 + 0x20, 0);
    expected.insert(expected.end(), {0x5A, 0x33, 0x00});
    EXPECT_EQ(file, expected);

    // First address above zero: the bytes below it are present and zero.
    Program high = assembleClean("org 1234h\ndb 1\norg 1300h\ndb 2");
    Bytes highFile = memoryFile(high);
    ASSERT_EQ(highFile.size(), 8u + 0x1300 + 1);
    EXPECT_EQ(Bytes(highFile.begin(), highFile.begin() + 8), (Bytes{0, 0, 0x12, 0x34, 0, 0, 0x13, 0x00}));
    EXPECT_EQ(highFile[8 + 0x1234], 1);
    EXPECT_EQ(highFile[8 + 0x1300], 2);
    for (std::size_t a = 0; a < 0x1300; ++a) {
        if (a != 0x1234) {
            ASSERT_EQ(highFile[8 + a], 0) << a;
        }
    }
}

TEST(Assembler, SourceLinesMayEndInCarriageReturnsAndLackAFinalNewline) {
    Program program = assembleClean("a: lda a\r\n\r\n; note\r\n\thlt");
    EXPECT_EQ(emitted(program), (Bytes{0x10, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(program.lines.size(), 4u);
}

TEST(Assembler, AByteOrderMarkAtTheStartIsSkipped) {
    const std::string source = "\xEF\xBB\xBFhlt\n";
    Program program = assembleClean(source);
    EXPECT_EQ(emitted(program), Bytes{0xFF});
    EXPECT_EQ(listing(program, source), "Addr   Bytes        Line  Source\n0000   FF              1  hlt\n");
    Program bad = assemble("\xEF\xBB\xBF  frob");
    ASSERT_EQ(bad.errors.size(), 1u);
    EXPECT_EQ(bad.errors[0].column, 3);
}

TEST(Assembler, ListingShowsAddressBytesLineAndSource) {
    const std::string source =
        "; sum\n"
        "n       equ 2\n"
        "start:  lda 20h\n"
        "\thlt\n"
        "        org 20h\n"
        "text:   db \"Tarnwick\"\n";
    Program program = assembleClean(source);
    EXPECT_EQ(listing(program, source),
              "Addr   Bytes        Line  Source\n"
              "                       1  ; sum\n"
              "=0002                  2  n       equ 2\n"
              "0000   10 00 20        3  start:  lda 20h\n"
              "0003   FF              4          hlt\n"
              "0020                   5          org 20h\n"
              "0020   54 61 72 6E     6  text:   db \"Tarnwick\"\n"
              "0024   77 69 63 6B\n");
}

}  // namespace
}  // namespace tarnwick::assembler
