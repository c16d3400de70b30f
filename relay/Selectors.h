#pragma once

#include "relay/Circuit.h"
#include "relay/Gates.h"

namespace tarnwick {

// Passes input A while select is off and input B while select is on. Select
// reaches the B gate directly and the A gate through relay S.
template <class R = Relay>
class BasicTwoWaySelector {
public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) {
        selectRelay_.setVoltage(on);
        gateA_.setVoltage(on);
        gateB_.setVoltage(on);
        orGate_.setVoltage(on);
    }
    TARNWICK_INLINE void setSelect(Signal on) {
        gateB_.setInput(1, on);
        selectRelay_.setCoil(on);
    }
    TARNWICK_INLINE void setA(Signal on) { gateA_.setInput(0, on); }
    TARNWICK_INLINE void setB(Signal on) { gateB_.setInput(0, on); }
    TARNWICK_INLINE Signal output() const { return orGate_.output(); }
    TARNWICK_INLINE void step() {
        selectRelay_.tick();
        gateA_.setInput(1, selectRelay_.normallyClosed());
        gateA_.step();
        gateB_.step();
        orGate_.setInput(0, gateA_.output());
        orGate_.setInput(1, gateB_.output());
        orGate_.step();
    }

    static constexpr auto members() {
        using S = BasicTwoWaySelector;
        return std::make_tuple(TARNWICK_MEMBER(S, selectRelay_), TARNWICK_MEMBER(S, gateA_),
                               TARNWICK_MEMBER(S, gateB_), TARNWICK_MEMBER(S, orGate_));
    }
    static constexpr auto outputs() {
        using S = BasicTwoWaySelector;
        return std::make_tuple(Output<S>{"output", 0, [](const S& s, int) { return bool(s.output()); }});
    }

private:
    R selectRelay_;                  // S
    BasicTwoInputAndGate<R> gateA_;  // G1
    BasicTwoInputAndGate<R> gateB_;  // G2
    BasicTwoInputOrGate<R> orGate_;  // O
};

using TwoWaySelector = BasicTwoWaySelector<>;

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

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(MultiBitSelector, bits_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<MultiBitSelector>{
            "output", N, [](const MultiBitSelector& s, int i) { return s.output(i); }});
    }

private:
    TwoWaySelector bits_[N];
};

using SixteenBitSelector = MultiBitSelector<16>;

static_assert(checkedRelayCount<TwoWaySelector>() == 7);
static_assert(checkedRelayCount<SixteenBitSelector>() == 112);

}  // namespace tarnwick
