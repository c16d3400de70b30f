// tarnwick-run's named signals: --signals lists the map, --probe adds
// signals to the trace and the dump (checked against the map's own reading
// of the same run), the dump's scopes follow sections and circuits, --gtkw
// names the panel's signals in panel order, and a bad probe is refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/Session.h"
#include "machine/MachineMap.h"
#include "memory/MemoryFile.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/tools/run/RunToolSupport.h"
#include "tools/run/CommandLine.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

using Result = testing::RunResult;
using testing::lines;
using testing::slurp;

Result run(const std::vector<std::string>& arguments) { return testing::runInProcess(arguments); }

using testing::jsonNumber;

// A dump read back with its scopes: variables by full dotted name.
struct Dump {
    std::map<std::string, int> widths;  // "tarnwick.arithmetic.arithmeticUnit.accumulator" -> 8
    std::map<std::uint64_t, std::map<std::string, std::uint64_t>> changes;
    std::vector<std::string> problems;
};

Dump parseDump(const std::string& text) {
    Dump dump;
    std::istringstream in(text);
    std::map<std::string, std::string> names;  // id -> full name
    std::vector<std::string> scopes;
    std::string token;
    while (in >> token && token != "$enddefinitions") {
        std::vector<std::string> body;
        for (std::string word; in >> word && word != "$end";) body.push_back(word);
        if (token == "$scope") {
            if (body.size() != 2 || body[0] != "module") dump.problems.push_back("bad $scope");
            scopes.push_back(body.size() > 1 ? body[1] : "?");
        } else if (token == "$upscope") {
            if (scopes.empty())
                dump.problems.push_back("$upscope with no scope open");
            else
                scopes.pop_back();
        } else if (token == "$var") {
            if (body.size() < 4) {
                dump.problems.push_back("short $var");
                continue;
            }
            std::string name;
            for (const std::string& s : scopes) name += s + ".";
            name += body[3];
            if (names.count(body[2])) dump.problems.push_back("identifier used twice: " + body[2]);
            if (dump.widths.count(name)) dump.problems.push_back("variable declared twice: " + name);
            names[body[2]] = name;
            dump.widths[name] = std::stoi(body[1]);
        }
    }
    if (!scopes.empty()) dump.problems.push_back("scopes left open");
    in >> token;  // the $end of $enddefinitions
    std::optional<std::uint64_t> time;
    auto change = [&](const std::string& id, std::uint64_t value) {
        const auto name = names.find(id);
        if (name == names.end() || !time)
            dump.problems.push_back("change of an undeclared variable " + id);
        else
            dump.changes[*time][name->second] = value;
    };
    while (in >> token) {
        if (token == "$dumpvars" || token == "$end") continue;
        if (token[0] == '#') {
            time = std::stoull(token.substr(1));
            dump.changes[*time];
        } else if (token[0] == 'b') {
            std::string id;
            in >> id;
            change(id, std::stoull(token.substr(1), nullptr, 2));
        } else if (token[0] == '0' || token[0] == '1') {
            change(token.substr(1), token[0] == '1');
        } else {
            dump.problems.push_back("unexpected " + token);
        }
    }
    return dump;
}

class SignalsTool : public tarnwick::testing::ScratchDirectoryTest {
protected:
    const std::string examples = TARNWICK_EXAMPLES_DIR;
};

TEST_F(SignalsTool, SignalsListsEveryNamedSignalAndRelayOnce) {
    const Result r = run({"--signals"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> listed = lines(r.out);
    const MachineMap& map = MachineMap::get();
    EXPECT_EQ(listed.size(), map.signals().size() + map.relays().size());
    std::map<std::string, std::string> byName;
    for (const std::string& line : listed) {
        const std::size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        EXPECT_TRUE(byName.emplace(line.substr(0, space), line.substr(space + 1)).second)
            << "twice: " << line;
    }
    EXPECT_EQ(byName["arithmeticUnit.accumulator"], "8 arithmetic");
    EXPECT_EQ(byName["controlPanel.address"], "16 memory");
    EXPECT_EQ(byName["decoder.line10"], "1 registers");
    EXPECT_EQ(byName["clockStopGate.relays[0]"], "1 clock");
    EXPECT_EQ(byName["arithmeticUnit.zeroFlag.n4.relays[1]"], "1 arithmetic");

    EXPECT_EQ(run({"--signals", "x.RAM"}).status, 2);
}

// Each probe's trace field, cycle by cycle, equals what the map reads from
// the same program run in a Session.
TEST_F(SignalsTool, ProbedValuesAreTheMapsStatesAtEachCycle) {
    const std::vector<std::string> patterns = {"decoder.*", "arithmeticUnit.*", "phaseSequencer.phase[1]",
                                               "clockStopGate.relays[*]", "programCounter.*"};
    for (const char* program : {"multiply.RAM", "bits.RAM"}) {
        SCOPED_TRACE(program);
        const std::string image = examples + "/" + program;
        std::vector<std::string> arguments = {"--trace", "--max-cycles", "300"};
        for (const std::string& p : patterns) arguments.insert(arguments.end(), {"--probe", p});
        arguments.push_back(image);
        const Result r = run(arguments);
        ASSERT_LE(r.status, 1) << r.err;
        const std::vector<std::string> trace = lines(r.out);
        ASSERT_GT(trace.size(), 50u);

        // The same run, read through the map without the tool.
        const MachineMap& map = MachineMap::get();
        std::vector<const MachineMap::MappedSignal*> signals;
        // The circuits' own outputs: one part after the circuit's name.
        for (const auto& s : map.signals())
            for (const std::string circuit : {"decoder.", "arithmeticUnit.", "programCounter."})
                if (s.name.rfind(circuit, 0) == 0 && s.name.find('.', circuit.size()) == std::string::npos)
                    signals.push_back(&s);
        ASSERT_GT(signals.size(), 10u);
        const auto* phases = map.findSignal("phaseSequencer.phase");
        const auto* relay0 = map.findRelay("clockStopGate.relays[0]");
        const auto* relay1 = map.findRelay("clockStopGate.relays[1]");
        ASSERT_TRUE(phases && relay0 && relay1);

        Session session;
        ASSERT_TRUE(session.load(*readMemoryFile(image).image));
        std::size_t line = 0;
        session.afterEachCycle = [&](const Session& s) {
            ASSERT_LT(line, trace.size() - 1);
            const std::string& traced = trace[line++];
            ASSERT_EQ(jsonNumber(traced, "cycle"), s.cycle());
            for (const auto* signal : signals)
                EXPECT_EQ(jsonNumber(traced, signal->name), MachineMap::value(s.computer(), *signal))
                    << signal->name << " in cycle " << s.cycle();
            EXPECT_EQ(jsonNumber(traced, "phaseSequencer.phase[1]"),
                      (MachineMap::value(s.computer(), *phases) >> 1) & 1);
            EXPECT_EQ(jsonNumber(traced, "clockStopGate.relays[0]"),
                      MachineMap::relay(s.computer(), *relay0).normallyOpen() ? 1u : 0u);
            EXPECT_EQ(jsonNumber(traced, "clockStopGate.relays[1]"),
                      MachineMap::relay(s.computer(), *relay1).normallyOpen() ? 1u : 0u);
        };
        session.releaseReset();
        session.run(300);
        EXPECT_EQ(line, trace.size() - 1);  // every traced cycle compared
    }
}

TEST_F(SignalsTool, DumpHasTheMachinesHierarchyAndTheTracesValues) {
    const std::string vcd = (directory / "run.vcd").string();
    const std::string image = examples + "/countdown.RAM";
    const std::vector<std::string> probes = {"--probe", "decoder.q",
                                             "--probe", "arithmeticUnit.*",
                                             "--probe", "phaseSequencer.phase[2]",
                                             "--probe", "clockStopGate.relays[1]",
                                             "--probe", "programCounter.*"};
    std::vector<std::string> traced = {"--trace", "--max-cycles", "200"};
    traced.insert(traced.end(), probes.begin(), probes.end());
    traced.push_back(image);
    std::vector<std::string> dumped = {"--vcd", vcd, "--max-cycles", "200"};
    dumped.insert(dumped.end(), probes.begin(), probes.end());
    dumped.push_back(image);
    const Result t = run(traced);
    const Result d = run(dumped);
    ASSERT_LE(t.status, 1) << t.err;
    ASSERT_EQ(d.status, t.status) << d.err;

    const Dump dump = parseDump(slurp(vcd));
    EXPECT_EQ(dump.problems, std::vector<std::string>{});
    // The panel's signals where they were; the probes by section and circuit.
    for (const auto& [name, width] : std::map<std::string, int>{
             {"tarnwick.clock", 1},
             {"tarnwick.address", 16},
             {"tarnwick.dataIn", 8},
             {"tarnwick.dataOut", 8},
             {"tarnwick.registers.decoder.q", 8},
             {"tarnwick.arithmetic.arithmeticUnit.accumulator", 8},
             {"tarnwick.arithmetic.arithmeticUnit.carry", 1},
             {"tarnwick.phases.phaseSequencer.phase[2]", 1},
             {"tarnwick.clock.clockStopGate.relays[1]", 1},
         }) {
        ASSERT_TRUE(dump.widths.count(name)) << name;
        EXPECT_EQ(dump.widths.at(name), width) << name;
    }
    std::string counterBus;
    for (const auto& [name, width] : dump.widths)
        if (name.rfind("tarnwick.counter.programCounter.", 0) == 0 && width == 16) counterBus = name;
    EXPECT_FALSE(counterBus.empty()) << "the program counter's bus is a 16-bit vector in its section";

    // At #N every probe holds what the trace's line for cycle N shows.
    std::map<std::string, std::uint64_t> state;
    auto change = dump.changes.begin();
    const std::vector<std::string> trace = lines(t.out);
    for (std::size_t i = 0; i + 1 < trace.size(); ++i) {
        const std::uint64_t cycle = *jsonNumber(trace[i], "cycle");
        for (; change != dump.changes.end() && change->first <= cycle; ++change)
            for (const auto& [name, value] : change->second) state[name] = value;
        for (const auto& [vcdName, traceName] : std::map<std::string, std::string>{
                 {"tarnwick.registers.decoder.q", "decoder.q"},
                 {"tarnwick.arithmetic.arithmeticUnit.accumulator", "arithmeticUnit.accumulator"},
                 {"tarnwick.arithmetic.arithmeticUnit.zero", "arithmeticUnit.zero"},
                 {"tarnwick.phases.phaseSequencer.phase[2]", "phaseSequencer.phase[2]"},
                 {"tarnwick.clock.clockStopGate.relays[1]", "clockStopGate.relays[1]"},
                 {"tarnwick.address", "address"},
             })
            EXPECT_EQ(state[vcdName], jsonNumber(trace[i], traceName)) << vcdName << " at cycle " << cycle;
    }
}

TEST_F(SignalsTool, GtkwShowsThePanelsSignalsInPanelOrder) {
    const fs::path vcd = directory / "run.vcd";
    const fs::path gtkw = directory / "run.gtkw";
    const Result r = run({"--vcd", vcd.string(), "--gtkw", gtkw.string(), "--probe", "decoder.line10",
                          "--max-cycles", "50", examples + "/countdown.RAM"});
    ASSERT_LE(r.status, 1) << r.err;
    const std::vector<std::string> saved = lines(slurp(gtkw));
    ASSERT_GT(saved.size(), 4u);
    EXPECT_EQ(saved[1], "[dumpfile] \"" + fs::absolute(vcd).string() + "\"");
    std::vector<std::string> traces;
    for (const std::string& line : saved)
        if (line.rfind("tarnwick.", 0) == 0) traces.push_back(line);
    EXPECT_EQ(traces, (std::vector<std::string>{
                          "tarnwick.clock", "tarnwick.phase0", "tarnwick.phase1", "tarnwick.phase2",
                          "tarnwick.phase3", "tarnwick.address[15:0]", "tarnwick.dataIn[7:0]",
                          "tarnwick.dataOut[7:0]", "tarnwick.write", "tarnwick.code[7:0]",
                          "tarnwick.operand[15:0]", "tarnwick.accumulator[7:0]", "tarnwick.zero",
                          "tarnwick.carry", "tarnwick.registers.decoder.line10"}));
    // Every trace it names is a variable of the dump.
    const Dump dump = parseDump(slurp(vcd));
    for (std::string name : traces) {
        if (const std::size_t bracket = name.find("[15:0]"); bracket != std::string::npos)
            name.erase(bracket);
        if (const std::size_t bracket = name.find("[7:0]"); bracket != std::string::npos) name.erase(bracket);
        EXPECT_TRUE(dump.widths.count(name)) << name;
    }
}

TEST_F(SignalsTool, BadProbesAndGtkwMisuseAreRefused) {
    const std::string image = examples + "/countdown.RAM";
    const Result misspelt = run({"--probe", "arithmeticUnit.acumulator", image});
    EXPECT_EQ(misspelt.status, 2);
    EXPECT_EQ(misspelt.out, "");
    EXPECT_NE(misspelt.err.find("no signal or relay is named 'arithmeticUnit.acumulator'"), std::string::npos)
        << misspelt.err;
    EXPECT_NE(misspelt.err.find("nearest: arithmeticUnit.accumulator"), std::string::npos) << misspelt.err;

    const Result pattern = run({"--probe", "decodr.*", image});
    EXPECT_EQ(pattern.status, 2);
    EXPECT_NE(pattern.err.find("'decodr.*'"), std::string::npos) << pattern.err;

    EXPECT_EQ(run({"--probe=", image}).status, 2);
    EXPECT_NE(run({"--gtkw", (directory / "a.gtkw").string(), image}).err.find("--gtkw needs --vcd"),
              std::string::npos);
    const std::string same = (directory / "same").string();
    const Result clash = run({"--vcd", same, "--gtkw", same, image});
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.err.find("is the --vcd file"), std::string::npos) << clash.err;
    EXPECT_FALSE(fs::exists(same));  // refused before anything was written
    EXPECT_EQ(run({"--compare-memories", "--probe", "decoder.q", image}).status, 2);
}

}  // namespace
}  // namespace tarnwick
