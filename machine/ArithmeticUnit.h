#pragma once

#include <cstdint>

#include "machine/ResultMultiplexer.h"
#include "relay/Arithmetic.h"
#include "relay/Circuit.h"
#include "relay/Gates.h"
#include "relay/Storage.h"

namespace tarnwick {

// The accumulator, the carry and zero flags and every value the accumulator
// can take. All candidates are computed in every step; the code lines steer
// two multiplexers, and the accumulator takes their output on a rising clock.
class ArithmeticUnit {
public:
    void setVoltage(bool on) {
        subtractGate_.setVoltage(on);
        operandComplementer_.setVoltage(on);
        carryUseGate_.setVoltage(on);
        arithmeticGroupGate_.setVoltage(on);
        flagClockGate_.setVoltage(on);
        carryFlag_.setVoltage(on);
        carryInGate_.setVoltage(on);
        carryInSelect_.setVoltage(on);
        adder_.setVoltage(on);
        andUnit_.setVoltage(on);
        orUnit_.setVoltage(on);
        xorUnit_.setVoltage(on);
        shiftRightPath_.setVoltage(on);
        shiftLeftPath_.setVoltage(on);
        rotateLeftPath_.setVoltage(on);
        rotateRightPath_.setVoltage(on);
        firstMultiplexer_.setVoltage(on);
        secondMultiplexer_.setVoltage(on);
        accumulator_.setVoltage(on);
        zeroDetector_.setVoltage(on);
        zeroFlag_.setVoltage(on);
    }
    void setClear(bool on) {
        accumulator_.setClear(on);
        carryFlag_.setClear(on);
        zeroFlag_.setClear(on);
    }
    void setAccumulatorClock(bool on) {
        accumulator_.setClock(on);
        flagClockGate_.setInput(0, on);
    }

    // The decoder line of one of the twelve codes the unit listens to.
    template <std::uint8_t Code>
    void setCodeLine(bool on) {
        if constexpr (Code == 0x10) {
            firstMultiplexer_.setSelect(1, on);
        } else if constexpr (Code == 0x20) {
            arithmeticGroupGate_.setInput(0, on);
        } else if constexpr (Code == 0x21) {
            subtractGate_.setInput(0, on);
            arithmeticGroupGate_.setInput(1, on);
            carryInSelect_.setInput(1, on);
        } else if constexpr (Code == 0x22) {
            carryUseGate_.setInput(0, on);
        } else if constexpr (Code == 0x23) {
            subtractGate_.setInput(1, on);
            carryUseGate_.setInput(1, on);
        } else if constexpr (Code == 0x40) {
            firstMultiplexer_.setSelect(2, on);
        } else if constexpr (Code == 0x41) {
            firstMultiplexer_.setSelect(3, on);
        } else if constexpr (Code == 0x42) {
            firstMultiplexer_.setSelect(4, on);
        } else if constexpr (Code == 0x44) {
            secondMultiplexer_.setSelect(1, on);
        } else if constexpr (Code == 0x45) {
            secondMultiplexer_.setSelect(2, on);
        } else if constexpr (Code == 0x46) {
            secondMultiplexer_.setSelect(3, on);
        } else if constexpr (Code == 0x47) {
            secondMultiplexer_.setSelect(4, on);
        } else {
            static_assert(Code == 0x10, "the arithmetic unit has no input for this code");
        }
    }

    // Memory data-out bit i: the operand of every arithmetic and logic path,
    // and the value loaded by 10h.
    void setOperand(int index, bool on) {
        operandComplementer_.setInput(index, on);
        andUnit_.setB(index, on);
        orUnit_.setB(index, on);
        xorUnit_.setB(index, on);
        firstMultiplexer_.setSource(1, index, on);
    }

    bool accumulatorBit(int index) const { return accumulator_.q(index); }
    std::uint8_t accumulatorValue() const {
        unsigned byte = 0;
        for (int i = 0; i < 8; ++i) byte |= unsigned{accumulator_.q(i)} << i;
        return static_cast<std::uint8_t>(byte);
    }
    bool carry() const { return carryFlag_.q(); }
    bool zero() const { return zeroFlag_.q(); }

    void step() {
        subtractGate_.step();
        operandComplementer_.setInvert(subtractGate_.output());
        operandComplementer_.step();

        carryUseGate_.step();
        arithmeticGroupGate_.setInput(2, carryUseGate_.output());
        arithmeticGroupGate_.step();
        flagClockGate_.setInput(1, arithmeticGroupGate_.output());
        flagClockGate_.step();

        carryInGate_.setInput(0, carryFlag_.q());
        carryInGate_.setInput(1, carryUseGate_.output());
        carryInGate_.step();
        carryInSelect_.setInput(0, carryInGate_.output());
        carryInSelect_.step();

        // Every path reads the accumulator as it stood before this step.
        bool a[8];
        for (int i = 0; i < 8; ++i) a[i] = accumulator_.q(i);
        for (int i = 0; i < 8; ++i) {
            adder_.setA(i, a[i]);
            andUnit_.setA(i, a[i]);
            orUnit_.setA(i, a[i]);
            xorUnit_.setA(i, a[i]);
            adder_.setB(i, operandComplementer_.output(i));
        }
        for (int i = 0; i < 7; ++i) {
            shiftRightPath_.setInput(i, a[i + 1]);
            rotateRightPath_.setInput(i, a[i + 1]);
            shiftLeftPath_.setInput(i + 1, a[i]);
            rotateLeftPath_.setInput(i + 1, a[i]);
        }
        rotateRightPath_.setInput(7, a[0]);
        rotateLeftPath_.setInput(0, a[7]);
        adder_.setCarryIn(carryInSelect_.output());
        adder_.step();
        andUnit_.step();
        orUnit_.step();
        xorUnit_.step();
        shiftRightPath_.step();
        shiftLeftPath_.step();
        rotateLeftPath_.step();
        rotateRightPath_.step();

        carryFlag_.setData(adder_.carryOut());
        carryFlag_.setClock(flagClockGate_.output());
        carryFlag_.step();

        for (int i = 0; i < 8; ++i) zeroDetector_.setInput(i, adder_.sum(i));
        zeroDetector_.step();
        zeroFlag_.setData(zeroDetector_.output());
        zeroFlag_.setClock(flagClockGate_.output());
        zeroFlag_.step();

        for (int i = 0; i < 8; ++i) {
            firstMultiplexer_.setDefault(i, adder_.sum(i));
            firstMultiplexer_.setSource(2, i, orUnit_.output(i));
            firstMultiplexer_.setSource(3, i, andUnit_.output(i));
            firstMultiplexer_.setSource(4, i, xorUnit_.output(i));
        }
        firstMultiplexer_.step();
        for (int i = 0; i < 8; ++i) {
            secondMultiplexer_.setDefault(i, firstMultiplexer_.output(i));
            secondMultiplexer_.setSource(1, i, shiftLeftPath_.output(i));
            secondMultiplexer_.setSource(2, i, shiftRightPath_.output(i));
            secondMultiplexer_.setSource(3, i, rotateLeftPath_.output(i));
            secondMultiplexer_.setSource(4, i, rotateRightPath_.output(i));
        }
        secondMultiplexer_.step();
        for (int i = 0; i < 8; ++i) accumulator_.setData(i, secondMultiplexer_.output(i));
        accumulator_.step();
    }

    static constexpr auto members() {
        using C = ArithmeticUnit;
        return std::make_tuple(TARNWICK_MEMBER(C, subtractGate_), TARNWICK_MEMBER(C, operandComplementer_),
                               TARNWICK_MEMBER(C, carryUseGate_), TARNWICK_MEMBER(C, arithmeticGroupGate_),
                               TARNWICK_MEMBER(C, flagClockGate_), TARNWICK_MEMBER(C, carryFlag_),
                               TARNWICK_MEMBER(C, carryInGate_), TARNWICK_MEMBER(C, carryInSelect_),
                               TARNWICK_MEMBER(C, adder_), TARNWICK_MEMBER(C, andUnit_),
                               TARNWICK_MEMBER(C, orUnit_), TARNWICK_MEMBER(C, xorUnit_),
                               TARNWICK_MEMBER(C, shiftRightPath_), TARNWICK_MEMBER(C, shiftLeftPath_),
                               TARNWICK_MEMBER(C, rotateLeftPath_), TARNWICK_MEMBER(C, rotateRightPath_),
                               TARNWICK_MEMBER(C, firstMultiplexer_), TARNWICK_MEMBER(C, secondMultiplexer_),
                               TARNWICK_MEMBER(C, accumulator_), TARNWICK_MEMBER(C, zeroDetector_),
                               TARNWICK_MEMBER(C, zeroFlag_));
    }
    static constexpr auto outputs() {
        using C = ArithmeticUnit;
        return std::make_tuple(
            Output<C>{"accumulator", 8, [](const C& c, int i) { return bool(c.accumulatorBit(i)); }},
            Output<C>{"carry", 0, [](const C& c, int) { return bool(c.carry()); }},
            Output<C>{"zero", 0, [](const C& c, int) { return bool(c.zero()); }});
    }

private:
    TwoInputOrGate subtractGate_;
    EightBitComplementer operandComplementer_;
    TwoInputOrGate carryUseGate_;
    ThreeInputOrGate arithmeticGroupGate_;
    TwoInputAndGate flagClockGate_;
    MasterSlaveFlipFlop carryFlag_;
    TwoInputAndGate carryInGate_;
    TwoInputOrGate carryInSelect_;
    EightBitAdder adder_;
    EightBitAnd andUnit_;
    EightBitOr orUnit_;
    EightBitXor xorUnit_;
    EightBitBuffer shiftRightPath_;
    EightBitBuffer shiftLeftPath_;
    EightBitBuffer rotateLeftPath_;
    EightBitBuffer rotateRightPath_;
    ResultMultiplexer firstMultiplexer_;
    ResultMultiplexer secondMultiplexer_;
    EightBitRegister accumulator_;
    EightInputNorGate zeroDetector_;
    MasterSlaveFlipFlop zeroFlag_;
};

static_assert(checkedRelayCount<ArithmeticUnit>() == 777);

}  // namespace tarnwick
