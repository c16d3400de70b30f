// tarnwick-run: powers the simulated computer up as the front panel does,
// loads a memory image, releases Reset and runs cycles back to back until the
// machine halts or a cycle limit is reached. Reports registers (and, on
// request, every cycle's lamps and a memory range) as JSON.

#include "tools/run/CommandLine.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/MemoryLoader.h"
#include "app/Session.h"
#include "memory/MemoryFile.h"
#include "memory/RelayMemory.h"

namespace tarnwick::run {

namespace {

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

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    bool onlyOperands = false;
    std::vector<std::string_view> operands;
    const std::size_t count = arguments.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view arg = arguments[i];
        if (onlyOperands || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
            continue;
        }
        // Options that take a value accept it as the next argument or after '='.
        auto value = [&](std::string_view name) -> std::optional<std::string_view> {
            if (arg == name) {
                if (i + 1 >= count) throw UsageError{std::string(name) + " needs a value"};
                return std::string_view(arguments[++i]);
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

const char* jsonBool(bool value) { return value ? "true" : "false"; }

void traceLine(std::string& out, std::uint64_t cycle, const LampReading& l) {
    static constexpr const char* phaseTexts[] = {"0", "1", "2", "3"};
    const char* phaseText = l.phase ? phaseTexts[*l.phase] : "null";
    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"cycle\":%llu,\"clock\":%s,\"phase\":%s,\"address\":%u,\"code\":%u,\"operand\":%u,"
                  "\"accumulator\":%u,\"zero\":%s,\"carry\":%s}\n",
                  static_cast<unsigned long long>(cycle), jsonBool(l.clock), phaseText, l.address, l.code,
                  l.operand, l.accumulator, jsonBool(l.zero), jsonBool(l.carry));
    out += line;
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
    MemoryFileResult file = readMemoryFile(options.image);
    if (!file) {
        err << "tarnwick-run: " << file.error << "\n";
        return exitFailure;
    }

    auto computer = std::make_unique<Computer>(!options.relayRam);
    if (options.relayTree && !computer->controlPanel.fastRam) {
        computer->installMemory(makeRelayMemory(RelayMemoryKind::Tree));
    }
    if (options.relayRam && computer->controlPanel.fastRam) {
        err << "tarnwick-run: not enough memory to build the relay-built memory\n";
        return exitFailure;
    }
    Session session(std::move(computer));
    session.load(*file.image);

    // A trace can run to millions of lines: written in large pieces.
    std::string pending;
    auto flushPending = [&] {
        out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
        pending.clear();
    };
    if (options.trace) {
        session.afterEachCycle = [&](const Session& s) {
            traceLine(pending, s.cycle(), s.lamps());
            if (pending.size() >= (1u << 16)) flushPending();
        };
    }
    session.releaseReset();
    const Session::End end = session.run(options.maxCycles);
    if (end == Session::End::didNotStart) {
        flushPending();
        err << "tarnwick-run: the machine did not start within " << session.cyclesBeforeFirst() << " cycles\n";
        return exitFailure;
    }

    Computer& c = session.computer();
    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"halted\":%s,\"cycles\":%llu,\"accumulator\":%u,\"carry\":%s,\"zero\":%s,"
                  "\"programCounter\":%u,\"code\":%u,\"operand\":%u",
                  jsonBool(end == Session::End::halted), static_cast<unsigned long long>(session.cycle()),
                  unsigned{c.accumulatorValue()}, jsonBool(c.arithmeticUnit.carry()),
                  jsonBool(c.arithmeticUnit.zero()), unsigned{c.programCounterValue()}, unsigned{c.codeValue()},
                  unsigned{c.operandValue()});
    pending += line;
    if (options.dump) {
        const std::vector<std::uint8_t> bytes = readMemoryRange(c, options.dumpFirst, options.dumpLast);
        pending += ",\"memory\":{\"first\":" + std::to_string(options.dumpFirst) + ",\"bytes\":[";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) pending += ',';
            pending += std::to_string(bytes[i]);
        }
        pending += "]}";
    }
    pending += "}\n";
    flushPending();
    out.flush();
    if (!out) {
        err << "tarnwick-run: cannot write to standard output\n";
        return exitFailure;
    }
    return end == Session::End::halted ? exitHalted : exitCycleLimit;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    Options options;
    try {
        options = parseOptions(arguments);
    } catch (const UsageError& error) {
        err << "tarnwick-run: " << error.message << "\nTry 'tarnwick-run --help' for more information.\n";
        return exitFailure;
    }
    if (options.help) {
        out << usageText;
        out.flush();
        return out ? exitHalted : exitFailure;
    }
    try {
        return run(options, out, err);
    } catch (const std::bad_alloc&) {
        err << "tarnwick-run: out of memory\n";
        return exitFailure;
    }
}

}  // namespace tarnwick::run
