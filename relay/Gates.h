#pragma once

#include <cassert>
#include <cstddef>

#include "relay/Circuit.h"
#include "relay/Relay.h"

namespace tarnwick {

// Every circuit is templated on its relay type R: Relay for the machine's
// circuits, LaneRelay for many copies stepped side by side (relay/LaneRelay.h).
// Signal is bool for Relay and a lane mask for LaneRelay.

// A series chain of relays: relay 0 takes the power input, every further relay
// takes its supply from the contact of the relay before it. Input i drives the
// coil of relay i. With normally-open contacts the chain is an AND gate, with
// normally-closed contacts a NOR gate.
template <int N, bool NormallyOpen, class R = Relay>
class SeriesChain {
    static_assert(N >= 2);

public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) { relays_[0].setVoltage(on); }
    TARNWICK_INLINE void setInput(int index, Signal on) {
        assert(index >= 0 && index < N);
        relays_[index].setCoil(on);
    }
    TARNWICK_INLINE Signal output() const { return contact(relays_[N - 1]); }

    // Each relay is ticked before its contact feeds the next one, so power and
    // inputs cross the whole chain in one step. Unrolled so that the relays of
    // a chain stay in registers: the relay-built memory steps millions of
    // these per step.
    TARNWICK_INLINE void step() {
#pragma GCC unroll 8
        for (int k = 0; k < N - 1; ++k) {
            relays_[k].tick();
            relays_[k + 1].setVoltage(contact(relays_[k]));
        }
        relays_[N - 1].tick();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(SeriesChain, relays_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<SeriesChain>{
            "output", 0, [](const SeriesChain& gate, int) { return bool(gate.output()); }});
    }

private:
    TARNWICK_INLINE static Signal contact(const R& relay) {
        if constexpr (NormallyOpen) {
            return relay.normallyOpen();
        } else {
            return relay.normallyClosed();
        }
    }

    R relays_[N];
};

// Relays side by side, each fed from the power input. The output is true as
// soon as one relay's contact (normally-open for OR, normally-closed for NAND)
// is true.
template <int N, bool NormallyOpen, class R = Relay>
class ParallelGroup {
public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) {
        for (R& relay : relays_) relay.setVoltage(on);
    }
    TARNWICK_INLINE void setInput(int index, Signal on) {
        assert(index >= 0 && index < N);
        relays_[index].setCoil(on);
    }
    TARNWICK_INLINE Signal output() const {
        Signal any{};
        for (const R& relay : relays_)
            any = any | (NormallyOpen ? relay.normallyOpen() : relay.normallyClosed());
        return any;
    }
    TARNWICK_INLINE void step() {
        for (R& relay : relays_) relay.tick();
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(ParallelGroup, relays_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<ParallelGroup>{
            "output", 0, [](const ParallelGroup& gate, int) { return bool(gate.output()); }});
    }

private:
    R relays_[N];
};

template <class R = Relay>
using BasicTwoInputAndGate = SeriesChain<2, true, R>;
template <class R = Relay>
using BasicThreeInputNorGate = SeriesChain<3, false, R>;
template <class R = Relay>
using BasicTwoInputNorGate = SeriesChain<2, false, R>;
template <class R = Relay>
using BasicTwoInputOrGate = ParallelGroup<2, true, R>;

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

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(EightBitBuffer, relays_)); }
    static constexpr auto outputs() {
        return std::make_tuple(Output<EightBitBuffer>{
            "output", 8, [](const EightBitBuffer& buffer, int i) { return buffer.output(i); }});
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

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(Buzzer, relay_)); }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<Buzzer>{"output", 0, [](const Buzzer& buzzer, int) { return buzzer.output(); }});
    }

private:
    Relay relay_;
};

static_assert(checkedRelayCount<TwoInputAndGate>() == 2);
static_assert(checkedRelayCount<ThreeInputAndGate>() == 3);
static_assert(checkedRelayCount<EightInputAndGate>() == 8);
static_assert(checkedRelayCount<TwoInputNorGate>() == 2);
static_assert(checkedRelayCount<ThreeInputNorGate>() == 3);
static_assert(checkedRelayCount<EightInputNorGate>() == 8);
static_assert(checkedRelayCount<TwoInputOrGate>() == 2);
static_assert(checkedRelayCount<ThreeInputOrGate>() == 3);
static_assert(checkedRelayCount<FiveInputOrGate>() == 5);
static_assert(checkedRelayCount<TwoInputNandGate>() == 2);
static_assert(checkedRelayCount<EightBitBuffer>() == 8);
static_assert(checkedRelayCount<Buzzer>() == 1);

}  // namespace tarnwick
