#pragma once

#include "relay/Gates.h"

namespace tarnwick {

// Passes input A while select is off and input B while select is on. Select
// reaches the B gate directly and the A gate through relay S.
class TwoWaySelector {
public:
    void setVoltage(bool on) {
        selectRelay_.setVoltage(on);
        gateA_.setVoltage(on);
        gateB_.setVoltage(on);
        orGate_.setVoltage(on);
    }
    void setSelect(bool on) {
        gateB_.setInput(1, on);
        selectRelay_.setCoil(on);
    }
    void setA(bool on) { gateA_.setInput(0, on); }
    void setB(bool on) { gateB_.setInput(0, on); }
    bool output() const { return orGate_.output(); }
    void step() {
        selectRelay_.tick();
        gateA_.setInput(1, selectRelay_.normallyClosed());
        gateA_.step();
        gateB_.step();
        orGate_.setInput(0, gateA_.output());
        orGate_.setInput(1, gateB_.output());
        orGate_.step();
    }

private:
    Relay selectRelay_;        // S
    TwoInputAndGate gateA_;    // G1
    TwoInputAndGate gateB_;    // G2
    TwoInputOrGate orGate_;    // O
};

// N two-way selectors under one common select, bit 0 first.
template <int N>
class MultiBitSelector {
public:
    void setVoltage(bool on) {
        for (TwoWaySelector& bit : bits_) bit.setVoltage(on);
    }
    void setSelect(bool on) {
        for (TwoWaySelector& bit : bits_) bit.setSelect(on);
    }
    void setA(int index, bool on) { bits_[index].setA(on); }
    void setB(int index, bool on) { bits_[index].setB(on); }
    bool output(int index) const { return bits_[index].output(); }
    void step() {
        for (TwoWaySelector& bit : bits_) bit.step();
    }

private:
    TwoWaySelector bits_[N];
};

using SixteenBitSelector = MultiBitSelector<16>;

static_assert(sizeof(TwoWaySelector) == 7);
static_assert(sizeof(SixteenBitSelector) == 112);

}  // namespace tarnwick
