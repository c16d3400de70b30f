#pragma once

#include "relay/Circuit.h"
#include "relay/Counters.h"
#include "relay/Gates.h"

namespace tarnwick {

// Divides an instruction into phases 0 to 3: a ring moved by each rising
// clock, and the count pulse (clock during phases 0, 1 and 2) that advances
// the program counter once at the start of each fetch phase.
class PhaseSequencer {
public:
    void setVoltage(bool on) {
        ring_.setVoltage(on);
        fetchPhaseGate_.setVoltage(on);
        countPulseGate_.setVoltage(on);
    }
    void setReset(bool on) { ring_.setReset(on); }
    void setClock(bool on) {
        ring_.setClock(on);
        countPulseGate_.setInput(1, on);
    }

    bool phase(int index) const { return ring_.output(index); }
    bool countPulse() const { return countPulseGate_.output(); }

    void step() {
        ring_.step();
        fetchPhaseGate_.setInput(0, ring_.output(0));
        fetchPhaseGate_.setInput(1, ring_.output(1));
        fetchPhaseGate_.setInput(2, ring_.output(2));
        fetchPhaseGate_.step();
        countPulseGate_.setInput(0, fetchPhaseGate_.output());
        countPulseGate_.step();
    }

    static constexpr auto members() {
        using C = PhaseSequencer;
        return std::make_tuple(TARNWICK_MEMBER(C, ring_), TARNWICK_MEMBER(C, fetchPhaseGate_),
                               TARNWICK_MEMBER(C, countPulseGate_));
    }
    static constexpr auto outputs() {
        using C = PhaseSequencer;
        return std::make_tuple(
            Output<C>{"phase", 4, [](const C& c, int i) { return bool(c.phase(i)); }},
            Output<C>{"countPulse", 0, [](const C& c, int) { return bool(c.countPulse()); }});
    }

private:
    RingCounter ring_;
    ThreeInputOrGate fetchPhaseGate_;
    TwoInputAndGate countPulseGate_;
};

static_assert(checkedRelayCount<PhaseSequencer>() == 81);

}  // namespace tarnwick
