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
    // inputs cross the whole chain in one step:
    //
    //   for k = 0 to N-2: tick relay k; supply of relay k+1 = contact of relay k
    //   tick relay N-1
    //
    // Relay k therefore ends up supplied exactly when relay 0's supply is on and
    // every relay before k passes it (coil on for AND, off for NOR): all relays
    // up to and including the first that blocks. The word form computes that
    // with one load and one store; it leaves every relay in the same state as
    // the loop, which is the form used where bytes are not in that order.
    void step() {
        if constexpr (relayWordsAvailable) {
            constexpr std::uint64_t coilBits = relayLanes(N, 0x40);
            constexpr std::uint64_t supplyBits = relayLanes(N, 0x80);
            const std::uint64_t word = loadRelays(relays_);
            const std::uint64_t coils = word & coilBits;
            const std::uint64_t passing = NormallyOpen ? coils : (~word & coilBits);
            const std::uint64_t blocking = ~passing & coilBits;
            // Lanes 0 to the first blocking one (all lanes when none blocks).
            const std::uint64_t fed = ((blocking & (~blocking + 1)) << 2) - 1;
            const std::uint64_t powered = std::uint64_t{0} - ((word >> 7) & 1);
            storeRelays(relays_, tickRelayWord(coils | (supplyBits & fed & powered)));
        } else {
            for (int k = 0; k < N - 1; ++k) {
                relays_[k].tick();
                relays_[k + 1].setVoltage(contact(relays_[k]));
            }
            relays_[N - 1].tick();
        }
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
        if constexpr (relayWordsAvailable) {
            // Current supply is bit 3, current coil bit 2 of each relay.
            const std::uint64_t word = loadRelays(relays_);
            const std::uint64_t coil = NormallyOpen ? word : ~word;
            return ((word >> 1) & coil & relayLanes(N, 0x04)) != 0;
        } else {
            for (const Relay& relay : relays_) {
                if (NormallyOpen ? relay.normallyOpen() : relay.normallyClosed()) return true;
            }
            return false;
        }
    }
    void step() {
        if constexpr (relayWordsAvailable) {
            storeRelays(relays_, tickRelayWord(loadRelays(relays_)));
        } else {
            for (Relay& relay : relays_) relay.tick();
        }
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
        if constexpr (relayWordsAvailable) {
            storeRelays(relays_, tickRelayWord(loadRelays(relays_)));
        } else {
            for (Relay& relay : relays_) relay.tick();
        }
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
