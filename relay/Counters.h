#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "relay/Circuit.h"
#include "relay/Gates.h"
#include "relay/LaneRelay.h"
#include "relay/Storage.h"

namespace tarnwick {

// One bit of a loadable counter: a six-NOR flip-flop whose preset and clear
// are driven by the load and clear inputs, so both act whatever the clock.
template <class R = Relay>
class BasicCounterStage {
public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) {
        flipFlop_.setVoltage(on);
        loadOne_.setVoltage(on);
        loadZero_.setVoltage(on);
        clearOr_.setVoltage(on);
        loadDataRelay_.setVoltage(on);
    }
    TARNWICK_INLINE void setClear(Signal on) { clearOr_.setInput(1, on); }
    TARNWICK_INLINE void setLoad(Signal on) {
        loadOne_.setInput(0, on);
        loadZero_.setInput(0, on);
    }
    TARNWICK_INLINE void setLoadData(Signal on) {
        loadDataRelay_.setCoil(on);
        loadOne_.setInput(1, on);
    }
    TARNWICK_INLINE void setData(Signal on) { flipFlop_.setData(on); }
    TARNWICK_INLINE void setClock(Signal on) { flipFlop_.setClock(on); }
    TARNWICK_INLINE Signal q() const { return flipFlop_.q(); }
    TARNWICK_INLINE Signal notQ() const { return flipFlop_.notQ(); }
    TARNWICK_INLINE Signal clockInput() const { return flipFlop_.clockInput(); }

    TARNWICK_INLINE void step() {
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

    static constexpr auto members() {
        using S = BasicCounterStage;
        return std::make_tuple(TARNWICK_MEMBER(S, flipFlop_), TARNWICK_MEMBER(S, loadOne_),
                               TARNWICK_MEMBER(S, loadZero_), TARNWICK_MEMBER(S, clearOr_),
                               TARNWICK_MEMBER(S, loadDataRelay_));
    }
    static constexpr auto outputs() {
        using S = BasicCounterStage;
        return std::make_tuple(Output<S>{"q", 0, [](const S& s, int) { return bool(s.q()); }},
                               Output<S>{"notQ", 0, [](const S& s, int) { return bool(s.notQ()); }});
    }

private:
    BasicSixNorFlipFlop<R> flipFlop_;   // F
    BasicTwoInputAndGate<R> loadOne_;   // L1
    BasicTwoInputAndGate<R> loadZero_;  // L0
    BasicTwoInputOrGate<R> clearOr_;    // O
    R loadDataRelay_;                   // R
};

using CounterStage = BasicCounterStage<>;

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
    // clock takes stage i's notQ, then every stage steps. Within a pass every
    // input is written before any stage steps, so the sixteen stage steps are
    // independent: they run as one stage built of 16-lane relays (lane s =
    // stage s), the stage's own step on all sixteen at once. That leaves
    // every relay as referenceStep() does, several times faster.
    void step() {
        Lanes lanes = toLanes();
        // Stage 0's clock is the counter's input; it stays as written.
        const bool clock = stages_[0].clockInput();
        for (int pass = 0; pass < 16; ++pass) {
            const Lane notQ = lanes.notQ();
            lanes.setData(notQ);
            Lane previousNotQ =
                __builtin_shufflevector(notQ, notQ, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
            previousNotQ[0] = clock ? 0xFF : 0;
            lanes.setClock(previousNotQ);
            lanes.step();
        }
        fromLanes(lanes);
    }

    // The same step, stage by stage: the definition the fast step follows.
    void referenceStep() {
        for (int pass = 0; pass < 16; ++pass) {
            for (CounterStage& stage : stages_) stage.setData(stage.notQ());
            for (int i = 0; i < 15; ++i) stages_[i + 1].setClock(stages_[i].notQ());
            for (CounterStage& stage : stages_) stage.step();
        }
    }

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(SixteenBitCounter, stages_)); }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<SixteenBitCounter>{"q", 16, [](const SixteenBitCounter& c, int i) { return c.q(i); }});
    }

private:
    using Lane = std::uint8_t __attribute__((vector_size(16)));
    using Lanes = BasicCounterStage<LaneRelay<Lane>>;
    static constexpr std::size_t kStageRelays = checkedRelayCount<CounterStage>();
    static_assert(checkedRelayCount<Lanes, sizeof(Lane)>() == kStageRelays);
    static_assert(std::is_trivially_copyable_v<CounterStage> && std::is_trivially_copyable_v<Lanes>);

    // Relay k of stage s is lane s of the lane stage's relay k.
    Lanes toLanes() const {
        alignas(16) std::uint8_t lanes[kStageRelays][16];
        std::uint8_t bytes[sizeof stages_];
        std::memcpy(bytes, static_cast<const void*>(stages_), sizeof stages_);
        for (int s = 0; s < 16; ++s) {
            for (std::size_t k = 0; k < kStageRelays; ++k) lanes[k][s] = bytes[s * kStageRelays + k];
        }
        Lanes stage;
        std::memcpy(static_cast<void*>(&stage), lanes, sizeof lanes);
        return stage;
    }
    void fromLanes(const Lanes& stage) {
        alignas(16) std::uint8_t lanes[kStageRelays][16];
        std::memcpy(lanes, static_cast<const void*>(&stage), sizeof lanes);
        std::uint8_t bytes[sizeof stages_];
        for (int s = 0; s < 16; ++s) {
            for (std::size_t k = 0; k < kStageRelays; ++k) bytes[s * kStageRelays + k] = lanes[k][s];
        }
        std::memcpy(static_cast<void*>(stages_), bytes, sizeof stages_);
    }

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

    static constexpr auto members() { return std::make_tuple(TARNWICK_MEMBER(RingCounter, stages_)); }
    static constexpr auto outputs() {
        return std::make_tuple(
            Output<RingCounter>{"output", 4, [](const RingCounter& c, int i) { return c.output(i); }});
    }

private:
    SixNorFlipFlop stages_[4];
};

static_assert(checkedRelayCount<CounterStage>() == 26);
static_assert(checkedRelayCount<SixteenBitCounter>() == 416);
static_assert(checkedRelayCount<RingCounter>() == 76);

}  // namespace tarnwick
