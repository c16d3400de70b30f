#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "relay/CounterLanes.h"
#include "relay/Gates.h"
#include "relay/Storage.h"

namespace tarnwick {

// One bit of a loadable counter: a six-NOR flip-flop whose preset and clear
// are driven by the load and clear inputs, so both act whatever the clock.
class CounterStage {
public:
    void setVoltage(bool on) {
        flipFlop_.setVoltage(on);
        loadOne_.setVoltage(on);
        loadZero_.setVoltage(on);
        clearOr_.setVoltage(on);
        loadDataRelay_.setVoltage(on);
    }
    void setClear(bool on) { clearOr_.setInput(1, on); }
    void setLoad(bool on) {
        loadOne_.setInput(0, on);
        loadZero_.setInput(0, on);
    }
    void setLoadData(bool on) {
        loadDataRelay_.setCoil(on);
        loadOne_.setInput(1, on);
    }
    void setData(bool on) { flipFlop_.setData(on); }
    void setClock(bool on) { flipFlop_.setClock(on); }
    bool q() const { return flipFlop_.q(); }
    bool notQ() const { return flipFlop_.notQ(); }

    void step() {
        loadDataRelay_.tick();
        loadZero_.setInput(1, loadDataRelay_.normallyClosed());
        loadOne_.step();
        loadZero_.step();
        clearOr_.setInput(0, loadZero_.output());
        flipFlop_.setPreset(loadOne_.output());
        clearOr_.step();
        flipFlop_.setClear(clearOr_.output());
        flipFlop_.step();
    }

private:
    SixNorFlipFlop flipFlop_;       // F
    TwoInputAndGate loadOne_;       // L1
    TwoInputAndGate loadZero_;      // L0
    TwoInputOrGate clearOr_;        // O
    Relay loadDataRelay_;           // R
};

// Sixteen-bit ripple counter with clear and parallel load. Every stage toggles
// on its own rising clock, and stage i+1 is clocked by stage i's notQ. A carry
// needs one pass per bit, so each step runs exactly sixteen passes.
class SixteenBitCounter {
public:
    void setVoltage(bool on) {
        for (CounterStage& stage : stages_) stage.setVoltage(on);
    }
    void setClear(bool on) {
        for (CounterStage& stage : stages_) stage.setClear(on);
    }
    void setLoad(bool on) {
        for (CounterStage& stage : stages_) stage.setLoad(on);
    }
    void setLoadData(int index, bool on) { stages_[index].setLoadData(on); }
    void setClock(bool on) { stages_[0].setClock(on); }
    bool q(int index) const { return stages_[index].q(); }

    // Sixteen passes of: every stage's data takes its own notQ, stage i+1's
    // clock takes stage i's notQ, then every stage steps. The passes run on
    // all sixteen stages side by side (relay/CounterLanes.h), which leaves
    // every relay as referenceStep() does, several times faster.
    void step() {
        std::uint8_t bytes[sizeof stages_];
        std::memcpy(bytes, stages_, sizeof stages_);
        counterlanes::Stages lanes = counterlanes::load(bytes);
        for (int pass = 0; pass < 16; ++pass) lanes.pass();
        counterlanes::store(lanes, bytes);
        std::memcpy(static_cast<void*>(stages_), bytes, sizeof stages_);
    }

    // The same step, stage by stage: the definition the fast step follows.
    void referenceStep() {
        for (int pass = 0; pass < 16; ++pass) {
            for (CounterStage& stage : stages_) stage.setData(stage.notQ());
            for (int i = 0; i < 15; ++i) stages_[i + 1].setClock(stages_[i].notQ());
            for (CounterStage& stage : stages_) stage.step();
        }
    }

private:
    static_assert(std::is_trivially_copyable_v<CounterStage>);
    static_assert(sizeof(CounterStage) == counterlanes::StageBytes);

    CounterStage stages_[16];
};

// Four flip-flops in a ring passing one on bit along at each rising clock.
// Reset puts the bit in stage 3, so the first rising clock gives stage 0.
class RingCounter {
public:
    void setVoltage(bool on) {
        for (SixNorFlipFlop& stage : stages_) stage.setVoltage(on);
    }
    void setReset(bool on) {
        stages_[0].setClear(on);
        stages_[1].setClear(on);
        stages_[2].setClear(on);
        stages_[3].setPreset(on);
    }
    void setClock(bool on) {
        for (SixNorFlipFlop& stage : stages_) stage.setClock(on);
    }
    bool output(int index) const { return stages_[index].q(); }

    void step() {
        for (int pass = 0; pass < 2; ++pass) {
            stages_[0].setData(stages_[3].q());
            stages_[1].setData(stages_[0].q());
            stages_[2].setData(stages_[1].q());
            stages_[3].setData(stages_[2].q());
            for (SixNorFlipFlop& stage : stages_) stage.step();
        }
    }

private:
    SixNorFlipFlop stages_[4];
};

static_assert(sizeof(CounterStage) == 26);
static_assert(sizeof(SixteenBitCounter) == 416);
static_assert(sizeof(RingCounter) == 76);

}  // namespace tarnwick
