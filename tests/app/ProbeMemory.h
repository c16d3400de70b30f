#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "memory/FastRAM.h"

namespace tarnwick::testing {

// A byte-array memory that records every step: when, on which thread, and
// whether another step was still running (which the cycle lock must prevent).
class ProbeMemory final : public SixtyFourKbRAM {
public:
    struct Step {
        std::chrono::steady_clock::time_point time;
        std::thread::id thread;
    };

    void setVoltage(bool on) override {
        voltageCalls_.fetch_add(1);
        inner_.setVoltage(on);
    }
    void setWrite(bool on) override { inner_.setWrite(on); }
    void setAddressBit0(bool on) override { inner_.setAddressBit0(on); }
    void setAddressBit1(bool on) override { inner_.setAddressBit1(on); }
    void setAddressBit2(bool on) override { inner_.setAddressBit2(on); }
    void setAddressBit3(bool on) override { inner_.setAddressBit3(on); }
    void setAddressBit4(bool on) override { inner_.setAddressBit4(on); }
    void setAddressBit5(bool on) override { inner_.setAddressBit5(on); }
    void setAddressBit6(bool on) override { inner_.setAddressBit6(on); }
    void setAddressBit7(bool on) override { inner_.setAddressBit7(on); }
    void setAddressBit8(bool on) override { inner_.setAddressBit8(on); }
    void setAddressBit9(bool on) override { inner_.setAddressBit9(on); }
    void setAddressBit10(bool on) override { inner_.setAddressBit10(on); }
    void setAddressBit11(bool on) override { inner_.setAddressBit11(on); }
    void setAddressBit12(bool on) override { inner_.setAddressBit12(on); }
    void setAddressBit13(bool on) override { inner_.setAddressBit13(on); }
    void setAddressBit14(bool on) override { inner_.setAddressBit14(on); }
    void setAddressBit15(bool on) override { inner_.setAddressBit15(on); }
    void setDataInBit0(bool on) override { inner_.setDataInBit0(on); }
    void setDataInBit1(bool on) override { inner_.setDataInBit1(on); }
    void setDataInBit2(bool on) override { inner_.setDataInBit2(on); }
    void setDataInBit3(bool on) override { inner_.setDataInBit3(on); }
    void setDataInBit4(bool on) override { inner_.setDataInBit4(on); }
    void setDataInBit5(bool on) override { inner_.setDataInBit5(on); }
    void setDataInBit6(bool on) override { inner_.setDataInBit6(on); }
    void setDataInBit7(bool on) override { inner_.setDataInBit7(on); }
    bool getDataOutBit0() override { return inner_.getDataOutBit0(); }
    bool getDataOutBit1() override { return inner_.getDataOutBit1(); }
    bool getDataOutBit2() override { return inner_.getDataOutBit2(); }
    bool getDataOutBit3() override { return inner_.getDataOutBit3(); }
    bool getDataOutBit4() override { return inner_.getDataOutBit4(); }
    bool getDataOutBit5() override { return inner_.getDataOutBit5(); }
    bool getDataOutBit6() override { return inner_.getDataOutBit6(); }
    bool getDataOutBit7() override { return inner_.getDataOutBit7(); }

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
    FastRAM inner_;
    std::atomic<bool> inStep_{false};
    std::atomic<int> overlaps_{0};
    std::atomic<int> voltageCalls_{0};
    std::mutex recordLock_;
    std::vector<Step> steps_;
};

}  // namespace tarnwick::testing
