#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <thread>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "machine/Lamps.h"
#include "memory/FastRAM.h"
#include "memory/RelayLaneRAM.h"
#include "memory/RelayMemory.h"
#include "memory/SixtyFourKilobyteRAM.h"
#include "tests/app/ProbeMemory.h"
#include "tests/support/MemoryFiles.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ProbeMemory;
using testing::workedExample;

constexpr std::int32_t periodOf(std::chrono::milliseconds ms) {
    return static_cast<std::int32_t>(ms.count() * 10000);  // units of 100 ns
}

// Generous: these bound waits for things that happen within a period or two,
// and only matter when something is broken.
constexpr auto kPatience = 20s;

template <class Condition>
bool waitFor(Condition condition, Clock::duration timeout = kPatience) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A machine as start-up leaves it (byte array, Power off, Reset on, Pause
// off), with a probe in place of its memory.
class RunControlTest : public ::testing::Test {
protected:
    RunControlTest() : machine(true) {
        auto memory = std::make_unique<ProbeMemory>();
        probe = memory.get();
        machine.computer().installMemory(std::move(memory));
        machine.computer().resetSwitch().setState(1);
    }

    void click(ToggleSwitch& toggle, void (Machine::*command)()) {
        toggle.setState(toggle.isOn() ? 0 : 1);
        (machine.*command)();
    }
    void clickPower() { click(machine.computer().powerSwitch(), &Machine::powerCommand); }
    void clickReset() { click(machine.computer().resetSwitch(), &Machine::resetCommand); }
    void clickPause() { click(machine.computer().pauseSwitch(), &Machine::startSimulation); }

    // Power on, then Reset off: the thread starts.
    void run(std::chrono::milliseconds period) {
        machine.setClockPeriod(periodOf(period));
        clickPower();
        clickReset();
        ASSERT_TRUE(machine.simulationAlive());
    }
    void waitForThreadCycles(std::uint64_t count) {
        ASSERT_TRUE(waitFor([&] { return machine.threadCycles() >= count; })) << count << " cycles";
    }

    std::uint8_t read(std::uint16_t address) {
        return readMemoryRange(machine.computer(), address, address).at(0);
    }
    void write(std::uint16_t address, std::uint8_t byte) {
        MemoryImage image{address, address, {byte}};
        ASSERT_TRUE(writeMemoryImage(machine.computer(), image));
    }

    Machine machine;
    ProbeMemory* probe;
};

TEST_F(RunControlTest, FirstCycleComesOnePeriodAfterTheThreadStarts) {
    machine.setClockPeriod(periodOf(200ms));
    clickPower();
    EXPECT_FALSE(machine.simulationAlive()) << "Reset is on";
    const auto released = Clock::now();
    clickReset();
    waitForThreadCycles(1);
    const std::thread::id thread = machine.simulationThreadId();
    ASSERT_NE(thread, std::this_thread::get_id());
    const auto onThread = probe->stepsOn(thread);
    ASSERT_FALSE(onThread.empty());
    EXPECT_GE(onThread.front().time - released, 200ms);
    // The Power and Reset clicks ran their cycles on the window thread.
    EXPECT_EQ(probe->stepsOn(std::this_thread::get_id()).size(), 2u);
}

TEST_F(RunControlTest, PauseLetsAtMostOneMoreCycleRunThenTheThreadEnds) {
    run(20ms);
    waitForThreadCycles(2);
    clickPause();
    const std::uint64_t atPause = machine.threadCycles();
    ASSERT_TRUE(waitFor([&] { return !machine.simulationAlive(); }));
    EXPECT_LE(machine.threadCycles(), atPause + 1);
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(machine.threadCycles(), atPause + 1) << "no cycles after the thread ended";

    clickPause();
    EXPECT_TRUE(machine.simulationAlive()) << "Pause off starts a new thread";
    waitForThreadCycles(atPause + 2);
}

TEST_F(RunControlTest, PauseOffAgainWithinOnePeriodKeepsTheSameThread) {
    run(1000ms);
    waitForThreadCycles(1);  // just re-armed: a whole period until the next expiry
    const std::thread::id thread = machine.simulationThreadId();
    clickPause();
    clickPause();
    EXPECT_EQ(machine.simulationThreadId(), thread);
    waitForThreadCycles(2);
    EXPECT_TRUE(machine.simulationAlive());
    EXPECT_EQ(machine.simulationThreadId(), thread);
}

TEST_F(RunControlTest, StartingTwiceLeavesOneThread) {
    run(5ms);
    const std::thread::id thread = machine.simulationThreadId();
    machine.startSimulation();
    machine.startSimulation();
    EXPECT_EQ(machine.simulationThreadId(), thread);
    waitForThreadCycles(10);
    std::set<std::thread::id> threads;
    for (const auto& step : probe->steps()) threads.insert(step.thread);
    EXPECT_EQ(threads.size(), 2u) << "the window thread and one simulation thread";
}

TEST_F(RunControlTest, StopWithoutAThreadChangesNothing) {
    clickPower();
    ASSERT_FALSE(machine.simulationAlive());
    machine.stopSimulation();
    EXPECT_TRUE(machine.computer().powerSwitch().isOn());
}

TEST_F(RunControlTest, StopTurnsPowerOffAndReturnsOnlyAfterTheThreadEnded) {
    run(50ms);
    waitForThreadCycles(1);
    const int voltageCalls = probe->voltageCalls();
    machine.stopSimulation();
    EXPECT_FALSE(machine.computer().powerSwitch().isOn());
    EXPECT_FALSE(machine.simulationAlive());
    const std::size_t steps = probe->steps().size();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(probe->steps().size(), steps) << "no cycle after stopSimulation returned";
    EXPECT_EQ(probe->voltageCalls(), voltageCalls) << "stopping does not distribute power";
}

TEST_F(RunControlTest, NewPeriodTakesEffectAtTheNextReArm) {
    run(300ms);
    waitForThreadCycles(1);  // re-armed with 300 ms
    machine.setClockPeriod(periodOf(1ms));
    waitForThreadCycles(12);
    const auto steps = probe->stepsOn(machine.simulationThreadId());
    ASSERT_GE(steps.size(), 12u);
    EXPECT_GE(steps[1].time - steps[0].time, 300ms) << "the pending wait keeps the old period";
    // Ten fast periods: generous for a loaded machine, far below ten old ones.
    EXPECT_LT(steps[11].time - steps[1].time, 2000ms);
}

TEST_F(RunControlTest, ResetWithPowerOffRunsOneCycleAndStartsNothing) {
    machine.computer().resetSwitch().setState(1);
    clickReset();  // Reset off, Power still off
    EXPECT_EQ(probe->steps().size(), 1u);
    EXPECT_FALSE(machine.simulationAlive());
    EXPECT_FALSE(machine.computer().phaseLamps()[3].isOn()) << "the cycle ran unpowered";
}

// Which memory is in use is asked of the memory itself, so whoever put it
// there (a constructor, the swap, installMemory) cannot leave a flag behind.
// An edit is one memory step under the cycle lock: while another thread is
// inside a cycle, the edit waits for that cycle to end, and the memory sees
// the edit's step after the cycle's.
TEST(EditByte, WaitsForACycleRunningOnAnotherThread) {
    // Holds the cycle it is told of until released.
    struct Gate final : Computer::CycleWatcher {
        std::mutex lock;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
        void beforeCycle(const Computer&) override {
            std::unique_lock hold(lock);
            entered = true;
            changed.notify_all();
            changed.wait_for(hold, std::chrono::seconds(10), [&] { return released; });
        }
        void release() {
            std::scoped_lock hold(lock);
            released = true;
            changed.notify_all();
        }
    };
    // Paused before Power, so no simulation thread starts: the only cycle is
    // the one this test runs on a thread of its own.
    Machine machine(true);
    machine.computer().pauseSwitch().setState(1);
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    ASSERT_FALSE(machine.simulationAlive());
    ASSERT_TRUE(machine.canEdit());

    Gate gate;
    ASSERT_TRUE(machine.computer().addCycleWatcher(&gate));
    std::thread cycle([&] { machine.computer().runCycle(); });
    // Whatever fails below, the cycle is let go and the gate taken off.
    struct Cleanup {
        Machine& machine;
        Gate& gate;
        std::thread& cycle;
        ~Cleanup() {
            gate.release();
            if (cycle.joinable()) cycle.join();
            machine.computer().removeCycleWatcher(&gate);
        }
    } cleanup{machine, gate, cycle};
    {
        std::unique_lock hold(gate.lock);
        ASSERT_TRUE(gate.changed.wait_for(hold, std::chrono::seconds(10), [&] { return gate.entered; }))
            << "the other thread never began its cycle";
    }
    const std::uint64_t stepsInCycle = machine.computer().controlPanel().stepCount();
    auto edit = std::async(std::launch::async, [&] { return machine.editByte(0x0040, 0x5C); });
    // However long it is given, the edit cannot step the memory mid-cycle.
    EXPECT_EQ(edit.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
        << "the edit ran while a cycle held the machine";
    EXPECT_EQ(machine.computer().controlPanel().stepCount(), stepsInCycle);
    gate.release();
    cycle.join();
    ASSERT_EQ(edit.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the edit never ran";
    EXPECT_TRUE(edit.get());
    EXPECT_EQ(machine.computer().controlPanel().stepCount(), stepsInCycle + 2)
        << "the cycle's step, then the edit's";
    EXPECT_EQ(machine.computer().readByte(0x0040), 0x5C);
}

TEST(WhichMemory, AMachineBuiltOnTheByteArraySwapsToTheRelayBuiltMemoryFirst) {
    Machine machine(true);
    ASSERT_TRUE(machine.computer().usesFastRam());
    machine.toggleFastRam();
    EXPECT_FALSE(machine.computer().usesFastRam());
    EXPECT_TRUE(machine.computer().controlPanel().memory().relayBuilt());
    machine.toggleFastRam();
    EXPECT_TRUE(machine.computer().usesFastRam());
    EXPECT_NE(dynamic_cast<FastRAM*>(&machine.computer().controlPanel().memory()), nullptr);
}

TEST(WhichMemory, InstallingAMemoryChangesWhatTheComputerSaysIsInUse) {
    Computer computer(true);
    computer.installMemory(makeRelayMemory(RelayMemoryKind::Tree));
    EXPECT_FALSE(computer.usesFastRam()) << "the relay tree is in use";
    EXPECT_NE(dynamic_cast<SixtyFourKilobyteRAM*>(&computer.controlPanel().memory()), nullptr);
    computer.installMemory(std::make_unique<FastRAM>());
    EXPECT_TRUE(computer.usesFastRam());
    computer.installMemory(makeRelayMemory(RelayMemoryKind::Lanes));
    EXPECT_FALSE(computer.usesFastRam()) << "the lanes are in use";
}

TEST_F(RunControlTest, PowerOffErasesTheMemory) {
    clickPower();
    write(0x1234, 0xA5);
    ASSERT_EQ(read(0x1234), 0xA5);
    clickPower();  // off: one unpowered cycle
    clickPower();  // on again
    EXPECT_EQ(read(0x1234), 0);
}

TEST_F(RunControlTest, ToggleFastRamStopsAndLeavesPowerOffResetOnPauseOff) {
    run(5ms);
    machine.computer().pauseSwitch().setState(0);
    machine.toggleFastRam();
    EXPECT_FALSE(machine.simulationAlive());
    EXPECT_FALSE(machine.computer().powerSwitch().isOn());
    EXPECT_TRUE(machine.computer().resetSwitch().isOn());
    EXPECT_FALSE(machine.computer().pauseSwitch().isOn());
    EXPECT_FALSE(machine.computer().usesFastRam());
    EXPECT_NE(dynamic_cast<RelayLaneRAM*>(&machine.computer().controlPanel().memory()), nullptr);

    // The circuits keep their power until the next Power command: with Reset
    // on, a cycle still shows phase 3.
    machine.computer().runCycle();
    EXPECT_TRUE(machine.computer().phaseLamps()[3].isOn());

    machine.toggleFastRam();
    EXPECT_TRUE(machine.computer().usesFastRam());
    EXPECT_NE(dynamic_cast<FastRAM*>(&machine.computer().controlPanel().memory()), nullptr);
    // The new memory is unpowered: an unpowered byte-array step erases
    // everything before it stores, so the first byte is gone after the second.
    write(1, 0x11);
    write(2, 0x22);
    EXPECT_EQ(read(1), 0);
    clickPower();
    write(1, 0x11);
    write(2, 0x22);
    EXPECT_EQ(read(1), 0x11) << "powered by the next Power command";
}

std::filesystem::path writeImageFile(const std::vector<std::uint8_t>& image, int first, int last) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarnwick-run-control-" + std::to_string(::getpid()) + ".RAM");
    std::ofstream out(path, std::ios::binary);
    const std::uint8_t header[8] = {
        std::uint8_t(first >> 24), std::uint8_t(first >> 16), std::uint8_t(first >> 8), std::uint8_t(first),
        std::uint8_t(last >> 24),  std::uint8_t(last >> 16),  std::uint8_t(last >> 8),  std::uint8_t(last)};
    out.write(reinterpret_cast<const char*>(header), 8);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return path;
}

TEST_F(RunControlTest, LoadingWhileTheThreadRunsKeepsCyclesAndStepsApart) {
    // No store codes (11h) anywhere, so the running program cannot change
    // memory: what is there afterwards is exactly the file.
    std::mt19937 random(7);
    std::vector<std::uint8_t> image(160);
    for (auto& byte : image) {
        do byte = static_cast<std::uint8_t>(random());
        while (byte == 0x11);
    }
    const auto path = writeImageFile(image, 0, static_cast<int>(image.size()) - 1);

    machine.setClockPeriod(periodOf(1ms));
    machine.computer().resetSwitch().setState(0);  // the load's Power command starts the thread
    int addresses = 0;
    const auto error =
        machine.loadMemoryFile([&] { return std::optional(path.string()); }, [&] { ++addresses; });
    std::filesystem::remove(path);
    ASSERT_FALSE(error.has_value()) << *error;
    EXPECT_EQ(addresses, 160);
    EXPECT_GT(machine.threadCycles(), 0u) << "the thread ran during the load";
    machine.stopSimulation();
    machine.computer().powerSwitch().setState(1);  // stopping only moved the switch
    EXPECT_EQ(readMemoryRange(machine.computer(), 0, 159), image);
    EXPECT_EQ(probe->overlaps(), 0);
}

TEST_F(RunControlTest, RejectedFileWritesNothingAndCancelLeavesPowerOn) {
    write(3, 0x77);
    const auto shortFile = writeImageFile({1, 2, 3}, 0, 9);
    const auto error = machine.loadMemoryFile([&] { return std::optional(shortFile.string()); });
    std::filesystem::remove(shortFile);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("needs 18 bytes"), std::string::npos) << *error;
    EXPECT_TRUE(machine.computer().powerSwitch().isOn());
    for (std::uint16_t a = 0; a < 10; ++a) EXPECT_EQ(read(a), 0) << a;

    machine.computer().powerSwitch().setState(0);
    EXPECT_FALSE(machine.loadMemoryFile([] { return std::nullopt; }).has_value());
    EXPECT_TRUE(machine.computer().powerSwitch().isOn()) << "cancelled after powering on";
}

TEST_F(RunControlTest, ALoadStopsAfterTheAddressWhoseCallbackSaysSoAndKeepsItsRange) {
    const auto path = writeImageFile(std::vector<std::uint8_t>(0x30, 0x5C), 0x20, 0x2F);
    int addresses = 0;
    const auto error = machine.loadMemoryFile([&] { return std::optional(path.string()); },
                                              [&] { return ++addresses < 3; }, {});
    std::filesystem::remove(path);
    ASSERT_FALSE(error.has_value()) << *error;
    EXPECT_EQ(readMemoryRange(machine.computer(), 0x20, 0x23),
              (std::vector<std::uint8_t>{0x5C, 0x5C, 0x5C, 0}));
    ASSERT_TRUE(machine.lastLoadedRange().has_value());
    EXPECT_EQ(machine.lastLoadedRange()->first, 0x20);
    EXPECT_EQ(machine.lastLoadedRange()->last, 0x2F);

    // A reader of its own stands in for the file.
    const auto fromReader =
        machine.loadMemoryFile([] { return std::optional<std::string>("anything"); }, [] { return true; },
                               [](const std::string&) {
                                   return MemoryFileResult{MemoryImage{0x40, 0x41, {0xAB, 0xCD}}, {}};
                               });
    ASSERT_FALSE(fromReader.has_value());
    EXPECT_EQ(readMemoryRange(machine.computer(), 0x40, 0x41), (std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_EQ(machine.lastLoadedRange()->first, 0x40);
}

TEST_F(RunControlTest, SteppingActsOnlyWithPowerAndPauseOn) {
    const auto steps = [&] { return probe->steps().size(); };
    EXPECT_EQ(machine.stepCycle(), 0) << "Power off";
    EXPECT_EQ(machine.stepInstruction(), 0);
    clickPower();
    EXPECT_EQ(machine.stepCycle(), 0) << "Pause off";
    const auto before = steps();
    machine.computer().pauseSwitch().setState(1);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(machine.stepCycle(), 1);
        EXPECT_EQ(steps(), before + static_cast<std::size_t>(i)) << "one cycle, one memory step";
    }
    EXPECT_FALSE(machine.simulationAlive());
}

TEST_F(RunControlTest, StepInstructionStopsWhenEachCodeIsLatched) {
    clickPower();
    const auto image = workedExample();
    ASSERT_TRUE(writeMemoryImage(machine.computer(), MemoryImage{0, 0x21, image}));
    machine.computer().pauseSwitch().setState(1);
    clickReset();  // Reset off: its cycle runs, no thread starts while paused
    ASSERT_FALSE(machine.simulationAlive());

    struct Expected {
        std::uint8_t code;
        std::uint8_t accumulator;
    };
    // Each step ends in phase 0 with the clock off, the new code on its lamps
    // and the previous instruction's result in the accumulator.
    const Expected expected[] = {{0x10, 0x00}, {0x20, 0x5A}, {0x11, 0x8D}, {0xFF, 0x8D}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const int cycles = machine.stepInstruction();
        EXPECT_EQ(machine.computer().codeValue(), expected[i].code) << i;
        EXPECT_EQ(machine.computer().accumulatorValue(), expected[i].accumulator) << i;
        EXPECT_TRUE(machine.computer().phaseLamps()[0].isOn()) << i;
        EXPECT_FALSE(machine.computer().clockLamp().isOn()) << i;
        if (i > 0)
            EXPECT_EQ(cycles, 8) << "a three-byte instruction is eight cycles";
        else
            EXPECT_LE(cycles, Machine::instructionStepLimit);
    }
    EXPECT_EQ(read(0x22), 0x8D);
    // Halted: a step runs one cycle and comes back, the clock stays off.
    EXPECT_EQ(machine.stepInstruction(), 1);
    EXPECT_EQ(machine.computer().codeValue(), 0xFF);

    // Reset held on stops the clock: the bound ends the step.
    machine.computer().resetSwitch().setState(1);
    EXPECT_EQ(machine.stepInstruction(), Machine::instructionStepLimit);
}

TEST_F(RunControlTest, StepRightAfterPauseWaitsForTheThreadsLastPeriod) {
    run(200ms);
    waitForThreadCycles(1);
    clickPause();  // the thread is asleep until its next expiry
    EXPECT_EQ(machine.stepCycle(), 1);
    EXPECT_FALSE(machine.simulationAlive());
    EXPECT_EQ(probe->overlaps(), 0);
}

TEST_F(RunControlTest, ReadingMemoryHoldsTheThreadAndLeavesSwitchesAndLampsAsTheyWere) {
    clickPower();
    std::vector<std::uint8_t> bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(writeMemoryImage(machine.computer(), MemoryImage{0x100, 0x10F, bytes}));
    // Jumps to itself for ever: the program never touches memory.
    ASSERT_TRUE(writeMemoryImage(machine.computer(), MemoryImage{0, 2, {0x30, 0x00, 0x00}}));
    machine.computer().controlPanel().takeoverSwitch.setState(1);
    machine.computer().controlPanel().dataLamps[0].setState(1);
    machine.computer().controlPanel().dataLamps[5].setState(1);

    const auto read = machine.readMemory(0x100, 0x10F);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, bytes) << "read from memory, not from the panel's switches";
    EXPECT_TRUE(machine.computer().controlPanel().takeoverSwitch.isOn());
    std::uint8_t lamps = 0;
    for (int b = 0; b < 8; ++b) lamps |= machine.computer().controlPanel().dataLamps[b].isOn() ? 1 << b : 0;
    EXPECT_EQ(lamps, 0x21);

    machine.computer().controlPanel().takeoverSwitch.setState(0);
    machine.setClockPeriod(periodOf(1ms));
    clickReset();
    ASSERT_TRUE(machine.simulationAlive());
    waitForThreadCycles(3);
    EXPECT_EQ(machine.readMemory(0x100, 0x10F), std::optional(bytes));
    EXPECT_TRUE(machine.simulationAlive()) << "running again";
    EXPECT_TRUE(machine.computer().powerSwitch().isOn());
    const auto cycles = machine.threadCycles();
    waitForThreadCycles(cycles + 2);
    EXPECT_EQ(probe->overlaps(), 0);

    int addresses = 0;
    EXPECT_FALSE(machine.readMemory(0x100, 0x10F, [&] { return ++addresses < 4; }).has_value());
    EXPECT_EQ(addresses, 4);
    EXPECT_TRUE(machine.simulationAlive());
}

// Window-thread commands, memory steps and loads while the thread runs at
// the fastest clock. Run under ThreadSanitizer, it must report nothing.
TEST_F(RunControlTest, CommandsWhileRunningNeverOverlapCycles) {
    std::vector<std::uint8_t> image(12, 0x50);
    const auto path = writeImageFile(image, 0, 11);
    run(1ms);
    const auto until = Clock::now() + 1500ms;
    for (int round = 0; Clock::now() < until; ++round) {
        machine.computer().stepControlPanel();
        machine.setClockPeriod(periodOf(std::chrono::milliseconds(1 + round % 3)));
        if (round % 4 == 0) {
            clickPause();
            clickPause();
        }
        if (round % 7 == 0) {
            clickReset();
            clickReset();
        }
        if (round % 11 == 0) {
            machine.computer().resetSwitch().setState(0);
            machine.computer().pauseSwitch().setState(0);
            ASSERT_FALSE(machine.loadMemoryFile([&] { return std::optional(path.string()); }).has_value());
        }
        if (round % 13 == 0) {
            clickPower();
            clickPower();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    std::filesystem::remove(path);
    machine.stopSimulation();
    EXPECT_EQ(probe->overlaps(), 0);
    EXPECT_GT(machine.threadCycles(), 0u);
}

// What the front panel's background loads and saves hand to their worker.
struct TransferWatch {
    std::atomic<int> calls{0};
    std::atomic<std::thread::id> thread{};
    MemoryTransfer::Finished notice() {
        return [this] {
            thread.store(std::this_thread::get_id());
            calls.fetch_add(1);
        };
    }
};

Machine::ImageReader imageOf(MemoryImage image) {
    return [image](const std::string&) { return MemoryFileResult{image, {}}; };
}

// A load off the caller's thread while the simulation thread runs: one memory
// step per address on the worker, 10 ms apart with the byte array, never
// overlapping a cycle, and the end announced once, from the worker.
TEST_F(RunControlTest, ABackgroundLoadStepsOnItsWorkerApartFromTheCycles) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> image(24);
    for (auto& byte : image) {
        do byte = static_cast<std::uint8_t>(random());
        while (byte == 0x11);  // no store: the program cannot change memory
    }
    machine.setClockPeriod(periodOf(1ms));
    machine.computer().resetSwitch().setState(0);
    machine.powerOnForLoad();
    ASSERT_TRUE(machine.simulationAlive());
    TransferWatch watch;
    ASSERT_FALSE(machine.startLoad("", imageOf(MemoryImage{0x10, 0x27, image}), watch.notice()).has_value());
    EXPECT_TRUE(machine.transferActive());
    ASSERT_TRUE(waitFor([&] { return watch.calls.load() > 0; })) << "the load's end";
    const Machine::TransferResult result = machine.finishTransfer();
    EXPECT_FALSE(result.stopped);
    EXPECT_FALSE(machine.transferActive());
    EXPECT_EQ(watch.calls.load(), 1);
    const std::thread::id worker = watch.thread.load();
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_NE(worker, machine.simulationThreadId());

    const auto steps = probe->stepsOn(worker);
    ASSERT_EQ(steps.size(), image.size()) << "one memory step per address";
    for (std::size_t i = 1; i < steps.size(); ++i)
        EXPECT_GE(steps[i].time - steps[i - 1].time, 10ms) << "the pause after address " << i - 1;
    EXPECT_GT(machine.threadCycles(), 0u) << "the thread ran during the load";
    machine.stopSimulation();
    machine.computer().powerSwitch().setState(1);
    EXPECT_EQ(readMemoryRange(machine.computer(), 0x10, 0x27), image);
    EXPECT_EQ(probe->overlaps(), 0);
    ASSERT_TRUE(machine.lastLoadedRange().has_value());
    EXPECT_EQ(machine.lastLoadedRange()->first, 0x10);
}

TEST_F(RunControlTest, ABackgroundLoadStopsAfterTheCurrentAddressAndARejectedOneStartsNothing) {
    TransferWatch watch;
    machine.powerOnForLoad();
    // About ten seconds of bytes at 10 ms each: it is stopped long before.
    ASSERT_FALSE(machine
                     .startLoad("", imageOf(MemoryImage{0, 999, std::vector<std::uint8_t>(1000, 0x5C)}),
                                watch.notice())
                     .has_value());
    ASSERT_TRUE(waitFor([&] { return probe->steps().size() >= 4; }));  // the Power cycle, then three bytes
    EXPECT_TRUE(machine.startLoad("", imageOf(MemoryImage{0, 0, {1}}), {}).has_value()) << "one at a time";
    machine.stopTransfer();
    ASSERT_TRUE(waitFor([&] { return watch.calls.load() > 0; })) << "the stopped load's end";
    EXPECT_TRUE(machine.finishTransfer().stopped);
    const std::size_t written = probe->stepsOn(watch.thread.load()).size();
    ASSERT_GE(written, 3u);
    ASSERT_LT(written, 1000u);
    const std::vector<std::uint8_t> bytes = readMemoryRange(machine.computer(), 0, 999);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x5C), static_cast<long>(written));
    EXPECT_EQ(bytes[written - 1], 0x5C);
    EXPECT_EQ(bytes[written], 0) << "nothing after the address it stopped at";

    const auto rejected = machine.startLoad(
        "short",
        [](const std::string&) {
            return MemoryFileResult{std::nullopt, "short: too short"};
        },
        watch.notice());
    ASSERT_TRUE(rejected.has_value());
    EXPECT_EQ(*rejected, "short: too short");
    EXPECT_FALSE(machine.transferActive());
    EXPECT_EQ(watch.calls.load(), 1);
}

// A background save holds the running clock and Takeover as readMemory does
// and puts both back when it is finished; a stopped save gives no bytes.
TEST_F(RunControlTest, ABackgroundSaveReadsWithTheThreadHeldAndPutsEverythingBack) {
    clickPower();
    std::vector<std::uint8_t> bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x30 + i);
    ASSERT_TRUE(writeMemoryImage(machine.computer(), MemoryImage{0x100, 0x10F, bytes}));
    ASSERT_TRUE(writeMemoryImage(machine.computer(), MemoryImage{0, 2, {0x30, 0x00, 0x00}}));  // JMP 0000h
    machine.setClockPeriod(periodOf(1ms));
    clickReset();
    ASSERT_TRUE(machine.simulationAlive());
    machine.computer().controlPanel().takeoverSwitch.setState(1);

    TransferWatch watch;
    ASSERT_TRUE(machine.startSave(0x100, 0x10F, watch.notice()));
    EXPECT_FALSE(machine.simulationAlive()) << "held for the read";
    EXPECT_FALSE(machine.computer().controlPanel().takeoverSwitch.isOn());
    ASSERT_TRUE(waitFor([&] { return watch.calls.load() > 0; }));
    const Machine::TransferResult saved = machine.finishTransfer();
    ASSERT_TRUE(saved.bytes.has_value());
    EXPECT_EQ(*saved.bytes, bytes);
    EXPECT_TRUE(machine.computer().controlPanel().takeoverSwitch.isOn());
    EXPECT_TRUE(machine.simulationAlive()) << "running again";

    machine.computer().controlPanel().takeoverSwitch.setState(0);
    TransferWatch stopped;
    ASSERT_TRUE(machine.startSave(0x0000, 0xFFFF, stopped.notice()));
    EXPECT_FALSE(machine.startSave(0x0000, 0x0001, {})) << "one at a time";
    machine.stopTransfer();
    ASSERT_TRUE(waitFor([&] { return stopped.calls.load() > 0; }));
    const Machine::TransferResult abandoned = machine.finishTransfer();
    EXPECT_TRUE(abandoned.stopped);
    EXPECT_FALSE(abandoned.bytes.has_value());
    EXPECT_TRUE(machine.simulationAlive());
    machine.stopSimulation();
    EXPECT_EQ(probe->overlaps(), 0);
}

// What Save offers: the last load's range grown by every later write, the
// program's stores included; a new load starts afresh.
TEST_F(RunControlTest, TheDefaultSaveRangeTakesInEveryAddressWrittenSinceTheLoad) {
    auto range = [&] {
        const Machine::AddressRange r = machine.defaultSaveRange();
        return std::pair<int, int>{r.first, r.last};
    };
    EXPECT_EQ(range(), std::pair(0x0000, 0x00FF)) << "nothing loaded or written";
    // LDA 0010h, STA 0300h, HLT, and the byte at 0010h.
    std::vector<std::uint8_t> program(0x11, 0);
    const std::uint8_t code[] = {0x10, 0x00, 0x10, 0x11, 0x03, 0x00, 0xFF};
    std::copy(std::begin(code), std::end(code), program.begin());
    program[0x10] = 0x42;
    ASSERT_FALSE(machine
                     .loadMemoryFile([] { return std::optional<std::string>("p"); }, {},
                                     imageOf(MemoryImage{0, 0x10, program}))
                     .has_value());
    EXPECT_EQ(range(), std::pair(0x0000, 0x0010));
    machine.setClockPeriod(periodOf(1ms));
    clickReset();
    ASSERT_TRUE(waitFor([&] {
        return lampValue(machine.computer().codeLamps(), LampOrder::highBitFirst) == 0xFF;
    })) << "HLT";
    machine.stopSimulation();
    machine.computer().powerSwitch().setState(1);
    EXPECT_EQ(read(0x300), 0x42);
    EXPECT_EQ(range(), std::pair(0x0000, 0x0300));

    ASSERT_FALSE(machine
                     .loadMemoryFile([] { return std::optional<std::string>("q"); }, {},
                                     imageOf(MemoryImage{0x20, 0x21, {1, 2}}))
                     .has_value());
    EXPECT_EQ(range(), std::pair(0x0020, 0x0021));
    write(0x08, 0x99);
    EXPECT_EQ(range(), std::pair(0x0008, 0x0021));
}

TEST(MachineShutdown, DestroyingARunningMachineJoinsItsThread) {
    auto machine = std::make_unique<Machine>(true);
    machine->setClockPeriod(periodOf(1ms));
    machine->computer().powerSwitch().setState(1);
    machine->powerCommand();
    ASSERT_TRUE(waitFor([&] { return machine->threadCycles() > 3; }));
    machine.reset();  // must not terminate or leave the thread touching freed memory
    SUCCEED();
}

// A machine whose system has no thread to give until told otherwise.
class ThreadlessMachine : public Machine {
public:
    ThreadlessMachine() : Machine(true) {}
    bool threadsAvailable = false;

protected:
    std::thread launchSimulationThread() override {
        if (!threadsAvailable)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return Machine::launchSimulationThread();
    }
};

TEST(RunControl, AThreadThatCannotStartLeavesTheMachineStoppedAndStartableAgain) {
    ThreadlessMachine machine;
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    machine.computer().resetSwitch().setState(0);
    EXPECT_NO_THROW(machine.resetCommand());
    EXPECT_FALSE(machine.simulationAlive());
    EXPECT_NO_THROW(machine.startSimulation());
    EXPECT_FALSE(machine.simulationAlive());

    machine.threadsAvailable = true;
    machine.startSimulation();  // the Pause command, say
    EXPECT_TRUE(machine.simulationAlive());
    ASSERT_TRUE(waitFor([&] { return machine.threadCycles() > 0; })) << "a cycle on the new thread";
    machine.stopSimulation();
    EXPECT_FALSE(machine.simulationAlive());
}

}  // namespace
}  // namespace tarnwick
