// tarnwick-run: powers the simulated computer up as the front panel does,
// loads a memory image, releases Reset and runs cycles back to back until the
// machine halts or a cycle limit is reached. Reports registers (and, on
// request, every cycle's lamps and a memory range) as JSON.

#include "tools/run/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "TarnwickVersion.h"
#include "app/MemoryLoader.h"
#include "app/Session.h"
#include "asm/Images.h"
#include "machine/MachineMap.h"
#include "machine/NamedSignals.h"
#include "memory/MemoryFile.h"
#include "memory/OutputFile.h"
#include "memory/RelayMemory.h"
#include "tools/run/Vcd.h"

namespace tarnwick::run {

namespace {

constexpr const char* usageText =
    "Usage: tarnwick-run [--relay-ram[=tree]] [--max-cycles N] [--dump FIRST:LAST] [--trace]\n"
    "                    [--vcd FILE [--gtkw FILE]] [--probe PATTERN]... [--stats]\n"
    "                    [--compare-memories] [--break ADDR]... [--watch ADDR]... IMAGE\n"
    "       tarnwick-run --signals\n"
    "\n"
    "Runs the memory image IMAGE on the simulated relay computer without a window:\n"
    "Power on, the image loaded, Reset off, then machine cycles back to back until\n"
    "the code register holds FFh (halt) or N cycles have run. The last line on\n"
    "stdout is a JSON object with the registers and flags. An IMAGE whose name\n"
    "ends in .asm is an assembler source: it is assembled and its image run.\n"
    "\n"
    "Options:\n"
    "  --relay-ram         use the relay-built memory instead of the byte array\n"
    "  --relay-ram=tree    the same, built as its tree of parts and stepped depth first\n"
    "  --max-cycles N      stop after cycle N if the machine has not halted\n"
    "                      (default 1000000)\n"
    "  --dump FIRST:LAST   add the memory from FIRST to LAST (hexadecimal,\n"
    "                      inclusive, for example 20:22) to the JSON object;\n"
    "                      LAST may be +N, N bytes after FIRST (table:+6)\n"
    "  --break ADDR        stop before the instruction at ADDR is fetched\n"
    "                      (repeatable)\n"
    "  --watch ADDR        stop after a write to ADDR (repeatable)\n"
    "  --trace             print one JSON object per cycle with what the lamps show\n"
    "  --vcd FILE          write the lamps and the memory's Write line as a Value\n"
    "                      Change Dump, one timestep per cycle, for a waveform viewer\n"
    "  --gtkw FILE         with --vcd, write a GTKWave save file that opens the dump\n"
    "                      with the front panel's signals shown in panel order\n"
    "  --probe PATTERN     add the named signals and relays PATTERN matches to\n"
    "                      --trace (a field each) and --vcd; '*' matches any run of\n"
    "                      characters between dots; may be given more than once\n"
    "  --signals           list every named signal and relay: name, width, section\n"
    "  --stats             add the wall time, cycles per second, and the relay ticks\n"
    "                      of the cycles in all and per second to the JSON object\n"
    "  --compare-memories  run the image on the byte array and on the relay-built\n"
    "                      memory in lockstep; stop at the first cycle where a lamp\n"
    "                      differs, and compare all 64 KB and every relay of the\n"
    "                      relay-built memories at the end\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "An address (ADDR, FIRST, LAST) is hexadecimal; when IMAGE is a source it may\n"
    "also be a label, or a label plus or minus a hexadecimal offset (loop+3).\n"
    "\n"
    "Cycle 1 is the first cycle after Reset goes off that ends with the clock lamp\n"
    "and phase lamp 0 lit.\n"
    "\n"
    "Exit status: 0 halted, 1 cycle limit reached, 2 usage error, an image that\n"
    "cannot be loaded or a source with errors, 3 the memories differ\n"
    "(--compare-memories), 4 stopped at a --break or --watch address.\n";

struct Options {
    bool relayRam = false;
    bool relayTree = false;
    std::uint64_t maxCycles = 1000000;
    bool dump = false;
    std::uint16_t dumpFirst = 0;
    std::uint16_t dumpLast = 0;
    bool trace = false;
    std::string vcd;
    std::string gtkw;
    std::vector<std::string> probePatterns;
    std::vector<NamedSignal> probes;  // what the patterns matched, each once
    bool listSignals = false;
    bool stats = false;
    bool compareMemories = false;
    // Addresses as given: hexadecimal, or labels once a source is assembled.
    std::vector<std::string> breaks;
    std::vector<std::string> watches;
    std::optional<std::string> dumpText;  // a --dump range that names a label
    bool help = false;
    bool version = false;
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

// "+N" after the colon: N bytes after FIRST.
std::optional<std::uint16_t> dumpEnd(std::uint16_t first, std::string_view text, std::string& problem) {
    if (text.empty() || text[0] != '+') return std::nullopt;
    const auto count = parseHexAddress(text.substr(1));
    if (!count) {
        problem = "--dump: '" + std::string(text) + "' is not + and a hexadecimal count";
        return std::nullopt;
    }
    if (unsigned{first} + *count > 0xFFFFu) {
        char message[96];
        std::snprintf(message, sizeof message, "--dump: %04X%s runs past FFFF", first,
                      std::string(text).c_str());
        problem = message;
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(first + *count);
}

std::string dumpExpected(std::string_view text) {
    return "--dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example 20:22), not '" +
           std::string(text) + "'";
}

void checkDumpOrder(std::uint16_t first, std::uint16_t last) {
    if (first > last) {
        char message[96];
        std::snprintf(message, sizeof message, "--dump: FIRST %04X is above LAST %04X", first, last);
        throw UsageError{message};
    }
}

void parseDump(std::string_view text, Options& options) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size())
        throw UsageError{dumpExpected(text)};
    const auto first = parseHexAddress(text.substr(0, colon));
    const std::string_view lastText = text.substr(colon + 1);
    const bool relative = lastText[0] == '+';
    const auto last = relative ? std::nullopt : parseHexAddress(lastText);
    options.dump = true;
    if (!first || (!relative && !last)) {
        // A label, or a mistake: either is known once the image is read.
        options.dumpText = std::string(text);
        return;
    }
    std::string problem;
    const auto end = relative ? dumpEnd(*first, lastText, problem) : last;
    if (!end) throw UsageError{problem};
    checkDumpOrder(*first, *end);
    options.dumpFirst = *first;
    options.dumpLast = *end;
}

// Each pattern's signals, in the order given, a signal matched twice kept
// once; a pattern that matches nothing is refused with the nearest names.
void resolveProbes(Options& options) {
    for (const std::string& pattern : options.probePatterns) {
        std::vector<NamedSignal> found = matchNamedSignals(pattern);
        if (found.empty()) {
            std::string message = "--probe: no signal or relay is named '" + pattern + "'";
            // A pattern is compared by what comes before its first '*'.
            const std::string shape = pattern.substr(0, pattern.find('*'));
            const std::vector<std::string> nearest = nearestSignalNames(shape);
            if (!nearest.empty()) {
                message += "; nearest: ";
                for (std::size_t i = 0; i < nearest.size(); ++i) message += (i ? ", " : "") + nearest[i];
            }
            message += " (--signals lists them all)";
            throw UsageError{message};
        }
        for (NamedSignal& signal : found) {
            const bool seen = std::any_of(options.probes.begin(), options.probes.end(),
                                          [&](const NamedSignal& s) { return s.name == signal.name; });
            if (!seen) options.probes.push_back(std::move(signal));
        }
    }
}

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    bool onlyOperands = false;
    // An option that sets one value may be given once: taking the last of
    // two silently would run something the user did not ask for.
    std::vector<std::string_view> given;
    auto once = [&given](std::string_view name) {
        if (std::find(given.begin(), given.end(), name) != given.end())
            throw UsageError{std::string(name) + " given more than once"};
        given.push_back(name);
    };
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
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--relay-ram" || arg == "--relay-ram=tree") {
            once("--relay-ram");
            options.relayRam = true;
            options.relayTree = arg != "--relay-ram";
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--signals") {
            options.listSignals = true;
        } else if (const auto pattern = value("--probe")) {
            if (pattern->empty()) throw UsageError{"--probe needs a signal name or pattern"};
            options.probePatterns.emplace_back(*pattern);
        } else if (const auto file = value("--gtkw")) {
            once("--gtkw");
            if (file->empty()) throw UsageError{"--gtkw needs a file name"};
            if (*file == "-" || standardStreamNumber(*file) != 0)
                throw UsageError{"--gtkw needs a file name, not a standard stream"};
            options.gtkw = std::string(*file);
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--compare-memories") {
            options.compareMemories = true;
        } else if (const auto file = value("--vcd")) {
            once("--vcd");
            if (file->empty()) throw UsageError{"--vcd needs a file name"};
            if (*file == "-" || standardStreamNumber(*file) == 1)
                throw UsageError{"--vcd needs a file name: standard output carries the report"};
            options.vcd = std::string(*file);
        } else if (const auto count = value("--max-cycles")) {
            once("--max-cycles");
            options.maxCycles = parseCount(*count);
        } else if (const auto range = value("--dump")) {
            once("--dump");
            parseDump(*range, options);
        } else if (const auto address = value("--break")) {
            if (address->empty()) throw UsageError{"--break needs an address"};
            options.breaks.emplace_back(*address);
        } else if (const auto address = value("--watch")) {
            if (address->empty()) throw UsageError{"--watch needs an address"};
            options.watches.emplace_back(*address);
        } else {
            throw UsageError{"unknown option '" + std::string(arg) + "'"};
        }
    }
    if (options.help || options.version) return options;
    if (options.listSignals) {
        if (!operands.empty() || arguments.size() > 1)
            throw UsageError{"--signals takes no other option or IMAGE"};
        return options;
    }
    resolveProbes(options);
    if (!options.gtkw.empty() && options.vcd.empty())
        throw UsageError{"--gtkw needs --vcd FILE: it opens that dump"};
    if (operands.empty()) throw UsageError{"no IMAGE given"};
    if (operands.size() > 1)
        throw UsageError{"more than one IMAGE given ('" + std::string(operands[1]) + "')"};
    options.image = std::string(operands[0]);
    // Only a source has labels: for a memory file a --dump that is not two
    // hexadecimal addresses is simply wrong.
    if (options.dumpText && !assembler::isAssemblerSource(options.image))
        throw UsageError{dumpExpected(*options.dumpText)};
    if (options.compareMemories) {
        // Each of these would describe one memory's run, and the point of the
        // comparison is that there is only one.
        for (const auto& [set, name] :
             {std::pair{options.relayRam, "--relay-ram"}, std::pair{options.trace, "--trace"},
              std::pair{!options.vcd.empty(), "--vcd"}, std::pair{options.stats, "--stats"},
              std::pair{!options.breaks.empty(), "--break"}, std::pair{!options.watches.empty(), "--watch"},
              std::pair{!options.probePatterns.empty(), "--probe"}}) {
            if (set)
                throw UsageError{
                    std::string("--compare-memories runs every memory; it cannot be combined with ") + name};
        }
    }
    return options;
}

const char* jsonBool(bool value) { return value ? "true" : "false"; }

void traceLine(std::string& out, std::uint64_t cycle, const LampReading& l, const Computer& computer,
               const std::vector<NamedSignal>& probes) {
    static constexpr const char* phaseTexts[] = {"0", "1", "2", "3"};
    const char* phaseText = l.phase ? phaseTexts[*l.phase] : "null";
    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"cycle\":%llu,\"clock\":%s,\"phase\":%s,\"address\":%u,\"code\":%u,\"operand\":%u,"
                  "\"accumulator\":%u,\"zero\":%s,\"carry\":%s",
                  static_cast<unsigned long long>(cycle), jsonBool(l.clock), phaseText, l.address, l.code,
                  l.operand, l.accumulator, jsonBool(l.zero), jsonBool(l.carry));
    out += line;
    // A probe's field: its name, a number for a bus, true or false for a bit.
    for (const NamedSignal& probe : probes) {
        const std::uint64_t value = probe.read(computer);
        out += ",\"";
        out += probe.name;
        out += "\":";
        out += probe.width == 0 ? jsonBool(value != 0) : std::to_string(value);
    }
    out += "}\n";
}

std::string lampsJson(const PanelReading& p) {
    const LampReading& l = p.lamps;
    char text[256];
    std::snprintf(
        text, sizeof text,
        "{\"clock\":%s,\"phaseLamps\":%u,\"address\":%u,\"code\":%u,\"operand\":%u,\"accumulator\":%u,"
        "\"zero\":%s,\"carry\":%s,\"memoryData\":%u}",
        jsonBool(l.clock), l.phaseMask, l.address, l.code, l.operand, l.accumulator, jsonBool(l.zero),
        jsonBool(l.carry), p.memoryData);
    return text;
}

// The image to run, or nothing after the messages on err: a source's
// errors as tarnwick-asm gives them, or why the file cannot be loaded.
using Labels = std::map<std::string, std::uint16_t>;

std::optional<MemoryImage> loadImage(const std::string& path, std::ostream& err, Labels& labels) {
    assembler::ImageResult result = assembler::readImage(path);
    labels = std::move(result.labels);
    if (result.sourceErrors) {
        for (const std::string& message : result.errors) err << message << "\n";
        const std::size_t count = result.errorCount;
        err << "tarnwick-run: " << count << (count == 1 ? " error" : " errors");
        if (count > result.errors.size()) err << " (the first " << result.errors.size() << " listed)";
        err << " in " << path << "; nothing run\n";
        return std::nullopt;
    }
    if (!result) {
        for (const std::string& message : result.errors) err << "tarnwick-run: " << message << "\n";
        return std::nullopt;
    }
    // An empty range loads nothing; the run goes on as the front panel's would.
    if (result.warning) err << "tarnwick-run: warning: " << *result.warning << "\n";
    return std::move(result.image);
}

// An address as given: a label of the source (which wins over the same
// letters read as hexadecimal), a label plus or minus a hexadecimal offset,
// or a hexadecimal address.
std::uint16_t resolveAddress(std::string_view text, std::string_view option, const Labels& labels,
                             const std::string& image) {
    const std::string name(text);
    if (const auto found = labels.find(name); found != labels.end()) return found->second;
    const std::size_t sign = text.find_first_of("+-", 1);
    if (sign != std::string_view::npos) {
        const auto base = labels.find(std::string(text.substr(0, sign)));
        const auto offset = parseHexAddress(text.substr(sign + 1));
        if (base != labels.end() && offset) {
            const long address =
                text[sign] == '+' ? long{base->second} + long{*offset} : long{base->second} - long{*offset};
            if (address < 0 || address > 0xFFFF)
                throw UsageError{std::string(option) + " " + name + " is outside 0 to FFFF"};
            return static_cast<std::uint16_t>(address);
        }
    }
    if (const auto address = parseHexAddress(text)) return *address;
    if (!assembler::isAssemblerSource(image))
        throw UsageError{std::string(option) + " '" + name +
                         "' is not a hexadecimal address from 0 to FFFF (labels are known only when IMAGE "
                         "is an assembler source)"};
    throw UsageError{std::string(option) + ": no label '" + name + "' in " + image};
}

// The addresses that name labels, now that the image's labels are known.
void resolveAddresses(Options& options, const Labels& labels) {
    if (options.dumpText) {
        const std::string_view text = *options.dumpText;
        const std::size_t colon = text.find(':');
        const std::uint16_t first = resolveAddress(text.substr(0, colon), "--dump", labels, options.image);
        const std::string_view lastText = text.substr(colon + 1);
        std::uint16_t last = 0;
        if (lastText[0] == '+') {
            std::string problem;
            const auto end = dumpEnd(first, lastText, problem);
            if (!end) throw UsageError{problem};
            last = *end;
        } else {
            last = resolveAddress(lastText, "--dump", labels, options.image);
        }
        checkDumpOrder(first, last);
        options.dumpFirst = first;
        options.dumpLast = last;
    }
}

void setStops(Session& session, const Options& options, const Labels& labels) {
    for (const std::string& text : options.breaks)
        session.stopConditions.setBreakpoint(resolveAddress(text, "--break", labels, options.image), true);
    for (const std::string& text : options.watches)
        session.stopConditions.setWatchpoint(resolveAddress(text, "--watch", labels, options.image), true);
}

const char* stoppedText(Session::End end) {
    switch (end) {
        case Session::End::halted:
            return "halt";
        case Session::End::breakpoint:
            return "breakpoint";
        case Session::End::watchpoint:
            return "watchpoint";
        default:
            return "maxCycles";
    }
}

void appendRegisters(std::string& pending, Session& session, Session::End end, const Options& options) {
    Computer& c = session.computer();
    char line[256];
    std::snprintf(line, sizeof line,
                  "{\"halted\":%s,\"cycles\":%llu,\"accumulator\":%u,\"carry\":%s,\"zero\":%s,"
                  "\"programCounter\":%u,\"code\":%u,\"operand\":%u",
                  jsonBool(end == Session::End::halted), static_cast<unsigned long long>(session.cycle()),
                  unsigned{c.accumulatorValue()}, jsonBool(c.carryValue()), jsonBool(c.zeroValue()),
                  unsigned{c.programCounterValue()}, unsigned{c.codeValue()}, unsigned{c.operandValue()});
    pending += line;
    // Why the run ended and where: the breakpoint's or the written address,
    // or the address of the halt instruction.
    pending += std::string(",\"stopped\":\"") + stoppedText(end) + "\"";
    if (const auto stop = session.lastStop()) {
        pending += ",\"stoppedAt\":" + std::to_string(stop->address);
    } else if (end == Session::End::halted) {
        pending += ",\"stoppedAt\":" + std::to_string(c.programCounterValue());
    }
    if (options.dump) {
        const std::vector<std::uint8_t> bytes = readMemoryRange(c, options.dumpFirst, options.dumpLast);
        pending += ",\"memory\":{\"first\":" + std::to_string(options.dumpFirst) + ",\"bytes\":[";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) pending += ',';
            pending += std::to_string(bytes[i]);
        }
        pending += "]}";
    }
}

// The run's speed: the numbered cycles, and the relay ticks they took, over
// the wall time from Reset going off to the end of the run (building the
// memory and loading not counted). Every cycle ticks the same relays.
void appendStats(std::string& pending, const Session& session, std::uint64_t ticksPerCycle,
                 double wallSeconds) {
    const std::uint64_t ticks = session.cycle() * ticksPerCycle;
    auto perSecond = [&](double count) { return wallSeconds > 0 ? count / wallSeconds : 0.0; };
    char text[224];
    std::snprintf(text, sizeof text,
                  ",\"wallSeconds\":%.9f,\"cyclesPerSecond\":%.1f,\"relayTicks\":%llu,"
                  "\"relayTicksPerSecond\":%.0f",
                  wallSeconds, perSecond(static_cast<double>(session.cycle())),
                  static_cast<unsigned long long>(ticks), perSecond(static_cast<double>(ticks)));
    pending += text;
}

int finishReport(std::string& pending, std::ostream& out, std::ostream& err) {
    errno = 0;
    out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out.flush();
    if (!out) {
        // errno says why when this write reached the file (not when an
        // earlier trace write had already failed).
        const int number = errno;
        err << "tarnwick-run: cannot write to standard output";
        if (number != 0) err << ": " << std::strerror(number);
        err << "\n";
        return exitFailure;
    }
    return exitHalted;
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

int runComparison(const Options& options, const MemoryImage& image, const std::vector<MemoryKind>& memories,
                  std::ostream& out, std::ostream& err) {
    std::vector<std::unique_ptr<Session>> sessions;
    for (const MemoryKind& kind : memories) {
        auto computer = std::make_unique<Computer>(true);
        computer->installMemory(kind.make());
        sessions.push_back(std::make_unique<Session>(std::move(computer)));
        sessions.back()->load(image);
    }
    const Comparison comparison = compareMemories(sessions, options.maxCycles);

    std::string pending;
    if (const auto& d = comparison.difference) {
        const std::string names = std::string("[") + jsonString(memories[d->reference].name) + "," +
                                  jsonString(memories[d->memory].name) + "]";
        pending = "{\"memoriesDiffer\":true,\"memories\":" + names + ",\"cycle\":" + std::to_string(d->cycle);
        const std::string bytes =
            "[" + std::to_string(d->referenceByte) + "," + std::to_string(d->otherByte) + "]}\n";
        switch (d->kind) {
            case Difference::Kind::lamps:
                pending +=
                    ",\"lamps\":[" + lampsJson(d->referenceLamps) + "," + lampsJson(d->otherLamps) + "]}\n";
                break;
            case Difference::Kind::memoryByte:
                pending += ",\"address\":" + std::to_string(d->address) + ",\"bytes\":" + bytes;
                break;
            case Difference::Kind::relay:
                pending += ",\"relay\":" + jsonString(d->relay) + ",\"relayBytes\":" + bytes;
                break;
        }
        const int status = finishReport(pending, out, err);
        return status == exitHalted ? exitMemoriesDiffer : status;
    }
    if (comparison.end == Session::End::didNotStart) {
        err << "tarnwick-run: the machine did not start within " << sessions[0]->cyclesBeforeFirst()
            << " cycles\n";
        return exitFailure;
    }
    appendRegisters(pending, *sessions[0], comparison.end, options);
    pending += ",\"memoriesCompared\":[";
    for (std::size_t i = 0; i < memories.size(); ++i) {
        if (i > 0) pending += ',';
        pending += jsonString(memories[i].name);
    }
    pending += "],\"addressesCompared\":" + std::to_string(comparison.addressesCompared) +
               ",\"relaysCompared\":" + std::to_string(comparison.relaysCompared) + "}\n";
    const int status = finishReport(pending, out, err);
    if (status != exitHalted) return status;
    return comparison.end == Session::End::halted ? exitHalted : exitCycleLimit;
}

// Where the waveform goes: a file replaced whole (or a pipe or device
// written as it comes), or standard error, already open, when FILE names it.
class VcdDestination {
public:
    VcdDestination(const std::string& name, std::ostream& err) : name_(name) {
        if (standardStreamNumber(name) == 2) {
            stream_ = &err;
        } else {
            file_.emplace(name);
        }
    }

    std::optional<std::string> open() { return file_ ? file_->open() : std::nullopt; }
    std::optional<std::string> write(std::string_view text) {
        if (file_) return file_->write(text);
        stream_->write(text.data(), static_cast<std::streamsize>(text.size()));
        return *stream_ ? std::nullopt : std::optional<std::string>("standard error cannot be written");
    }
    std::optional<std::string> commit() {
        if (file_) return file_->commit();
        stream_->flush();
        return *stream_ ? std::nullopt : std::optional<std::string>("standard error cannot be written");
    }

private:
    std::string name_;
    std::optional<OutputFile> file_;
    std::ostream* stream_ = nullptr;
};

// The machine the run uses, built and loaded; nothing after a message.
std::unique_ptr<Session> startSession(const Options& options, const MemoryImage& image, std::ostream& err) {
    auto computer = std::make_unique<Computer>(!options.relayRam);
    if (options.relayTree && !computer->usesFastRam()) {
        computer->installMemory(makeRelayMemory(RelayMemoryKind::Tree));
    }
    if (options.relayRam && computer->usesFastRam()) {
        err << "tarnwick-run: not enough memory to build the relay-built memory\n";
        return nullptr;
    }
    auto session = std::make_unique<Session>(std::move(computer));
    session->load(image);
    return session;
}

// What a run records besides its report: the trace (into the report's
// pending text) and the waveform, written out in large pieces as it grows.
class Recording {
public:
    Recording(const Options& options, std::string& pending, std::ostream& out, std::ostream& err)
        : options_(options), pending_(pending), out_(out) {
        if (!options.vcd.empty()) vcdFile_.emplace(options.vcd, err);
    }

    // Opens the waveform's file before the run, so a file that cannot be
    // written stops it before it starts.
    std::optional<std::string> open() { return vcdFile_ ? vcdFile_->open() : std::nullopt; }

    void attach(Session& session) {
        if (vcdFile_) vcd_.emplace(vcdText_, options_.image, options_.probes);
        beforeFirst_ = readSignals(session.computer(), options_.probes);
        if (!options_.trace && !vcd_) return;
        session.afterEachCycle = [this](const Session& s) {
            if (options_.trace) {
                traceLine(pending_, s.cycle(), s.lamps(), s.computer(), options_.probes);
                if (pending_.size() >= (1u << 16)) flushTrace();
            }
            if (vcd_) {
                if (!vcd_->begun()) vcd_->begin(beforeFirst_);
                vcd_->cycle(s.cycle(), readSignals(s.computer(), options_.probes));
                if (vcdText_.tellp() >= (1 << 16)) flushVcd();
            }
        };
    }

    // The cycles Session::run would run before cycle 1, one by one so that
    // the state before cycle 1 is known to the waveform.
    void runToStart(Session& session) {
        if (!vcd_ || options_.maxCycles == 0) return;
        while (!session.started() && session.cyclesBeforeFirst() < Session::startLimit) {
            beforeFirst_ = readSignals(session.computer(), options_.probes);
            session.runCycle();
        }
    }

    void flushTrace() {
        errno = 0;
        out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
        pending_.clear();
        if (!out_ && traceError_ == 0) traceError_ = errno != 0 ? errno : EIO;
    }

    // Why the trace could not be written to standard output, once a write
    // of it has failed.
    std::optional<std::string> traceProblem() const {
        if (traceError_ == 0) return std::nullopt;
        return std::string(std::strerror(traceError_));
    }

    // Session::run until maxCycles, in stretches while a trace or a
    // waveform is written, so that the first write that fails ends the run
    // rather than letting it go on writing nothing.
    Session::End run(Session& session, std::uint64_t maxCycles) {
        if (!vcd_ && !options_.trace) return session.run(maxCycles);
        constexpr std::uint64_t stretch = 1u << 12;
        for (;;) {
            const std::uint64_t cycle = session.cycle();
            const std::uint64_t limit =
                cycle < maxCycles && maxCycles - cycle > stretch ? cycle + stretch : maxCycles;
            const Session::End end = session.run(limit);
            if (end != Session::End::cycleLimit || limit == maxCycles) return end;
            if (vcdProblem_ || traceError_ != 0) {
                stoppedEarly_ = true;
                return end;
            }
        }
    }

    // Ends the waveform and puts it in place; the first write error of the
    // run, if any.
    std::optional<std::string> finish(const Session& session) {
        if (!vcd_) return std::nullopt;
        if (!vcd_->begun()) vcd_->begin(readSignals(session.computer(), options_.probes));
        vcd_->finish(session.cycle());
        flushVcd();
        if (!vcdProblem_) vcdProblem_ = vcdFile_->commit();
        if (vcdProblem_ && stoppedEarly_)
            return *vcdProblem_ + "; the run was stopped at cycle " + std::to_string(session.cycle());
        return vcdProblem_;
    }

private:
    void flushVcd() {
        if (!vcdProblem_) vcdProblem_ = vcdFile_->write(vcdText_.view());
        vcdText_.str({});
    }

    const Options& options_;
    std::string& pending_;
    std::ostream& out_;
    std::optional<VcdDestination> vcdFile_;
    std::ostringstream vcdText_;
    std::optional<std::string> vcdProblem_;
    bool stoppedEarly_ = false;
    int traceError_ = 0;
    std::optional<VcdWriter> vcd_;
    Signals beforeFirst_;
};

// The GTKWave save file for the dump: the front panel's signals in panel
// order (bits in binary, buses in hexadecimal), then the probes.
std::string gtkwText(const Options& options) {
    auto quoted = [](const std::string& path) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        return "\"" + (error ? path : absolute.string()) + "\"";
    };
    std::string text =
        "[*] tarnwick-run " + std::string(version) + ": the front panel's signals in panel order\n";
    text += "[dumpfile] " + quoted(options.vcd) + "\n";
    text += "[savefile] " + quoted(options.gtkw) + "\n";
    text += "[timestart] 0\n";
    int format = 0;
    auto add = [&](int flags, const std::string& name) {
        if (flags != format) text += "@" + std::to_string(flags) + "\n";
        format = flags;
        text += name + "\n";
    };
    constexpr int bit = 28, hex = 22;
    add(bit, "tarnwick.clock");
    for (int k = 0; k < 4; ++k) add(bit, "tarnwick.phase" + std::to_string(k));
    add(hex, "tarnwick.address[15:0]");
    add(hex, "tarnwick.dataIn[7:0]");
    add(hex, "tarnwick.dataOut[7:0]");
    add(bit, "tarnwick.write");
    add(hex, "tarnwick.code[7:0]");
    add(hex, "tarnwick.operand[15:0]");
    add(hex, "tarnwick.accumulator[7:0]");
    add(bit, "tarnwick.zero");
    add(bit, "tarnwick.carry");
    for (const NamedSignal& probe : options.probes) {
        std::string name = "tarnwick." + std::string(sectionName(probe.section)) + "." + probe.name;
        if (probe.width > 0) name += "[" + std::to_string(probe.width - 1) + ":0]";
        add(probe.width > 0 ? hex : bit, name);
    }
    return text;
}

// The report's last line: the registers, and the dump and the speed when
// asked for, after whatever the trace left pending. The exit status.
int report(std::string& pending, Session& session, Session::End end, const Options& options,
           double wallSeconds, std::ostream& out, std::ostream& err) {
    appendRegisters(pending, session, end, options);
    if (options.stats) {
        const std::uint64_t memoryTicks = options.relayRam ? relayMemoryTicksPerStep : 0;
        appendStats(pending, session, Computer::relayTicksPerCycle + memoryTicks, wallSeconds);
    }
    pending += "}\n";
    const int status = finishReport(pending, out, err);
    if (status != exitHalted) return status;
    switch (end) {
        case Session::End::halted:
            return exitHalted;
        case Session::End::breakpoint:
        case Session::End::watchpoint:
            return exitStopped;
        default:
            return exitCycleLimit;
    }
}

// One run on one memory: start, record, run, report.
int runOne(const Options& options, const MemoryImage& image, const Labels& labels, std::ostream& out,
           std::ostream& err) {
    const std::unique_ptr<Session> session = startSession(options, image, err);
    if (!session) return exitFailure;
    setStops(*session, options, labels);

    std::string pending;  // the trace and the report, written in large pieces
    Recording recording(options, pending, out, err);
    if (const std::optional<std::string> problem = recording.open()) {
        err << "tarnwick-run: cannot write '" << options.vcd << "': " << *problem << "\n";
        return exitFailure;
    }
    recording.attach(*session);

    const auto startTime = std::chrono::steady_clock::now();
    session->releaseReset();
    recording.runToStart(*session);
    const Session::End end = recording.run(*session, options.maxCycles);
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();

    if (end == Session::End::didNotStart) {
        recording.flushTrace();
        err << "tarnwick-run: the machine did not start within " << session->cyclesBeforeFirst()
            << " cycles\n";
        return exitFailure;
    }
    // A trace that stopped reaching standard output ends the run there; the
    // waveform of a failed run is not put in place.
    if (const std::optional<std::string> problem = recording.traceProblem()) {
        err << "tarnwick-run: cannot write to standard output: " << *problem
            << "; the run was stopped at cycle " << session->cycle() << "\n";
        return exitFailure;
    }
    if (const std::optional<std::string> problem = recording.finish(*session)) {
        recording.flushTrace();
        err << "tarnwick-run: cannot write '" << options.vcd << "': " << *problem << "\n";
        return exitFailure;
    }
    if (!options.gtkw.empty()) {
        if (const std::optional<std::string> problem = writeWholeFile(options.gtkw, gtkwText(options))) {
            recording.flushTrace();
            err << "tarnwick-run: cannot write '" << options.gtkw << "': " << *problem << "\n";
            return exitFailure;
        }
    }

    return report(pending, *session, end, options, wallSeconds, out, err);
}

// A --gtkw FILE that would destroy the dump, the program or the report.
std::optional<std::string> gtkwConflict(const Options& options) {
    if (options.gtkw.empty()) return std::nullopt;
    if (sameFile(options.gtkw, options.vcd)) return "--gtkw '" + options.gtkw + "' is the --vcd file";
    if (sameFile(options.gtkw, options.image))
        return "--gtkw '" + options.gtkw + "' is the program being run; choose another name";
    if (standardStreamFile(options.gtkw) != 0)
        return "--gtkw '" + options.gtkw + "' is the file a standard stream goes to";
    return std::nullopt;
}

// A --vcd FILE that would destroy what the run reads or reports to.
std::optional<std::string> vcdConflict(const Options& options) {
    if (options.vcd.empty() || standardStreamNumber(options.vcd) != 0) return std::nullopt;
    if (sameFile(options.vcd, options.image))
        return "--vcd '" + options.vcd + "' is the program being run; choose another name";
    switch (standardStreamFile(options.vcd)) {
        case 1:
            return "--vcd '" + options.vcd +
                   "' is the file standard output goes to, which carries the report";
        case 2:
            return "--vcd '" + options.vcd +
                   "' is the file standard error goes to; name it /dev/stderr to write the dump there";
        default:
            return std::nullopt;
    }
}

// The steps of a run: check the outputs against the inputs, load, run,
// report.
int run(Options& options, const std::vector<MemoryKind>& memories, std::ostream& out, std::ostream& err) {
    for (const auto& conflict : {vcdConflict(options), gtkwConflict(options)}) {
        if (conflict) {
            err << "tarnwick-run: " << *conflict << "\n";
            return exitFailure;
        }
    }
    Labels labels;
    const std::optional<MemoryImage> image = loadImage(options.image, err, labels);
    if (!image) return exitFailure;
    try {
        resolveAddresses(options, labels);
        // Checked before the run: a bad address stops it before it starts.
        for (const std::string& text : options.breaks) resolveAddress(text, "--break", labels, options.image);
        for (const std::string& text : options.watches)
            resolveAddress(text, "--watch", labels, options.image);
    } catch (const UsageError& error) {
        err << "tarnwick-run: " << error.message << "\n";
        return exitFailure;
    }
    if (options.compareMemories) return runComparison(options, *image, memories, out, err);
    return runOne(options, *image, labels, out, err);
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    return runCommandLine(arguments, out, err, standardMemories());
}

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   const std::vector<MemoryKind>& memories) {
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
    if (options.listSignals) {
        // Every signal, then every relay, in the map's order.
        std::string text;
        const MachineMap& map = MachineMap::get();
        for (const auto& s : map.signals())
            text += s.name + " " + std::to_string(s.width == 0 ? 1 : s.width) + " " +
                    std::string(sectionName(s.section)) + "\n";
        for (const auto& r : map.relays())
            text += r.name + " 1 " + std::string(sectionName(r.section)) + "\n";
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        return out ? exitHalted : exitFailure;
    }
    if (options.version) {
        out << "tarnwick-run " << version << "\n";
        out.flush();
        return out ? exitHalted : exitFailure;
    }
    try {
        return run(options, memories, out, err);
    } catch (const std::bad_alloc&) {
        err << "tarnwick-run: out of memory\n";
        return exitFailure;
    }
}

}  // namespace tarnwick::run
