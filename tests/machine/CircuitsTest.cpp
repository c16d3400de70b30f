// The machine's own circuit types, on their own.

#include <gtest/gtest.h>

#include <algorithm>

#include "machine/ArithmeticUnit.h"
#include "machine/ClockOscillator.h"
#include "machine/InstructionDecoder.h"
#include "machine/PhaseSequencer.h"

namespace tarnwick {
namespace {

void latch(InstructionDecoder& decoder, unsigned value) {
    for (int i = 0; i < 8; ++i) decoder.setData(i, (value >> i) & 1);
    decoder.setClock(false);
    decoder.step();
    decoder.setClock(true);
    decoder.step();
}

TEST(InstructionDecoder, EveryRegisterValueRaisesOnlyItsOwnLine) {
    InstructionDecoder decoder;
    decoder.setVoltage(true);
    const unsigned oneByteCodes[] = {0x44, 0x45, 0x46, 0x47, 0x50, 0x51, 0xFF};
    for (unsigned value = 0; value < 256; ++value) {
        latch(decoder, value);
        ASSERT_EQ(decoder.value(), value);
        for (std::uint8_t code : InstructionDecoder::codes) {
            EXPECT_EQ(decoder.codeLine(code), code == value) << std::hex << "register " << value << " line " << int{code};
        }
        EXPECT_EQ(decoder.haltLine(), value == 0xFF) << std::hex << value;
        EXPECT_EQ(decoder.oneByteLine(), std::ranges::count(oneByteCodes, value) == 1) << std::hex << value;
    }
}

TEST(InstructionDecoder, UnpoweredRaisesNothing) {
    InstructionDecoder decoder;
    decoder.setVoltage(true);
    latch(decoder, 0xFF);
    decoder.setVoltage(false);
    decoder.step();
    EXPECT_EQ(decoder.value(), 0u);
    EXPECT_FALSE(decoder.haltLine());
    EXPECT_FALSE(decoder.oneByteLine());
    for (std::uint8_t code : InstructionDecoder::codes) EXPECT_FALSE(decoder.codeLine(code));
}

TEST(ClockOscillator, StopsAtOnceAndRestartsWithinTwoSteps) {
    for (int delay = 0; delay < 2; ++delay) {
        ClockOscillator clock;
        clock.setVoltage(true);
        bool last = false;
        for (int i = 0; i < 6 + delay; ++i) {
            clock.step();
            if (i > 0) {
                EXPECT_NE(clock.clock(), last);
            }
            EXPECT_NE(clock.clockOff(), clock.clock());
            last = clock.clock();
        }
        clock.setStop(true);
        for (int i = 0; i < 5; ++i) {
            clock.step();
            EXPECT_FALSE(clock.clock());
            EXPECT_TRUE(clock.clockOff());
        }
        clock.setStop(false);
        clock.step();
        const bool first = clock.clock();
        clock.step();
        EXPECT_TRUE(first || clock.clock()) << "delay " << delay;
        EXPECT_NE(first, clock.clock());
    }
}

TEST(PhaseSequencer, CountPulseOnlyInFetchPhases) {
    PhaseSequencer sequencer;
    sequencer.setVoltage(true);
    sequencer.setReset(true);
    sequencer.step();
    sequencer.setReset(false);
    sequencer.step();
    for (int rise = 0; rise < 8; ++rise) {
        sequencer.setClock(true);
        sequencer.step();
        const int phase = rise % 4;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(sequencer.phase(k), k == phase) << "rise " << rise;
        EXPECT_EQ(sequencer.countPulse(), phase != 3) << "rise " << rise;
        sequencer.setClock(false);
        sequencer.step();
        EXPECT_FALSE(sequencer.countPulse());
    }
}

// The accumulator path on its own: one rising accumulator clock per case.
struct UnitCase {
    std::uint8_t code;
    std::uint8_t accumulator, operand;
    std::uint8_t result;
};

template <std::uint8_t Code>
void selectCode(ArithmeticUnit& unit, std::uint8_t code) {
    unit.setCodeLine<Code>(code == Code);
}

void selectAll(ArithmeticUnit& unit, std::uint8_t code) {
    selectCode<0x10>(unit, code);
    selectCode<0x20>(unit, code);
    selectCode<0x21>(unit, code);
    selectCode<0x22>(unit, code);
    selectCode<0x23>(unit, code);
    selectCode<0x40>(unit, code);
    selectCode<0x41>(unit, code);
    selectCode<0x42>(unit, code);
    selectCode<0x44>(unit, code);
    selectCode<0x45>(unit, code);
    selectCode<0x46>(unit, code);
    selectCode<0x47>(unit, code);
}

void clockIn(ArithmeticUnit& unit, std::uint8_t code, std::uint8_t operand) {
    selectAll(unit, code);
    for (int i = 0; i < 8; ++i) unit.setOperand(i, (operand >> i) & 1);
    unit.setAccumulatorClock(false);
    unit.step();
    unit.setAccumulatorClock(true);
    unit.step();
    unit.setAccumulatorClock(false);
    unit.step();
}

TEST(ArithmeticUnit, OnlyTheRisingClockLoadsAndNoSelectMeansTheSum) {
    ArithmeticUnit unit;
    unit.setVoltage(true);
    clockIn(unit, 0x10, 0x5A);
    ASSERT_EQ(unit.accumulatorValue(), 0x5A);
    // With no code line at all the multiplexers pass the adder's sum.
    clockIn(unit, 0x00, 0x33);
    EXPECT_EQ(unit.accumulatorValue(), 0x8D);
    EXPECT_FALSE(unit.carry()) << "the flags clock only for 20h to 23h";
    // Operand changes without a rising clock change nothing.
    selectAll(unit, 0x10);
    for (int i = 0; i < 8; ++i) unit.setOperand(i, true);
    unit.step();
    unit.step();
    EXPECT_EQ(unit.accumulatorValue(), 0x8D);
    unit.setClear(true);
    unit.step();
    EXPECT_EQ(unit.accumulatorValue(), 0x00);
}

}  // namespace
}  // namespace tarnwick
