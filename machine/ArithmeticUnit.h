#pragma once

#include <cstdint>

#include "machine/ResultMultiplexer.h"
#include "relay/Arithmetic.h"
#include "relay/Gates.h"
#include "relay/Storage.h"

namespace tarnwick {

// The accumulator, the carry and zero flags and every value the accumulator
// can take. All candidates are computed in every step; the code lines steer
// two multiplexers, and the accumulator takes their output on a rising clock.
class ArithmeticUnit {
public:
    void setVoltage(bool on) {
        subtractGate.setVoltage(on);
        operandComplementer.setVoltage(on);
        carryUseGate.setVoltage(on);
        arithmeticGroupGate.setVoltage(on);
        flagClockGate.setVoltage(on);
        carryFlag.setVoltage(on);
        carryInGate.setVoltage(on);
        carryInSelect.setVoltage(on);
        adder.setVoltage(on);
        andUnit.setVoltage(on);
        orUnit.setVoltage(on);
        xorUnit.setVoltage(on);
        shiftRightPath.setVoltage(on);
        shiftLeftPath.setVoltage(on);
        rotateLeftPath.setVoltage(on);
        rotateRightPath.setVoltage(on);
        firstMultiplexer.setVoltage(on);
        secondMultiplexer.setVoltage(on);
        accumulator.setVoltage(on);
        zeroDetector.setVoltage(on);
        zeroFlag.setVoltage(on);
    }
    void setClear(bool on) {
        accumulator.setClear(on);
        carryFlag.setClear(on);
        zeroFlag.setClear(on);
    }
    void setAccumulatorClock(bool on) {
        accumulator.setClock(on);
        flagClockGate.setInput(0, on);
    }

    // The decoder line of one of the twelve codes the unit listens to.
    template <std::uint8_t Code>
    void setCodeLine(bool on) {
        if constexpr (Code == 0x10) {
            firstMultiplexer.setSelect(1, on);
        } else if constexpr (Code == 0x20) {
            arithmeticGroupGate.setInput(0, on);
        } else if constexpr (Code == 0x21) {
            subtractGate.setInput(0, on);
            arithmeticGroupGate.setInput(1, on);
            carryInSelect.setInput(1, on);
        } else if constexpr (Code == 0x22) {
            carryUseGate.setInput(0, on);
        } else if constexpr (Code == 0x23) {
            subtractGate.setInput(1, on);
            carryUseGate.setInput(1, on);
        } else if constexpr (Code == 0x40) {
            firstMultiplexer.setSelect(2, on);
        } else if constexpr (Code == 0x41) {
            firstMultiplexer.setSelect(3, on);
        } else if constexpr (Code == 0x42) {
            firstMultiplexer.setSelect(4, on);
        } else if constexpr (Code == 0x44) {
            secondMultiplexer.setSelect(1, on);
        } else if constexpr (Code == 0x45) {
            secondMultiplexer.setSelect(2, on);
        } else if constexpr (Code == 0x46) {
            secondMultiplexer.setSelect(3, on);
        } else if constexpr (Code == 0x47) {
            secondMultiplexer.setSelect(4, on);
        } else {
            static_assert(Code == 0x10, "the arithmetic unit has no input for this code");
        }
    }

    // Memory data-out bit i: the operand of every arithmetic and logic path,
    // and the value loaded by 10h.
    void setOperand(int index, bool on) {
        operandComplementer.setInput(index, on);
        andUnit.setB(index, on);
        orUnit.setB(index, on);
        xorUnit.setB(index, on);
        firstMultiplexer.setSource(1, index, on);
    }

    bool accumulatorBit(int index) const { return accumulator.q(index); }
    std::uint8_t accumulatorValue() const {
        unsigned byte = 0;
        for (int i = 0; i < 8; ++i) byte |= unsigned{accumulator.q(i)} << i;
        return static_cast<std::uint8_t>(byte);
    }
    bool carry() const { return carryFlag.q(); }
    bool zero() const { return zeroFlag.q(); }

    void step() {
        subtractGate.step();
        operandComplementer.setInvert(subtractGate.output());
        operandComplementer.step();

        carryUseGate.step();
        arithmeticGroupGate.setInput(2, carryUseGate.output());
        arithmeticGroupGate.step();
        flagClockGate.setInput(1, arithmeticGroupGate.output());
        flagClockGate.step();

        carryInGate.setInput(0, carryFlag.q());
        carryInGate.setInput(1, carryUseGate.output());
        carryInGate.step();
        carryInSelect.setInput(0, carryInGate.output());
        carryInSelect.step();

        // Every path reads the accumulator as it stood before this step.
        bool a[8];
        for (int i = 0; i < 8; ++i) a[i] = accumulator.q(i);
        for (int i = 0; i < 8; ++i) {
            adder.setA(i, a[i]);
            andUnit.setA(i, a[i]);
            orUnit.setA(i, a[i]);
            xorUnit.setA(i, a[i]);
            adder.setB(i, operandComplementer.output(i));
        }
        for (int i = 0; i < 7; ++i) {
            shiftRightPath.setInput(i, a[i + 1]);
            rotateRightPath.setInput(i, a[i + 1]);
            shiftLeftPath.setInput(i + 1, a[i]);
            rotateLeftPath.setInput(i + 1, a[i]);
        }
        rotateRightPath.setInput(7, a[0]);
        rotateLeftPath.setInput(0, a[7]);
        adder.setCarryIn(carryInSelect.output());
        adder.step();
        andUnit.step();
        orUnit.step();
        xorUnit.step();
        shiftRightPath.step();
        shiftLeftPath.step();
        rotateLeftPath.step();
        rotateRightPath.step();

        carryFlag.setData(adder.carryOut());
        carryFlag.setClock(flagClockGate.output());
        carryFlag.step();

        for (int i = 0; i < 8; ++i) zeroDetector.setInput(i, adder.sum(i));
        zeroDetector.step();
        zeroFlag.setData(zeroDetector.output());
        zeroFlag.setClock(flagClockGate.output());
        zeroFlag.step();

        for (int i = 0; i < 8; ++i) {
            firstMultiplexer.setDefault(i, adder.sum(i));
            firstMultiplexer.setSource(2, i, orUnit.output(i));
            firstMultiplexer.setSource(3, i, andUnit.output(i));
            firstMultiplexer.setSource(4, i, xorUnit.output(i));
        }
        firstMultiplexer.step();
        for (int i = 0; i < 8; ++i) {
            secondMultiplexer.setDefault(i, firstMultiplexer.output(i));
            secondMultiplexer.setSource(1, i, shiftLeftPath.output(i));
            secondMultiplexer.setSource(2, i, shiftRightPath.output(i));
            secondMultiplexer.setSource(3, i, rotateLeftPath.output(i));
            secondMultiplexer.setSource(4, i, rotateRightPath.output(i));
        }
        secondMultiplexer.step();
        for (int i = 0; i < 8; ++i) accumulator.setData(i, secondMultiplexer.output(i));
        accumulator.step();
    }

private:
    TwoInputOrGate subtractGate;
    EightBitComplementer operandComplementer;
    TwoInputOrGate carryUseGate;
    ThreeInputOrGate arithmeticGroupGate;
    TwoInputAndGate flagClockGate;
    MasterSlaveFlipFlop carryFlag;
    TwoInputAndGate carryInGate;
    TwoInputOrGate carryInSelect;
    EightBitAdder adder;
    EightBitAnd andUnit;
    EightBitOr orUnit;
    EightBitXor xorUnit;
    EightBitBuffer shiftRightPath;
    EightBitBuffer shiftLeftPath;
    EightBitBuffer rotateLeftPath;
    EightBitBuffer rotateRightPath;
    ResultMultiplexer firstMultiplexer;
    ResultMultiplexer secondMultiplexer;
    EightBitRegister accumulator;
    EightInputNorGate zeroDetector;
    MasterSlaveFlipFlop zeroFlag;
};

static_assert(sizeof(ArithmeticUnit) == 777);

}  // namespace tarnwick
