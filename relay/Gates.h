#pragma once

#include <cassert>

#include "relay/Relay.h"

namespace tarnwick {

// A series chain of relays: relay 0 takes the power input, every further relay
// takes its supply from the contact of the relay before it. Input i drives the
// coil of relay i. With normally-open contacts the chain is an AND gate, with
// normally-closed contacts a NOR gate.
template <int N, bool NormallyOpen>
class SeriesChain {
    static_assert(N >= 2);

public:
    void setVoltage(bool on) { relays_[0].setVoltage(on); }
    void setInput(int index, bool on) {
        assert(index >= 0 && index < N);
        relays_[index].setCoil(on);
    }
    bool output() const { return contact(relays_[N - 1]); }

    // Each relay is ticked before its contact feeds the next one, so power and
    // inputs cross the whole chain in one step. Unrolled so that the relays of
    // a chain stay in registers: the relay-built memory steps millions of
    // these per step.
    void step() {
#pragma GCC unroll 8
        for (int k = 0; k < N - 1; ++k) {
            relays_[k].tick();
            relays_[k + 1].setVoltage(contact(relays_[k]));
        }
        relays_[N - 1].tick();
    }

private:
    static bool contact(const Relay& relay) {
        if constexpr (NormallyOpen) {
            return relay.normallyOpen();
        } else {
            return relay.normallyClosed();
        }
    }

    Relay relays_[N];
};

// Relays side by side, each fed from the power input. The output is true as
// soon as one relay's contact (normally-open for OR, normally-closed for NAND)
// is true, testing in index order.
template <int N, bool NormallyOpen>
class ParallelGroup {
public:
    void setVoltage(bool on) {
        for (Relay& relay : relays_) relay.setVoltage(on);
    }
    void setInput(int index, bool on) {
        assert(index >= 0 && index < N);
        relays_[index].setCoil(on);
    }
    bool output() const {
        for (const Relay& relay : relays_) {
            if (NormallyOpen ? relay.normallyOpen() : relay.normallyClosed()) return true;
        }
        return false;
    }
    void step() {
        for (Relay& relay : relays_) relay.tick();
    }

private:
    Relay relays_[N];
};

using TwoInputAndGate = SeriesChain<2, true>;
using ThreeInputAndGate = SeriesChain<3, true>;
using EightInputAndGate = SeriesChain<8, true>;
using TwoInputNorGate = SeriesChain<2, false>;
using ThreeInputNorGate = SeriesChain<3, false>;
using EightInputNorGate = SeriesChain<8, false>;
using TwoInputOrGate = ParallelGroup<2, true>;
using ThreeInputOrGate = ParallelGroup<3, true>;
using FiveInputOrGate = ParallelGroup<5, true>;
using TwoInputNandGate = ParallelGroup<2, false>;

// Eight independent relays: output i follows input i while powered.
class EightBitBuffer {
public:
    void setVoltage(bool on) {
        for (Relay& relay : relays_) relay.setVoltage(on);
    }
    void setInput(int index, bool on) {
        assert(index >= 0 && index < 8);
        relays_[index].setCoil(on);
    }
    bool output(int index) const { return relays_[index].normallyOpen(); }
    void step() {
        for (Relay& relay : relays_) relay.tick();
    }

private:
    Relay relays_[8];
};

// A relay whose coil is fed from its own normally-closed contact: while
// powered its output alternates at every step, true first.
class Buzzer {
public:
    void setVoltage(bool on) { relay_.setVoltage(on); }
    bool output() const { return relay_.normallyClosed(); }
    void step() {
        relay_.setCoil(relay_.normallyClosed());
        relay_.tick();
    }

private:
    Relay relay_;
};

static_assert(sizeof(TwoInputAndGate) == 2);
static_assert(sizeof(ThreeInputAndGate) == 3);
static_assert(sizeof(EightInputAndGate) == 8);
static_assert(sizeof(TwoInputNorGate) == 2);
static_assert(sizeof(ThreeInputNorGate) == 3);
static_assert(sizeof(EightInputNorGate) == 8);
static_assert(sizeof(TwoInputOrGate) == 2);
static_assert(sizeof(ThreeInputOrGate) == 3);
static_assert(sizeof(FiveInputOrGate) == 5);
static_assert(sizeof(TwoInputNandGate) == 2);
static_assert(sizeof(EightBitBuffer) == 8);
static_assert(sizeof(Buzzer) == 1);

}  // namespace tarnwick
