#pragma once

#include "relay/Gates.h"
#include "relay/Relay.h"

namespace tarnwick {

// The machine clock: a buzzer gated by a stop relay. While the stop is off the
// clock follows the buzzer, so it alternates on and off at every step.
class ClockOscillator {
public:
    void setVoltage(bool on) {
        buzzer.setVoltage(on);
        stopRelay.setVoltage(on);
        gate.setVoltage(on);
        outputRelay.setVoltage(on);
    }
    void setStop(bool on) { stopRelay.setCoil(on); }

    bool clock() const { return gate.output(); }
    // The inverse of clock() after each powered step; false while unpowered.
    bool clockOff() const { return outputRelay.normallyClosed(); }

    void step() {
        buzzer.step();
        stopRelay.tick();
        gate.setInput(0, stopRelay.normallyClosed());
        gate.setInput(1, buzzer.output());
        gate.step();
        outputRelay.setCoil(gate.output());
        outputRelay.tick();
    }

private:
    Buzzer buzzer;
    Relay stopRelay;
    TwoInputAndGate gate;
    Relay outputRelay;
};

static_assert(sizeof(ClockOscillator) == 5);

}  // namespace tarnwick
