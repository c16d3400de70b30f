// Breakpoints and watchpoints: the cycle a run stops after, on both
// memories, in a session and on the Machine's simulation thread.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/Machine.h"
#include "app/Session.h"
#include "machine/Lamps.h"
#include "memory/RelayMemory.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// 0000h lda 0020h; 0003h shl; 0004h sta 0021h; 0007h nop; 0008h jmp 0003h.
MemoryImage loopProgram() {
    MemoryImage image;
    image.first = 0;
    image.last = 0x21;
    image.bytes = {0x10, 0x00, 0x20, 0x44, 0x11, 0x00, 0x21, 0x50, 0x30, 0x00, 0x03};
    image.bytes.resize(0x22, 0);
    image.bytes[0x20] = 0x01;
    return image;
}

std::unique_ptr<Session> sessionWith(bool relayMemory) {
    auto computer = std::make_unique<Computer>(true);
    if (relayMemory) computer->installMemory(makeRelayMemory());
    auto session = std::make_unique<Session>(std::move(computer));
    session->load(loopProgram());
    session->releaseReset();
    return session;
}

// Instruction starts of the loop's first two passes, counted from cycle 1:
// 8 cycles a three-byte instruction, 4 a one-byte one.
TEST(Breakpoints, StopInTheFirstCycleOfTheInstructionNeitherEarlierNorLater) {
    const struct {
        std::uint16_t address;
        std::uint64_t cycle;
    } cases[] = {{0x0000, 1}, {0x0003, 9}, {0x0004, 13}, {0x0007, 21}, {0x0008, 25}, {0x0003, 33}};
    for (bool relayMemory : {false, true}) {
        const auto session = sessionWith(relayMemory);
        std::uint8_t previousCode = 0;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(relayMemory ? "relay-built memory" : "byte array") + ", breakpoint at " +
                         std::to_string(c.address));
            session->stopConditions.clear();
            session->stopConditions.setBreakpoint(c.address, true);
            ASSERT_EQ(session->run(1000), Session::End::breakpoint);
            EXPECT_EQ(session->cycle(), c.cycle);
            EXPECT_EQ(session->lastStop(),
                      (StopConditions::Stop{StopConditions::Kind::breakpoint, c.address}));
            // Not late: the address is out, the code not yet latched.
            const LampReading l = session->lamps();
            EXPECT_EQ(l.address, c.address);
            EXPECT_EQ(l.phase, 0);
            EXPECT_TRUE(l.clock);
            EXPECT_EQ(session->computer().codeValue(), previousCode)
                << "still the previous instruction's code";
            // Not early: the very next cycle fetches it.
            session->runCycle();
            EXPECT_TRUE(session->computer().codeStrobed());
            EXPECT_EQ(session->computer().codeValue(), loopProgram().bytes[c.address]);
            previousCode = session->computer().codeValue();
        }
    }
}

TEST(Watchpoints, StopAfterTheCycleThatWritesAndNotForReads) {
    for (bool relayMemory : {false, true}) {
        SCOPED_TRACE(relayMemory ? "relay-built memory" : "byte array");
        const auto session = sessionWith(relayMemory);
        session->stopConditions.setWatchpoint(0x0020, true);  // only read
        session->stopConditions.setWatchpoint(0x0021, true);
        // The store at 0004h runs cycles 13 to 20 and writes in the last.
        ASSERT_EQ(session->run(1000), Session::End::watchpoint);
        EXPECT_EQ(session->cycle(), 20u);
        EXPECT_EQ(session->peek(0x0021), 0x02);
        EXPECT_EQ(session->lastStop(), (StopConditions::Stop{StopConditions::Kind::watchpoint, 0x0021}));
        // The next pass writes again, 24 cycles later.
        ASSERT_EQ(session->run(1000), Session::End::watchpoint);
        EXPECT_EQ(session->cycle(), 44u);
        EXPECT_EQ(session->peek(0x0021), 0x04);
        session->stopConditions.clear();
        EXPECT_EQ(session->run(100), Session::End::cycleLimit);
        EXPECT_FALSE(session->lastStop());
    }
}

TEST(StopConditionSet, KeepsAddressesAndForgetsThem) {
    StopConditions set;
    EXPECT_TRUE(set.empty());
    set.setBreakpoint(0x1234, true);
    set.setBreakpoint(0x0010, true);
    set.setBreakpoint(0x0010, true);
    set.setWatchpoint(0xFFFF, true);
    EXPECT_EQ(set.breakpoints(), (std::vector<std::uint16_t>{0x0010, 0x1234}));
    EXPECT_EQ(set.watchpoints(), (std::vector<std::uint16_t>{0xFFFF}));
    EXPECT_TRUE(set.hasBreakpoint(0x1234));
    EXPECT_FALSE(set.hasWatchpoint(0x1234));
    set.setBreakpoint(0x1234, false);
    EXPECT_FALSE(set.hasBreakpoint(0x1234));
    set.clear();
    EXPECT_TRUE(set.empty());
}

// On the simulation thread at the fastest clock: Pause goes on, no further
// cycle runs, the thread ends and the lamps show the stopping cycle.
TEST(Breakpoints, PauseTheRunningMachine) {
    for (bool fastRam : {true, false}) {
        SCOPED_TRACE(fastRam ? "byte array" : "relay-built memory");
        Machine machine(fastRam);
        machine.setClockPeriod(Machine::fastestClockPeriod);
        machine.computer().resetSwitch().setState(1);
        machine.computer().powerSwitch().setState(1);
        machine.powerCommand();
        const MemoryImage program = loopProgram();
        for (std::size_t a = 0; a < program.bytes.size(); ++a)
            machine.computer().loadByte(static_cast<std::uint16_t>(a), program.bytes[a]);
        std::atomic<int> told{0};
        machine.stopped = [&](const StopConditions::Stop& stop) {
            if (stop.address == 0x0007) ++told;
        };
        machine.stopConditions.setBreakpoint(0x0007, true);
        machine.computer().resetSwitch().setState(0);
        machine.resetCommand();

        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (machine.simulationAlive() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_FALSE(machine.simulationAlive())
            << "the breakpoint did not stop the thread within 10 s; cycles " << machine.threadCycles()
            << " address " << readLamps(machine.computer()).address;
        EXPECT_TRUE(machine.computer().pauseSwitch().isOn());
        EXPECT_EQ(told.load(), 1);
        EXPECT_EQ(machine.lastStop(), (StopConditions::Stop{StopConditions::Kind::breakpoint, 0x0007}));
        const LampReading l = readLamps(machine.computer());
        EXPECT_EQ(l.address, 0x0007);
        EXPECT_EQ(l.phase, 0);
        EXPECT_TRUE(l.clock);
        EXPECT_EQ(machine.computer().codeValue(), 0x11) << "the store's code: the nop is not fetched";
        // Going on from there stops at the next pass.
        machine.computer().pauseSwitch().setState(0);
        machine.startSimulation();
        const auto again = std::chrono::steady_clock::now() + 10s;
        while (told.load() < 2 && std::chrono::steady_clock::now() < again) std::this_thread::sleep_for(1ms);
        EXPECT_EQ(told.load(), 2) << "the second pass did not stop within 10 s";
        machine.stopSimulation();
    }
}

}  // namespace
}  // namespace tarnwick
