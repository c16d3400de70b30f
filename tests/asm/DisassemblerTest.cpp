#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "asm/Assembler.h"
#include "asm/Disassembler.h"
#include "asm/InstructionSet.h"
#include "memory/MemoryFile.h"

namespace tarnwick::assembler {
namespace {

namespace fs = std::filesystem;

std::string errorsOf(const Program& program) {
    std::string text;
    for (const Diagnostic& d : program.errors) text += formatDiagnostic("dis.asm", d) + "\n";
    return text;
}

// Disassembles, assembles the result and checks that it gives the same
// range and the same bytes.
void expectRoundTrip(std::uint16_t first, const std::vector<std::uint8_t>& bytes) {
    std::string source = disassemble(first, bytes, "test.RAM");
    Program program = assemble(source);
    ASSERT_TRUE(program.ok()) << errorsOf(program) << source;
    ASSERT_EQ(program.first, first) << source;
    ASSERT_EQ(program.last, first + bytes.size() - 1) << source;
    ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), program.memory.begin() + first)) << source;
}

std::vector<std::uint8_t> bytesOf(std::initializer_list<int> values) {
    return std::vector<std::uint8_t>(values.begin(), values.end());
}

TEST(Disassembler, EveryExampleComesBackByteForByte) {
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(TARNWICK_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".RAM") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string file((std::istreambuf_iterator<char>(in)), {});
        std::span<const std::uint8_t> contents(reinterpret_cast<const std::uint8_t*>(file.data()),
                                               file.size());
        MemoryFileResult image = parseMemoryFile(contents);
        ASSERT_TRUE(image) << entry.path() << ": " << image.error;

        std::string source =
            disassemble(static_cast<std::uint16_t>(image.image->first), image.image->bytes, "example");
        Program program = assemble(source);
        ASSERT_TRUE(program.ok()) << entry.path() << "\n" << errorsOf(program) << source;
        std::vector<std::uint8_t> again = memoryFile(program);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), contents.begin(), contents.end()))
            << entry.path() << "\n"
            << source;
        ++checked;
    }
    EXPECT_GE(checked, 10) << "the examples were not found in " << TARNWICK_EXAMPLES_DIR;
}

TEST(Disassembler, RandomImagesComeBackByteForByte) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 400; ++round) {
        // Short images mostly, some long; some start at 0 so code is traced.
        int length =
            round % 10 == 0 ? 1 + static_cast<int>(random() % 4096) : 1 + static_cast<int>(random() % 64);
        int first = round % 3 == 0 ? 0 : static_cast<int>(random() % (0x10000 - length + 1));
        if (round % 17 == 0) first = 0x10000 - length;  // up to the last address
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
        for (std::uint8_t& byte : bytes) {
            // Half the bytes are real codes or small addresses, so that code,
            // jumps back into the image and overlapping code all turn up.
            switch (random() % 4) {
                case 0:
                    byte = instructionSet[random() % instructionSet.size()].code;
                    break;
                case 1:
                    byte = static_cast<std::uint8_t>(random() % 8 == 0 ? first >> 8 : random() % 0x40);
                    break;
                default:
                    byte = static_cast<std::uint8_t>(random());
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        expectRoundTrip(static_cast<std::uint16_t>(first), bytes);
        if (HasFatalFailure()) return;
    }
}

TEST(Disassembler, ASmallProgramReadsAsItsSource) {
    // lda a / loop: rol / jnz loop / sta out / hlt / a: db 1 / out: db 0
    std::vector<std::uint8_t> bytes =
        bytesOf({0x10, 0x00, 0x0B, 0x46, 0x33, 0x00, 0x03, 0x11, 0x00, 0x0C, 0xFF, 0x01, 0x00});
    EXPECT_EQ(disassemble(0, bytes, "loop.RAM"),
              "; loop.RAM disassembled by tarnwick-asm: addresses 0000h to 000Ch.\n"
              "; Bytes reached as code from 0000h are instructions, the rest DB.\n"
              "\n"
              "        lda D000B               ; 0000h: 10 00 0B\n"
              "L0003:  rol                     ; 0003h: 46\n"
              "        jnz L0003               ; 0004h: 33 00 03\n"
              "        sta D000C               ; 0007h: 11 00 0C\n"
              "        hlt                     ; 000Ah: FF\n"
              "D000B:  db 01h                  ; 000Bh\n"
              "D000C:  db 00h                  ; 000Ch\n");
}

TEST(Disassembler, OnlyBytesReachedAsCodeBecomeInstructions) {
    struct Case {
        const char* what;
        std::uint16_t first;
        std::vector<std::uint8_t> bytes;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const Case cases[] = {
        {"after HLT and after JMP the bytes are data",
         0,
         bytesOf({0x30, 0x00, 0x04, 0x10, 0xFF, 0x10, 0x00, 0x00}),
         {"jmp L0004", "L0004:  hlt", "db 10h ", "db 10h, 00h, 00h"},
         {"lda"}},
        {"a conditional jump is followed both ways",
         0,
         bytesOf({0x31, 0x00, 0x05, 0x44, 0xFF, 0x45, 0xFF}),
         {"jz L0005", "shl", "L0005:  shr"},
         {"db"}},
        {"an instruction cut off by the end of the image stays data",
         0,
         bytesOf({0x50, 0x10, 0x00}),
         {"nop", "db 10h, 00h"},
         {"lda"}},
        {"a jump into the middle of an instruction is named from its label",
         0,
         bytesOf({0x10, 0x30, 0x00, 0x33, 0x00, 0x01, 0xFF}),
         {"L0000:  lda 3000h", "jnz L0000 + 1"},
         {"D0000"}},
        {"an instruction that a store rewrites is code, named L like its neighbours",
         0,
         bytesOf({0x10, 0x00, 0x0A, 0x11, 0x00, 0x07, 0x10, 0x00, 0x0A, 0xFF, 0x0B}),
         {"sta L0006 + 1", "L0006:  lda D000A", "D000A:  db 0Bh"},
         {"D0006", "D0007"}},
        {"code reached that shares bytes with code already found stays data",
         0,
         bytesOf({0x30, 0x00, 0x06, 0x00, 0x00, 0x10, 0x50, 0x30, 0x00, 0x05}),
         {"jmp L0006", "D0005:  db 10h ", "L0006:  nop", "jmp D0005"},
         {"lda", "L0005"}},
        {"addresses outside the image stay numbers",
         0,
         bytesOf({0x10, 0xAB, 0xCD, 0x30, 0x12, 0x34}),
         {"lda 0ABCDh", "jmp 1234h"},
         {"\nD", "\nL"}},
        {"codes without a mnemonic run as three-byte no-ops",
         0,
         bytesOf({0x00, 0x11, 0x22, 0xFF}),
         {"db 00h, 11h, 22h", "no mnemonic", "hlt"},
         {}},
        {"an image placed higher starts with ORG and is entered where the zeros below lead",
         0x101,
         bytesOf({0x44, 0x50, 0xFF}),
         {"org 0101h", "db 44h", "nop", "hlt"},
         {"shl"}},
        {"a long run of zeros inside the image is skipped with ORG",
         0,
         [] {
             std::vector<std::uint8_t> bytes(40, 0);
             bytes[0] = 0xFF;
             bytes[39] = 0x7E;
             return bytes;
         }(),
         {"hlt", "org 0027h", "db 7Eh"},
         {"db 00h"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string source = disassemble(c.first, c.bytes, "t.RAM");
        for (const char* text : c.present)
            EXPECT_NE(source.find(text), std::string::npos) << c.what << "\n" << source;
        for (const char* text : c.absent) {
            std::string body = source.substr(source.find("\n\n"));
            EXPECT_EQ(body.find(text), std::string::npos) << c.what << ": " << text << "\n" << source;
        }
        expectRoundTrip(c.first, c.bytes);
    }
}

std::vector<std::uint8_t> bytesOfText(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Disassembler, PrintableRunsOfFourOrMoreAreStrings) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;  // placed after a HLT at 0000h, so not reached as code
        std::vector<const char*> lines;   // the statements after the ORG, in order
    };
    std::vector<std::uint8_t> quoted = bytesOfText("say \"hi\" \\o/");
    std::vector<std::uint8_t> long40 = bytesOfText("0123456789abcdefghijklmnopqrstuvwxyzABCD");
    std::vector<std::uint8_t> terminated = bytesOfText("Tarnwick relays!");
    terminated.push_back(0);
    std::vector<std::uint8_t> shortRuns = bytesOfText("abc");
    shortRuns.push_back(0x0A);
    for (char c : std::string_view("abcd")) shortRuns.push_back(static_cast<std::uint8_t>(c));
    const Case cases[] = {
        {"a text and its terminating zero", terminated, {"db \"Tarnwick relays!\"", "db 00h"}},
        {"quote and backslash are escaped", quoted, {"db \"say \\\"hi\\\" \\\\o/\""}},
        {"a run longer than a line goes on in the next",
         long40,
         {"db \"0123456789abcdefghijklmnopqrstuv\"", "db \"wxyzABCD\""}},
        {"three printable bytes stay numbers, four do not",
         shortRuns,
         {"db 61h, 62h, 63h, 0Ah", "db \"abcd\""}},
        {"control and high bytes are never in a string",
         bytesOf({0x41, 0x42, 0x09, 0x43, 0x44, 0x80, 0x7F}),
         {"db 41h, 42h, 09h, 43h, 44h, 80h, 7Fh"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> image = bytesOf({0xFF});
        image.insert(image.end(), c.bytes.begin(), c.bytes.end());
        std::string source = disassemble(0, image, "t.RAM");
        std::size_t at = source.find("hlt");
        ASSERT_NE(at, std::string::npos) << source;
        for (const char* statement : c.lines) {
            at = source.find(std::string("\n        ") + statement + " ", at);
            EXPECT_NE(at, std::string::npos) << statement << "\n" << source;
            if (at == std::string::npos) break;
        }
        expectRoundTrip(0, image);
    }
}

TEST(Disassembler, CommentsWriteAddressesAsTheAssemblersMessagesDo) {
    // The whole of memory: a jump far up, and data above A000h.
    std::vector<std::uint8_t> bytes(0x10000, 0);
    const std::vector<std::uint8_t> program = bytesOf({0x30, 0xB0, 0x00});
    std::copy(program.begin(), program.end(), bytes.begin());
    bytes[0xB000] = 0xFF;
    bytes[0xFFFF] = 0xEE;
    std::string source = disassemble(0, bytes, "full.RAM");
    EXPECT_EQ(source.rfind("; full.RAM disassembled by tarnwick-asm: addresses 0000h to FFFFh.\n", 0), 0u)
        << source.substr(0, 200);
    EXPECT_NE(source.find("jmp LB000               ; 0000h: 30 B0 00\n"), std::string::npos) << source;
    EXPECT_NE(source.find("LB000:  hlt                     ; B000h: FF\n"), std::string::npos) << source;
    EXPECT_NE(source.find("org 0FFFFh\n        db 0EEh                 ; FFFFh\n"), std::string::npos)
        << source;
    EXPECT_EQ(source.find("; 0FFFFh"), std::string::npos) << source;
    expectRoundTrip(0, bytes);
}

}  // namespace
}  // namespace tarnwick::assembler
