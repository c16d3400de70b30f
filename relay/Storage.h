#pragma once

#include "relay/Gates.h"

namespace tarnwick {

// Positive-edge D flip-flop: a master latch (N1, N2) that follows the data
// while the clock is off, a slave latch (N3, N4) that copies the master while
// the clock is on, and a clear into the slave. Each latch settles in exactly
// two passes per step.
class MasterSlaveFlipFlop {
public:
    void setVoltage(bool on) {
        clockRelay_.setVoltage(on);
        dataRelay_.setVoltage(on);
        masterSet_.setVoltage(on);
        masterReset_.setVoltage(on);
        n1_.setVoltage(on);
        n2_.setVoltage(on);
        g3_.setVoltage(on);
        g4_.setVoltage(on);
        clearOr_.setVoltage(on);
        n3_.setVoltage(on);
        n4_.setVoltage(on);
    }
    void setData(bool on) {
        masterSet_.setInput(0, on);
        dataRelay_.setCoil(on);
    }
    void setClock(bool on) {
        clockRelay_.setCoil(on);
        g3_.setInput(1, on);
        g4_.setInput(0, on);
    }
    void setClear(bool on) { clearOr_.setInput(0, on); }
    bool q() const { return n3_.output(); }
    bool notQ() const { return n4_.output(); }

    void step() {
        clockRelay_.tick();
        dataRelay_.tick();
        masterSet_.setInput(1, clockRelay_.normallyClosed());
        masterReset_.setInput(0, clockRelay_.normallyClosed());
        masterReset_.setInput(1, dataRelay_.normallyClosed());
        masterSet_.step();
        masterReset_.step();

        n1_.setInput(0, masterSet_.output());
        n1_.setInput(1, n2_.output());
        n2_.setInput(0, n1_.output());
        n2_.setInput(1, masterReset_.output());
        n1_.step();
        n2_.step();
        n1_.setInput(1, n2_.output());
        n2_.setInput(0, n1_.output());
        n1_.step();
        n2_.step();

        g3_.setInput(0, n1_.output());
        g4_.setInput(1, n2_.output());
        g3_.step();
        g4_.step();
        clearOr_.setInput(1, g3_.output());
        clearOr_.step();

        n3_.setInput(0, clearOr_.output());
        n3_.setInput(1, n4_.output());
        n4_.setInput(0, n3_.output());
        n4_.setInput(1, g4_.output());
        n3_.step();
        n4_.step();
        n3_.setInput(1, n4_.output());
        n4_.setInput(0, n3_.output());
        n3_.step();
        n4_.step();
    }

    static constexpr auto members() {
        using M = MasterSlaveFlipFlop;
        return std::make_tuple(TARNWICK_MEMBER(M, clockRelay_), TARNWICK_MEMBER(M, dataRelay_),
                               TARNWICK_MEMBER(M, masterSet_), TARNWICK_MEMBER(M, masterReset_),
                               TARNWICK_MEMBER(M, n1_), TARNWICK_MEMBER(M, n2_), TARNWICK_MEMBER(M, g3_),
                               TARNWICK_MEMBER(M, g4_), TARNWICK_MEMBER(M, clearOr_), TARNWICK_MEMBER(M, n3_),
                               TARNWICK_MEMBER(M, n4_));
    }
    static constexpr auto outputs() {
        using M = MasterSlaveFlipFlop;
        return std::make_tuple(Output<M>{"q", 0, [](const M& f, int) { return f.q(); }},
                               Output<M>{"notQ", 0, [](const M& f, int) { return f.notQ(); }});
    }

private:
    Relay clockRelay_;             // C
    Relay dataRelay_;              // D
    TwoInputAndGate masterSet_;    // G1
    TwoInputAndGate masterReset_;  // G2
    TwoInputNorGate n1_;
    TwoInputNorGate n2_;  // holds the master's bit
    TwoInputAndGate g3_;
    TwoInputAndGate g4_;
    TwoInputOrGate clearOr_;  // O
    TwoInputNorGate n3_;      // q
    TwoInputNorGate n4_;      // notQ
};

// The classic six-gate edge-triggered D flip-flop with preset and clear,
// clocked through relay K.
template <class R = Relay>
class BasicSixNorFlipFlop {
public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) {
        clockRelay_.setVoltage(on);
        g1_.setVoltage(on);
        g2_.setVoltage(on);
        g3_.setVoltage(on);
        g4_.setVoltage(on);
        g5_.setVoltage(on);
        g6_.setVoltage(on);
    }
    TARNWICK_INLINE void setData(Signal on) { g4_.setInput(2, on); }
    TARNWICK_INLINE void setClock(Signal on) { clockRelay_.setCoil(on); }
    TARNWICK_INLINE void setPreset(Signal on) {
        g2_.setInput(1, on);
        g4_.setInput(1, on);
        g6_.setInput(1, on);
    }
    TARNWICK_INLINE void setClear(Signal on) {
        g1_.setInput(0, on);
        g5_.setInput(0, on);
    }
    TARNWICK_INLINE Signal q() const { return g5_.output(); }
    TARNWICK_INLINE Signal notQ() const { return g6_.output(); }
    // The clock as last written, before relay K takes it.
    TARNWICK_INLINE Signal clockInput() const { return clockRelay_.coilInput(); }

    TARNWICK_INLINE void step() {
        clockRelay_.tick();
        g2_.setInput(2, clockRelay_.normallyClosed());
        g3_.setInput(1, clockRelay_.normallyClosed());
        inputPass();
        inputPass();
        outputPass();
        g5_.setInput(2, g6_.output());
        g6_.setInput(0, g5_.output());
        g5_.step();
        g6_.step();
    }

    static constexpr auto members() {
        using F = BasicSixNorFlipFlop;
        return std::make_tuple(TARNWICK_MEMBER(F, clockRelay_), TARNWICK_MEMBER(F, g1_),
                               TARNWICK_MEMBER(F, g2_), TARNWICK_MEMBER(F, g3_), TARNWICK_MEMBER(F, g4_),
                               TARNWICK_MEMBER(F, g5_), TARNWICK_MEMBER(F, g6_));
    }
    static constexpr auto outputs() {
        using F = BasicSixNorFlipFlop;
        return std::make_tuple(Output<F>{"q", 0, [](const F& f, int) { return bool(f.q()); }},
                               Output<F>{"notQ", 0, [](const F& f, int) { return bool(f.notQ()); }});
    }

private:
    TARNWICK_INLINE void inputPass() {
        const Signal out1 = g1_.output();
        const Signal out2 = g2_.output();
        const Signal out3 = g3_.output();
        const Signal out4 = g4_.output();
        g1_.setInput(1, out4);
        g1_.setInput(2, out2);
        g2_.setInput(0, out1);
        g3_.setInput(0, out2);
        g3_.setInput(2, out4);
        g4_.setInput(0, out3);
        g1_.step();
        g2_.step();
        g3_.step();
        g4_.step();
    }
    TARNWICK_INLINE void outputPass() {
        g5_.setInput(1, g2_.output());
        g5_.setInput(2, g6_.output());
        g6_.setInput(0, g5_.output());
        g6_.setInput(2, g3_.output());
        g5_.step();
        g6_.step();
    }

    R clockRelay_;  // K
    BasicThreeInputNorGate<R> g1_;
    BasicThreeInputNorGate<R> g2_;
    BasicThreeInputNorGate<R> g3_;
    BasicThreeInputNorGate<R> g4_;
    BasicThreeInputNorGate<R> g5_;  // q
    BasicThreeInputNorGate<R> g6_;  // notQ
};

using SixNorFlipFlop = BasicSixNorFlipFlop<>;

// Eight master-slave flip-flops sharing one clock and one clear.
class EightBitRegister {
public:
    void setVoltage(bool on) {
        for (MasterSlaveFlipFlop& bit : bits_) bit.setVoltage(on);
    }
    void setClock(bool on) {
        for (MasterSlaveFlipFlop& bit : bits_) bit.setClock(on);
    }
    void setClear(bool on) {
        for (MasterSlaveFlipFlop& bit : bits_) bit.setClear(on);
    }
    void setData(int index, bool on) { bits_[index].setData(on); }
    bool q(int index) const { return bits_[index].q(); }
    void step() {
        for (MasterSlaveFlipFlop& bit : bits_) bit.step();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(EightBitRegister, bits_)); }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<EightBitRegister>{"q", 8, [](const EightBitRegister& r, int i) { return r.q(i); }});
    }

private:
    MasterSlaveFlipFlop bits_[8];
};

static_assert(checkedRelayCount<MasterSlaveFlipFlop>() == 20);
static_assert(checkedRelayCount<SixNorFlipFlop>() == 19);
static_assert(checkedRelayCount<EightBitRegister>() == 160);

}  // namespace tarnwick
