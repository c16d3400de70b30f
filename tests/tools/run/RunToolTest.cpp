// tarnwick-run: exit status, the JSON it prints and the messages for bad
// arguments and bad images. Most cases run in-process; the binary is run
// as a user runs it and must answer exactly the same.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TarnwickVersion.h"
#include "machine/Computer.h"
#include "machine/MachineMap.h"
#include "memory/FastRAM.h"
#include "memory/RelayLaneRAM.h"
#include "memory/RelayMemory.h"
#include "tests/support/LineMemory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/tools/run/RunToolSupport.h"
#include "tools/run/CommandLine.h"
#include "tools/run/Compare.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using Result = tarnwick::testing::RunResult;
using tarnwick::testing::lines;
using tarnwick::testing::slurp;

class RunTool : public tarnwick::testing::ScratchDirectoryTest {
protected:
    std::string image(const std::string& name, std::vector<unsigned char> bytes) const {
        const fs::path path = directory / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // A memory file for 0000h to the end of `program`.
    std::string program(const std::string& name, std::vector<unsigned char> program) const {
        const std::size_t last = program.size() - 1;
        std::vector<unsigned char> bytes = {
            0, 0, 0, 0, 0, 0, static_cast<unsigned char>(last >> 8), static_cast<unsigned char>(last)};
        bytes.insert(bytes.end(), program.begin(), program.end());
        return image(name, bytes);
    }

    std::string workedExample() const {
        std::vector<unsigned char> bytes = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
        bytes.resize(0x23, 0);
        bytes[0x20] = 0x5A;
        bytes[0x21] = 0x33;
        return program("example.RAM", bytes);
    }

    Result run(const std::vector<std::string>& arguments) const {
        return tarnwick::testing::runInProcess(arguments);
    }

    Result runBinary(const std::vector<std::string>& arguments) const {
        const fs::path outPath = directory / "stdout";
        const fs::path errPath = directory / "stderr";
        std::vector<std::string> argv = {TARNWICK_RUN_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Result result;
        const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return result;
        }
        // Bounded: a run that does not end in time is killed and fails the test.
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << argv[0] << " did not end within 120 s; killed";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = slurp(outPath);
        result.err = slurp(errPath);
        return result;
    }
};

TEST_F(RunTool, WorkedExampleHaltsAtCycle26) {
    const Result r = run({workedExample()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"halted\":true,\"cycles\":26,\"accumulator\":141,\"carry\":false,\"zero\":false,"
              "\"programCounter\":9,\"code\":255,\"operand\":34,\"stopped\":\"halt\",\"stoppedAt\":9}\n");
}

TEST_F(RunTool, DumpIsTheSameOnBothMemories) {
    const std::string expected =
        "{\"halted\":true,\"cycles\":26,\"accumulator\":141,\"carry\":false,\"zero\":false,"
        "\"programCounter\":9,\"code\":255,\"operand\":34,\"stopped\":\"halt\",\"stoppedAt\":9,"
        "\"memory\":{\"first\":32,\"bytes\":[90,51,141]}}\n";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--dump", "20:22", workedExample()},
          std::vector<std::string>{"--relay-ram", "--dump=0x20:0X22", workedExample()}}) {
        const Result r = run(arguments);
        EXPECT_EQ(r.status, 0) << arguments[0];
        EXPECT_EQ(r.out, expected) << arguments[0];
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(RunTool, TracePrintsOneLinePerCycleBeforeTheSummary) {
    const Result r = run({"--trace", workedExample()});
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 27u);
    EXPECT_EQ(
        out[0],
        "{\"cycle\":1,\"clock\":true,\"phase\":0,\"address\":0,\"code\":0,\"operand\":0,\"accumulator\":0,"
        "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(
        out[6],
        "{\"cycle\":7,\"clock\":true,\"phase\":3,\"address\":32,\"code\":16,\"operand\":32,\"accumulator\":0,"
        "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[7],
              "{\"cycle\":8,\"clock\":false,\"phase\":3,\"address\":32,\"code\":16,\"operand\":32,"
              "\"accumulator\":90,"
              "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[25],
              "{\"cycle\":26,\"clock\":false,\"phase\":0,\"address\":9,\"code\":255,\"operand\":34,"
              "\"accumulator\":141,"
              "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[26].rfind("{\"halted\":true,\"cycles\":26,", 0), 0u);
}

TEST_F(RunTool, CycleLimitEndsWithStatus1) {
    const std::string loop = program("loop.RAM", {0x30, 0x00, 0x00});
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{"--max-cycles", "10", loop},
         "{\"halted\":false,\"cycles\":10,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":0,\"code\":48,\"operand\":0,\"stopped\":\"maxCycles\"}\n"},
        {{"--max-cycles=13", loop},
         "{\"halted\":false,\"cycles\":13,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":2,\"code\":48,\"operand\":0,\"stopped\":\"maxCycles\"}\n"},
        {{loop, "--max-cycles", "0"},
         "{\"halted\":false,\"cycles\":0,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":0,\"code\":0,\"operand\":0,\"stopped\":\"maxCycles\"}\n"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments[0];
        EXPECT_EQ(r.out, c.out) << c.arguments[0];
        EXPECT_EQ(r.err, "");
    }
    // A halt in the very cycle of the limit still counts as a halt.
    const Result atLimit = run({"--max-cycles", "26", workedExample()});
    EXPECT_EQ(atLimit.status, 0);
    const Result beforeHalt = run({"--max-cycles", "25", workedExample()});
    EXPECT_EQ(beforeHalt.status, 1);
}

TEST_F(RunTool, HelpExplainsTheOptions) {
    const Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(
                  "Usage: tarnwick-run [--relay-ram[=tree]] [--max-cycles N] [--dump FIRST:LAST] [--trace]\n"
                  "                    [--vcd FILE [--gtkw FILE]] [--probe PATTERN]... [--stats]\n"
                  "                    [--compare-memories] [--break ADDR]... [--watch ADDR]... IMAGE\n"
                  "       tarnwick-run --signals\n",
                  0),
              0u);
    for (const char* option : {"--relay-ram", "--max-cycles N", "--dump FIRST:LAST", "--trace", "--vcd FILE",
                               "--stats", "--compare-memories", "--gtkw FILE", "--probe PATTERN", "--signals",
                               "--break ADDR", "--watch ADDR", "label", ".asm", "Exit status",
                               "3 the memories differ", "4 stopped at a --break or --watch address"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST_F(RunTool, VersionIsTheProjectsAndRunsNothing) {
    const std::string expected = std::string("tarnwick-run ") + tarnwick::version + "\n";
    for (const Result& r :
         {run({"--version"}), run({"--version", workedExample()}), runBinary({"--version"})}) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
    }
}

// Every refusal: status 2, nothing on stdout, one message naming the problem.
TEST_F(RunTool, RefusesBadArgumentsAndImages) {
    const std::string good = workedExample();
    const std::string shortFile = image("short.RAM", {0, 0, 0, 0, 0, 0, 0, 9, 1, 2});
    const std::string header = image("header.RAM", {0, 0, 0});
    const std::string missing = (directory / "missing.RAM").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        bool usage = true;  // followed by the pointer to --help
    };
    const Case cases[] = {
        {{}, "tarnwick-run: no IMAGE given\n"},
        {{good, good}, "tarnwick-run: more than one IMAGE given ('" + good + "')\n"},
        {{"--fast", good}, "tarnwick-run: unknown option '--fast'\n"},
        {{good, "--max-cycles"}, "tarnwick-run: --max-cycles needs a value\n"},
        {{"--max-cycles", "ten", good},
         "tarnwick-run: --max-cycles takes a non-negative decimal number, not 'ten'\n"},
        {{"--max-cycles", "-5", good},
         "tarnwick-run: --max-cycles takes a non-negative decimal number, not '-5'\n"},
        {{"--max-cycles=", good}, "tarnwick-run: --max-cycles needs a number\n"},
        {{"--max-cycles", "99999999999999999999", good},
         "tarnwick-run: --max-cycles 99999999999999999999 is above 10^12\n"},
        {{"--dump", "20", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'20'\n"},
        {{"--dump", "10000:1", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'10000:1'\n"},
        {{"--dump", "g:1", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'g:1'\n"},
        {{"--dump", "22:20", good}, "tarnwick-run: --dump: FIRST 0022 is above LAST 0020\n"},
        {{"--vcd", good}, "tarnwick-run: no IMAGE given\n"},
        {{"--vcd=", good}, "tarnwick-run: --vcd needs a file name\n"},
        {{"--vcd", "-", good}, "tarnwick-run: --vcd needs a file name: standard output carries the report\n"},
        {{"--vcd", "/dev/stdout", good},
         "tarnwick-run: --vcd needs a file name: standard output carries the report\n"},
        {{"--compare-memories", "--relay-ram", good},
         "tarnwick-run: --compare-memories runs every memory; it cannot be combined with --relay-ram\n"},
        {{"--trace", "--compare-memories", good},
         "tarnwick-run: --compare-memories runs every memory; it cannot be combined with --trace\n"},
        {{"--compare-memories", "--stats", good},
         "tarnwick-run: --compare-memories runs every memory; it cannot be combined with --stats\n"},
        {{"--vcd", (directory / "no" / "such.vcd").string(), good},
         "tarnwick-run: cannot write '" + (directory / "no" / "such.vcd").string() +
             "': No such file or directory\n",
         false},
        {{missing}, "tarnwick-run: " + missing + ": cannot open: No such file or directory\n", false},
        {{header},
         "tarnwick-run: " + header + ": the file is 3 bytes long, shorter than the 8-byte header\n",
         false},
        {{shortFile},
         "tarnwick-run: " + shortFile +
             ": the file is 10 bytes long, but its range 0000h to 0009h needs 18 bytes\n",
         false},
    };
    for (const Case& c : cases) {
        const Result r = run(c.arguments);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  c.usage ? c.message + "Try 'tarnwick-run --help' for more information.\n" : c.message);
    }
}

// --- Value Change Dump -----------------------------------------------------

// A VCD read back: the declared variables by name and, for every timestamp,
// the values each variable changed to.
struct Vcd {
    std::map<std::string, std::string> header;  // $date, $version, ... by keyword
    std::map<char, std::string> names;          // identifier code -> variable name
    std::map<std::string, int> widths;
    std::map<std::uint64_t, std::map<std::string, unsigned>> changes;
    std::vector<std::string> problems;  // anything a viewer would stumble over
};

Vcd parseVcd(const std::string& text) {
    Vcd vcd;
    std::istringstream in(text);
    std::string token;
    // Declarations: "$keyword ... $end".
    while (in >> token && token != "$enddefinitions") {
        std::string body, word;
        while (in >> word && word != "$end") body += (body.empty() ? "" : " ") + word;
        if (token == "$var") {
            std::istringstream var(body);
            std::string type, id, name;
            int width = 0;
            var >> type >> width >> id >> name;
            if (type != "wire" || id.size() != 1) vcd.problems.push_back("bad $var " + body);
            vcd.names[id[0]] = name;
            vcd.widths[name] = width;
        } else {
            vcd.header[token] = body;
        }
    }
    in >> token;
    if (token != "$end") vcd.problems.push_back("$enddefinitions without $end");
    std::map<std::string, unsigned> current;
    std::optional<std::uint64_t> time;
    bool inDump = false;
    auto change = [&](char id, unsigned value) {
        const auto name = vcd.names.find(id);
        if (name == vcd.names.end() || !time) {
            vcd.problems.push_back(std::string("change of an undeclared variable ") + id);
            return;
        }
        const auto was = current.find(name->second);
        if (!inDump && was != current.end() && was->second == value)
            vcd.problems.push_back(
                std::string(1, '#').append(std::to_string(*time)).append(" repeats ").append(name->second));
        current[name->second] = value;
        vcd.changes[*time][name->second] = value;
    };
    while (in >> token) {
        if (token == "$dumpvars") {
            inDump = true;
        } else if (token == "$end") {
            inDump = false;
        } else if (token[0] == '#') {
            const std::uint64_t t = std::stoull(token.substr(1));
            if (time && t <= *time) vcd.problems.push_back("time goes back at " + token);
            time = t;
            vcd.changes[t];
        } else if (token[0] == 'b') {
            std::string id;
            in >> id;
            change(id[0], static_cast<unsigned>(std::stoul(token.substr(1), nullptr, 2)));
        } else if ((token[0] == '0' || token[0] == '1') && token.size() == 2) {
            change(token[1], token[0] == '1');
        } else {
            vcd.problems.push_back("unexpected " + token);
        }
    }
    return vcd;
}

// A number or boolean field of a one-line JSON object ("null" as -1).
long jsonField(const std::string& line, const std::string& name) {
    const std::size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return -2;
    const std::string value = line.substr(at + name.size() + 3);
    if (value.rfind("true", 0) == 0) return 1;
    if (value.rfind("false", 0) == 0) return 0;
    if (value.rfind("null", 0) == 0) return -1;
    return std::stol(value);
}

TEST_F(RunTool, VcdHoldsWhatTheTraceShowsCycleByCycle) {
    const std::string examples = TARNWICK_EXAMPLES_DIR;
    struct Case {
        std::string image;
        std::string maxCycles;
    };
    const Case cases[] = {{workedExample(), "100"},
                          {examples + "/runlight.RAM", "60"},
                          {examples + "/multiply.RAM", "400"},
                          {examples + "/copy.RAM", "300"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const std::string vcdPath = (directory / "run.vcd").string();
        const Result traced = run({"--trace", "--max-cycles", c.maxCycles, c.image});
        const Result dumped = run({"--vcd", vcdPath, "--max-cycles", c.maxCycles, c.image});
        // The report is the same with or without the dump.
        EXPECT_EQ(dumped.status, traced.status);
        EXPECT_EQ(dumped.err, "");
        EXPECT_EQ(dumped.out, lines(traced.out).back() + "\n");

        Vcd vcd = parseVcd(slurp(vcdPath));
        EXPECT_EQ(vcd.problems, std::vector<std::string>{});
        EXPECT_EQ(vcd.header["$timescale"], "1 ms");
        EXPECT_EQ(vcd.header["$version"].rfind("tarnwick-run ", 0), 0u);
        EXPECT_NE(vcd.header["$comment"].find(c.image), std::string::npos);
        EXPECT_EQ(vcd.header["$scope"], "module tarnwick");
        EXPECT_EQ(vcd.widths, (std::map<std::string, int>{{"clock", 1},
                                                          {"phase0", 1},
                                                          {"phase1", 1},
                                                          {"phase2", 1},
                                                          {"phase3", 1},
                                                          {"address", 16},
                                                          {"code", 8},
                                                          {"operand", 16},
                                                          {"accumulator", 8},
                                                          {"zero", 1},
                                                          {"carry", 1},
                                                          {"write", 1},
                                                          {"dataIn", 8},
                                                          {"dataOut", 8}}));
        // Before cycle 1 the machine sits in phase 3 with the clock off.
        ASSERT_TRUE(vcd.changes.count(0));
        EXPECT_EQ(vcd.changes.at(0).size(), 14u);
        EXPECT_EQ(vcd.changes.at(0).at("phase3"), 1u);
        EXPECT_EQ(vcd.changes.at(0).at("clock"), 0u);

        std::map<std::string, unsigned> state;
        auto change = vcd.changes.begin();
        const std::vector<std::string> trace = lines(traced.out);
        for (std::size_t i = 0; i + 1 < trace.size(); ++i) {
            const std::string& line = trace[i];
            const auto cycle = static_cast<std::uint64_t>(jsonField(line, "cycle"));
            for (; change != vcd.changes.end() && change->first <= cycle; ++change) {
                for (const auto& [name, value] : change->second) state[name] = value;
            }
            SCOPED_TRACE(line);
            long phase = -1;
            for (int k = 0; k < 4; ++k) {
                if (state["phase" + std::to_string(k)]) phase = phase == -1 ? k : -1;
            }
            EXPECT_EQ(state["clock"], jsonField(line, "clock"));
            EXPECT_EQ(phase, jsonField(line, "phase"));
            for (const char* name : {"address", "code", "operand", "accumulator", "zero", "carry"})
                EXPECT_EQ(state[name], jsonField(line, name)) << name;
        }
        // The dump ends at the run's last cycle.
        EXPECT_EQ(vcd.changes.rbegin()->first, static_cast<std::uint64_t>(jsonField(trace.back(), "cycles")));
    }
}

TEST_F(RunTool, VcdWriteLineIsOnInTheCycleThatStores) {
    const std::string vcdPath = (directory / "store.vcd").string();
    ASSERT_EQ(run({"--vcd=" + vcdPath, workedExample()}).status, 0);
    const Vcd vcd = parseVcd(slurp(vcdPath));
    std::vector<std::pair<std::uint64_t, unsigned>> write;
    for (const auto& [time, values] : vcd.changes) {
        if (values.count("write")) write.emplace_back(time, values.at("write"));
    }
    // STA in the third instruction: memory written in its cycle 8 alone.
    EXPECT_EQ(write, (std::vector<std::pair<std::uint64_t, unsigned>>{{0, 0}, {24, 1}, {25, 0}}));
    EXPECT_EQ(vcd.changes.at(23).at("address"), 0x22u);
}

TEST_F(RunTool, VcdIsReplacedWholeOrNotAtAll) {
    const fs::path vcdPath = directory / "kept.vcd";
    image("kept.vcd", {'o', 'l', 'd'});
    // A machine that cannot be loaded leaves the old file as it was, and no
    // temporary file behind.
    const std::string bad = image("bad.RAM", {0, 0, 0, 0, 0, 0, 0, 9});
    EXPECT_EQ(run({"--vcd", vcdPath.string(), bad}).status, 2);
    EXPECT_EQ(slurp(vcdPath), "old");
    EXPECT_EQ(run({"--vcd", vcdPath.string(), "--max-cycles", "0", workedExample()}).status, 1);
    const Vcd vcd = parseVcd(slurp(vcdPath));
    EXPECT_EQ(vcd.problems, std::vector<std::string>{});
    EXPECT_EQ(vcd.changes.size(), 1u);  // #0 only
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++files;
    EXPECT_EQ(files, 3u);  // example.RAM, kept.vcd, bad.RAM and nothing else
    EXPECT_EQ(fs::status(vcdPath).permissions() & fs::perms::others_read, fs::perms::others_read);
}

// A link is followed, so the file it names gets the dump and the link
// stays; a pipe (here named through /proc, as a shell's process substitution
// names one) cannot be replaced and is written in place.
TEST_F(RunTool, VcdFollowsLinksAndWritesPipesInPlace) {
    const fs::path target = directory / "target.vcd";
    const fs::path link = directory / "link.vcd";
    fs::create_symlink(target, link);
    ASSERT_EQ(run({"--vcd", link.string(), workedExample()}).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    const std::string dump = slurp(target);
    const Vcd parsed = parseVcd(dump);
    EXPECT_EQ(parsed.problems, std::vector<std::string>{});
    EXPECT_EQ(parsed.changes.size(), 27u);  // #0 and cycles 1 to 26

    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const std::string named = "/proc/self/fd/" + std::to_string(ends[1]);
    const Result result = run({"--vcd", named, workedExample()});
    ::close(ends[1]);
    std::string piped;
    char buffer[4096];
    for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) > 0;) piped.append(buffer, count);
    ::close(ends[0]);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(piped, dump);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++files;
    EXPECT_EQ(files, 3u);  // example.RAM, target.vcd, link.vcd and nothing else
}

// --- Speed figures ---------------------------------------------------------

TEST_F(RunTool, StatsAddTheRunsSpeedToTheReport) {
    const std::string example = workedExample();
    const Result plain = run({example});
    struct Case {
        const char* memory;  // the option that picks it, if any
        std::uint64_t ticksPerCycle;
    };
    const std::uint64_t machine = tarnwick::Computer::relayTicksPerCycle;
    for (const Case& c :
         {Case{nullptr, machine}, Case{"--relay-ram", machine + tarnwick::relayMemoryTicksPerStep},
          Case{"--relay-ram=tree", machine + tarnwick::relayMemoryTicksPerStep}}) {
        SCOPED_TRACE(c.memory ? c.memory : "byte array");
        std::vector<std::string> arguments = {"--stats", example};
        if (c.memory) arguments.insert(arguments.begin(), c.memory);
        const Result r = run(arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        // The report as without --stats, then the figures in this order.
        const std::string registers = plain.out.substr(0, plain.out.size() - 2);
        ASSERT_EQ(r.out.rfind(registers + ",\"wallSeconds\":", 0), 0u) << r.out;
        const std::string tail = r.out.substr(registers.size());
        auto field = [&](const std::string& name) {
            const std::size_t at = tail.find("\"" + name + "\":");
            EXPECT_NE(at, std::string::npos) << name;
            return at == std::string::npos ? -1.0 : std::stod(tail.substr(at + name.size() + 3));
        };
        const double wall = field("wallSeconds");
        EXPECT_GT(wall, 0.0);
        EXPECT_NEAR(field("cyclesPerSecond") * wall, 26.0, 26.0 * 0.01 + 1e-3) << r.out;
        // Exact: every cycle ticks the same relays on a given memory.
        EXPECT_NE(tail.find(",\"relayTicks\":" + std::to_string(26 * c.ticksPerCycle) +
                            ",\"relayTicksPerSecond\":"),
                  std::string::npos)
            << r.out;
        const double ticks = 26.0 * static_cast<double>(c.ticksPerCycle);
        EXPECT_NEAR(field("relayTicksPerSecond") * wall, ticks, ticks * 0.01) << r.out;
        EXPECT_EQ(r.out.back(), '\n');
    }
}

// --- Comparing memories ----------------------------------------------------

// The byte array with one fault: reads of `address` show bit 0 flipped, a
// write there is shown on the data lines but not kept, or every write
// anywhere else also writes its byte to `address`.
class FaultyMemory final : public tarnwick::testing::ForwardingMemory {
public:
    enum class Fault { flipOnRead, dropWrite, strayWrite };
    FaultyMemory(std::uint16_t address, Fault fault) : address_(address), fault_(fault) {}

    void setWrite(bool on) override { write_ = on; }
    void step() override {
        const bool here = address_ == lastAddress_;
        // A dropped write: the memory keeps the old byte but its data lines
        // show the byte offered, as a write shows it.
        inner_.setWrite(write_ && !(here && fault_ == Fault::dropWrite && writeArmed_));
        inner_.step();
        out_ = 0;
        for (int j = 0; j < 8; ++j) out_ |= static_cast<std::uint8_t>(ForwardingMemory::dataOutLine(j) << j);
        if (here && write_ && fault_ == Fault::dropWrite && writeArmed_) out_ = data_;
        if (here && !write_ && fault_ == Fault::flipOnRead && readArmed_) out_ ^= 1;
        if (!here && write_ && fault_ == Fault::strayWrite && writeArmed_) {
            tarnwick::applyAddress(inner_, address_);
            inner_.setWrite(true);
            inner_.step();
            tarnwick::applyAddress(inner_, lastAddress_);
            inner_.setWrite(false);
        }
    }
    // The fault strikes only once the machine runs, not while loading.
    void arm() { readArmed_ = writeArmed_ = true; }

private:
    void setAddressLine(int line, bool on) override {
        lastAddress_ = static_cast<std::uint16_t>((lastAddress_ & ~(1u << line)) | (unsigned{on} << line));
        ForwardingMemory::setAddressLine(line, on);
    }
    void setDataInLine(int line, bool on) override {
        data_ = static_cast<std::uint8_t>((data_ & ~(1u << line)) | (unsigned{on} << line));
        ForwardingMemory::setDataInLine(line, on);
    }
    bool dataOutLine(int line) override { return ((out_ >> line) & 1) != 0; }

    std::uint16_t address_;
    Fault fault_;
    std::uint16_t lastAddress_ = 0;
    std::uint8_t data_ = 0;
    std::uint8_t out_ = 0;
    bool write_ = false;
    bool readArmed_ = false;
    bool writeArmed_ = false;
};

TEST_F(RunTool, CompareMemoriesAgreesOnSmallExamples) {
    // The relay-built memory costs milliseconds a cycle and a load or read
    // per byte: the first cycles of the small examples (loads, stores and a
    // jump or two) and the worked example to its halt, on all three
    // memories. Every example runs its first 120 cycles on all three as a
    // test of its own (CompareExample.cmake), and to its halt on the byte
    // array and the lanes below.
    const Result full = run({"--compare-memories", "--dump", "30:31", workedExample()});
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(full.err, "");
    EXPECT_EQ(full.out,
              "{\"halted\":true,\"cycles\":26,\"accumulator\":141,\"carry\":false,\"zero\":false,"
              "\"programCounter\":9,\"code\":255,\"operand\":34,\"stopped\":\"halt\",\"stoppedAt\":9,"
              "\"memory\":{\"first\":48,\"bytes\":[0,0]},"
              "\"memoriesCompared\":[\"byte array\",\"relay-built\",\"relay-built "
              "tree\"],\"addressesCompared\":65536,\"relaysCompared\":10280899}\n");
    for (const char* name : {"countdown.RAM", "runlight.RAM", "add16.RAM", "multiply.RAM"}) {
        const std::string path = (fs::path(TARNWICK_EXAMPLES_DIR) / name).string();
        SCOPED_TRACE(path);
        const Result alone = run({"--max-cycles", "24", path});
        const Result compared = run({"--compare-memories", "--max-cycles", "24", path});
        EXPECT_EQ(compared.status, alone.status);
        EXPECT_EQ(compared.err, "");
        // The same report, and what was compared.
        ASSERT_FALSE(alone.out.empty());
        EXPECT_EQ(compared.out.rfind(
                      alone.out.substr(0, alone.out.size() - 2) +
                          ",\"memoriesCompared\":[\"byte array\",\"relay-built\",\"relay-built tree\"]",
                      0),
                  0u)
            << compared.out;
    }
}

// Every example to its halt (the running light, which never halts, for its
// first 5,000 cycles) on the byte array and on the relay-built memory as the
// front panel steps it: every lamp after every cycle, and all 64 KB at the
// end. The tree of parts, the plain structure, is held to the lanes relay for
// relay by the memory suite's differential test; run in full here it would
// take minutes.
TEST_F(RunTool, CompareMemoriesAgreesOnEveryExampleToItsHalt) {
    const std::vector<tarnwick::run::MemoryKind> memories = {tarnwick::run::standardMemories()[0],
                                                             tarnwick::run::standardMemories()[1]};
    ASSERT_EQ(memories[1].name, "relay-built");
    int examples = 0;
    for (const auto& entry : fs::directory_iterator(TARNWICK_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".RAM") continue;
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const bool endless = entry.path().stem() == "runlight";
        const Result alone = run({"--max-cycles", "5000", path});
        ASSERT_EQ(alone.status, endless ? 1 : 0) << "an example that halts must halt within the limit";
        std::ostringstream out, err;
        const int status = tarnwick::run::runCommandLine({"--compare-memories", "--max-cycles", "5000", path},
                                                         out, err, memories);
        EXPECT_EQ(status, alone.status) << out.str() << err.str();
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(out.str().rfind(alone.out.substr(0, alone.out.size() - 2) +
                                      ",\"memoriesCompared\":[\"byte array\",\"relay-built\"]"
                                      ",\"addressesCompared\":65536",
                                  0),
                  0u)
            << out.str();
        ++examples;
    }
    EXPECT_GE(examples, 11) << "the examples were not found in " << TARNWICK_EXAMPLES_DIR;
}

// A relay of the lanes planted wrong after the last cycle, one that holds no
// stored bit (so the lamps and all 64 KB still agree): only the comparison
// of every relay against the tree can see it, and it names that relay.
TEST(CompareMemories, NamesTheFirstRelayTheLanesHoldOtherwiseThanTheTree) {
    using namespace tarnwick;
    const MemoryImage image{0, 0x21, tarnwick::testing::workedExample()};
    struct Sessions {
        std::vector<std::unique_ptr<Session>> all;
        RelayLaneRAM* lanes = nullptr;
    };
    auto sessions = [&image] {
        Sessions made;
        for (RelayMemoryKind kind : {RelayMemoryKind::Lanes, RelayMemoryKind::Tree}) {
            auto computer = std::make_unique<Computer>(true);
            std::unique_ptr<SixtyFourKbRAM> memory = makeRelayMemory(kind);
            if (kind == RelayMemoryKind::Lanes) made.lanes = dynamic_cast<RelayLaneRAM*>(memory.get());
            computer->installMemory(std::move(memory));
            made.all.push_back(std::make_unique<Session>(std::move(computer)));
            made.all.back()->load(image);
        }
        return made;
    };
    // Counts the lanes' cycles, or plants the fault after the last of them.
    struct Planter final : Computer::CycleWatcher {
        RelayLaneRAM* lanes = nullptr;
        int cycles = 0;
        int plantAfter = -1;
        std::optional<std::size_t> planted;  // the relay's index in the tree's order
        void afterCycle(const Computer&) override {
            if (++cycles != plantAfter) return;
            std::vector<std::uint8_t> state, relays(RelayLaneRAM::relayCount),
                changed(RelayLaneRAM::relayCount);
            ASSERT_TRUE(lanes->saveState(state));
            lanes->copyRelayStates(relays.data());
            std::vector<std::uint8_t> stored(0x10000);
            for (std::uint32_t a = 0; a < 0x10000; ++a)
                stored[a] = lanes->peek(static_cast<std::uint16_t>(a));
            // Some byte of the middle of the state is a relay that is not a
            // cell's stored bit: the first whose flip leaves every byte read.
            for (std::size_t k = state.size() / 2; k < state.size() && !planted; k += 4099) {
                std::vector<std::uint8_t> wrong = state;
                wrong[k] ^= 1;
                ASSERT_TRUE(lanes->restoreState(wrong));
                bool sameBytes = true;
                for (std::uint32_t a = 0; a < 0x10000 && sameBytes; ++a)
                    sameBytes = lanes->peek(static_cast<std::uint16_t>(a)) == stored[a];
                lanes->copyRelayStates(changed.data());
                const auto differ = std::mismatch(relays.begin(), relays.end(), changed.begin());
                if (sameBytes && differ.first != relays.end())
                    planted = static_cast<std::size_t>(differ.first - relays.begin());
                else
                    ASSERT_TRUE(lanes->restoreState(state));
            }
        }
    };

    Sessions dry = sessions();
    Planter counter;
    ASSERT_TRUE(dry.all.front()->computer().addCycleWatcher(&counter));
    const run::Comparison clean = run::compareMemories(dry.all, 5000);
    dry.all.front()->computer().removeCycleWatcher(&counter);
    ASSERT_FALSE(clean.difference.has_value());
    ASSERT_EQ(clean.end, Session::End::halted);

    Sessions planted = sessions();
    Planter planter;
    planter.lanes = planted.lanes;
    planter.plantAfter = counter.cycles;
    ASSERT_TRUE(planted.all.front()->computer().addCycleWatcher(&planter));
    const run::Comparison faulty = run::compareMemories(planted.all, 5000);
    planted.all.front()->computer().removeCycleWatcher(&planter);
    ASSERT_TRUE(planter.planted.has_value()) << "no relay outside the stored bits was found to flip";
    ASSERT_TRUE(faulty.difference.has_value());
    EXPECT_EQ(faulty.difference->kind, run::Difference::Kind::relay);
    EXPECT_EQ(faulty.difference->reference, 1u);
    EXPECT_EQ(faulty.difference->memory, 0u);
    EXPECT_EQ(faulty.difference->relay, MachineMap::memoryRelayName(*planter.planted));
    EXPECT_EQ(faulty.difference->referenceByte ^ faulty.difference->otherByte, 1);
    EXPECT_EQ(faulty.addressesCompared, 0x10000u);
}

TEST_F(RunTool, CompareMemoriesStopsAtThePlantedFault) {
    using Fault = FaultyMemory::Fault;
    const std::string example = workedExample();
    auto withFault = [](std::uint16_t address, Fault fault) {
        std::vector<tarnwick::run::MemoryKind> memories = {
            {"byte array", [] { return std::make_unique<tarnwick::FastRAM>(); }},
            {"faulty", [address, fault] {
                 auto memory = std::make_unique<FaultyMemory>(address, fault);
                 memory->arm();
                 return memory;
             }}};
        return memories;
    };
    auto compare = [&](const std::vector<tarnwick::run::MemoryKind>& memories,
                       const std::vector<std::string>& arguments) {
        std::ostringstream out, err;
        Result r;
        r.status = tarnwick::run::runCommandLine(arguments, out, err, memories);
        r.out = out.str();
        r.err = err.str();
        return r;
    };

    // A flipped bit at 0020h, which LDA reads in cycle 7: that cycle's data lamps.
    const Result read = compare(withFault(0x20, Fault::flipOnRead), {"--compare-memories", example});
    EXPECT_EQ(read.status, 3);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read.out,
              "{\"memoriesDiffer\":true,\"memories\":[\"byte array\",\"faulty\"],\"cycle\":7,\"lamps\":["
              "{\"clock\":true,\"phaseLamps\":8,\"address\":32,\"code\":16,\"operand\":32,\"accumulator\":0,"
              "\"zero\":false,\"carry\":false,\"memoryData\":90},"
              "{\"clock\":true,\"phaseLamps\":8,\"address\":32,\"code\":16,\"operand\":32,\"accumulator\":0,"
              "\"zero\":false,\"carry\":false,\"memoryData\":91}]}\n");

    // A fault at an address the program never touches changes nothing.
    const Result elsewhere = compare(withFault(0x40, Fault::flipOnRead), {"--compare-memories", example});
    EXPECT_EQ(elsewhere.status, 0);

    // A store to 0022h that is shown but not kept: every lamp agrees, the
    // memory read back at the end does not.
    const Result stored = compare(withFault(0x22, Fault::dropWrite), {"--compare-memories", example});
    EXPECT_EQ(stored.status, 3);
    EXPECT_EQ(stored.out,
              "{\"memoriesDiffer\":true,\"memories\":[\"byte array\",\"faulty\"],\"cycle\":26,\"address\":34,"
              "\"bytes\":[141,0]}\n");

    // A write that also lands at 0301h, an address neither loaded, dumped
    // nor stored to: every lamp agrees, the full comparison does not.
    const Result stray = compare(withFault(0x301, Fault::strayWrite), {"--compare-memories", example});
    EXPECT_EQ(stray.status, 3);
    EXPECT_EQ(
        stray.out,
        "{\"memoriesDiffer\":true,\"memories\":[\"byte array\",\"faulty\"],\"cycle\":26,\"address\":769,"
        "\"bytes\":[0,141]}\n");

    // The same fault at an address outside the image is still found.
    const std::string storeHigh = program("high.RAM", {0x10, 0x00, 0x08, 0x11, 0x12, 0x34, 0xFF, 0x00, 0x77});
    const Result high = compare(withFault(0x1234, Fault::dropWrite), {"--compare-memories", storeHigh});
    EXPECT_EQ(high.status, 3);
    EXPECT_NE(high.out.find("\"address\":4660,\"bytes\":[119,0]"), std::string::npos) << high.out;
}

// --- Sources and files that are not memory files -----------------------------

TEST_F(RunTool, RunsAnAssemblerSourceByItsName) {
    const std::string source = (directory / "Sum.ASM").string();
    fs::copy_file(fs::path(TARNWICK_EXAMPLES_DIR) / "sum.asm", source);
    const Result fromSource = run({"--dump", "20:22", source});
    const Result fromImage = run({"--dump", "20:22", (fs::path(TARNWICK_EXAMPLES_DIR) / "sum.RAM").string()});
    EXPECT_EQ(fromSource.status, 0);
    EXPECT_EQ(fromSource.err, "");
    EXPECT_EQ(fromSource.out, fromImage.out);

    const fs::path bad = directory / "bad.asm";
    std::ofstream(bad) << "        lda 20h\nloop    hlt\n        db 0FFh, FFh\n";
    const Result errors = run({bad.string()});
    EXPECT_EQ(errors.status, 2);
    EXPECT_EQ(errors.out, "");
    const std::vector<std::string> messages = lines(errors.err);
    ASSERT_EQ(messages.size(), 3u) << errors.err;
    EXPECT_EQ(messages[0].rfind(bad.string() + ":2:1: ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind(bad.string() + ":3:", 0), 0u) << messages[1];
    EXPECT_EQ(messages[2], "tarnwick-run: 2 errors in " + bad.string() + "; nothing run");

    const std::string missing = (directory / "missing.asm").string();
    const Result none = run({missing});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "tarnwick-run: " + missing + ": cannot open: No such file or directory\n");
}

TEST_F(RunTool, SaysWhenAFileIsNotWhatItSeems) {
    const std::string textAdvice =
        ": is not a memory file (it starts with text; is it an assembler source? assemble it with "
        "tarnwick-asm, or pass it with its .asm name)\n";
    // A source under another name, and a listing (whose header reads first
    // above last): refused.
    const fs::path source = directory / "prog.txt";
    fs::copy_file(fs::path(TARNWICK_EXAMPLES_DIR) / "sum.asm", source);
    const fs::path listing = directory / "sum.lst";
    std::ofstream(listing) << "0000  10 00 20   6          lda first\n";
    for (const fs::path& path : {source, listing}) {
        const Result r = run({path.string()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tarnwick-run: " + path.string() + textAdvice);
    }
    // A binary whose header reads first above last: warned about, then run
    // on an empty memory as the front panel would.
    const std::string empty = image("empty.RAM", {0x7F, 'E', 'L', 'F', 2, 1, 1, 0});
    const Result r = run({"--max-cycles", "8", empty});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnwick-run: warning: " + empty +
                         ": the first address 2135247942 is above the last address 33620224: nothing is "
                         "loaded\n");
    EXPECT_EQ(r.out.rfind("{\"halted\":false,\"cycles\":8,\"accumulator\":0,", 0), 0u);
    if (fs::exists("/bin/true")) {
        const Result binary = run({"--max-cycles", "8", "/bin/true"});
        EXPECT_EQ(binary.status, 1);
        EXPECT_EQ(binary.err.rfind("tarnwick-run: warning: /bin/true: the first address ", 0), 0u)
            << binary.err;
    }
}

}  // namespace

TEST_F(RunTool, TheBinaryAnswersAsTheLibraryDoes) {
    const std::string example = workedExample();
    const std::vector<std::string> cases[] = {
        {example},
        {"--trace", "--max-cycles", "3", example},
        {"--dump", "20:22", example},
        {"--help"},
        {"--max-cycles"},
        {"--stats", "--compare-memories", example},
        {(directory / "missing.RAM").string()},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(arguments[0]);
        const Result library = run(arguments);
        const Result binary = runBinary(arguments);
        EXPECT_EQ(binary.status, library.status);
        EXPECT_EQ(binary.out, library.out);
        EXPECT_EQ(binary.err, library.err);
    }
}

// Breakpoints, watchpoints and labels: a run stops where asked, says why and
// where, and an address that names nothing is refused before anything runs.
class RunToolStops : public RunTool {
protected:
    // Three loads from 0000h, a store at 0009h, a loop of one jump at 000Ch.
    std::string source() const {
        const fs::path path = directory / "stops.asm";
        std::ofstream(path) << "start:  lda value\n"
                               "        lda value\n"
                               "        lda value\n"
                               "store:  sta table\n"
                               "spin:   jmp spin\n"
                               "value:  db 42h\n"
                               "table:  db 0, 0, 0, 0, 0, 0, 0\n";
        return path.string();
    }
};

TEST_F(RunToolStops, ABreakpointStopsInTheFirstCycleOfItsInstruction) {
    // Each three-byte instruction takes 8 cycles: the one at 0009h (store)
    // starts in cycle 25, and the run stops after that cycle, its code not
    // yet latched (still the third load's 10h).
    const Result r = run({"--break", "store", source()});
    EXPECT_EQ(r.status, tarnwick::run::exitStopped) << r.err;
    EXPECT_NE(r.out.find("\"cycles\":25,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"code\":16,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"stopped\":\"breakpoint\",\"stoppedAt\":9"), std::string::npos) << r.out;
    // The same as a hexadecimal address, and the first of several.
    const Result hex = run({"--break", "C", "--break", "9", source()});
    EXPECT_NE(hex.out.find("\"cycles\":25,"), std::string::npos) << hex.out;
    // A label plus an offset: 0003h is the second load, cycle 9.
    const Result offset = run({"--break", "start+3", source()});
    EXPECT_NE(offset.out.find("\"cycles\":9,\"accumulator\":66"), std::string::npos) << offset.out;
}

TEST_F(RunToolStops, AWatchpointStopsAfterTheWriteAndTheDumpTakesLabels) {
    const Result r = run({"--watch", "table", "--dump", "table:+6", source()});
    EXPECT_EQ(r.status, tarnwick::run::exitStopped) << r.err;
    // The store writes in its cycle 8: cycle 32.
    EXPECT_NE(r.out.find("\"cycles\":32,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"stopped\":\"watchpoint\",\"stoppedAt\":16"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"memory\":{\"first\":16,\"bytes\":[66,0,0,0,0,0,0]}"), std::string::npos) << r.out;
    // A watchpoint no write reaches: the run goes to its limit.
    const Result limit = run({"--watch", "value", "--max-cycles", "100", source()});
    EXPECT_EQ(limit.status, tarnwick::run::exitCycleLimit);
    EXPECT_NE(limit.out.find("\"stopped\":\"maxCycles\""), std::string::npos) << limit.out;
}

TEST_F(RunToolStops, AHaltSaysWhereAndKeepsItsFields) {
    const Result r = run({"--break", "20", workedExample()});
    EXPECT_EQ(r.status, tarnwick::run::exitHalted);
    EXPECT_NE(r.out.find("\"halted\":true,\"cycles\":26,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"stopped\":\"halt\",\"stoppedAt\":9"), std::string::npos) << r.out;
}

TEST_F(RunToolStops, AddressesThatNameNothingAreRefused) {
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--break", "nowhere"}, "tarnwick-run: --break: no label 'nowhere' in "},
        {{"--watch", "table+zz"}, "tarnwick-run: --watch: no label 'table+zz' in "},
        {{"--break", "spin+FFFF"}, "tarnwick-run: --break spin+FFFF is outside 0 to FFFF\n"},
        {{"--dump", "nowhere:+2"}, "tarnwick-run: --dump: no label 'nowhere' in "},
        {{"--dump", "table:start"}, "tarnwick-run: --dump: FIRST 0010 is above LAST 0000\n"},
        {{"--dump", "FFFE:+3"}, "tarnwick-run: --dump: FFFE+3 runs past FFFF\n"},
        {{"--break", ""}, "tarnwick-run: --break needs an address\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(source());
        const Result r = run(arguments);
        EXPECT_EQ(r.status, tarnwick::run::exitFailure) << c.arguments[0] << " " << c.arguments[1];
        EXPECT_EQ(r.err.substr(0, c.message.size()), c.message) << r.err;
        EXPECT_EQ(r.out, "") << "nothing runs";
    }
    // A memory file has no labels.
    const Result r = run({"--break", "loop", workedExample()});
    EXPECT_EQ(r.status, tarnwick::run::exitFailure);
    EXPECT_NE(r.err.find("--break 'loop' is not a hexadecimal address from 0 to FFFF"), std::string::npos)
        << r.err;
    const Result compare = run({"--compare-memories", "--break", "0", workedExample()});
    EXPECT_EQ(compare.status, tarnwick::run::exitFailure);
    // The binary answers the same.
    const Result binary = runBinary({"--break", "nowhere", source()});
    EXPECT_EQ(binary.status, tarnwick::run::exitFailure);
    EXPECT_NE(binary.err.find("no label 'nowhere'"), std::string::npos) << binary.err;
}
