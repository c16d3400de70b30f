#include "app/StopConditions.h"

#include "machine/Lamps.h"

namespace tarnwick {

void StopConditions::set(std::bitset<0x10000>& bits, std::uint16_t address, bool on) {
    std::scoped_lock lock(lock_);
    if (bits.test(address) == on) return;
    bits.set(address, on);
    count_.store(breakpoints_.count() + watchpoints_.count(), std::memory_order_release);
}

void StopConditions::setBreakpoint(std::uint16_t address, bool on) { set(breakpoints_, address, on); }
void StopConditions::setWatchpoint(std::uint16_t address, bool on) { set(watchpoints_, address, on); }

bool StopConditions::hasBreakpoint(std::uint16_t address) const {
    std::scoped_lock lock(lock_);
    return breakpoints_.test(address);
}

bool StopConditions::hasWatchpoint(std::uint16_t address) const {
    std::scoped_lock lock(lock_);
    return watchpoints_.test(address);
}

namespace {

std::vector<std::uint16_t> listed(const std::bitset<0x10000>& bits) {
    std::vector<std::uint16_t> addresses;
    for (std::size_t a = 0; a < bits.size(); ++a)
        if (bits.test(a)) addresses.push_back(static_cast<std::uint16_t>(a));
    return addresses;
}

}  // namespace

std::vector<std::uint16_t> StopConditions::breakpoints() const {
    std::scoped_lock lock(lock_);
    return listed(breakpoints_);
}

std::vector<std::uint16_t> StopConditions::watchpoints() const {
    std::scoped_lock lock(lock_);
    return listed(watchpoints_);
}

void StopConditions::clear() {
    std::scoped_lock lock(lock_);
    breakpoints_.reset();
    watchpoints_.reset();
    count_.store(0, std::memory_order_release);
}

std::optional<StopConditions::Stop> StopConditions::checkSet(const Computer& computer) const {
    // The lines the memory received in this cycle, as the control panel passed them on.
    const SixtyFourKilobyteRAMControlPanel::Lines lines = computer.controlPanel().lines();
    const bool firstCycle = computer.phaseLamps()[0].isOn() && computer.clockLamp().isOn();
    const bool written = lines.write;
    if (!firstCycle && !written) return std::nullopt;

    std::scoped_lock lock(lock_);
    if (firstCycle) {
        const std::uint16_t address = readLamps(computer).address;
        if (breakpoints_.test(address)) return Stop{Kind::breakpoint, address};
    }
    if (written && watchpoints_.test(lines.address)) return Stop{Kind::watchpoint, lines.address};
    return std::nullopt;
}

}  // namespace tarnwick
