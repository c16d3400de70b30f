// tarnwick-run: powers the simulated computer up as the front panel does,
// loads a memory image, releases Reset and runs cycles back to back until the
// machine halts or a cycle limit is reached. Reports registers (and, on
// request, every cycle's lamps and a memory range) as JSON on stdout.
//
// Exit status: 0 halted, 1 cycle limit reached, 2 usage error, image that
// cannot be loaded, or output that could not be written.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/MemoryFile.h"
#include "machine/Computer.h"
#include "memory/RelayMemory.h"

namespace {

using tarnwick::Computer;

constexpr const char* usageText =
    "Usage: tarnwick-run [--relay-ram[=tree]] [--max-cycles N] [--dump FIRST:LAST] [--trace] IMAGE\n"
    "\n"
    "Runs the memory image IMAGE on the simulated relay computer without a window:\n"
    "Power on, the image loaded, Reset off, then machine cycles back to back until\n"
    "the code register holds FFh (halt) or N cycles have run. The last line on\n"
    "stdout is a JSON object with the registers and flags.\n"
    "\n"
    "Options:\n"
    "  --relay-ram         use the relay-built memory instead of the byte array\n"
    "  --relay-ram=tree    the same, built as its tree of parts and stepped depth first\n"
    "  --max-cycles N      stop after cycle N if the machine has not halted\n"
    "                      (default 1000000)\n"
    "  --dump FIRST:LAST   add the memory from FIRST to LAST (hexadecimal,\n"
    "                      inclusive, for example 20:22) to the JSON object\n"
    "  --trace             print one JSON object per cycle with what the lamps show\n"
    "  --help              show this text\n"
    "\n"
    "Cycle 1 is the first cycle after Reset goes off that ends with the clock lamp\n"
    "and phase lamp 0 lit.\n"
    "\n"
    "Exit status: 0 halted, 1 cycle limit reached, 2 usage error or an image that\n"
    "cannot be loaded.\n";

struct Options {
    bool relayRam = false;
    bool relayTree = false;
    std::uint64_t maxCycles = 1000000;
    bool dump = false;
    std::uint16_t dumpFirst = 0;
    std::uint16_t dumpLast = 0;
    bool trace = false;
    bool help = false;
    std::string image;
};

struct UsageError {
    std::string message;
};

std::uint64_t parseCount(std::string_view text) {
    constexpr std::uint64_t limit = 1'000'000'000'000ULL;
    if (text.empty()) throw UsageError{"--max-cycles needs a number"};
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw UsageError{"--max-cycles takes a non-negative decimal number, not '" + std::string(text) +
                             "'"};
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) throw UsageError{"--max-cycles " + std::string(text) + " is above 10^12"};
    }
    return value;
}

std::optional<std::uint16_t> parseHexAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return static_cast<std::uint16_t>(value);
}

void parseDump(std::string_view text, Options& options) {
    const std::string expected =
        "--dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example 20:22), not '" +
        std::string(text) + "'";
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) throw UsageError{expected};
    const auto first = parseHexAddress(text.substr(0, colon));
    const auto last = parseHexAddress(text.substr(colon + 1));
    if (!first || !last) throw UsageError{expected};
    if (*first > *last) {
        char message[96];
        std::snprintf(message, sizeof message, "--dump: FIRST %04X is above LAST %04X", *first, *last);
        throw UsageError{message};
    }
    options.dump = true;
    options.dumpFirst = *first;
    options.dumpLast = *last;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool onlyOperands = false;
    std::vector<std::string_view> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
            continue;
        }
        // Options that take a value accept it as the next argument or after '='.
        auto value = [&](std::string_view name) -> std::optional<std::string_view> {
            if (arg == name) {
                if (i + 1 >= argc) throw UsageError{std::string(name) + " needs a value"};
                return std::string_view(argv[++i]);
            }
            if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
                return arg.substr(name.size() + 1);
            }
            return std::nullopt;
        };
        if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--relay-ram" || arg == "--relay-ram=tree") {
            options.relayRam = true;
            options.relayTree = arg != "--relay-ram";
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (const auto count = value("--max-cycles")) {
            options.maxCycles = parseCount(*count);
        } else if (const auto range = value("--dump")) {
            parseDump(*range, options);
        } else {
            throw UsageError{"unknown option '" + std::string(arg) + "'"};
        }
    }
    if (options.help) return options;
    if (operands.empty()) throw UsageError{"no IMAGE given"};
    if (operands.size() > 1)
        throw UsageError{"more than one IMAGE given ('" + std::string(operands[1]) + "')"};
    options.image = std::string(operands[0]);
    return options;
}

// Collects stdout in large pieces; a trace can run to millions of lines.
class Output {
public:
    ~Output() { flush(); }
    void append(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= 1 << 16) flush();
    }
    void flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
            failed_ = true;
        }
        buffer_.clear();
    }
    // True once everything reached stdout.
    bool finish() {
        flush();
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) failed_ = true;
        return !failed_;
    }

private:
    std::string buffer_;
    bool failed_ = false;
};

const char* jsonBool(bool value) { return value ? "true" : "false"; }

template <std::size_t N>
unsigned lampValue(const std::array<tarnwick::IndicatorLamp, N>& lamps, bool firstIsHighBit) {
    unsigned value = 0;
    for (std::size_t k = 0; k < N; ++k) {
        const std::size_t bit = firstIsHighBit ? N - 1 - k : k;
        if (lamps[k].isOn()) value |= 1u << bit;
    }
    return value;
}

void traceLine(Output& out, std::uint64_t cycle, const Computer& c) {
    int phase = -1;
    for (int k = 0; k < 4; ++k) {
        if (c.phaseLamps[k].isOn()) phase = (phase == -1) ? k : -2;
    }
    static constexpr const char* phaseTexts[] = {"0", "1", "2", "3"};
    const char* phaseText = phase >= 0 ? phaseTexts[phase] : "null";
    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"cycle\":%llu,\"clock\":%s,\"phase\":%s,\"address\":%u,\"code\":%u,\"operand\":%u,"
                  "\"accumulator\":%u,\"zero\":%s,\"carry\":%s}\n",
                  static_cast<unsigned long long>(cycle), jsonBool(c.clockLamp.isOn()), phaseText,
                  lampValue(c.addressLamps, false), lampValue(c.codeLamps, true),
                  lampValue(c.operandLamps, true), lampValue(c.accumulatorLamps, true),
                  jsonBool(c.zeroFlagLamp.isOn()), jsonBool(c.carryFlagLamp.isOn()));
    out.append(line);
}

int run(const Options& options) {
    tarnwick::MemoryFileResult file = tarnwick::readMemoryFile(options.image);
    if (!file) {
        std::fprintf(stderr, "tarnwick-run: %s\n", file.error.c_str());
        return 2;
    }

    Computer computer(!options.relayRam);
    if (options.relayTree && !computer.controlPanel.fastRam) {
        computer.controlPanel.ram = tarnwick::makeRelayMemory(tarnwick::RelayMemoryKind::Tree);
    }
    if (options.relayRam && computer.controlPanel.fastRam) {
        std::fprintf(stderr, "tarnwick-run: not enough memory to build the relay-built memory\n");
        return 2;
    }

    // As the front panel starts: Power off, Reset on. Then the Power command.
    computer.resetSwitch.setState(1);
    computer.powerSwitch.setState(1);
    computer.distributePower(true);
    computer.runCycle();

    tarnwick::writeMemoryImage(computer, *file.image);

    Output out;
    std::uint64_t cycle = 0;
    int cyclesBeforeFirst = 0;
    bool halted = false;
    // Numbers the cycle just run; false while the machine has not started.
    auto afterCycle = [&]() {
        if (cycle == 0) {
            if (!(computer.clockLamp.isOn() && computer.phaseLamps[0].isOn())) {
                ++cyclesBeforeFirst;
                return;
            }
        }
        ++cycle;
        if (options.trace) traceLine(out, cycle, computer);
        if (computer.codeValue() == 0xFF) halted = true;
    };

    // The Reset command: Reset off, one cycle.
    computer.resetSwitch.setState(0);
    computer.runCycle();
    afterCycle();
    // The clock starts within two cycles of Reset going off; the bound only
    // guards against looping for ever should that ever change.
    while (!halted && cycle < options.maxCycles && cyclesBeforeFirst < 16) {
        computer.runCycle();
        afterCycle();
    }
    if (cycle == 0 && options.maxCycles > 0) {
        std::fprintf(stderr, "tarnwick-run: the machine did not start within %d cycles\n", cyclesBeforeFirst);
        return 2;
    }

    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"halted\":%s,\"cycles\":%llu,\"accumulator\":%u,\"carry\":%s,\"zero\":%s,"
                  "\"programCounter\":%u,\"code\":%u,\"operand\":%u",
                  jsonBool(halted), static_cast<unsigned long long>(cycle),
                  unsigned{computer.accumulatorValue()}, jsonBool(computer.arithmeticUnit.carry()),
                  jsonBool(computer.arithmeticUnit.zero()), unsigned{computer.programCounterValue()},
                  unsigned{computer.codeValue()}, unsigned{computer.operandValue()});
    std::string summary = line;
    if (options.dump) {
        const std::vector<std::uint8_t> bytes =
            tarnwick::readMemoryRange(computer, options.dumpFirst, options.dumpLast);
        summary += ",\"memory\":{\"first\":" + std::to_string(options.dumpFirst) + ",\"bytes\":[";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) summary += ',';
            summary += std::to_string(bytes[i]);
        }
        summary += "]}";
    }
    summary += "}\n";
    out.append(summary);
    if (!out.finish()) {
        std::fprintf(stderr, "tarnwick-run: cannot write to standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return halted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "tarnwick-run: %s\nTry 'tarnwick-run --help' for more information.\n",
                     error.message.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText, stdout);
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    try {
        return run(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tarnwick-run: out of memory\n");
        return 2;
    }
}
