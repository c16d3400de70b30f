#pragma once

#include <cstdint>
#include <cstring>

#include "relay/Relay.h"

namespace tarnwick::counterlanes {

// The sixteen stages of a ripple counter stepped side by side. Within one
// pass of the counter every stage's inputs are written before any stage is
// stepped, so the sixteen stage steps of a pass are independent of each
// other. Here byte k of every stage sits in one 16-lane vector (lane s =
// stage s), and each relay operation of the stage step is applied to all
// sixteen stages at once. Every relay ends each pass exactly as the
// stage-by-stage pass leaves it; the counter's tests compare the two byte for
// byte.

using Lanes = std::uint8_t __attribute__((vector_size(16)));

// Relay byte positions inside a CounterStage, in member order: the six-NOR
// flip-flop (K, G1 to G6 with three relays each), L1, L0, O, R.
enum Byte : int {
    K = 0,
    G1 = 1, G2 = 4, G3 = 7, G4 = 10, G5 = 13, G6 = 16,
    L1 = 19, L0 = 21, O = 23, R = 25,
    StageBytes = 26,
};

// The relay operations of one byte, on sixteen bytes at a time. A contact
// test gives 0xFF in a lane where the contact is closed and 0 elsewhere.
inline Lanes tick(Lanes r) {
#ifdef TARNWICK_COUNT_RELAY_TICKS
    relayTicksCounted += 16;  // one relay in each of the sixteen stages
#endif
    return (r & 0xF0) | (r >> 4);
}
inline Lanes normallyOpen(Lanes r) { return (Lanes)((r & 0x0C) == 0x0C); }
inline Lanes normallyClosed(Lanes r) { return (Lanes)((r & 0x0C) == 0x08); }
inline Lanes withCoil(Lanes r, Lanes on) { return (r & 0xBF) | (on & 0x40); }
inline Lanes withSupply(Lanes r, Lanes on) { return (r & 0x7F) | (on & 0x80); }

struct Stages {
    Lanes b[StageBytes];

    // A two-relay AND chain or a three-relay NOR chain starting at byte g.
    void stepAnd2(int g) {
        b[g] = tick(b[g]);
        b[g + 1] = tick(withSupply(b[g + 1], normallyOpen(b[g])));
    }
    void stepNor3(int g) {
        b[g] = tick(b[g]);
        b[g + 1] = tick(withSupply(b[g + 1], normallyClosed(b[g])));
        b[g + 2] = tick(withSupply(b[g + 2], normallyClosed(b[g + 1])));
    }
    Lanes norOutput(int g) const { return normallyClosed(b[g + 2]); }
    void setInput(int g, int input, Lanes on) { b[g + input] = withCoil(b[g + input], on); }

    // One pass of the counter: data and clock inputs, then every stage's step.
    void pass() {
        const Lanes notQ = norOutput(G6);
        setInput(G4, 2, notQ);  // each stage toggles: data = its own notQ
        // Stage s+1 is clocked by stage s's notQ; stage 0 keeps its own clock.
        const Lanes previousNotQ =
            __builtin_shufflevector(notQ, notQ, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
        const Lanes firstLane = {0xFF};
        b[K] = (b[K] & firstLane) | (withCoil(b[K], previousNotQ) & ~firstLane);

        // The stage's load and clear gates.
        b[R] = tick(b[R]);
        setInput(L0, 1, normallyClosed(b[R]));
        stepAnd2(L1);
        stepAnd2(L0);
        b[O] = withCoil(b[O], normallyOpen(b[L0 + 1]));
        const Lanes preset = normallyOpen(b[L1 + 1]);
        setInput(G2, 1, preset);
        setInput(G4, 1, preset);
        setInput(G6, 1, preset);
        b[O] = tick(b[O]);
        b[O + 1] = tick(b[O + 1]);
        const Lanes clear = normallyOpen(b[O]) | normallyOpen(b[O + 1]);
        setInput(G1, 0, clear);
        setInput(G5, 0, clear);

        // The flip-flop: clock relay, two passes of the input gates, two of the
        // output latch.
        b[K] = tick(b[K]);
        setInput(G2, 2, normallyClosed(b[K]));
        setInput(G3, 1, normallyClosed(b[K]));
        for (int inputPass = 0; inputPass < 2; ++inputPass) {
            const Lanes out1 = norOutput(G1), out2 = norOutput(G2);
            const Lanes out3 = norOutput(G3), out4 = norOutput(G4);
            setInput(G1, 1, out4);
            setInput(G1, 2, out2);
            setInput(G2, 0, out1);
            setInput(G3, 0, out2);
            setInput(G3, 2, out4);
            setInput(G4, 0, out3);
            stepNor3(G1);
            stepNor3(G2);
            stepNor3(G3);
            stepNor3(G4);
        }
        setInput(G5, 1, norOutput(G2));
        setInput(G5, 2, norOutput(G6));
        setInput(G6, 0, norOutput(G5));
        setInput(G6, 2, norOutput(G3));
        stepNor3(G5);
        stepNor3(G6);
        const Lanes out5 = norOutput(G5), out6 = norOutput(G6);
        setInput(G5, 2, out6);
        setInput(G6, 0, out5);
        stepNor3(G5);
        stepNor3(G6);
    }
};

// From sixteen stages of 26 relay bytes each, stored one after another, to
// one vector per byte position, and back.
inline Stages load(const std::uint8_t (&bytes)[16 * StageBytes]) {
    alignas(16) std::uint8_t lanes[StageBytes][16];
    for (int s = 0; s < 16; ++s) {
        for (int k = 0; k < StageBytes; ++k) lanes[k][s] = bytes[s * StageBytes + k];
    }
    Stages stages;
    std::memcpy(&stages.b, lanes, sizeof lanes);
    return stages;
}

inline void store(const Stages& stages, std::uint8_t (&bytes)[16 * StageBytes]) {
    alignas(16) std::uint8_t lanes[StageBytes][16];
    std::memcpy(lanes, &stages.b, sizeof lanes);
    for (int s = 0; s < 16; ++s) {
        for (int k = 0; k < StageBytes; ++k) bytes[s * StageBytes + k] = lanes[k][s];
    }
}

}  // namespace tarnwick::counterlanes
