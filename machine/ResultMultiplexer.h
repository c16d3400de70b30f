#pragma once

#include "relay/Circuit.h"
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

    static constexpr auto members() {
        using C = MultiplexerBit;
        return std::make_tuple(TARNWICK_MEMBER(C, gates_), TARNWICK_MEMBER(C, orGate_));
    }
    static constexpr auto outputs() {
        using C = MultiplexerBit;
        return std::make_tuple(Output<C>{"output", 0, [](const C& c, int) { return bool(c.output()); }});
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

    static constexpr auto members() {
        using C = ResultMultiplexer;
        return std::make_tuple(TARNWICK_MEMBER(C, bits_), TARNWICK_MEMBER(C, selectNorGate_),
                               TARNWICK_MEMBER(C, anySelectRelay_), TARNWICK_MEMBER(C, defaultGate_));
    }
    static constexpr auto outputs() {
        using C = ResultMultiplexer;
        return std::make_tuple(Output<C>{"output", 8, [](const C& c, int i) { return bool(c.output(i)); }});
    }

private:
    MultiplexerBit bits_[8];
    ThreeInputNorGate selectNorGate_;  // off while select 1, 2 or 3 is on
    Relay anySelectRelay_;             // normally-closed: select 1, 2 or 3
    TwoInputNorGate defaultGate_;      // none of the four selects
};

static_assert(checkedRelayCount<MultiplexerBit>() == 15);
static_assert(checkedRelayCount<ResultMultiplexer>() == 126);

}  // namespace tarnwick
