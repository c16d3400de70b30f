#pragma once

#include "relay/Circuit.h"
#include "relay/Gates.h"
#include "relay/Relay.h"

namespace tarnwick {

// The machine clock: a buzzer gated by a stop relay. While the stop is off the
// clock follows the buzzer, so it alternates on and off at every step.
class ClockOscillator {
public:
    void setVoltage(bool on) {
        buzzer_.setVoltage(on);
        stopRelay_.setVoltage(on);
        gate_.setVoltage(on);
        outputRelay_.setVoltage(on);
    }
    void setStop(bool on) { stopRelay_.setCoil(on); }

    bool clock() const { return gate_.output(); }
    // The inverse of clock() after each powered step; false while unpowered.
    bool clockOff() const { return outputRelay_.normallyClosed(); }

    void step() {
        buzzer_.step();
        stopRelay_.tick();
        gate_.setInput(0, stopRelay_.normallyClosed());
        gate_.setInput(1, buzzer_.output());
        gate_.step();
        outputRelay_.setCoil(gate_.output());
        outputRelay_.tick();
    }

    static constexpr auto members() {
        using C = ClockOscillator;
        return std::make_tuple(TARNWICK_MEMBER(C, buzzer_), TARNWICK_MEMBER(C, stopRelay_),
                               TARNWICK_MEMBER(C, gate_), TARNWICK_MEMBER(C, outputRelay_));
    }
    static constexpr auto outputs() {
        using C = ClockOscillator;
        return std::make_tuple(Output<C>{"clock", 0, [](const C& c, int) { return bool(c.clock()); }},
                               Output<C>{"clockOff", 0, [](const C& c, int) { return bool(c.clockOff()); }});
    }

private:
    Buzzer buzzer_;
    Relay stopRelay_;
    TwoInputAndGate gate_;
    Relay outputRelay_;
};

static_assert(checkedRelayCount<ClockOscillator>() == 5);

}  // namespace tarnwick
