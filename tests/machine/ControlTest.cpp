// The switches and the memory path: Reset, Power, halt, Pause, Takeover, and
// the two kinds of memory; and the hook that watches every cycle.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "tests/machine/MachineTestSupport.h"

namespace tarnwick::testing {
namespace {

TEST(Power, OnWithResetOnLightsOnlyPhaseThree) {
    Computer computer(true);
    computer.resetSwitch().setState(1);
    computer.powerSwitch().setState(1);
    computer.distributePower(true);
    for (int i = 0; i < 10; ++i) {
        computer.runCycle();
        EXPECT_EQ(lampCount(computer), 1u) << "cycle " << i;
        EXPECT_TRUE(computer.phaseLamps()[3].isOn());
    }
}

// The buzzer runs on while Reset stops the clock, so how long Reset was held
// decides whether the clock comes on in the first or the second cycle.
TEST(Power, ResetOffStartsTheClockWithinTwoCycles) {
    std::set<int> firstOnSeen;
    for (int held : {2, 3}) {
        SCOPED_TRACE(::testing::Message() << "Reset held " << held << " cycles");
        Computer computer(true);
        computer.resetSwitch().setState(1);
        computer.distributePower(true);
        for (int i = 0; i < held; ++i) computer.runCycle();
        computer.resetSwitch().setState(0);
        std::vector<bool> clock;
        std::vector<int> firstPhaseZero;
        for (int i = 0; i < 12; ++i) {
            computer.runCycle();
            clock.push_back(computer.clockLamp().isOn());
            if (computer.phaseLamps()[0].isOn() && firstPhaseZero.empty()) {
                firstPhaseZero.push_back(i);
                EXPECT_EQ(readLamps(computer).address, 0u);
            }
        }
        const int firstOn = clock[0] ? 0 : 1;
        firstOnSeen.insert(firstOn);
        ASSERT_TRUE(clock[static_cast<std::size_t>(firstOn)]) << "on within two cycles";
        for (std::size_t i = static_cast<std::size_t>(firstOn) + 1; i < clock.size(); ++i) {
            EXPECT_NE(clock[i], clock[i - 1]) << "alternates, cycle " << i;
        }
        // A clock that rises in the cycle that first reads Reset off is lost to the ring.
        ASSERT_EQ(firstPhaseZero.size(), 1u);
        EXPECT_EQ(firstPhaseZero[0], firstOn == 0 ? 2 : 1);
        EXPECT_TRUE(clock[static_cast<std::size_t>(firstPhaseZero[0])]);
    }
    EXPECT_EQ(firstOnSeen, (std::set<int>{0, 1})) << "both buzzer parities";
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
        c.powerSwitch().setState(0);
        c.distributePower(false);
        c.runCycle();
        EXPECT_EQ(lampCount(c), 0u);
        for (const IndicatorLamp& lamp : c.controlPanel().dataLamps) EXPECT_FALSE(lamp.isOn());

        c.powerSwitch().setState(1);
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
    c.pauseSwitch().setState(1);  // Pause never reaches the machine
    for (int i = 0; i < 100; ++i) {
        rig.step();
        ASSERT_EQ(rig.lamps(), halted) << "cycle " << rig.cycle();
    }
    c.pauseSwitch().setState(0);
    EXPECT_EQ(c.programCounterValue(), 0x09);

    c.resetSwitch().setState(1);
    c.runCycle();
    EXPECT_EQ(c.codeValue(), 0x00);
    EXPECT_EQ(c.accumulatorValue(), 0x00);
    c.resetSwitch().setState(0);
    c.runCycle();
    int cycles = 0;
    while (!(c.clockLamp().isOn() && c.phaseLamps()[0].isOn()) && cycles < 8) {
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
        computer.resetSwitch().setState(1);
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

// A store program with its target low or high: LDA 0030h, ADD 0031h, STA, HLT.
Image storeProgram(std::uint8_t high, std::uint8_t low) {
    return Image{0x10, 0x00, 0x30, 0x20, 0x00, 0x31, 0x11, high, low, 0xFF}.at(0x30, {0x77, 0x01});
}

// In the first cycle that reads Reset on the store's code is still latched,
// the stopped clock reads as clock off and the ring is forced to phase 3:
// Reset must keep Write off itself, whenever it comes and however long.
TEST(Reset, NeverWritesMemory) {
    for (const Image& image : {storeProgram(0x00, 0x40), storeProgram(0x12, 0x34)}) {
        const int halt = Rig(image).runToHalt().value_or(0);
        ASSERT_EQ(halt, 26);
        for (int after = 1; after <= halt + 1; ++after) {
            Rig reference(image);
            reference.runTo(after);
            const std::vector<std::uint8_t> before = std::move(reference).takeMemory();
            for (int held = 1; held <= 3; ++held) {
                SCOPED_TRACE(::testing::Message()
                             << "target " << std::hex << (image.bytes[7] << 8 | image.bytes[8]) << std::dec
                             << "h, Reset after cycle " << after << " for " << held);
                Rig rig(image);
                rig.runTo(after);
                rig.pressReset(held);
                const std::vector<std::uint8_t> memory = std::move(rig).takeMemory();
                const auto [now, was] = std::ranges::mismatch(memory, before);
                ASSERT_TRUE(now == memory.end()) << std::hex << "changed at " << now - memory.begin()
                                                 << "h from " << int{*was} << "h to " << int{*now} << "h";
            }
        }
    }
}

// Reset at any cycle, one cycle long included, restarts the program at
// 0000h, and it ends as a clean run does.
TEST(Reset, RestartsAtZeroFromEveryCycle) {
    // LDA 0030h, SHL, ADD 0031h, ROL, SHL, STA 0032h, HLT.
    const Image image =
        Image{0x10, 0x00, 0x30, 0x44, 0x20, 0x00, 0x31, 0x46, 0x44, 0x11, 0x00, 0x32, 0xFF}.at(0x30,
                                                                                               {0x5A, 0x33});
    Rig clean(image);
    const int halt = clean.runToHalt().value_or(0);
    ASSERT_EQ(halt, 38);
    const Lamps halted = clean.lamps();
    ASSERT_EQ(halted.accumulator, 0x9Eu);
    ASSERT_EQ(clean.peek(0x32), 0x9E);
    for (int held = 1; held <= 3; ++held) {
        for (int after = 1; after <= halt + 1; ++after) {
            SCOPED_TRACE(::testing::Message() << "Reset after cycle " << after << " for " << held);
            Rig rig(image);
            rig.runTo(after);
            rig.pressReset(held);
            ASSERT_EQ(rig.lamps().address, 0u) << "first fetch";
            EXPECT_EQ(rig.runToHalt(), halt);
            EXPECT_EQ(rig.lamps(), halted);
            EXPECT_EQ(rig.peek(0x32), 0x9E);
        }
    }
}

TEST(Takeover, KeepsTheMachineOffTheMemory) {
    Rig rig(workedExample);
    Computer& c = rig.computer();
    SixtyFourKilobyteRAMControlPanel& panel = c.controlPanel();
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
    EXPECT_EQ(lampValue(panel.dataLamps, LampOrder::lowBitFirst), 0x5Au);

    panel.takeoverSwitch.setState(0);
    rig.runTo(18);
    EXPECT_EQ(c.codeValue(), 0x11) << "the machine reaches the memory again at 0006h";

    // With Takeover on through the store's write cycle, nothing is stored.
    Rig store(workedExample);
    store.runTo(22);
    store.computer().controlPanel().takeoverSwitch.setState(1);
    store.runTo(30);
    store.computer().controlPanel().takeoverSwitch.setState(0);
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
        ASSERT_EQ(lampValue(fast.computer().controlPanel().dataLamps, LampOrder::lowBitFirst),
                  lampValue(relay.computer().controlPanel().dataLamps, LampOrder::lowBitFirst))
            << "cycle " << cycle;
        fast.step();
        relay.step();
    }
    EXPECT_EQ(fast.computer().codeValue(), 0xFF);
    EXPECT_EQ(readMemoryRange(fast.computer(), 0x10, 0x10), std::vector<std::uint8_t>{0x13});
    EXPECT_EQ(readMemoryRange(fast.computer(), 0, 0x10), readMemoryRange(relay.computer(), 0, 0x10));
}

// Each watcher sees the computer as the cycle found it and as it left it,
// on every cycle, until it is removed.
TEST(CycleWatchers, AreToldBeforeAndAfterEveryCycleUntilRemoved) {
    struct Lamps final : Computer::CycleWatcher {
        std::vector<std::pair<char, int>> seen;  // ('b' or 'a', phase lamp lit)
        static int phase(const Computer& c) {
            for (int k = 0; k < 4; ++k)
                if (c.phaseLamps()[k].isOn()) return k;
            return -1;
        }
        void beforeCycle(const Computer& c) override { seen.emplace_back('b', phase(c)); }
        void afterCycle(const Computer& c) override { seen.emplace_back('a', phase(c)); }
    };
    Session session(true);
    ASSERT_TRUE(session.load(MemoryImage{0, 2, {0x30, 0x00, 0x00}}));  // JMP 0000h
    ASSERT_TRUE(session.start());
    Computer& computer = session.computer();

    Lamps first, second;
    ASSERT_TRUE(computer.addCycleWatcher(&first));
    ASSERT_TRUE(computer.addCycleWatcher(&second));
    for (int i = 0; i < 8; ++i) computer.runCycle();
    computer.removeCycleWatcher(&first);
    computer.runCycle();

    ASSERT_EQ(first.seen.size(), 16u);
    ASSERT_EQ(second.seen.size(), 18u);
    for (std::size_t k = 0; k + 1 < first.seen.size(); k += 2) {
        EXPECT_EQ(first.seen[k].first, 'b');
        EXPECT_EQ(first.seen[k + 1].first, 'a');
        // What one cycle left is what the next one starts from.
        if (k >= 2) {
            EXPECT_EQ(first.seen[k].second, first.seen[k - 1].second) << "entry " << k;
        }
    }
    std::set<int> phasesAfter;
    for (const auto& [when, phase] : first.seen) {
        if (when == 'a') phasesAfter.insert(phase);
    }
    EXPECT_EQ(phasesAfter, (std::set<int>{0, 1, 2, 3})) << "the watcher saw the phases move";
    EXPECT_EQ(std::vector(second.seen.begin(), second.seen.begin() + 16), first.seen);
    computer.removeCycleWatcher(&second);
}

TEST(CycleWatchers, AFullSetRefusesOneMoreAndRemovingAnUnknownOneChangesNothing) {
    struct Counter final : Computer::CycleWatcher {
        int cycles = 0;
        void afterCycle(const Computer&) override { ++cycles; }
    };
    Computer computer(true);
    std::array<Counter, Computer::maxCycleWatchers + 1> counters;
    for (std::size_t k = 0; k < Computer::maxCycleWatchers; ++k)
        ASSERT_TRUE(computer.addCycleWatcher(&counters[k]));
    EXPECT_FALSE(computer.addCycleWatcher(&counters.back()));
    computer.removeCycleWatcher(&counters.back());  // never added
    computer.removeCycleWatcher(&counters[1]);
    computer.runCycle();
    EXPECT_EQ(counters[0].cycles, 1);
    EXPECT_EQ(counters[1].cycles, 0);
    EXPECT_EQ(counters[2].cycles, 1);
    EXPECT_EQ(counters[3].cycles, 1);
    EXPECT_EQ(counters.back().cycles, 0);
    for (auto& counter : counters) computer.removeCycleWatcher(&counter);
}

}  // namespace
}  // namespace tarnwick::testing
