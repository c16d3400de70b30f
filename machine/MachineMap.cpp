#include "machine/MachineMap.h"

#include <algorithm>
#include <memory>

#include "memory/SixtyFourByteRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"
#include "relay/CircuitWalk.h"

namespace tarnwick {

namespace {

std::size_t offsetIn(const Computer& computer, const void* part) {
    return static_cast<std::size_t>(static_cast<const unsigned char*>(part) -
                                    reinterpret_cast<const unsigned char*>(&computer));
}

}  // namespace

// Takes every output of every circuit into the map. One type for all
// circuits, so that each walk is instantiated once per circuit type.
struct MachineMap::OutputSink {
    MachineMap& map;
    const Computer& computer;
    const Section& section;

    // O is an OutputAt: its reader is a constant, so the whole-bus reader
    // below compiles to reads of the relays themselves.
    template <class C, class O>
    void operator()(const std::string& name, const C& circuit, const O& output) const {
        constexpr auto read = O::description.bit;
        constexpr int bits = O::description.width == 0 ? 1 : O::description.width;
        map.signals_.push_back({name, section, output.width, offsetIn(computer, &circuit),
                                [](const void* p, int i) { return read(*static_cast<const C*>(p), i); },
                                [](const void* p) {
                                    const C& whole = *static_cast<const C*>(p);
                                    std::uint64_t value = 0;
                                    for (int i = 0; i < bits; ++i)
                                        value |= std::uint64_t{read(whole, i)} << i;
                                    return value;
                                }});
    }
};

MachineMap::MachineMap() {
    // Offsets are the same in every Computer; one with the byte array
    // (nothing of the relay-built memory is needed) measures them.
    const auto computer = std::make_unique<Computer>(true);
    Section section = Section::clock;
    const auto onRelay = [&](const std::string& name, const Relay& relay) {
        relays_.push_back({name, section, relays_.size(), offsetIn(*computer, &relay)});
    };
    const OutputSink onOutput{*this, *computer, section};
    std::string path;
    std::apply(
        [&](const auto&... circuit) {
            auto map = [&](const auto& c) {
                const auto& part = (*computer).*c.member.pointer;
                section = c.section;
                path.assign(c.member.name);
                forEachRelay(part, path, onRelay);
                path.assign(c.member.name);
                forEachOutput(part, path, onOutput);
            };
            (map(circuit), ...);
        },
        Computer::circuits());
}

const MachineMap& MachineMap::get() {
    static const MachineMap map;
    return map;
}

const MachineMap::MappedRelay* MachineMap::findRelay(std::string_view name) const {
    const auto found =
        std::find_if(relays_.begin(), relays_.end(), [&](const auto& r) { return r.name == name; });
    return found == relays_.end() ? nullptr : &*found;
}

const MachineMap::MappedSignal* MachineMap::findSignal(std::string_view name) const {
    const auto found =
        std::find_if(signals_.begin(), signals_.end(), [&](const auto& s) { return s.name == name; });
    return found == signals_.end() ? nullptr : &*found;
}

const Relay& MachineMap::relay(const Computer& computer, const MappedRelay& relay) {
    return *reinterpret_cast<const Relay*>(reinterpret_cast<const unsigned char*>(&computer) + relay.offset);
}

std::uint64_t MachineMap::value(const Computer& computer, const MappedSignal& signal) {
    return signal.word(reinterpret_cast<const unsigned char*>(&computer) + signal.offset);
}

std::size_t MachineMap::memoryRelayCount() { return relayCount<SixtyFourKilobyteRAM>(); }

// Depth first through the tree, as the memory holds it: a level body's write
// demultiplexer, its low half, its high half, its output selector; a block's
// relays in its own description's order.
std::string MachineMap::memoryRelayName(std::size_t index) {
    using Body = MemoryLevel<ThirtyTwoKilobyteRAM, 15>;
    constexpr std::size_t block = relayCount<SixtyFourByteRAM>();
    constexpr std::size_t demultiplexer = relayCount<TwoWayDemultiplexer>();
    constexpr std::size_t selector = relayCount<EightBitSelector>();
    if (index >= relayCount<Body>()) return {};
    std::string name = "memory";
    std::size_t node = 0;
    for (int line = 15; line >= 6; --line) {
        // The size of one half: the subtree below this level.
        std::size_t half = block;
        for (int below = 6; below < line; ++below) half = demultiplexer + 2 * half + selector;
        const std::size_t own = demultiplexer + 2 * half;
        if (index < demultiplexer || index >= own) {
            name += ".level[" + std::to_string(line) + "].node[" + std::to_string(node) + "]";
            if (index < demultiplexer) {
                name += ".writeDemultiplexer";
                appendRelayName<TwoWayDemultiplexer>(index, name);
            } else {
                name += ".outputSelector";
                appendRelayName<EightBitSelector>(index - own, name);
            }
            return name;
        }
        index -= demultiplexer;
        node = 2 * node + (index >= half ? 1 : 0);
        if (index >= half) index -= half;
    }
    name += ".block[" + std::to_string(node) + "]";
    appendRelayName<SixtyFourByteRAM>(index, name);
    return name;
}

}  // namespace tarnwick
