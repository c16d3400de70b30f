// The control panel's copy of memory, which the Memory window shows: it must
// hold exactly the bytes the memory itself holds, for either memory, through
// a program's stores, the loader, Power off and a memory swap.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/Machine.h"
#include "app/Session.h"
#include "machine/MachineSnapshot.h"

namespace tarnwick {
namespace {

// A loop that stores an ever-changing value at addresses 0935h apart from
// 0100h up, by rewriting its own store's address: 27 stores spread over the
// whole 64 KB in its first 2,376 cycles, none back into the program.
MemoryImage scatteringProgram() {
    MemoryImage image;
    image.first = 0;
    image.last = 0x43;
    image.bytes = {
        0x10, 0x00, 0x40,  // 0000 LDA value
        0x20, 0x00, 0x41,  // 0003 ADD valueStep
        0x11, 0x00, 0x40,  // 0006 STA value
        0x11, 0x01, 0x00,  // 0009 STA 0100h (address rewritten below)
        0x10, 0x00, 0x0B,  // 000C LDA low byte of the store's address
        0x20, 0x00, 0x42,  // 000F ADD lowStride
        0x11, 0x00, 0x0B,  // 0012 STA it back
        0x10, 0x00, 0x0A,  // 0015 LDA high byte
        0x22, 0x00, 0x43,  // 0018 ADC highStride
        0x11, 0x00, 0x0A,  // 001B STA it back
        0x30, 0x00, 0x00,  // 001E JMP 0000h
    };
    image.bytes.resize(0x44, 0);
    image.bytes[0x41] = 0x07;  // valueStep
    image.bytes[0x42] = 0x35;  // lowStride
    image.bytes[0x43] = 0x09;  // highStride
    return image;
}

constexpr int scatterCycles = 27 * 88;

// Every byte of the copy against the memory: read where the memory stores
// it, or (stepped) read back one memory step per address through the
// control panel, as the RAM control panel's own switches would.
enum class Read { stored, stepped };
void expectCopyMatchesMemory(Session& session, const char* when, Read read = Read::stored) {
    MachineSnapshot snapshot;
    session.computer().copyState(snapshot);
    int mismatches = 0;
    for (std::uint32_t a = 0; a < 0x10000; ++a) {
        const auto address = static_cast<std::uint16_t>(a);
        const std::uint8_t held =
            read == Read::stepped ? session.peek(address) : session.computer().controlPanel().peek(address);
        if (snapshot.memory[a] != held && ++mismatches <= 5)
            ADD_FAILURE() << when << ": the copy shows " << int(snapshot.memory[a]) << " at " << std::hex << a
                          << "h, the memory holds " << int(held);
    }
    EXPECT_EQ(mismatches, 0) << when;
}

class MemoryCopyTest : public ::testing::TestWithParam<bool> {
protected:
    bool fastRam() const { return GetParam(); }
};

TEST_P(MemoryCopyTest, FollowsAProgramWritingAllOverMemory) {
    Session session(fastRam());
    ASSERT_TRUE(session.load(scatteringProgram()));
    expectCopyMatchesMemory(session, "after the load");
    ASSERT_TRUE(session.start());
    for (int i = 0; i < scatterCycles; ++i) session.runCycle();

    MachineSnapshot snapshot;
    session.computer().copyState(snapshot);
    int written = 0;
    for (std::uint32_t a = 0x100; a < 0x10000; ++a) written += snapshot.memory[a] != 0;
    EXPECT_GE(written, 25) << "the program should have stored all over memory";
    expectCopyMatchesMemory(session, "after the program", Read::stepped);
    ASSERT_FALSE(snapshot.recentWrites.empty());
    EXPECT_LE(snapshot.recentWrites.back().step, snapshot.memorySteps);
    EXPECT_NE(snapshot.memory[snapshot.recentWrites.back().address], 0)
        << "the newest write is a stored value";
}

TEST_P(MemoryCopyTest, PowerOffEraseAndSwapLeaveTheCopyEqualToMemory) {
    Session session(fastRam());
    ASSERT_TRUE(session.load(scatteringProgram()));
    Computer& computer = session.computer();
    // Power off and one cycle: the memory empties itself.
    computer.powerSwitch().setState(0);
    computer.applyPower();
    expectCopyMatchesMemory(session, "after Power off");
    MachineSnapshot snapshot;
    computer.copyState(snapshot);
    EXPECT_EQ(snapshot.memory[0x41], 0);

    computer.powerSwitch().setState(1);
    computer.applyPower();
    computer.loadByte(0x1234, 0xA5);
    expectCopyMatchesMemory(session, "after a write once powered again");

    computer.replaceMemory(!fastRam());
    expectCopyMatchesMemory(session, "after the memory swap");
}

INSTANTIATE_TEST_SUITE_P(BothMemories, MemoryCopyTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "byteArray" : "relayBuilt"; });

// Stepping back restores the memory's own state: the copy follows it back
// over the store and forward again.
TEST(MemoryCopyStepBackTest, FollowsARestoredState) {
    Machine machine(true);
    machine.computer().resetSwitch().setState(1);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    for (std::uint16_t a = 0; a < sizeof program; ++a) machine.computer().loadByte(a, program[a]);
    machine.computer().loadByte(0x20, 0x5A);
    machine.computer().loadByte(0x21, 0x33);
    machine.computer().pauseSwitch().setState(1);
    machine.computer().resetSwitch().setState(0);
    machine.resetCommand();
    MachineSnapshot snapshot;
    for (int i = 0; i < 60 && machine.computer().controlPanel().peek(0x22) == 0; ++i) machine.stepCycle();
    machine.computer().copyState(snapshot);
    ASSERT_EQ(snapshot.memory[0x22], 0x8D);
    int back = 0;
    while (back < 20 && machine.stepBackCycle() == 1) ++back;
    ASSERT_GE(back, 10) << "the history should reach back before the store";
    machine.computer().copyState(snapshot);
    EXPECT_EQ(snapshot.memory[0x22], machine.computer().controlPanel().peek(0x22));
    EXPECT_EQ(snapshot.memory[0x22], 0x00);
}

// The address of the instruction being executed, from the program counter
// and the phase, at every cycle of the worked example: each cycle's address
// must be the start of one of its four instructions, in program order.
TEST(InstructionAddressTest, FollowsTheWorkedExampleCycleByCycle) {
    Session session(true);
    MemoryImage image;
    image.first = 0;
    image.last = 0x21;
    image.bytes = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
    image.bytes.resize(0x22, 0);
    image.bytes[0x20] = 0x5A;
    image.bytes[0x21] = 0x33;
    ASSERT_TRUE(session.load(image));
    ASSERT_TRUE(session.start());
    // Cycle 1 is phase 0 of LDA at 0000h; each three-byte instruction takes 8.
    std::vector<std::uint16_t> seen;
    for (int cycle = 1; cycle <= 30; ++cycle) {
        if (cycle > 1) session.runCycle();
        MachineSnapshot s;
        session.computer().copyState(s);
        seen.push_back(instructionAddress(s.programCounter, s.phase, s.code));
    }
    for (int cycle = 1; cycle <= 8; ++cycle) EXPECT_EQ(seen[cycle - 1], 0x0000) << "cycle " << cycle;
    for (int cycle = 9; cycle <= 16; ++cycle) EXPECT_EQ(seen[cycle - 1], 0x0003) << "cycle " << cycle;
    for (int cycle = 17; cycle <= 24; ++cycle) EXPECT_EQ(seen[cycle - 1], 0x0006) << "cycle " << cycle;
    // HLT: fetched in cycles 25 and 26, then phase 3 for good.
    for (int cycle = 25; cycle <= 30; ++cycle) EXPECT_EQ(seen[cycle - 1], 0x0009) << "cycle " << cycle;
}

}  // namespace
}  // namespace tarnwick
