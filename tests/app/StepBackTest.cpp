// Stepping back: random programs stepped N cycles forward, M back and M
// forward again, with inputs between cycles, on both memories. Every relay of
// the machine (through the map, not through the state the history keeps),
// every lamp and every byte of memory must equal a plain run's.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "app/Machine.h"
#include "app/Session.h"
#include "app/StepHistory.h"
#include "machine/Lamps.h"
#include "machine/MachineMap.h"
#include "memory/FastRAM.h"
#include "memory/RelayLaneRAM.h"
#include "memory/RelayMemory.h"

namespace tarnwick {
namespace {

// A program of real codes over 0000h-00FFh: loads, stores, arithmetic, jumps
// and the one-byte codes, operands within the same page. No halt.
MemoryImage randomProgram(unsigned seed) {
    static constexpr std::uint8_t codes[] = {0x10, 0x11, 0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x32, 0x33,
                                             0x34, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x50, 0x11};
    std::mt19937 random(seed);
    MemoryImage image;
    image.first = 0;
    image.last = 0xFF;
    image.bytes.resize(0x100);
    for (std::size_t a = 0; a < image.bytes.size();) {
        const std::uint8_t code = codes[random() % std::size(codes)];
        image.bytes[a++] = code;
        if (code < 0x44 && a + 1 < image.bytes.size()) {
            image.bytes[a++] = 0;
            image.bytes[a++] = static_cast<std::uint8_t>(random());
        }
    }
    return image;
}

// Both flags set and cleared every few instructions, so that the flags'
// flip-flops, which hold their state from cycle to cycle, differ between
// checkpoints.
MemoryImage flagProgram() {
    MemoryImage image;
    image.first = 0;
    image.last = 0x21;
    image.bytes = {0x10, 0x00, 0x20, 0x21, 0x00, 0x20, 0x20, 0x00, 0x21, 0x21, 0x00, 0x21, 0x30, 0x00, 0x00};
    image.bytes.resize(0x22, 0);
    image.bytes[0x20] = 0x37;
    image.bytes[0x21] = 0x01;
    return image;
}

// What a plain run and a stepped-back run are compared by, read without the
// history's own code: every mapped relay, every lamp and switch the map does
// not hold, and the memory byte by byte (and relay by relay when it is built
// of relays).
struct Seen {
    std::vector<std::uint8_t> relays;
    LampReading lamps;
    std::vector<std::uint8_t> memory;
    std::vector<std::uint8_t> memoryRelays;
    bool operator==(const Seen&) const = default;
};

Seen see(const Computer& computer) {
    Seen seen;
    for (const auto& relay : MachineMap::get().relays()) {
        const Relay& r = MachineMap::relay(computer, relay);
        seen.relays.push_back(*reinterpret_cast<const std::uint8_t*>(&r));
    }
    seen.lamps = readLamps(computer);
    seen.memory.resize(0x10000);
    const SixtyFourKbRAM& memory = computer.controlPanel().memory();
    for (std::size_t a = 0; a < seen.memory.size(); ++a)
        seen.memory[a] = memory.peek(static_cast<std::uint16_t>(a));
    if (const auto* relays = dynamic_cast<const RelayLaneRAM*>(&memory)) {
        seen.memoryRelays.resize(RelayLaneRAM::relayCount);
        relays->copyRelayStates(seen.memoryRelays.data());
    }
    return seen;
}

// The first relay that differs, for the message.
std::string firstDifference(const Seen& a, const Seen& b) {
    const auto& relays = MachineMap::get().relays();
    for (std::size_t i = 0; i < a.relays.size(); ++i)
        if (a.relays[i] != b.relays[i]) return "relay " + relays[i].name;
    for (std::size_t i = 0; i < a.memory.size(); ++i)
        if (a.memory[i] != b.memory[i]) return "memory byte " + std::to_string(i);
    for (std::size_t i = 0; i < a.memoryRelays.size(); ++i)
        if (a.memoryRelays[i] != b.memoryRelays[i]) return MachineMap::memoryRelayName(i);
    return "the lamps";
}

std::unique_ptr<Computer> computerWith(bool relayMemory) {
    auto computer = std::make_unique<Computer>(true);
    if (relayMemory) computer->installMemory(makeRelayMemory());
    return computer;
}

// The inputs both runs apply before given cycles: a byte written by hand,
// Reset on for a cycle and off again, and a read through the control panel
// with Takeover on.
void inputsBefore(std::uint64_t cycle, Computer& c) {
    if (cycle == 37) c.loadByte(0x00F0, 0x5A);
    if (cycle == 90) c.resetSwitch().setState(1);
    if (cycle == 91) c.resetSwitch().setState(0);
    if (cycle == 150) {
        c.controlPanel().takeoverSwitch.setState(1);
        c.controlPanel().addressSwitches[3].setState(1);
        c.stepControlPanel();
    }
    if (cycle == 151) c.controlPanel().takeoverSwitch.setState(0);
}

struct Case {
    bool relayMemory;
    std::uint64_t forward;
    std::uint64_t back;
    const StepHistory::Limits* limits;
};

void checkStepBack(const Case& c, unsigned seed) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(c.forward) + " forward, " +
                 std::to_string(c.back) + " back");
    const MemoryImage program = randomProgram(seed);

    Session plain(computerWith(c.relayMemory));
    plain.load(program);
    plain.releaseReset();
    Seen atTarget;
    for (std::uint64_t cycle = 0; cycle < c.forward; ++cycle) {
        if (cycle == c.forward - c.back) atTarget = see(plain.computer());
        inputsBefore(cycle, plain.computer());
        plain.computer().runCycle();
    }
    if (c.back == c.forward) atTarget = see(plain.computer());
    const Seen atEnd = see(plain.computer());

    Session stepped(computerWith(c.relayMemory));
    Computer& computer = stepped.computer();
    // From before the load, as the panel's history records everything.
    StepHistory history(computer, c.limits);
    stepped.load(program);
    stepped.releaseReset();
    const std::uint64_t start = history.cycle();
    for (std::uint64_t cycle = 0; cycle < c.forward; ++cycle) {
        inputsBefore(cycle, computer);
        computer.runCycle();
    }
    ASSERT_GE(history.cyclesBack(), c.back);
    ASSERT_EQ(history.stepBack(c.back), c.back);
    EXPECT_EQ(history.cycle(), start + c.forward - c.back);
    const Seen back = see(computer);
    EXPECT_TRUE(back == atTarget) << "after stepping back, " << firstDifference(back, atTarget) << " differs";
    // Forward again, with the same inputs where they fall.
    for (std::uint64_t cycle = c.forward - c.back; cycle < c.forward; ++cycle) {
        inputsBefore(cycle, computer);
        computer.runCycle();
    }
    const Seen again = see(computer);
    EXPECT_TRUE(again == atEnd) << "stepping forward again, " << firstDifference(again, atEnd) << " differs";
}

// A restore sets every relay and control, whatever they hold before it:
// here every relay byte and every lamp and switch is scrambled first, so
// a relay that the restore leaves out cannot happen to hold its value.
TEST(StepBack, ARestoredStateSetsEveryRelayAndControlWhateverTheyHeld) {
    Session session(computerWith(false));
    session.load(randomProgram(7));
    session.releaseReset();
    Computer& computer = session.computer();
    for (int cycle = 0; cycle < 60; ++cycle) computer.runCycle();
    Computer::State saved;
    ASSERT_TRUE(computer.captureState(saved));

    const auto& relays = MachineMap::get().relays();
    auto* base = reinterpret_cast<unsigned char*>(&computer);
    for (const auto& relay : relays) base[relay.offset] = static_cast<unsigned char>(~base[relay.offset]);
    computer.resetSwitch().setState(computer.resetSwitch().isOn() ? 0 : 1);
    for (auto& lamp : computer.addressLamps()) lamp.setState(lamp.isOn() ? 0 : 1);
    computer.controlPanel().takeoverSwitch.setState(1);

    ASSERT_TRUE(computer.restoreState(saved));
    Computer::State restored;
    ASSERT_TRUE(computer.captureState(restored));
    ASSERT_EQ(restored.relays.size(), relays.size());
    for (std::size_t k = 0; k < relays.size(); ++k)
        ASSERT_EQ(restored.relays[k], saved.relays[k]) << relays[k].name << " was not restored";
    EXPECT_EQ(restored.controls, saved.controls) << "a lamp or switch was not restored";
    EXPECT_EQ(restored.memory, saved.memory);
}

TEST(StepBack, RandomProgramsOnTheByteArrayReturnExactly) {
    for (unsigned seed : {1u, 2u, 3u}) {
        checkStepBack({false, 200, 1, nullptr}, seed);
        checkStepBack({false, 200, 170, nullptr}, seed);  // back over every input
        checkStepBack({false, 11000, 10000, nullptr}, seed);
    }
}

// One cycle at a time, back over every input and onto every checkpoint
// (where nothing is replayed, so the restore alone must be exact), then
// forward again: each state equals the plain run's. A step back lands
// after the inputs given before a cycle: that is where its checkpoint is.
TEST(StepBack, CycleByCycleBackAndForwardOverEveryInput) {
    constexpr std::uint64_t cycles = 200;
    static constexpr StepHistory::Limits close{16, 20};
    for (unsigned seed : {0u, 6u, 7u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const MemoryImage program = seed == 0 ? flagProgram() : randomProgram(seed);
        Session plain(computerWith(false));
        plain.load(program);
        plain.releaseReset();
        std::vector<Seen> beforeCycle;
        std::vector<Seen> afterCycle;
        for (std::uint64_t cycle = 0; cycle < cycles; ++cycle) {
            inputsBefore(cycle, plain.computer());
            beforeCycle.push_back(see(plain.computer()));
            plain.computer().runCycle();
            afterCycle.push_back(see(plain.computer()));
        }

        Session stepped(computerWith(false));
        Computer& computer = stepped.computer();
        StepHistory history(computer, &close);
        stepped.load(program);
        stepped.releaseReset();
        for (std::uint64_t cycle = 0; cycle < cycles; ++cycle) {
            inputsBefore(cycle, computer);
            computer.runCycle();
        }
        for (std::uint64_t cycle = cycles; cycle-- > 0;) {
            ASSERT_EQ(history.stepBack(1), 1u) << "at cycle " << cycle;
            const Seen back = see(computer);
            ASSERT_TRUE(back == beforeCycle[cycle])
                << "back before cycle " << cycle << ", " << firstDifference(back, beforeCycle[cycle]);
        }
        for (std::uint64_t cycle = 0; cycle < cycles; ++cycle) {
            inputsBefore(cycle, computer);
            computer.runCycle();
            const Seen again = see(computer);
            ASSERT_TRUE(again == afterCycle[cycle])
                << "forward after cycle " << cycle << ", " << firstDifference(again, afterCycle[cycle]);
        }
    }
}

TEST(StepBack, RandomProgramsOnTheRelayBuiltMemoryReturnExactly) {
    // Its default: checkpoints 2,048 cycles apart, so this replays 300 cycles.
    checkStepBack({true, 420, 300, nullptr}, 4);
    // Checkpoints close together: the oldest are dropped as new ones come.
    static constexpr StepHistory::Limits close{32, 10};
    checkStepBack({true, 400, 256, &close}, 5);
}

TEST(StepBack, TheHistoryIsBoundedAndSaysHowFarItReaches) {
    Session session(computerWith(false));
    StepHistory history(session.computer());
    session.load(randomProgram(9));
    session.releaseReset();
    for (int i = 0; i < 40000; ++i) session.computer().runCycle();
    const std::uint64_t reach = history.cyclesBack();
    EXPECT_GE(reach, 12032u);
    EXPECT_LE(reach, 48u * 256u);
    EXPECT_LE(history.bytesHeld(), 48u * 70000u);
    EXPECT_EQ(history.stepBack(reach + 100), reach) << "as far as it reaches";
    EXPECT_EQ(history.stepBack(1), 0u);
}

TEST(StepBack, AMemoryWithoutCopiesOrAnotherMemoryEndsTheHistory) {
    Session session(computerWith(false));
    StepHistory history(session.computer());
    session.load(randomProgram(10));
    session.releaseReset();
    for (int i = 0; i < 50; ++i) session.computer().runCycle();
    EXPECT_GT(history.cyclesBack(), 0u);
    session.computer().installMemory(std::make_unique<FastRAM>());
    EXPECT_EQ(history.cyclesBack(), 0u) << "nothing of the old memory can come back";
    EXPECT_EQ(history.stepBack(10), 0u);
    session.computer().installMemory(makeRelayMemory(RelayMemoryKind::Tree));
    for (int i = 0; i < 5; ++i) session.computer().runCycle();
    EXPECT_FALSE(history.available());
    EXPECT_EQ(history.stepBack(1), 0u);
}

// The panel's Step Back Instruction lands where Step Instruction stopped.
TEST(StepBack, TheMachineStepsBackByCyclesAndInstructions) {
    Machine machine(true);
    machine.computer().resetSwitch().setState(1);
    machine.computer().pauseSwitch().setState(1);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    const MemoryImage program = randomProgram(12);
    for (std::size_t a = 0; a < program.bytes.size(); ++a)
        machine.computer().loadByte(static_cast<std::uint16_t>(a), program.bytes[a]);
    machine.computer().resetSwitch().setState(0);
    machine.resetCommand();
    EXPECT_EQ(machine.stepBackCycle(), 1) << "the Reset command's cycle";
    EXPECT_EQ(machine.stepCycle(), 1);
    std::vector<Seen> stops;
    for (int i = 0; i < 6; ++i) {
        ASSERT_GT(machine.stepInstruction(), 0);
        stops.push_back(see(machine.computer()));
    }
    for (int i = 4; i >= 0; --i) {
        EXPECT_GT(machine.stepBackInstruction(), 0);
        EXPECT_TRUE(see(machine.computer()) == stops[static_cast<std::size_t>(i)])
            << "instruction " << i << ": "
            << firstDifference(see(machine.computer()), stops[static_cast<std::size_t>(i)]);
    }
    const Seen here = see(machine.computer());
    machine.stepCycle();
    EXPECT_EQ(machine.stepBackCycle(), 1);
    EXPECT_TRUE(see(machine.computer()) == here) << firstDifference(see(machine.computer()), here);
    // Not while the clock may run.
    machine.computer().pauseSwitch().setState(0);
    EXPECT_EQ(machine.stepBackCycle(), 0);
    EXPECT_EQ(machine.stepBackInstruction(), 0);
}

}  // namespace
}  // namespace tarnwick
