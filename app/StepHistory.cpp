#include "app/StepHistory.h"

#include <algorithm>
#include <vector>

namespace tarnwick {

StepHistory::StepHistory(Computer& computer, const Limits* limits)
    : computer_(computer), fixedLimits_(limits) {
    if (fixedLimits_) limits_ = *fixedLimits_;
    computer_.addCycleWatcher(this);
}

StepHistory::~StepHistory() { computer_.removeCycleWatcher(this); }

std::uint32_t StepHistory::switchesOf(const Computer& computer) {
    // The switches a cycle reads: Reset and the control panel's 26.
    const auto& panel = computer.controlPanel();
    std::uint32_t bits = computer.resetSwitch().isOn() ? 1u : 0u;
    for (int k = 0; k < 16; ++k) bits |= std::uint32_t{panel.addressSwitches[k].isOn()} << (1 + k);
    for (int k = 0; k < 8; ++k) bits |= std::uint32_t{panel.dataSwitches[k].isOn()} << (17 + k);
    bits |= std::uint32_t{panel.writeSwitch.isOn()} << 25;
    bits |= std::uint32_t{panel.takeoverSwitch.isOn()} << 26;
    return bits;
}

void StepHistory::beforeCycle(const Computer& computer) {
    if (replaying_.load(std::memory_order_acquire)) return;
    std::scoped_lock lock(lock_);
    const std::uint64_t inputs = computer.inputsApplied();
    const std::uint32_t switches = switchesOf(computer);
    const bool due = checkpoints_.empty() || checkpoints_.back().inputs != inputs ||
                     checkpoints_.back().switches != switches ||
                     checkpoints_.back().state.memoryInUse != &computer.controlPanel().memory() ||
                     now_ - checkpoints_.back().cycle >= limits_.interval;
    if (due) checkpoint(computer, inputs, switches);
    ++now_;
}

void StepHistory::checkpoint(const Computer& computer, std::uint64_t inputs, std::uint32_t switches) {
    if (!checkpoints_.empty() && checkpoints_.back().state.memoryInUse != &computer.controlPanel().memory()) {
        // Another memory: nothing before this point can be returned to.
        checkpoints_.clear();
        available_ = true;
    }
    if (!available_) return;
    Checkpoint next = std::move(spare_);
    if (!checkpoints_.empty() && checkpoints_.back().cycle == now_) {
        // An input since the last checkpoint and no cycle in between: the
        // state before it cannot be stepped back to, so its room is reused.
        next = std::move(checkpoints_.back());
        checkpoints_.pop_back();
    }
    if (!computer.captureState(next.state)) {
        available_ = false;
        checkpoints_.clear();
        return;
    }
    if (!fixedLimits_) limits_ = next.state.memory.size() > largeState ? relayMemory : smallMemory;
    next.cycle = now_;
    next.inputs = inputs;
    next.switches = switches;
    checkpoints_.push_back(std::move(next));
    while (checkpoints_.size() > limits_.checkpoints) {
        spare_ = std::move(checkpoints_.front());
        checkpoints_.pop_front();
    }
}

std::uint64_t StepHistory::cycle() const {
    std::scoped_lock lock(lock_);
    return now_;
}

std::uint64_t StepHistory::oldestLocked() const {
    return checkpoints_.empty() ? now_ : checkpoints_.front().cycle;
}

std::uint64_t StepHistory::cyclesBack() const {
    std::scoped_lock lock(lock_);
    if (!available_ || checkpoints_.empty() ||
        checkpoints_.back().state.memoryInUse != &computer_.controlPanel().memory())
        return 0;
    return now_ - oldestLocked();
}

bool StepHistory::replayTo(std::uint64_t target, const std::function<void(std::uint64_t)>& after) {
    auto from = std::find_if(checkpoints_.rbegin(), checkpoints_.rend(),
                             [&](const Checkpoint& c) { return c.cycle <= target; });
    if (from == checkpoints_.rend()) return false;
    replaying_.store(true, std::memory_order_release);
    if (!computer_.restoreState(from->state)) {
        replaying_.store(false, std::memory_order_release);
        return false;
    }
    for (std::uint64_t c = from->cycle; c < target; ++c) {
        computer_.runCycle();
        if (after) after(c + 1);
    }
    replaying_.store(false, std::memory_order_release);
    std::scoped_lock lock(lock_);
    // What came after the target is another future now.
    while (!checkpoints_.empty() && checkpoints_.back().cycle > target) {
        spare_ = std::move(checkpoints_.back());
        checkpoints_.pop_back();
    }
    now_ = target;
    // The inputs count and switches stay as they are: any input from here on
    // still makes a checkpoint before the next cycle.
    return true;
}

// A step back reads the checkpoints without lock_ while it runs cycles: only
// another step back (kept out by stepLock_) or a cycle's checkpoint (none is
// taken while replaying_) changes them.
std::uint64_t StepHistory::stepBack(std::uint64_t cycles) {
    std::scoped_lock step(stepLock_);
    std::unique_lock lock(lock_);
    if (!available_ || checkpoints_.empty() || cycles == 0) return 0;
    const std::uint64_t target = now_ - std::min(cycles, now_ - oldestLocked());
    const std::uint64_t before = now_;
    lock.unlock();
    if (!replayTo(target, {})) return 0;
    return before - target;
}

std::uint64_t StepHistory::stepBackTo(const std::function<bool(const Computer&)>& after,
                                      std::uint64_t limit) {
    std::scoped_lock step(stepLock_);
    std::unique_lock lock(lock_);
    if (!available_ || checkpoints_.empty() || now_ == oldestLocked() || limit == 0) return 0;
    const std::uint64_t before = now_;
    const std::uint64_t earliest = now_ - std::min(limit, now_ - oldestLocked());
    const std::uint64_t last = now_ - 1;
    lock.unlock();
    // Each stretch between two checkpoints replayed from its own checkpoint
    // (an input may lie between them), noting the last state after
    // `earliest` that meets `after`; then back there.
    std::uint64_t found = earliest;
    replaying_.store(true, std::memory_order_release);
    for (std::size_t i = 0; i < checkpoints_.size(); ++i) {
        const Checkpoint& from = checkpoints_[i];
        const std::uint64_t end =
            i + 1 < checkpoints_.size() ? std::min(checkpoints_[i + 1].cycle, last) : last;
        if (end <= earliest || from.cycle >= end) continue;
        if (!computer_.restoreState(from.state)) break;
        for (std::uint64_t c = from.cycle; c < end; ++c) {
            computer_.runCycle();
            if (c + 1 > earliest && after(computer_)) found = c + 1;
        }
    }
    replaying_.store(false, std::memory_order_release);
    if (!replayTo(found, {})) return 0;
    return before - found;
}

void StepHistory::clear() {
    std::scoped_lock lock(lock_);
    checkpoints_.clear();
    now_ = 0;
    available_ = true;
}

std::size_t StepHistory::bytesHeld() const {
    std::scoped_lock lock(lock_);
    std::size_t bytes = 0;
    for (const Checkpoint& c : checkpoints_)
        bytes += c.state.memory.capacity() + c.state.relays.capacity() + c.state.controls.capacity();
    return bytes;
}

bool StepHistory::available() const {
    std::scoped_lock lock(lock_);
    return available_;
}

}  // namespace tarnwick
