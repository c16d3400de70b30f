// The RAM control panel's memory side: the selectors, Takeover, the panel
// step, the memory swap and its fallback; and the state halves of lamps and
// switches.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"
#include "memory/RelayLaneRAM.h"
#include "panel/SixtyFourKilobyteRAMControlPanel.h"
#include "tests/support/FailingAllocator.h"
#include "tests/support/LineMemory.h"

namespace tarnwick {
namespace {

// A memory that records every operation it receives, in order, and keeps
// the current level of each line.
class RecordingRAM final : public testing::LineMemory {
public:
    std::vector<std::string> calls;
    unsigned address = 0;
    unsigned data = 0;
    bool write = false;
    bool voltage = false;
    unsigned dataOut = 0;

    void setVoltage(bool on) override { record("V", voltage = on); }
    void setWrite(bool on) override { record("W", write = on); }
    void step() override { calls.push_back("step"); }
    std::uint8_t peek(std::uint16_t) const override { return static_cast<std::uint8_t>(dataOut); }

private:
    void record(const std::string& line, bool on) { calls.push_back(line + (on ? "=1" : "=0")); }
    static std::string lineName(char kind, int index) {
        // Appended, not "A" + std::to_string(...): GCC 12 at -O3 takes the
        // latter for an overlapping copy (a false -Wrestrict).
        std::string name(1, kind);
        name += std::to_string(index);
        return name;
    }
    void setAddressLine(int k, bool on) override {
        address = (address & ~(1u << k)) | (unsigned{on} << k);
        record(lineName('A', k), on);
    }
    void setDataInLine(int j, bool on) override {
        data = (data & ~(1u << j)) | (unsigned{on} << j);
        record(lineName('D', j), on);
    }
    bool dataOutLine(int j) override { return ((dataOut >> j) & 1) != 0; }
};

struct Bench {
    SixtyFourKilobyteRAMControlPanel panel{true};
    RecordingRAM* memory;

    Bench() {
        auto recording = std::make_unique<RecordingRAM>();
        memory = recording.get();
        panel.installMemory(std::move(recording));
        panel.setVoltage(true);
    }
    void machineLines(unsigned address, unsigned data, bool write) {
        applyAddress(panel, static_cast<std::uint16_t>(address));
        applyDataIn(panel, static_cast<std::uint8_t>(data));
        panel.setWrite(write);
    }
    void switches(unsigned address, unsigned data, bool write) {
        for (int k = 0; k < 16; ++k) panel.addressSwitches[k].setState((address >> k) & 1);
        for (int j = 0; j < 8; ++j) panel.dataSwitches[j].setState((data >> j) & 1);
        panel.writeSwitch.setState(write);
    }
};

struct RouteCase {
    const char* name;
    bool powered;
    bool takeover;
    unsigned expectedAddress, expectedData;
    bool expectedWrite;
};

TEST(ControlPanel, RoutesMachineOrSwitchLinesToTheMemory) {
    // Machine side 1234h, A5h, Write on; switches 0012h, 5Ah, Write off.
    const RouteCase cases[] = {
        {"Takeover off", true, false, 0x1234, 0xA5, true},
        {"Takeover on", true, true, 0x0012, 0x5A, false},
        {"unpowered, Takeover off", false, false, 0, 0, false},
        {"unpowered, Takeover on", false, true, 0, 0, false},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.panel.setVoltage(c.powered);
        bench.machineLines(0x1234, 0xA5, true);
        bench.switches(0x0012, 0x5A, false);
        bench.panel.takeoverSwitch.setState(c.takeover);
        bench.panel.step();
        EXPECT_EQ(bench.memory->address, c.expectedAddress);
        EXPECT_EQ(bench.memory->data, c.expectedData);
        EXPECT_EQ(bench.memory->write, c.expectedWrite);
        EXPECT_EQ(bench.memory->voltage, c.powered);
    }
}

TEST(ControlPanel, StepPassesLinesInOrderAndOnlyWhenTheyChange) {
    Bench bench;
    bench.memory->calls.clear();
    bench.machineLines(0x8001, 0x80, true);
    bench.panel.step();
    std::vector<std::string> expected;
    for (int k = 0; k < 16; ++k)
        expected.push_back(
            std::string("A").append(std::to_string(k)).append(k == 0 || k == 15 ? "=1" : "=0"));
    for (int j = 0; j < 8; ++j)
        expected.push_back(std::string("D").append(std::to_string(j)).append(j == 7 ? "=1" : "=0"));
    expected.push_back("W=1");
    expected.push_back("step");
    EXPECT_EQ(bench.memory->calls, expected) << "a memory new to the panel receives every line";

    bench.memory->calls.clear();
    bench.panel.step();
    EXPECT_EQ(bench.memory->calls, std::vector<std::string>{"step"});

    bench.memory->calls.clear();
    bench.machineLines(0x8003, 0x00, true);
    bench.panel.step();
    EXPECT_EQ(bench.memory->calls, (std::vector<std::string>{"A1=1", "D7=0", "step"}));

    // A memory put in place directly still gets every line at its first step.
    auto replacement = std::make_unique<RecordingRAM>();
    RecordingRAM* second = replacement.get();
    bench.panel.installMemory(std::move(replacement));
    bench.panel.step();
    EXPECT_EQ(second->calls.size(), 26u);
    EXPECT_EQ(second->address, 0x8003u);
    EXPECT_TRUE(second->write);
}

TEST(ControlPanel, DataLampsAndGettersShowTheMemoryOutput) {
    Bench bench;
    bench.memory->dataOut = 0x5A;
    EXPECT_EQ(readDataOut(bench.panel), 0x5A) << "getters pass straight on";
    for (const IndicatorLamp& lamp : bench.panel.dataLamps)
        EXPECT_FALSE(lamp.isOn()) << "only a step sets them";
    bench.panel.step();
    for (int b = 0; b < 8; ++b) EXPECT_EQ(bench.panel.dataLamps[b].isOn(), ((0x5A >> b) & 1) != 0) << b;
}

// On a real memory: the panel's own switches read and write it while
// Takeover is on, and do nothing while it is off.
TEST(ControlPanel, SwitchesWorkTheMemoryOnlyUnderTakeover) {
    SixtyFourKilobyteRAMControlPanel panel(true);
    panel.setVoltage(true);
    auto setSwitches = [&](unsigned address, unsigned data, bool write) {
        for (int k = 0; k < 16; ++k) panel.addressSwitches[k].setState((address >> k) & 1);
        for (int j = 0; j < 8; ++j) panel.dataSwitches[j].setState((data >> j) & 1);
        panel.writeSwitch.setState(write);
    };
    auto dataLamps = [&] {
        unsigned value = 0;
        for (int b = 0; b < 8; ++b) value |= unsigned{panel.dataLamps[b].isOn()} << b;
        return value;
    };
    applyAddress(panel, 0x0012);
    panel.setWrite(false);

    setSwitches(0x0012, 0x5A, true);
    panel.step();
    EXPECT_EQ(dataLamps(), 0u) << "Takeover off: the switches write nothing";

    panel.takeoverSwitch.setState(1);
    panel.step();
    EXPECT_EQ(dataLamps(), 0x5Au);
    setSwitches(0x0013, 0x00, false);
    panel.step();
    EXPECT_EQ(dataLamps(), 0u);
    setSwitches(0x0012, 0x00, false);
    panel.step();
    EXPECT_EQ(dataLamps(), 0x5Au) << "stored at 0012h";

    panel.takeoverSwitch.setState(0);
    applyAddress(panel, 0x0013);
    panel.step();
    EXPECT_EQ(dataLamps(), 0u) << "the machine's address again";
}

// The span a save should take in: every address a step wrote, whoever drove
// the lines (machine side or the switches under Takeover), and nothing a
// read, an unpowered step or a new memory adds.
TEST(ControlPanel, KeepsTheSpanOfWrittenAddresses) {
    SixtyFourKilobyteRAMControlPanel panel(true);
    auto step = [&](std::uint16_t address, bool write) {
        applyAddress(panel, address);
        applyDataIn(panel, 0x01);
        panel.setWrite(write);
        panel.step();
    };
    auto span = [&] {
        const auto written = panel.writtenSpan();
        return written ? std::pair<int, int>{written->first, written->last} : std::pair<int, int>{-1, -1};
    };
    step(0x0100, true);
    EXPECT_EQ(span(), std::pair(-1, -1)) << "unpowered: the selectors give Write off";

    panel.setVoltage(true);
    step(0x0100, false);
    EXPECT_EQ(span(), std::pair(-1, -1)) << "a read writes nothing";
    step(0x0100, true);
    EXPECT_EQ(span(), std::pair(0x100, 0x100));
    step(0x0080, true);
    step(0x0200, true);
    step(0x0150, true);
    EXPECT_EQ(span(), std::pair(0x80, 0x200));
    step(0xFFFF, true);
    step(0x0000, true);
    EXPECT_EQ(span(), std::pair(0x0000, 0xFFFF));

    panel.forgetWrites();
    EXPECT_EQ(span(), std::pair(-1, -1));
    panel.takeoverSwitch.setState(1);
    for (int k = 0; k < 16; ++k) panel.addressSwitches[k].setState((0x4321 >> k) & 1);
    panel.writeSwitch.setState(1);
    step(0x0005, false);
    EXPECT_EQ(span(), std::pair(0x4321, 0x4321)) << "the switches' address, not the machine's";
    panel.takeoverSwitch.setState(0);
    panel.writeSwitch.setState(0);

    step(0x0300, true);
    panel.replaceMemory(true);
    EXPECT_EQ(span(), std::pair(-1, -1)) << "a new memory holds nothing written";
    step(0x0300, true);
    panel.installMemory(std::make_unique<FastRAM>());
    EXPECT_EQ(span(), std::pair(-1, -1));
}

// A new memory reads 0 and stays unpowered until power is distributed: an
// unpowered byte array forgets at every step, an unpowered relay memory
// stores nothing.
TEST(ControlPanel, ReplaceMemoryGivesAnEmptyUnpoweredMemoryOfTheAskedKind) {
    SixtyFourKilobyteRAMControlPanel panel(true);
    panel.setVoltage(true);
    auto writeThenRead = [&](unsigned address, unsigned data) {
        applyAddress(panel, static_cast<std::uint16_t>(address));
        applyDataIn(panel, static_cast<std::uint8_t>(data));
        panel.setWrite(true);
        panel.step();
        applyAddress(panel, 0x0777);
        panel.setWrite(false);
        panel.step();
        applyAddress(panel, static_cast<std::uint16_t>(address));
        panel.step();
        return readDataOut(panel);
    };
    ASSERT_EQ(writeThenRead(0x1234, 0xA5), 0xA5);

    for (bool fast : {false, true, false}) {
        SCOPED_TRACE(fast ? "to the byte array" : "to the relay-built memory");
        SixtyFourKbRAM& memory = panel.replaceMemory(fast);
        EXPECT_EQ(&memory, &panel.memory());
        EXPECT_EQ(panel.usesFastRam(), fast);
        EXPECT_EQ(dynamic_cast<FastRAM*>(&memory) != nullptr, fast);
        EXPECT_EQ(dynamic_cast<RelayLaneRAM*>(&memory) != nullptr, !fast);
        EXPECT_EQ(writeThenRead(0x1234, 0xA5), 0x00) << "unpowered";
        memory.setVoltage(true);
        EXPECT_EQ(writeThenRead(0x0000, 0x00), 0x00);
        EXPECT_EQ(writeThenRead(0x1234, 0xA5), 0xA5) << "powered";
        EXPECT_EQ(writeThenRead(0xFFFF, 0x3C), 0x3C);
    }
}

TEST(ControlPanel, FallsBackToTheByteArrayWhenTheRelayMemoryCannotBeBuilt) {
    for (long failing : {1L, 2L}) {  // the relay memory's object, then its relays
        SCOPED_TRACE(failing);
        SixtyFourKilobyteRAMControlPanel panel(true);
        testing::failAllocation(failing);
        SixtyFourKbRAM& memory = panel.replaceMemory(false);
        const long made = testing::allocationsSinceArmed();
        testing::failAllocation(0);
        EXPECT_GT(made, failing) << "the byte array was built after the failure";
        EXPECT_TRUE(panel.usesFastRam());
        ASSERT_NE(dynamic_cast<FastRAM*>(&memory), nullptr);
        panel.setVoltage(true);
        applyAddress(panel, 0x4242);
        applyDataIn(panel, 0x99);
        panel.setWrite(true);
        panel.step();
        EXPECT_EQ(readDataOut(panel), 0x99);
    }
    testing::failAllocation(1);
    SixtyFourKilobyteRAMControlPanel built;
    testing::failAllocation(0);
    EXPECT_TRUE(built.usesFastRam()) << "the constructor falls back too";
    EXPECT_NE(dynamic_cast<FastRAM*>(&built.memory()), nullptr);
}

class CountingWindow final : public PanelWindow {
public:
    int repaints = 0;
    void requestRepaint() override { ++repaints; }
};

TEST(PanelControl, AsksForARepaintOnlyOnAChange) {
    for (bool lamp : {true, false}) {
        SCOPED_TRACE(lamp ? "lamp" : "switch");
        IndicatorLamp indicator;
        ToggleSwitch toggle;
        PanelControl& control =
            lamp ? static_cast<PanelControl&>(indicator) : static_cast<PanelControl&>(toggle);
        control.setState(1);  // before a window exists: stored only
        CountingWindow window;
        control.attach(&window);
        EXPECT_TRUE(control.isOn());
        control.setState(1);
        EXPECT_EQ(window.repaints, 0);
        control.setState(0);
        control.setState(0);
        EXPECT_EQ(window.repaints, 1);
        control.setState(1);
        EXPECT_EQ(window.repaints, 2);
        control.detach();
        control.setState(0);
        EXPECT_EQ(window.repaints, 2);
        EXPECT_FALSE(control.isOn());
    }
}

TEST(PanelControl, ControlPanelDataLampsRepaintOnlyWhenTheByteChanges) {
    Bench bench;
    CountingWindow windows[8];
    for (int b = 0; b < 8; ++b) bench.panel.dataLamps[b].attach(&windows[b]);
    bench.memory->dataOut = 0x01;
    bench.panel.step();
    bench.panel.step();
    bench.memory->dataOut = 0x03;
    bench.panel.step();
    EXPECT_EQ(windows[0].repaints, 1);
    EXPECT_EQ(windows[1].repaints, 1);
    for (int b = 2; b < 8; ++b) EXPECT_EQ(windows[b].repaints, 0);
    for (IndicatorLamp& lamp : bench.panel.dataLamps) lamp.detach();
}

}  // namespace
}  // namespace tarnwick
