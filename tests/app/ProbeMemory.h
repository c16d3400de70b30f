#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/LineMemory.h"

namespace tarnwick::testing {

// A byte-array memory that records every step: when, on which thread, and
// whether another step was still running (which the cycle lock must prevent).
class ProbeMemory final : public ForwardingMemory {
public:
    struct Step {
        std::chrono::steady_clock::time_point time;
        std::thread::id thread;
    };

    void setVoltage(bool on) override {
        voltageCalls_.fetch_add(1);
        inner_.setVoltage(on);
    }

    void step() override {
        if (inStep_.exchange(true)) overlaps_.fetch_add(1);
        inner_.step();
        {
            std::lock_guard lock(recordLock_);
            steps_.push_back({std::chrono::steady_clock::now(), std::this_thread::get_id()});
        }
        inStep_.store(false);
    }

    std::vector<Step> steps() {
        std::lock_guard lock(recordLock_);
        return steps_;
    }
    std::vector<Step> stepsOn(std::thread::id thread) {
        std::vector<Step> result;
        for (const Step& s : steps()) {
            if (s.thread == thread) result.push_back(s);
        }
        return result;
    }
    int overlaps() const { return overlaps_.load(); }
    int voltageCalls() const { return voltageCalls_.load(); }

private:
    std::atomic<bool> inStep_{false};
    std::atomic<int> overlaps_{0};
    std::atomic<int> voltageCalls_{0};
    std::mutex recordLock_;
    std::vector<Step> steps_;
};

}  // namespace tarnwick::testing
