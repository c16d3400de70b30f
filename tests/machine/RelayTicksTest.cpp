// The relay ticks the code states for the machine and the relay-built memory,
// counted. This executable builds its own copy of the machine and memory
// sources with every relay tick counted, so what it counts is what the
// product's steps do. The lanes build of the memory steps the same relays to
// the same states as the tree (see LanesMatchTreeTest) without ticking them
// one by one, so the tree stands for both here.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "machine/Computer.h"
#include "memory/MemoryFile.h"
#include "memory/RelayMemory.h"
#include "memory/SixtyFourKilobyteRAM.h"

#ifndef TARNWICK_COUNT_RELAY_TICKS
#error "without tick counting this test would count nothing"
#endif

namespace tarnwick {
namespace {

template <class Step>
std::uint64_t ticksOf(Step&& step) {
    const std::uint64_t before = relayTicksCounted;
    step();
    return relayTicksCounted - before;
}

// Powered, then stepped with its write line on and off: a part's count must
// not depend on what it is doing.
template <class Part>
void expectTicksPerStep(Part& part, const char* name) {
    part.setVoltage(true);
    part.setWrite(true);
    EXPECT_EQ(ticksOf([&] { part.step(); }), Part::ticksPerStep) << name;
    part.setWrite(false);
    EXPECT_EQ(ticksOf([&] { part.step(); }), Part::ticksPerStep) << name;
}

TEST(RelayTicks, EachPartOfTheRelayMemoryTicksWhatItStates) {
    MemoryCell cell;
    cell.setVoltage(true);
    for (const bool enable : {true, false, true}) {
        cell.setWriteEnable(enable);
        cell.setData(enable);
        EXPECT_EQ(ticksOf([&] { cell.step(); }), MemoryCell::ticksPerStep);
    }
    EightWayDecoder decoder;
    EightWaySelector selector;
    TwoWayDemultiplexer demultiplexer;
    decoder.setVoltage(true);
    selector.setVoltage(true);
    demultiplexer.setVoltage(true);
    EXPECT_EQ(ticksOf([&] { decoder.step(); }), EightWayDecoder::ticksPerStep);
    EXPECT_EQ(ticksOf([&] { selector.step(); }), EightWaySelector::ticksPerStep);
    EXPECT_EQ(ticksOf([&] { demultiplexer.step(); }), TwoWayDemultiplexer::ticksPerStep);

    auto column = std::make_unique<CellColumn>();
    column->setVoltage(true);
    EXPECT_EQ(ticksOf([&] { column->step(); }), CellColumn::ticksPerStep);
    auto block = std::make_unique<SixtyFourByteRAM>();
    expectTicksPerStep(*block, "block");
    auto level = std::make_unique<OneHundredTwentyEightByteRAM>();
    expectTicksPerStep(*level, "lowest level");
    PartPool::closeChunk();
}

// Powered with Reset on as the front panel starts, the image written one
// memory step per address, Reset off.
void start(Computer& c, const MemoryImage& image, std::uint64_t memoryTicks) {
    c.resetSwitch().setState(1);
    c.powerSwitch().setState(1);
    EXPECT_EQ(ticksOf([&] { c.applyPower(); }), Computer::relayTicksPerCycle + memoryTicks);
    // The loader's steps go through the control panel alone: its 25 selectors.
    for (std::int32_t a = image.first; a <= image.last; ++a) {
        const auto byte = image.bytes[static_cast<std::size_t>(a - image.first)];
        EXPECT_EQ(ticksOf([&] { c.loadByte(static_cast<std::uint16_t>(a), byte); }), 175 + memoryTicks);
    }
    c.resetSwitch().setState(0);
}

MemoryImage example(const std::string& name) {
    MemoryFileResult file = readMemoryFile(std::string(TARNWICK_EXAMPLES_DIR) + "/" + name);
    EXPECT_TRUE(file) << file.error;
    return file ? *file.image : MemoryImage{};
}

TEST(RelayTicks, EveryCycleOnTheByteArrayTicksTheSame) {
    // Arithmetic, stores, taken and untaken jumps; logic and rotations; then
    // the halted machine and one cycle without power.
    struct Case {
        const char* image;
        unsigned accumulator;
    };
    for (const Case& ex : {Case{"multiply.RAM", 0x8F}, Case{"bits.RAM", 0x79}}) {
        SCOPED_TRACE(ex.image);
        Computer c(true);
        start(c, example(ex.image), 0);
        int afterHalt = 0;
        for (int cycle = 0; cycle < 2000 && afterHalt < 8; ++cycle) {
            ASSERT_EQ(ticksOf([&] { c.runCycle(); }), Computer::relayTicksPerCycle) << "cycle " << cycle;
            if (c.codeValue() == 0xFF) ++afterHalt;
        }
        EXPECT_EQ(afterHalt, 8);
        EXPECT_EQ(c.accumulatorValue(), ex.accumulator);
        c.distributePower(false);
        EXPECT_EQ(ticksOf([&] { c.runCycle(); }), Computer::relayTicksPerCycle);
    }
}

TEST(RelayTicks, ACycleOnTheRelayMemoryAddsOneStepOfIt) {
    Computer c(true);
    c.installMemory(std::make_unique<SixtyFourKilobyteRAM>());
    // LDA 0003h, where the halt is: memory read for code, operand and data.
    start(c, MemoryImage{0, 3, {0x10, 0x00, 0x03, 0xFF}}, relayMemoryTicksPerStep);
    EXPECT_EQ(ticksOf([&] { c.readByte(3); }), 175 + relayMemoryTicksPerStep);
    for (int cycle = 0; cycle < 12; ++cycle) {
        EXPECT_EQ(ticksOf([&] { c.runCycle(); }), Computer::relayTicksPerCycle + relayMemoryTicksPerStep)
            << "cycle " << cycle;
    }
    EXPECT_EQ(c.accumulatorValue(), 0xFF);
}

}  // namespace
}  // namespace tarnwick
