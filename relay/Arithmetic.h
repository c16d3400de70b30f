#pragma once

#include "relay/Circuit.h"
#include "relay/Gates.h"

namespace tarnwick {

// (A or B) and not (A and B).
class XorGate {
public:
    void setVoltage(bool on) {
        orGate_.setVoltage(on);
        nandGate_.setVoltage(on);
        andGate_.setVoltage(on);
    }
    void setA(bool on) {
        orGate_.setInput(0, on);
        nandGate_.setInput(0, on);
    }
    void setB(bool on) {
        orGate_.setInput(1, on);
        nandGate_.setInput(1, on);
    }
    bool output() const { return andGate_.output(); }
    void step() {
        orGate_.step();
        nandGate_.step();
        andGate_.setInput(0, orGate_.output());
        andGate_.setInput(1, nandGate_.output());
        andGate_.step();
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(XorGate, orGate_), TARNWICK_MEMBER(XorGate, nandGate_),
                               TARNWICK_MEMBER(XorGate, andGate_));
    }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<XorGate>{"output", 0, [](const XorGate& c, int) { return bool(c.output()); }});
    }

private:
    TwoInputOrGate orGate_;
    TwoInputNandGate nandGate_;
    TwoInputAndGate andGate_;
};

class HalfAdder {
public:
    void setVoltage(bool on) {
        sumGate_.setVoltage(on);
        carryGate_.setVoltage(on);
    }
    void setA(bool on) {
        sumGate_.setA(on);
        carryGate_.setInput(0, on);
    }
    void setB(bool on) {
        sumGate_.setB(on);
        carryGate_.setInput(1, on);
    }
    bool sum() const { return sumGate_.output(); }
    bool carry() const { return carryGate_.output(); }
    void step() {
        sumGate_.step();
        carryGate_.step();
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(HalfAdder, sumGate_), TARNWICK_MEMBER(HalfAdder, carryGate_));
    }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<HalfAdder>{"sum", 0, [](const HalfAdder& c, int) { return bool(c.sum()); }},
            Output<HalfAdder>{"carry", 0, [](const HalfAdder& c, int) { return bool(c.carry()); }});
    }

private:
    XorGate sumGate_;
    TwoInputAndGate carryGate_;
};

// Two half adders: the operand half (H2) adds A and B, the carry-in half (H1)
// adds the carry in to H2's sum.
class FullAdder {
public:
    void setVoltage(bool on) {
        carryInHalf_.setVoltage(on);
        operandHalf_.setVoltage(on);
        carryOutGate_.setVoltage(on);
    }
    void setCarryIn(bool on) { carryInHalf_.setA(on); }
    void setA(bool on) { operandHalf_.setA(on); }
    void setB(bool on) { operandHalf_.setB(on); }
    bool sum() const { return carryInHalf_.sum(); }
    bool carryOut() const { return carryOutGate_.output(); }
    void step() {
        operandHalf_.step();
        carryInHalf_.setB(operandHalf_.sum());
        carryInHalf_.step();
        carryOutGate_.setInput(0, carryInHalf_.carry());
        carryOutGate_.setInput(1, operandHalf_.carry());
        carryOutGate_.step();
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(FullAdder, carryInHalf_),
                               TARNWICK_MEMBER(FullAdder, operandHalf_),
                               TARNWICK_MEMBER(FullAdder, carryOutGate_));
    }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<FullAdder>{"sum", 0, [](const FullAdder& c, int) { return bool(c.sum()); }},
            Output<FullAdder>{"carryOut", 0, [](const FullAdder& c, int) { return bool(c.carryOut()); }});
    }

private:
    HalfAdder carryInHalf_;  // H1
    HalfAdder operandHalf_;  // H2
    TwoInputOrGate carryOutGate_;
};

// Ripple-carry adder; stepping bit 0 first carries through all eight bits in
// one step.
class EightBitAdder {
public:
    void setVoltage(bool on) {
        for (FullAdder& bit : bits_) bit.setVoltage(on);
    }
    void setCarryIn(bool on) { bits_[0].setCarryIn(on); }
    void setA(int index, bool on) { bits_[index].setA(on); }
    void setB(int index, bool on) { bits_[index].setB(on); }
    bool sum(int index) const { return bits_[index].sum(); }
    bool carryOut() const { return bits_[7].carryOut(); }
    void step() {
        for (int i = 0; i < 7; ++i) {
            bits_[i].step();
            bits_[i + 1].setCarryIn(bits_[i].carryOut());
        }
        bits_[7].step();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(EightBitAdder, bits_)); }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<EightBitAdder>{"sum", 8, [](const EightBitAdder& c, int i) { return bool(c.sum(i)); }},
            Output<EightBitAdder>{"carryOut", 0,
                                  [](const EightBitAdder& c, int) { return bool(c.carryOut()); }});
    }

private:
    FullAdder bits_[8];
};

// Eight two-input gates side by side, one per bit.
template <class Gate>
class EightBitLogic {
public:
    void setVoltage(bool on) {
        for (Gate& gate : gates_) gate.setVoltage(on);
    }
    void setA(int index, bool on) { setInput(gates_[index], 0, on); }
    void setB(int index, bool on) { setInput(gates_[index], 1, on); }
    bool output(int index) const { return gates_[index].output(); }
    void step() {
        for (Gate& gate : gates_) gate.step();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(EightBitLogic, gates_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<EightBitLogic>{
            "output", 8, [](const EightBitLogic& c, int i) { return bool(c.output(i)); }});
    }

private:
    static void setInput(Gate& gate, int input, bool on) {
        if constexpr (requires { gate.setA(on); }) {
            input == 0 ? gate.setA(on) : gate.setB(on);
        } else {
            gate.setInput(input, on);
        }
    }

    Gate gates_[8];
};

using EightBitAnd = EightBitLogic<TwoInputAndGate>;
using EightBitOr = EightBitLogic<TwoInputOrGate>;
using EightBitXor = EightBitLogic<XorGate>;

// Eight exclusive-or gates sharing input A: inverts the byte while invert is on.
class EightBitComplementer {
public:
    void setVoltage(bool on) {
        for (XorGate& gate : gates_) gate.setVoltage(on);
    }
    void setInvert(bool on) {
        for (XorGate& gate : gates_) gate.setA(on);
    }
    void setInput(int index, bool on) { gates_[index].setB(on); }
    bool output(int index) const { return gates_[index].output(); }
    void step() {
        for (XorGate& gate : gates_) gate.step();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(EightBitComplementer, gates_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<EightBitComplementer>{
            "output", 8, [](const EightBitComplementer& c, int i) { return bool(c.output(i)); }});
    }

private:
    XorGate gates_[8];
};

static_assert(checkedRelayCount<XorGate>() == 6);
static_assert(checkedRelayCount<HalfAdder>() == 8);
static_assert(checkedRelayCount<FullAdder>() == 18);
static_assert(checkedRelayCount<EightBitAdder>() == 144);
static_assert(checkedRelayCount<EightBitAnd>() == 16);
static_assert(checkedRelayCount<EightBitOr>() == 16);
static_assert(checkedRelayCount<EightBitXor>() == 48);
static_assert(checkedRelayCount<EightBitComplementer>() == 48);

}  // namespace tarnwick
