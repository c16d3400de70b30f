#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "machine/Computer.h"

namespace tarnwick {

// Breakpoints and watchpoints, looked at after every cycle by whoever runs
// the cycles (a Session, the Machine's simulation thread). The set may be
// changed on one thread while another runs cycles.
//
// A breakpoint at ADDR stops the machine before the instruction at ADDR is
// fetched: after the first cycle of that instruction (phase 0, clock on,
// ADDR on the address lamps), whose rising clock only counted or loaded the
// program counter; the code register latches the byte at ADDR in the next
// cycle. A watchpoint at ADDR stops it after a cycle in which the memory
// received Write at ADDR (by the program, or by hand through Takeover).
class StopConditions {
public:
    enum class Kind { breakpoint, watchpoint };
    struct Stop {
        Kind kind;
        std::uint16_t address;
        bool operator==(const Stop&) const = default;
    };

    void setBreakpoint(std::uint16_t address, bool on);
    void setWatchpoint(std::uint16_t address, bool on);
    bool hasBreakpoint(std::uint16_t address) const;
    bool hasWatchpoint(std::uint16_t address) const;
    std::vector<std::uint16_t> breakpoints() const;
    std::vector<std::uint16_t> watchpoints() const;
    void clear();
    bool empty() const { return count_.load(std::memory_order_acquire) == 0; }

    // Whether the cycle just run meets a condition; a breakpoint first when
    // both do. Cheap when the set is empty.
    std::optional<Stop> check(const Computer& computer) const {
        if (empty()) return std::nullopt;
        return checkSet(computer);
    }

private:
    std::optional<Stop> checkSet(const Computer& computer) const;
    void set(std::bitset<0x10000>& bits, std::uint16_t address, bool on);

    mutable std::mutex lock_;
    std::bitset<0x10000> breakpoints_;  // guarded by lock_
    std::bitset<0x10000> watchpoints_;  // guarded by lock_
    std::atomic<std::size_t> count_{0};
};

}  // namespace tarnwick
