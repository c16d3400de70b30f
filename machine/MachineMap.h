#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/Computer.h"
#include "machine/Section.h"
#include "relay/Relay.h"

// Qt makes `signals` a keyword; this header may follow Qt's.
#pragma push_macro("signals")
#undef signals

namespace tarnwick {

// The map of the machine: every relay of a Computer and of its control panel
// with a stable hierarchical name made of member names
// ("arithmeticUnit.adder.bits[3].carryOutGate.relays[1]"), its section and
// its position, and every circuit output as a named signal of one bit or a
// bus ("arithmeticUnit.accumulator", "decoder.line10"). All of it is derived
// from the circuits' descriptions (Computer::circuits(), members(),
// outputs()); the same map serves every Computer.
//
// The relay-built memory's ten million relays are named by pattern rather
// than listed: memoryRelayName(k) names relay k of its relays in the order
// the memory's tree holds them (RelayLaneRAM::copyRelayStates).
class MachineMap {
public:
    struct MappedRelay {
        std::string name;
        Section section;
        std::size_t index;   // position in relays(): section order, then member order
        std::size_t offset;  // bytes from the start of the Computer
    };
    struct MappedSignal {
        std::string name;
        Section section;
        int width;           // 0 for a single bit, else the bus width
        std::size_t offset;  // bytes from the start of the Computer to the circuit
        std::function<bool(const void* circuit, int bit)> bit;
        // The whole value in one call (what value() returns): a recorder
        // reading buses every cycle pays one call per bus, not one per bit.
        std::function<std::uint64_t(const void* circuit)> word;
    };

    static const MachineMap& get();

    const std::vector<MappedRelay>& relays() const { return relays_; }
    const std::vector<MappedSignal>& signals() const { return signals_; }
    // The same, under a name code built with Qt can call.
    const std::vector<MappedSignal>& namedSignals() const { return signals_; }
    // Null when there is no relay or signal of that name.
    const MappedRelay* findRelay(std::string_view name) const;
    const MappedSignal* findSignal(std::string_view name) const;

    static const Relay& relay(const Computer& computer, const MappedRelay& relay);
    // A signal's value: bit i of the bus is bit i of the number; a single bit is 0 or 1.
    static std::uint64_t value(const Computer& computer, const MappedSignal& signal);

    // The relay-built memory, named by pattern: "memory.level[15].node[0].
    // writeDemultiplexer.selectRelay", "memory.block[517].rows[3].columns[5].
    // cells[2].storeGate.relays[1]" (block b holds addresses b * 64 to
    // b * 64 + 63; a level is named by the address line it splits on and
    // its nodes are counted from the lowest address).
    static std::size_t memoryRelayCount();
    static std::string memoryRelayName(std::size_t index);

private:
    struct OutputSink;
    MachineMap();

    std::vector<MappedRelay> relays_;
    std::vector<MappedSignal> signals_;
};

}  // namespace tarnwick

#pragma pop_macro("signals")
