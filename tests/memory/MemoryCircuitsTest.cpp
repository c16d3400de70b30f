#include <gtest/gtest.h>

#include "memory/MemoryCircuits.h"

namespace tarnwick {
namespace {

TEST(FourInputAndGate, OnlyAllFourInputsOnGiveOutput) {
    FourInputAndGate gate;
    gate.setVoltage(true);
    for (int inputs = 0; inputs < 16; ++inputs) {
        for (int i = 0; i < 4; ++i) gate.setInput(i, ((inputs >> i) & 1) != 0);
        gate.step();
        EXPECT_EQ(gate.output(), inputs == 15) << inputs;
    }
    gate.setVoltage(false);
    gate.step();
    EXPECT_FALSE(gate.output());
}

TEST(EightInputOrGate, AnyInputOnGivesOutput) {
    EightInputOrGate gate;
    gate.setVoltage(true);
    const int patterns[] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x81, 0xFF, 0x00};
    for (int pattern : patterns) {
        for (int i = 0; i < 8; ++i) gate.setInput(i, ((pattern >> i) & 1) != 0);
        gate.step();
        EXPECT_EQ(gate.output(), pattern != 0) << pattern;
    }
    gate.setInput(3, true);
    gate.setVoltage(false);
    gate.step();
    EXPECT_FALSE(gate.output());
}

TEST(TwoWayDemultiplexer, RoutesInputToTheSelectedOutput) {
    struct Row {
        bool select, input, low, high;
    };
    const Row rows[] = {
        {false, true, true, false},   {true, true, false, true}, {true, false, false, false},
        {false, false, false, false}, {true, true, false, true}, {false, true, true, false},
    };
    TwoWayDemultiplexer demultiplexer;
    demultiplexer.setVoltage(true);
    for (const Row& row : rows) {
        demultiplexer.setSelect(row.select);
        demultiplexer.setInput(row.input);
        demultiplexer.step();
        EXPECT_EQ(demultiplexer.lowOutput(), row.low) << row.select << row.input;
        EXPECT_EQ(demultiplexer.highOutput(), row.high) << row.select << row.input;
    }
}

TEST(TwoWayDemultiplexer, UnpoweredOutputsNothing) {
    for (bool select : {false, true}) {
        TwoWayDemultiplexer demultiplexer;
        demultiplexer.setVoltage(true);
        demultiplexer.setSelect(select);
        demultiplexer.setInput(true);
        demultiplexer.step();
        EXPECT_TRUE(demultiplexer.lowOutput() || demultiplexer.highOutput());
        demultiplexer.setVoltage(false);
        demultiplexer.step();
        EXPECT_FALSE(demultiplexer.lowOutput());
        EXPECT_FALSE(demultiplexer.highOutput());
    }
}

TEST(EightBitSelector, PassesTheSelectedByte) {
    EightBitSelector selector;
    selector.setVoltage(true);
    auto read = [&] {
        int byte = 0;
        for (int j = 0; j < 8; ++j) byte |= int{selector.output(j)} << j;
        return byte;
    };
    for (int j = 0; j < 8; ++j) {
        selector.setA(j, ((0x5A >> j) & 1) != 0);
        selector.setB(j, ((0xC3 >> j) & 1) != 0);
    }
    selector.step();
    EXPECT_EQ(read(), 0x5A);
    selector.setSelect(true);
    selector.step();
    EXPECT_EQ(read(), 0xC3);
    selector.setVoltage(false);
    selector.step();
    EXPECT_EQ(read(), 0);
}

void setSelectBits(auto& circuit, int value) {
    for (int bit = 0; bit < 3; ++bit) circuit.setSelect(bit, ((value >> bit) & 1) != 0);
}

// Every select value, reached from every other one in a single step, so that
// both the positive terms and the negated terms through the select relays
// must follow within the step.
TEST(EightWayDecoder, EnablesExactlyTheSelectedOutput) {
    EightWayDecoder decoder;
    decoder.setVoltage(true);
    decoder.setEnable(true);
    for (int from = 0; from < 8; ++from) {
        for (int to = 0; to < 8; ++to) {
            setSelectBits(decoder, from);
            decoder.step();
            setSelectBits(decoder, to);
            decoder.step();
            for (int r = 0; r < 8; ++r)
                EXPECT_EQ(decoder.output(r), r == to) << from << "->" << to << " r=" << r;
        }
    }
}

TEST(EightWayDecoder, DisabledOrUnpoweredOutputsNothing) {
    EightWayDecoder decoder;
    decoder.setVoltage(true);
    decoder.setEnable(true);
    setSelectBits(decoder, 5);  // bits 1, 0, 1 from bit 0
    decoder.step();
    for (int r = 0; r < 8; ++r) EXPECT_EQ(decoder.output(r), r == 5);
    decoder.setEnable(false);
    decoder.step();
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(decoder.output(r));
    decoder.setEnable(true);
    decoder.setVoltage(false);
    decoder.step();
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(decoder.output(r));
}

TEST(EightWaySelector, PassesTheSelectedInput) {
    EightWaySelector selector;
    selector.setVoltage(true);
    const int patterns[] = {0x01, 0x40, 0xFE, 0x5A, 0xA5, 0x00, 0xFF};
    for (int pattern : patterns) {
        for (int select = 0; select < 8; ++select) {
            for (int r = 0; r < 8; ++r) selector.setInput(r, ((pattern >> r) & 1) != 0);
            setSelectBits(selector, select);
            selector.step();
            EXPECT_EQ(selector.output(), ((pattern >> select) & 1) != 0) << pattern << " select " << select;
        }
    }
}

TEST(EightWaySelector, OnlyInputSixAtSelectSix) {
    EightWaySelector selector;
    selector.setVoltage(true);
    selector.setInput(6, true);
    setSelectBits(selector, 6);  // bits 0, 1, 1 from bit 0
    selector.step();
    EXPECT_TRUE(selector.output());
    setSelectBits(selector, 7);
    selector.step();
    EXPECT_FALSE(selector.output());
    setSelectBits(selector, 6);
    selector.setVoltage(false);
    selector.step();
    EXPECT_FALSE(selector.output());
}

enum class CellState { Empty, HoldingZero, HoldingOne };

CellState stateOf(const MemoryCell& cell) {
    if (cell.output()) {
        EXPECT_FALSE(cell.complementOutput());
        return CellState::HoldingOne;
    }
    return cell.complementOutput() ? CellState::HoldingZero : CellState::Empty;
}

TEST(MemoryCell, WritesHoldsAndLosesItsBit) {
    struct Row {
        bool voltage, writeEnable, data;
        CellState after;
    };
    const Row rows[] = {
        {true, false, false, CellState::Empty},  // a new cell stays empty when powered
        {true, false, true, CellState::Empty},   // data alone writes nothing
        {true, false, false, CellState::Empty},
        {true, true, true, CellState::HoldingOne},    // first write sets
        {true, false, false, CellState::HoldingOne},  // and holds
        {true, false, false, CellState::HoldingOne},
        {true, false, true, CellState::HoldingOne},
        {true, true, false, CellState::HoldingZero},  // a write of 0 resets
        {true, false, true, CellState::HoldingZero},
        {true, true, false, CellState::HoldingZero},
        {true, true, true, CellState::HoldingOne},
        {false, false, false, CellState::Empty},  // no voltage: the bit is lost
        {true, false, false, CellState::Empty},   // and stays lost when power returns
        {true, false, true, CellState::Empty},
        {false, true, true, CellState::Empty},  // unpowered writes store nothing
        {true, false, false, CellState::Empty},
        {true, true, false, CellState::HoldingZero},  // an empty cell can be written with 0
        {true, true, true, CellState::HoldingOne},
    };
    MemoryCell cell;
    EXPECT_EQ(stateOf(cell), CellState::Empty);
    int line = 0;
    for (const Row& row : rows) {
        cell.setVoltage(row.voltage);
        cell.setWriteEnable(row.writeEnable);
        cell.setData(row.data);
        cell.step();
        EXPECT_EQ(stateOf(cell), row.after) << "row " << line;
        ++line;
    }
}

TEST(MemoryCell, NewPoweredCellReadsZeroAtEveryStep) {
    MemoryCell cell;
    cell.setVoltage(true);
    for (int i = 0; i < 5; ++i) {
        cell.step();
        EXPECT_EQ(stateOf(cell), CellState::Empty);
    }
}

}  // namespace
}  // namespace tarnwick
