// The switches and the memory path: Reset, Power, halt, Pause, Takeover, and
// the two kinds of memory.

#include <gtest/gtest.h>

#include "tests/machine/MachineTestSupport.h"

namespace tarnwick::testing {
namespace {

TEST(Power, OnWithResetOnLightsOnlyPhaseThree) {
    Computer computer(true);
    computer.resetSwitch.setState(1);
    computer.powerSwitch.setState(1);
    computer.distributePower(true);
    for (int i = 0; i < 10; ++i) {
        computer.runCycle();
        EXPECT_EQ(lampCount(computer), 1u) << "cycle " << i;
        EXPECT_TRUE(computer.phaseLamps[3].isOn());
    }
}

TEST(Power, ResetOffStartsTheClockWithinTwoCycles) {
    Computer computer(true);
    computer.resetSwitch.setState(1);
    computer.distributePower(true);
    computer.runCycle();
    computer.runCycle();
    computer.resetSwitch.setState(0);
    std::vector<bool> clock;
    std::vector<int> firstPhaseZero;
    for (int i = 0; i < 12; ++i) {
        computer.runCycle();
        clock.push_back(computer.clockLamp.isOn());
        if (computer.phaseLamps[0].isOn() && firstPhaseZero.empty()) firstPhaseZero.push_back(i);
    }
    const int firstOn = clock[0] ? 0 : 1;
    ASSERT_TRUE(clock[static_cast<std::size_t>(firstOn)]) << "on within two cycles";
    for (std::size_t i = static_cast<std::size_t>(firstOn) + 1; i < clock.size(); ++i) {
        EXPECT_NE(clock[i], clock[i - 1]) << "alternates, cycle " << i;
    }
    // A clock that rises in the cycle that first reads Reset off is lost to the ring.
    ASSERT_EQ(firstPhaseZero.size(), 1u);
    EXPECT_EQ(firstPhaseZero[0], firstOn == 0 ? 2 : 1);
    EXPECT_TRUE(clock[static_cast<std::size_t>(firstPhaseZero[0])]);
}

TEST(Power, OffDarkensEveryLampAndErasesMemory) {
    // Short, since every step of the relay-built memory steps all its relays.
    const Image image{0x10, 0x00, 0x05, 0x44, 0xFF, 0x5A};
    for (bool fastRam : {true, false}) {
        SCOPED_TRACE(fastRam ? "byte array" : "relay-built memory");
        Rig rig(image, fastRam);
        rig.runTo(10);
        ASSERT_EQ(rig.computer().accumulatorValue(), 0x5A);
        Computer& c = rig.computer();
        c.powerSwitch.setState(0);
        c.distributePower(false);
        c.runCycle();
        EXPECT_EQ(lampCount(c), 0u);
        for (const IndicatorLamp& lamp : c.controlPanel.dataLamps) EXPECT_FALSE(lamp.isOn());

        c.powerSwitch.setState(1);
        c.distributePower(true);
        c.runCycle();
        EXPECT_EQ(readMemoryRange(c, 0, 5), std::vector<std::uint8_t>(6, 0));
    }
}

TEST(Halt, HoldsUntilResetAndRestartsFromZero) {
    Rig rig(workedExample);
    ASSERT_EQ(rig.runToHalt(), 26);
    rig.step();
    const Lamps halted = rig.lamps();
    EXPECT_FALSE(halted.clock);
    EXPECT_EQ(halted.phase, 3);
    Computer& c = rig.computer();
    c.pauseSwitch.setState(1);  // Pause never reaches the machine
    for (int i = 0; i < 100; ++i) {
        rig.step();
        ASSERT_EQ(rig.lamps(), halted) << "cycle " << rig.cycle();
    }
    c.pauseSwitch.setState(0);
    EXPECT_EQ(c.programCounterValue(), 0x09);

    c.resetSwitch.setState(1);
    c.runCycle();
    EXPECT_EQ(c.codeValue(), 0x00);
    EXPECT_EQ(c.accumulatorValue(), 0x00);
    c.resetSwitch.setState(0);
    c.runCycle();
    int cycles = 0;
    while (!(c.clockLamp.isOn() && c.phaseLamps[0].isOn()) && cycles < 8) {
        c.runCycle();
        ++cycles;
    }
    EXPECT_EQ(readLamps(c).address, 0u);
    // Runs the program again: the first load takes 5Ah at cycle 8.
    for (int cycle = 2; cycle <= 8; ++cycle) c.runCycle();
    EXPECT_EQ(c.accumulatorValue(), 0x5A);
}

// Reset on while running: the first cycle that reads it stops the clock,
// puts the ring in phase 3 and clears the registers. The address lamps follow
// the step order: a memory-operand code in the code register still selects
// the operand address in that cycle (the registers clear later in it).
struct ResetCase {
    const char* name;
    int resetAfterCycle;
    unsigned firstAddress;
};

TEST(Reset, WhileRunning) {
    const ResetCase cases[] = {
        {"phase 3 of a load", 7, 0x0020},
        {"phase 0 of the add, the load still latched", 9, 0x0020},
        {"phase 1 of the add", 11, 0x0020},
        {"phase 3 of the store", 24, 0x0022},
        {"halted", 30, 0x0000},
    };
    for (const ResetCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(workedExample);
        rig.runTo(c.resetAfterCycle);
        Computer& computer = rig.computer();
        computer.resetSwitch.setState(1);
        computer.runCycle();
        Lamps l = rig.lamps();
        EXPECT_FALSE(l.clock);
        EXPECT_EQ(l.phase, 3);
        EXPECT_EQ(l.code, 0u);
        EXPECT_EQ(l.operand, 0u);
        EXPECT_EQ(l.accumulator, 0u);
        EXPECT_FALSE(l.zero);
        EXPECT_FALSE(l.carry);
        EXPECT_EQ(l.address, c.firstAddress);
        computer.runCycle();
        EXPECT_EQ(rig.lamps().address, 0u);
        EXPECT_EQ(rig.lamps().phase, 3);
    }
}

TEST(Takeover, KeepsTheMachineOffTheMemory) {
    Rig rig(workedExample);
    Computer& c = rig.computer();
    SixtyFourKilobyteRAMControlPanel& panel = c.controlPanel;
    rig.runTo(8);
    ASSERT_EQ(c.accumulatorValue(), 0x5A);
    // Switches at 0020h (5Ah, a code without a line); Write off. The add at
    // 0003h is never seen: every fetch reads the switches' address.
    panel.addressSwitches[5].setState(1);
    panel.takeoverSwitch.setState(1);
    rig.runTo(16);
    EXPECT_EQ(c.codeValue(), 0x5A);
    EXPECT_EQ(c.operandValue(), 0x5A5A);
    EXPECT_EQ(c.accumulatorValue(), 0x5A) << "no add";
    EXPECT_EQ(lampBits(panel.dataLamps, false), 0x5Au);

    panel.takeoverSwitch.setState(0);
    rig.runTo(18);
    EXPECT_EQ(c.codeValue(), 0x11) << "the machine reaches the memory again at 0006h";

    // With Takeover on through the store's write cycle, nothing is stored.
    Rig store(workedExample);
    store.runTo(22);
    store.computer().controlPanel.takeoverSwitch.setState(1);
    store.runTo(30);
    store.computer().controlPanel.takeoverSwitch.setState(0);
    EXPECT_EQ(store.peek(0x22), 0x00);
    EXPECT_EQ(store.peek(0x00), 0x10) << "nor anywhere else";
}

// The two memories answer the machine identically, lamp for lamp.
TEST(Memory, RelayBuiltAndByteArrayShowTheSameLamps) {
    const Image image{0x10, 0x00, 0x0E, 0x21, 0x00, 0x0F, 0x45, 0x11,
                      0x00, 0x10, 0x30, 0x00, 0x0D, 0xFF, 0x5A, 0x33};
    Rig fast(image, true);
    Rig relay(image, false);
    ASSERT_EQ(fast.cyclesBeforeFirst(), relay.cyclesBeforeFirst());
    for (int cycle = 1; cycle <= 40; ++cycle) {
        ASSERT_EQ(fast.lamps(), relay.lamps()) << "cycle " << cycle;
        ASSERT_EQ(lampBits(fast.computer().controlPanel.dataLamps, false),
                  lampBits(relay.computer().controlPanel.dataLamps, false))
            << "cycle " << cycle;
        fast.step();
        relay.step();
    }
    EXPECT_EQ(fast.computer().codeValue(), 0xFF);
    EXPECT_EQ(readMemoryRange(fast.computer(), 0x10, 0x10), std::vector<std::uint8_t>{0x13});
    EXPECT_EQ(readMemoryRange(fast.computer(), 0, 0x10), readMemoryRange(relay.computer(), 0, 0x10));
}

}  // namespace
}  // namespace tarnwick::testing
