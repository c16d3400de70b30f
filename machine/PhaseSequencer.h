#pragma once

#include "relay/Counters.h"
#include "relay/Gates.h"

namespace tarnwick {

// Divides an instruction into phases 0 to 3: a ring moved by each rising
// clock, and the count pulse (clock during phases 0, 1 and 2) that advances
// the program counter once at the start of each fetch phase.
class PhaseSequencer {
public:
    void setVoltage(bool on) {
        ring.setVoltage(on);
        fetchPhaseGate.setVoltage(on);
        countPulseGate.setVoltage(on);
    }
    void setReset(bool on) { ring.setReset(on); }
    void setClock(bool on) {
        ring.setClock(on);
        countPulseGate.setInput(1, on);
    }

    bool phase(int index) const { return ring.output(index); }
    bool countPulse() const { return countPulseGate.output(); }

    void step() {
        ring.step();
        fetchPhaseGate.setInput(0, ring.output(0));
        fetchPhaseGate.setInput(1, ring.output(1));
        fetchPhaseGate.setInput(2, ring.output(2));
        fetchPhaseGate.step();
        countPulseGate.setInput(0, fetchPhaseGate.output());
        countPulseGate.step();
    }

private:
    RingCounter ring;
    ThreeInputOrGate fetchPhaseGate;
    TwoInputAndGate countPulseGate;
};

static_assert(sizeof(PhaseSequencer) == 81);

}  // namespace tarnwick
