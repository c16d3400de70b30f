#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "machine/Computer.h"
#include "machine/MachineMap.h"
#include "machine/Section.h"

namespace tarnwick {

// A signal the tools and windows can show, found by name in the map of the
// machine: a circuit output (one bit or a bus), one bit of a bus
// ("phaseSequencer.phase[2]"), or a relay, whose value is 1 while its
// normally-open contact carries current.
struct NamedSignal {
    enum class Kind { output, busBit, relay };

    std::string name;
    Section section = Section::clock;
    int width = 0;  // 0 for a single bit, else the bus width
    Kind kind = Kind::output;
    const MachineMap::MappedSignal* signal = nullptr;  // output and busBit
    const MachineMap::MappedRelay* relay = nullptr;    // relay
    int bit = 0;                                       // busBit

    // The value now: bit i of a bus is bit i of the number; a bit is 0 or 1.
    std::uint64_t read(const Computer& computer) const;
    // Bits the value has: 1 for a single bit.
    int bits() const { return width == 0 ? 1 : width; }
};

// The signal or relay of that name, or bit i of a bus written "name[i]".
std::optional<NamedSignal> findNamedSignal(std::string_view name);

// Every signal and then every relay whose name matches pattern, in the
// map's order. '*' stands for any run of characters within one part of a
// name (between dots), so "decoder.*" is the decoder's own outputs and
// "arithmeticUnit.adder.bits[*].sum" one output of each adder stage. A
// pattern without '*' is one name, as findNamedSignal takes it.
std::vector<NamedSignal> matchNamedSignals(std::string_view pattern);

// True when name matches pattern as matchNamedSignals matches.
bool namePatternMatches(std::string_view pattern, std::string_view name);

// The names of the map (signals and relays) closest to name by edit
// distance, closest first, at most count of them.
std::vector<std::string> nearestSignalNames(std::string_view name, std::size_t count = 3);

// The $scope and $var lines of a Value Change Dump for signals: a scope of
// the section, then one per part of the name but the last, which names the
// variable ("arithmetic" / "arithmeticUnit" / "accumulator [7:0]"). Signals
// of one scope are written together, sections in cycle order. id(i) is
// signal i's identifier code.
void writeVcdScopes(std::ostream& out, const std::vector<NamedSignal>& variables,
                    const std::function<std::string(std::size_t)>& id);

// Every name findNamedSignal takes: each signal followed by its bits when
// it is a bus ("decoder.q", "decoder.q[0]", ...), then every relay.
std::vector<std::string> allSignalNames();

// The front panel's signals in panel order: clock, the four phases, address,
// data in and out, Write, code, operand (high and low byte), accumulator,
// zero and carry flags.
std::vector<NamedSignal> panelSignals();
inline constexpr std::string_view panelSignalNames[] = {"clockOscillator.clock",
                                                        "phaseSequencer.phase[0]",
                                                        "phaseSequencer.phase[1]",
                                                        "phaseSequencer.phase[2]",
                                                        "phaseSequencer.phase[3]",
                                                        "controlPanel.address",
                                                        "controlPanel.dataIn",
                                                        "controlPanel.dataOut",
                                                        "controlPanel.write",
                                                        "decoder.q",
                                                        "highOperand.q",
                                                        "lowOperand.q",
                                                        "arithmeticUnit.accumulator",
                                                        "arithmeticUnit.zero",
                                                        "arithmeticUnit.carry"};

}  // namespace tarnwick
