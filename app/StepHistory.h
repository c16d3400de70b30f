#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "machine/Computer.h"

namespace tarnwick {

// The way back: checkpoints of the whole machine (Computer::State) taken
// before cycles, and replay of the cycles after one. A checkpoint is taken
// every `interval` cycles and before the first cycle after any other input
// (power, a control-panel step, a byte loaded, edited or read, a switch the
// cycles read), so the cycles between two checkpoints depend on nothing but
// the first: replaying them gives the same states, relay for relay.
//
// Attached to one Computer as one of its CycleWatchers. Recording runs on whichever
// thread runs cycles; stepping back runs the cycles itself and must be
// called while no other thread runs any.
class StepHistory final : public Computer::CycleWatcher {
public:
    struct Limits {
        std::uint64_t interval;   // cycles between checkpoints
        std::size_t checkpoints;  // kept at most; the oldest goes first
    };
    // The byte array: about 67 KB a checkpoint, so 48 of them (3.2 MB) reach
    // 12,032 cycles back at least.
    static constexpr Limits smallMemory{256, 48};
    // The relay-built memory: about 10.3 MB a checkpoint; 3 (31 MB) reach
    // 4,096 cycles back at least, and a step back replays at most 2,047.
    static constexpr Limits relayMemory{2048, 3};
    // Memory states above this size get relayMemory's limits.
    static constexpr std::size_t largeState = 1 << 20;

    // Records the computer's cycles from now on. limits, when given, apply to
    // every memory (tests); otherwise they follow the memory's state size.
    explicit StepHistory(Computer& computer, const Limits* limits = nullptr);
    ~StepHistory();
    StepHistory(const StepHistory&) = delete;
    StepHistory& operator=(const StepHistory&) = delete;

    void beforeCycle(const Computer& computer) override;

    // Cycles recorded since the history began (or was cleared), less those
    // stepped back.
    std::uint64_t cycle() const;
    // How many cycles a step back can undo now.
    std::uint64_t cyclesBack() const;
    // Returns the machine to the state it had `cycles` cycles ago (or as far
    // as the history reaches); the cycles stepped back. Later history is
    // dropped: the next cycles are recorded afresh.
    std::uint64_t stepBack(std::uint64_t cycles);
    // Steps back to the latest state, at most `limit` cycles back, that came
    // after a cycle meeting `after`; when none does, `limit` cycles (or as
    // far as the history reaches). Returns the cycles stepped back.
    std::uint64_t stepBackTo(const std::function<bool(const Computer&)>& after, std::uint64_t limit);
    // Forgets every checkpoint.
    void clear();
    // The bytes the checkpoints hold now.
    std::size_t bytesHeld() const;
    // False while the memory in use keeps no copies (the tree-built memory).
    bool available() const;

private:
    struct Checkpoint {
        std::uint64_t cycle = 0;
        std::uint64_t inputs = 0;
        std::uint32_t switches = 0;
        Computer::State state;
    };
    static std::uint32_t switchesOf(const Computer& computer);
    void checkpoint(const Computer& computer, std::uint64_t inputs, std::uint32_t switches);
    // Restores the newest checkpoint at or before target and replays to it,
    // calling `after` (if any) after every replayed cycle with its number.
    bool replayTo(std::uint64_t target, const std::function<void(std::uint64_t)>& after);
    std::uint64_t oldestLocked() const;

    Computer& computer_;
    const Limits* fixedLimits_;
    Limits limits_ = smallMemory;
    mutable std::mutex lock_;
    // Held through a whole step back, which runs cycles and so takes the
    // cycle lock; lock_ is never held then, since a cycle takes lock_ under
    // the cycle lock (beforeCycle) and the two must always nest that way.
    std::mutex stepLock_;
    std::deque<Checkpoint> checkpoints_;  // oldest first; guarded by lock_
    Checkpoint spare_;                    // storage of the last dropped checkpoint, reused
    std::uint64_t now_ = 0;
    bool available_ = true;
    std::atomic<bool> replaying_{false};
};

}  // namespace tarnwick
