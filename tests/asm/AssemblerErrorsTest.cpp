#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asm/Assembler.h"
#include "tests/support/Documented.h"

namespace tarnwick::assembler {
namespace {

std::string all(const Program& program) {
    std::string text;
    for (const Diagnostic& d : program.errors) text += formatDiagnostic("t.asm", d) + "\n";
    return text;
}

// Each source has exactly one error, at the given line and column.
TEST(AssemblerErrors, EachErrorNamesItsPosition) {
    struct Case {
        const char* source;
        int line;
        int column;
        const char* message;
    };
    const Case cases[] = {
        // Mnemonics and operands.
        {"  foo 1", 1, 3, "unknown mnemonic 'foo'"},
        {"nop\n  loop", 2, 3, "unknown mnemonic 'loop'"},
        {"  lda", 1, 3, "missing operand: 'LDA' needs an address"},
        {"x: jnz ; comment", 1, 4, "missing operand: 'JNZ' needs an address"},
        {"  hlt 5", 1, 7, "'HLT' takes no operand"},
        {"  rol a", 1, 7, "'ROL' takes no operand"},
        {"  lda 1 2", 1, 9, "unexpected '2' after the operand"},
        {"  lda 1, 2", 1, 8, "unexpected ',' after the operand"},
        {"  lda ,", 1, 7, "expected a value, found ','"},
        {"  lda add", 1, 7, "expected a value, found 'add'"},
        {"  lda (1 + 2", 1, 13, "missing ')' before the end of the line"},
        {"  lda 1 +", 1, 10, "expected a value, found the end of the line"},
        {"  , nop", 1, 3, "expected a label, mnemonic or directive, found ','"},
        {"  high 1", 1, 3, "'high' cannot start a statement"},
        // Labels and constants.
        {"  jmp nowhere", 1, 7, "undefined symbol 'nowhere'"},
        {"a: nop\na: nop", 2, 1, "duplicate label 'a' (first defined at line 1)"},
        {"n equ 1\n\nn equ 2\nnop", 3, 1, "duplicate constant 'n' (first defined at line 1)"},
        {"n: nop\nn equ 2", 2, 1, "duplicate constant 'n' (first defined at line 1)"},
        {"lda: nop", 1, 1, "'lda' is a reserved word and cannot name a label"},
        {"Org equ 5\nnop", 1, 1, "'Org' is a reserved word and cannot name a constant"},
        {"n equ\nnop", 1, 3, "missing operand: EQU needs a value"},
        {"x: n equ 1\nnop", 1, 1, "a constant defined with EQU cannot also have a label"},
        {"  equ 1\nnop", 1, 3, "EQU needs a name before it"},
        {"a equ b + 1\nb equ a\nnop", 2, 7, "'a' is defined in terms of itself"},
        {"a equ a\nnop", 1, 7, "'a' is defined in terms of itself"},
        {"big equ 0FFFFFFFFh\nx equ big + 1\nnop", 2, 13,
         "value too large: 4294967296 (100000000h) is beyond FFFFFFFFh"},
        {"big equ 0FFFFFFFFh\nx equ -big - 1\nnop", 2, 14,
         "value too large: -4294967296 (-100000000h) is beyond -FFFFFFFFh"},
        // Slips a newcomer makes, answered with what was meant.
        {"  db FFh", 1, 6,
         "undefined symbol 'FFh' (a hexadecimal number must start with a digit: write 0FFh)"},
        {"  lda abch", 1, 7,
         "undefined symbol 'abch' (a hexadecimal number must start with a digit: write 0abch)"},
        {"  lda hh", 1, 7, "undefined symbol 'hh'"},
        {"loop hlt", 1, 1, "unknown mnemonic 'loop' (did you mean 'loop:'? a label needs a colon)"},
        {"table db 1", 1, 1, "unknown mnemonic 'table' (did you mean 'table:'? a label needs a colon)"},
        {"loop x", 1, 1, "unknown mnemonic 'loop'"},
        {"  db 'abc'", 1, 6,
         "character constant must be one character followed by \"'\"; a string goes between double quotes: "
         "\"abc\""},
        {"  db 'a", 1, 6, "character constant must be one character followed by \"'\""},
        // Values out of range.
        {"  db 256", 1, 6, "value 256 is out of range for a byte (-128 to 255)"},
        {"  db 1, -129", 1, 9, "value -129 is out of range for a byte (-128 to 255)"},
        {"  dw 65536", 1, 6, "value 65536 is out of range for a word (-32768 to 65535)"},
        {"  dw -32769", 1, 6, "value -32769 is out of range for a word (-32768 to 65535)"},
        {"  jmp 10000h", 1, 7, "value 65536 is out of range for an address (0 to FFFFh)"},
        {"  sta -1", 1, 7, "value -1 is out of range for an address (0 to FFFFh)"},
        {"  org 10000h\nnop", 1, 7, "value 65536 is out of range for an address (0 to FFFFh)"},
        // Where bytes go.
        {"  org 0FFFEh\n  lda 0", 2, 3, "address past FFFFh: this line's bytes would end at 10000h"},
        {"  org 0FFFFh\n  db \"ab\"", 2, 3, "address past FFFFh: this line's bytes would end at 10000h"},
        {"nop\nnop\n  org 1\n  hlt", 4, 3,
         "overlapping origins: address 0001h already holds a byte from line 2"},
        {"  org 10h\n  dw 1\n  org 0Fh\n  dw 2", 4, 3,
         "overlapping origins: address 0010h already holds a byte from line 2"},
        {"  org 5\n  db 1\n  org 0\n  db \"0123456789\"", 4, 3,
         "overlapping origins: address 0005h already holds a byte from line 2"},
        {"  org start\nstart: nop", 1, 7,
         "ORG needs a value known at this line, but 'start' is defined further down"},
        {"  org n + 1\nn equ 3\nnop", 1, 7,
         "ORG needs a value known at this line, but 'n' is defined further down"},
        {"start: org 10h\nnop", 1, 1, "a label cannot stand on an ORG line; put it on the line after"},
        {"  org\nnop", 1, 3, "missing operand: ORG needs an address"},
        {"  db\n", 1, 3, "missing operand: DB needs at least one value"},
        {"  dw 1,", 1, 8, "missing value after ','"},
        {"  dw \"ab\"", 1, 6, "strings are only allowed in DB"},
        // Malformed tokens.
        {"  db \"abc", 1, 6, "string has no closing '\"'"},
        {"  db \"a\\qb\"", 1, 8, "unknown escape in string (use \\n \\r \\t \\0 \\\\ \\' \\\")"},
        {"  db 'ab'", 1, 6,
         "character constant must be one character followed by \"'\"; a string goes between double quotes: "
         "\"ab\""},
        {"  db ''", 1, 6, "empty character constant"},
        {"  db '\\q'", 1, 7, "unknown escape in character constant"},
        {"  db 12x", 1, 6, "malformed number '12x'"},
        {"  db 0x", 1, 6, "malformed number '0x'"},
        {"  db 19h0", 1, 6, "malformed number '19h0'"},
        {"  db 102b", 1, 6, "malformed number '102b'"},
        {"  dw 100000000h", 1, 6, "number '100000000h' is too large"},
        {"  db 1 # 2", 1, 8, "unexpected character '#'"},
        {"  db 1\x01", 1, 7, "unexpected byte 01h"},
        {"", 1, 1, "nothing to assemble: the source emits no bytes"},
        {"; only a comment\nn equ 5\nlabel:\n", 1, 1, "nothing to assemble: the source emits no bytes"},
    };
    for (const Case& c : cases) {
        Program program = assemble(c.source);
        ASSERT_EQ(program.errors.size(), 1u) << c.source << "\n" << all(program);
        const Diagnostic& d = program.errors[0];
        EXPECT_EQ(d.line, c.line) << c.source;
        EXPECT_EQ(d.column, c.column) << c.source;
        EXPECT_EQ(d.message, c.message) << c.source;
        EXPECT_TRUE(documented(d.message)) << "missing from docs/assembler.md: " << d.message;
    }
}

TEST(AssemblerErrors, TheMessageTableIsCheckedNotTakenOnTrust) {
    EXPECT_TRUE(documented("unknown mnemonic 'x'"));
    EXPECT_TRUE(documented("value 7 is out of range for a byte (-128 to 255)"));
    EXPECT_FALSE(documented("unknown mnemonic 'x' (with a hint nobody wrote down)"));
    EXPECT_FALSE(documented("a message nobody wrote down"));
}

TEST(AssemblerErrors, ParenthesesNestedTooDeeplyAreRefusedNotRecursedInto) {
    std::string deep = "  dw " + std::string(33, '(') + "1" + std::string(33, ')');
    Program program = assemble(deep);
    ASSERT_EQ(program.errors.size(), 1u) << all(program);
    EXPECT_EQ(program.errors[0].message, "parentheses nested too deeply");
    EXPECT_TRUE(documented(program.errors[0].message));
    EXPECT_EQ(program.errors[0].column, 6 + 32);
    std::string allowed = "  dw " + std::string(32, '(') + "1" + std::string(32, ')');
    EXPECT_TRUE(assemble(allowed).ok());
}

TEST(AssemblerErrors, LongChainsOfConstantsAreRefusedBeyondTheLimit) {
    auto chain = [](int length) {
        std::string source = "c0 equ 1\n";
        for (int i = 1; i < length; ++i) {
            source += 'c';  // appended: see the note in ControlPanelCoreTest.cpp
            source += std::to_string(i) + " equ c" + std::to_string(i - 1) + " + 1\n";
        }
        // Evaluate the last first, so the whole chain is walked at once.
        std::string text = "db c";
        text += std::to_string(length - 1) + " - " + std::to_string(length - 1) + "\n" + source;
        return text;
    };
    EXPECT_TRUE(assemble(chain(60)).ok());
    Program tooLong = assemble(chain(200));
    ASSERT_FALSE(tooLong.ok());
    EXPECT_EQ(tooLong.errors[0].message, "constants refer to constants too deeply");
    EXPECT_TRUE(documented(tooLong.errors[0].message));
}

TEST(AssemblerErrors, EveryErrorIsReportedInLineOrder) {
    Program program = assemble(
        "        org later       ; 1\n"
        "        lda nowhere     ; 2\n"
        "        frob            ; 3\n"
        "later:  db 300         ; 4\n"
        "        nop 1           ; 5\n"
        "later:  hlt             ; 6\n");
    std::vector<std::pair<int, int>> positions;
    for (const Diagnostic& d : program.errors) positions.emplace_back(d.line, d.column);
    EXPECT_EQ(positions,
              (std::vector<std::pair<int, int>>{{1, 13}, {2, 13}, {3, 9}, {4, 12}, {5, 13}, {6, 1}}))
        << all(program);
}

TEST(AssemblerErrors, AMalformedLineKeepsItsLabelAndSizeSoLaterLinesStayQuiet) {
    // Only the broken string is an error: `here` is still defined, the LDA
    // still takes three bytes, so `there` lands at 3 and nothing cascades.
    Program program = assemble(
        "here:   lda \"oops\n"
        "there:  jmp here\n"
        "        jmp there\n"
        "        jmp 70000\n");
    ASSERT_EQ(program.errors.size(), 2u) << all(program);
    EXPECT_EQ(program.errors[0].line, 1);
    EXPECT_EQ(program.errors[1].line, 4);
    EXPECT_EQ(program.memory[7], 0x00);
    EXPECT_EQ(program.memory[8], 0x03) << "there is at 3";
}

TEST(AssemblerErrors, AnUndefinedNameInAConstantIsReportedOnceWhereItIsWritten) {
    Program program = assemble(
        "a equ missing + 1\n"
        "  lda a\n"
        "  sta a\n");
    ASSERT_EQ(program.errors.size(), 1u) << all(program);
    EXPECT_EQ(formatDiagnostic("t.asm", program.errors[0]), "t.asm:1:7: undefined symbol 'missing'");
}

}  // namespace
}  // namespace tarnwick::assembler
