// Named signals (found by name, by pattern, by bit of a bus) and the
// recorder of the timing diagram: what it keeps per cycle, how it numbers
// the cycles, and its ring.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/Session.h"
#include "machine/Lamps.h"
#include "machine/MachineMap.h"
#include "machine/NamedSignals.h"
#include "machine/SignalRecorder.h"
#include "memory/MemoryFile.h"
#include "tests/support/MemoryFiles.h"

namespace tarnwick {
namespace {

std::vector<std::string> names(const std::vector<NamedSignal>& signals) {
    std::vector<std::string> out;
    for (const auto& s : signals) out.push_back(s.name);
    return out;
}

MemoryImage examplesImage(const char* name) {
    MemoryFileResult result = readMemoryFile(std::string(TARNWICK_EXAMPLES_DIR) + "/" + name);
    EXPECT_TRUE(result) << result.error;
    return result ? *result.image : MemoryImage{};
}

TEST(NamedSignals, PatternsMatchWithinOnePartOfAName) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    for (const Case& c : {
             Case{"decoder.*", "decoder.q", true},
             Case{"decoder.*", "decoder.line10", true},
             Case{"decoder.*", "decoder.codeRegister.bits[0].relays[1]", false},
             Case{"decoder.line1*", "decoder.line10", true},
             Case{"decoder.line1*", "decoder.line20", false},
             Case{"*.q", "highOperand.q", true},
             Case{"*.q", "highOperand", false},
             Case{"a*b*c", "axxbyyc", true},
             Case{"a*b*c", "axxbyy", false},
             Case{"arithmeticUnit.*", "arithmeticUnit", false},
             Case{"exact", "exact", true},
             Case{"exact", "exactly", false},
         }) {
        EXPECT_EQ(namePatternMatches(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
    }
}

TEST(NamedSignals, FoundByNameByPatternAndByBit) {
    const auto accumulator = findNamedSignal("arithmeticUnit.accumulator");
    ASSERT_TRUE(accumulator);
    EXPECT_EQ(accumulator->width, 8);
    EXPECT_EQ(accumulator->section, Section::arithmetic);

    const auto relay = findNamedSignal("clockStopGate.relays[0]");
    ASSERT_TRUE(relay);
    EXPECT_EQ(relay->kind, NamedSignal::Kind::relay);
    EXPECT_EQ(relay->section, Section::clock);

    const auto phase2 = findNamedSignal("phaseSequencer.phase[2]");
    ASSERT_TRUE(phase2);
    EXPECT_EQ(phase2->kind, NamedSignal::Kind::busBit);
    EXPECT_EQ(phase2->width, 0);
    EXPECT_FALSE(findNamedSignal("phaseSequencer.phase[4]"));  // a 4-bit bus
    EXPECT_FALSE(findNamedSignal("phaseSequencer.phase[]"));
    EXPECT_FALSE(findNamedSignal("arithmeticUnit.carry[0]"));  // a single bit has no bits
    EXPECT_FALSE(findNamedSignal("noSuchCircuit.q"));

    const std::vector<NamedSignal> decoder = matchNamedSignals("decoder.*");
    ASSERT_FALSE(decoder.empty());
    EXPECT_EQ(decoder.front().name, "decoder.q");
    for (const auto& s : decoder) EXPECT_EQ(s.name.rfind("decoder.", 0), 0u) << s.name;
    EXPECT_EQ(names(matchNamedSignals("clockStopGate.relays[*]")),
              (std::vector<std::string>{"clockStopGate.relays[0]", "clockStopGate.relays[1]"}));
    EXPECT_TRUE(matchNamedSignals("nothing.*").empty());
}

TEST(NamedSignals, NearestNamesOfAMisspellingComeFirst) {
    EXPECT_EQ(nearestSignalNames("arithmeticUnit.acumulator", 1),
              std::vector<std::string>{"arithmeticUnit.accumulator"});
    EXPECT_EQ(nearestSignalNames("decoder.line1O", 1), std::vector<std::string>{"decoder.line10"});
    EXPECT_EQ(nearestSignalNames("x", 3).size(), 3u);
}

TEST(NamedSignals, PanelSignalsReadWhatTheLampsShow) {
    const std::vector<NamedSignal> panel = panelSignals();
    ASSERT_EQ(panel.size(), std::size(panelSignalNames));  // every name is in the map
    Session session;
    ASSERT_TRUE(session.load({0, 0x21, testing::workedExample()}));
    session.releaseReset();
    std::size_t checked = 0;
    session.afterEachCycle = [&](const Session& s) {
        const LampReading l = s.lamps();
        std::map<std::string, std::uint64_t> v;
        for (const auto& signal : panel) v[signal.name] = signal.read(s.computer());
        EXPECT_EQ(v["clockOscillator.clock"], l.clock);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(v["phaseSequencer.phase[" + std::to_string(k) + "]"], (l.phaseMask >> k) & 1u);
        EXPECT_EQ(v["controlPanel.address"], l.address) << "cycle " << s.cycle();
        EXPECT_EQ(v["decoder.q"], l.code);
        EXPECT_EQ(v["highOperand.q"] * 256 + v["lowOperand.q"], l.operand);
        EXPECT_EQ(v["arithmeticUnit.accumulator"], l.accumulator);
        EXPECT_EQ(v["arithmeticUnit.zero"], l.zero);
        EXPECT_EQ(v["arithmeticUnit.carry"], l.carry);
        EXPECT_EQ(v["controlPanel.dataOut"],
                  lampValue(s.computer().controlPanel().dataLamps, LampOrder::lowBitFirst));
        ++checked;
    };
    EXPECT_EQ(session.run(100), Session::End::halted);
    EXPECT_GT(checked, 20u);
}

// The recorder against a Session's own numbering and lamps, cycle by cycle.
void expectRecordingMatchesSession(const MemoryImage& image, std::uint64_t maxCycles, std::size_t capacity) {
    Session session;
    ASSERT_TRUE(session.load(image));
    SignalRecorder recorder(capacity);
    const std::vector<NamedSignal> rows = panelSignals();
    recorder.setRows(rows);
    session.computer().addCycleWatcher(&recorder);
    std::vector<std::pair<std::uint64_t, LampReading>> seen;  // every cycle, numbered or not
    session.releaseReset();
    // Each cycle as the session numbers it (0 before cycle 1).
    while (!(session.started() && session.halted()) && session.cycle() < maxCycles &&
           seen.size() < maxCycles + Session::startLimit) {
        session.runCycle();
        seen.emplace_back(session.cycle(), session.lamps());
    }
    session.computer().removeCycleWatcher(&recorder);
    const SignalRecorder::Snapshot s = recorder.snapshot();
    ASSERT_EQ(s.rows.size(), rows.size());
    const std::size_t kept = std::min(seen.size(), capacity);
    ASSERT_GE(s.cycles.size(), kept);
    // The last `kept` entries are the last `kept` cycles the loop ran.
    for (std::size_t i = 0; i < kept; ++i) {
        const std::size_t entry = s.cycles.size() - kept + i;
        const auto& [number, lamps] = seen[seen.size() - kept + i];
        ASSERT_EQ(s.cycles[entry], number) << "entry " << entry;
        auto value = [&](std::size_t row) { return s.rows[row].values[entry]; };
        EXPECT_EQ(value(0), lamps.clock) << "cycle " << number;
        EXPECT_EQ(value(5), lamps.address) << "cycle " << number;
        EXPECT_EQ(value(9), lamps.code) << "cycle " << number;
        EXPECT_EQ(value(12), lamps.accumulator) << "cycle " << number;
    }
}

MemoryImage workedImage() { return {0, 0x21, testing::workedExample()}; }

TEST(SignalRecorder, EntriesFollowTheSessionsCyclesAndLamps) {
    for (const char* name : {"add16.RAM", "countdown.RAM", "runlight.RAM"}) {
        SCOPED_TRACE(name);
        expectRecordingMatchesSession(examplesImage(name), 300, SignalRecorder::defaultCapacity);
    }
    SCOPED_TRACE("worked example");
    expectRecordingMatchesSession(workedImage(), 100, SignalRecorder::defaultCapacity);
}

TEST(SignalRecorder, TheRingKeepsTheLastCyclesInOrder) {
    // 64 entries, 300 cycles: the ring has turned over several times.
    expectRecordingMatchesSession(examplesImage("runlight.RAM"), 300, 64);
    SignalRecorder recorder(64);
    Session session;
    recorder.setRows(panelSignals());
    for (int i = 0; i < 200; ++i) recorder.record(session.computer());
    const auto s = recorder.snapshot();
    EXPECT_EQ(s.cycles.size(), 64u);
    EXPECT_EQ(s.recorded, 200u);
    recorder.clear();
    EXPECT_TRUE(recorder.snapshot().cycles.empty());
    recorder.record(session.computer());
    EXPECT_EQ(recorder.snapshot().cycles.size(), 1u);
}

TEST(SignalRecorder, RowsKeepTheirHistoryAndNewRowsStartEmpty) {
    Session session;
    SignalRecorder recorder(16);
    recorder.setRows({*findNamedSignal("decoder.q")});
    for (int i = 0; i < 5; ++i) recorder.record(session.computer());
    recorder.setRows({*findNamedSignal("arithmeticUnit.carry"), *findNamedSignal("decoder.q")});
    for (int i = 0; i < 3; ++i) recorder.record(session.computer());
    const auto s = recorder.snapshot();
    ASSERT_EQ(s.cycles.size(), 8u);
    EXPECT_EQ(s.rows[0].signal.name, "arithmeticUnit.carry");
    EXPECT_EQ(s.rows[0].firstEntry, 5u);
    EXPECT_EQ(s.rows[1].firstEntry, 0u);
    EXPECT_THROW(recorder.setRows(std::vector<NamedSignal>(SignalRecorder::maximumRows + 1,
                                                           *findNamedSignal("decoder.q"))),
                 std::invalid_argument);
}

TEST(SignalRecorder, ResetAndPowerStartTheNumberingAgain) {
    Session session;
    ASSERT_TRUE(session.load(examplesImage("runlight.RAM")));
    SignalRecorder recorder;
    recorder.setRows(panelSignals());
    session.computer().addCycleWatcher(&recorder);
    ASSERT_TRUE(session.start());
    for (int i = 0; i < 20; ++i) session.runCycle();
    EXPECT_EQ(recorder.snapshot().cycles.back(), 21u);
    session.pressReset(2);
    ASSERT_TRUE(session.start());
    EXPECT_EQ(recorder.snapshot().cycles.back(), session.cycle());
    session.computer().powerSwitch().setState(0);
    session.computer().applyPower();
    EXPECT_EQ(recorder.snapshot().cycles.back(), 0u);
    session.computer().removeCycleWatcher(&recorder);
}

}  // namespace
}  // namespace tarnwick
