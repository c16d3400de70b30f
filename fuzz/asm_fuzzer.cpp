// Feeds arbitrary source text to the assembler. Nothing may crash, and the
// result must hang together: errors point into the source in order, a clean
// program's memory file matches its range, and its disassembly assembles
// back into the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "asm/Assembler.h"
#include "asm/Disassembler.h"
#include "asm/Images.h"

namespace {

using namespace tarnwick::assembler;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

void check(std::string_view source) {
    Program program = assemble(source);
    // The front panel's and the tools' way: the same program, or a binary
    // file refused.
    const AssembledSource assembled = assembleSource(source, "fuzz.asm");
    require(assembled.binary == (source.find('\0') != std::string_view::npos));
    source = withoutByteOrderMark(source);  // as the assembler counts lines and columns

    std::size_t lineCount = 0;
    for (std::size_t start = 0; start < source.size(); ++lineCount) {
        std::size_t end = source.find('\n', start);
        start = end == std::string_view::npos ? source.size() : end + 1;
    }
    require(program.lines.size() == lineCount);

    // The first errors kept, every one counted.
    require(program.errors.size() <= defaultErrorLimit && program.errors.size() <= program.errorCount);
    require(program.ok() == (program.errorCount == 0));
    if (!assembled.binary) {
        require(assembled.image.has_value() == program.ok());
        require(assembled.errorCount == program.errorCount && assembled.errors.size() == program.errors.size());
    }

    int previousLine = 0;
    int previousColumn = 0;
    for (const Diagnostic& d : program.errors) {
        require(d.line >= 1 && static_cast<std::size_t>(d.line) <= std::max<std::size_t>(lineCount, 1));
        require(d.column >= 1 && static_cast<std::size_t>(d.column) <= source.size() + 1);
        require(!d.message.empty());
        require(d.line > previousLine || (d.line == previousLine && d.column >= previousColumn));
        previousLine = d.line;
        previousColumn = d.column;
    }

    if (program.ok()) {
        require(program.first <= program.last);
        std::vector<std::uint8_t> file = memoryFile(program);
        require(file.size() == 8u + program.last + 1u);
        require(((file[2] << 8) | file[3]) == program.first && file[0] == 0 && file[1] == 0);
        require(((file[6] << 8) | file[7]) == program.last && file[4] == 0 && file[5] == 0);
        for (std::size_t a = 0; a < program.first; ++a) require(file[8 + a] == 0);
        require(!listing(program, source).empty());

        // Its disassembly assembles back into the same range and bytes.
        std::span<const std::uint8_t> bytes(program.memory.data() + program.first,
                                            std::size_t{program.last} - program.first + 1u);
        Program again = assemble(disassemble(program.first, bytes, "fuzz.RAM"));
        require(again.ok() && again.first == program.first && again.last == program.last);
        require(std::equal(bytes.begin(), bytes.end(), again.memory.begin() + program.first));
    }
}

// Pieces of assembler syntax, so that short inputs also make longer
// well-formed programs and reach the passes behind the lexer.
constexpr std::string_view fragments[] = {
    "\n",     " ",      ":",     ",",     "+",      "-",    "(",   ")",    "$",    ";c",   "lda ", "sta ",
    "add ",   "sbc ",   "jmp ",  "jz ",   "jnc ",   "xor ", "shl", "rol",  "nop",  "nop1", "hlt",  "org ",
    "db ",    "dw ",    " equ ", "high ", "low ",   "a",    "b",   "a:",   "b:",   "0",    "1",    "0FFh",
    "0FFFFh", "10000h", "0b101", "'x'",   "\"st\"", "255",  "256", "-129", "0x20",
};

std::string fromFragments(const std::uint8_t* data, std::size_t size) {
    std::string source;
    for (std::size_t i = 0; i < size; ++i) source += fragments[data[i] % std::size(fragments)];
    return source;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(std::string_view(reinterpret_cast<const char*>(data), size));
    check(fromFragments(data, size));
    return 0;
}
