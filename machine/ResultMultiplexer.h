#pragma once

#include "relay/Gates.h"
#include "relay/Relay.h"

namespace tarnwick {

// One bit of a result multiplexer: five AND gates, each passing its source
// while its select is on, into one OR. Source 0 is the default source.
class MultiplexerBit {
public:
    void setVoltage(bool on) {
        for (TwoInputAndGate& gate : gates_) gate.setVoltage(on);
        orGate_.setVoltage(on);
    }
    void setData(int source, bool on) { gates_[source].setInput(0, on); }
    void setSelect(int source, bool on) { gates_[source].setInput(1, on); }
    bool output() const { return orGate_.output(); }

    void step() {
        for (int k = 0; k < 5; ++k) {
            gates_[k].step();
            orGate_.setInput(k, gates_[k].output());
        }
        orGate_.step();
    }

private:
    TwoInputAndGate gates_[5];
    FiveInputOrGate orGate_;
};

// Picks one of five bytes: source k (1 to 4) while select line k is on, the
// default source (0) while none is. The select lines are one-hot by wiring.
class ResultMultiplexer {
public:
    void setVoltage(bool on) {
        for (MultiplexerBit& bit : bits_) bit.setVoltage(on);
        selectNorGate_.setVoltage(on);
        anySelectRelay_.setVoltage(on);
        defaultGate_.setVoltage(on);
    }
    // The default source, bit i.
    void setDefault(int index, bool on) { bits_[index].setData(0, on); }
    // Source 1 to 4, bit i.
    void setSource(int source, int index, bool on) { bits_[index].setData(source, on); }
    // Select line 1 to 4.
    void setSelect(int source, bool on) {
        if (source < 4) {
            selectNorGate_.setInput(source - 1, on);
        } else {
            defaultGate_.setInput(1, on);
        }
        for (MultiplexerBit& bit : bits_) bit.setSelect(source, on);
    }
    bool output(int index) const { return bits_[index].output(); }

    // The default select settles first, so every bit sees this step's selects.
    void step() {
        selectNorGate_.step();
        anySelectRelay_.setCoil(selectNorGate_.output());
        anySelectRelay_.tick();
        defaultGate_.setInput(0, anySelectRelay_.normallyClosed());
        defaultGate_.step();
        const bool useDefault = defaultGate_.output();
        for (MultiplexerBit& bit : bits_) {
            bit.setSelect(0, useDefault);
            bit.step();
        }
    }

private:
    MultiplexerBit bits_[8];
    ThreeInputNorGate selectNorGate_;  // off while select 1, 2 or 3 is on
    Relay anySelectRelay_;             // normally-closed: select 1, 2 or 3
    TwoInputNorGate defaultGate_;      // none of the four selects
};

static_assert(sizeof(MultiplexerBit) == 15);
static_assert(sizeof(ResultMultiplexer) == 126);

}  // namespace tarnwick
