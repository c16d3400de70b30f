// The map of the machine: every relay once, under a unique name, in section
// order, and signals that read what the registers and lamps show.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/Session.h"
#include "machine/MachineMap.h"
#include "memory/FastRAM.h"
#include "memory/MemoryFile.h"
#include "memory/RelayLaneRAM.h"
#include "relay/CircuitWalk.h"

namespace tarnwick {
namespace {

std::size_t describedRelays() {
    std::size_t count = 0;
    std::apply(
        [&](const auto&... circuit) {
            ((count += relayCount<typename std::remove_cvref_t<decltype(circuit.member)>::MemberType>()),
             ...);
        },
        Computer::circuits());
    return count;
}

TEST(MachineMap, NamesEveryRelayOnceInSectionOrder) {
    const MachineMap& map = MachineMap::get();
    const auto& relays = map.relays();
    EXPECT_EQ(relays.size(), describedRelays());
    EXPECT_EQ(relays.size(), 2'431u);  // the processor's 2,256 and the control panel's 175

    std::set<std::string> names;
    std::set<std::size_t> offsets;
    for (std::size_t k = 0; k < relays.size(); ++k) {
        const auto& relay = relays[k];
        EXPECT_TRUE(names.insert(relay.name).second) << "two relays named " << relay.name;
        EXPECT_TRUE(offsets.insert(relay.offset).second) << relay.name << " shares its byte";
        EXPECT_LT(relay.offset, sizeof(Computer)) << relay.name;
        EXPECT_EQ(relay.index, k);
        if (k > 0) {
            EXPECT_LE(relays[k - 1].section, relay.section) << relay.name << " out of section order";
        }
    }

    struct Known {
        std::size_t index;
        const char* name;
        Section section;
    };
    for (const Known& known : {
             Known{0, "clockStopGate.relays[0]", Section::clock},
             Known{2, "clockOscillator.buzzer.relay", Section::clock},
             Known{7, "phaseResetGate.relays[0]", Section::phases},
             Known{relays.size() - 1, "arithmeticUnit.zeroFlag.n4.relays[1]", Section::arithmetic},
         }) {
        ASSERT_LT(known.index, relays.size());
        EXPECT_EQ(relays[known.index].name, known.name);
        EXPECT_EQ(relays[known.index].section, known.section) << known.name;
    }
    for (const auto& [name, section] : {
             std::pair{"writeEnableRelay", Section::memory},
             std::pair{"jumpClearRelay", Section::counter},
             std::pair{"controlPanel.selectors[24].orGate.relays[1]", Section::memory},
             std::pair{"arithmeticUnit.adder.bits[3].carryOutGate.relays[1]", Section::arithmetic},
             std::pair{"programCounter.stages[15].flipFlop.g6.relays[2]", Section::counter},
             std::pair{"decoder.codeLines[19].relays[7]", Section::registers},
         }) {
        const auto* relay = map.findRelay(name);
        ASSERT_NE(relay, nullptr) << name;
        EXPECT_EQ(relay->section, section) << name;
    }
    EXPECT_EQ(map.findRelay("arithmeticUnit.adder.bits[8].sum"), nullptr);
}

TEST(MachineMap, SignalsHaveUniqueNamesAndWidths) {
    const MachineMap& map = MachineMap::get();
    std::set<std::string> names;
    for (const auto& signal : map.signals()) {
        EXPECT_TRUE(names.insert(signal.name).second) << "two signals named " << signal.name;
        EXPECT_GE(signal.width, 0);
        EXPECT_LE(signal.width, 16);
        EXPECT_EQ(map.findRelay(signal.name), nullptr) << signal.name << " names a relay too";
    }
    for (const auto& [name, width] :
         {std::pair{"arithmeticUnit.accumulator", 8}, std::pair{"decoder.q", 8},
          std::pair{"decoder.line10", 0}, std::pair{"programCounter.q", 16},
          std::pair{"phaseSequencer.phase", 4}, std::pair{"controlPanel.address", 16},
          std::pair{"arithmeticUnit.adder.bits[7].carryOut", 0}}) {
        const auto* signal = map.findSignal(name);
        ASSERT_NE(signal, nullptr) << name;
        EXPECT_EQ(signal->width, width) << name;
    }
}

// A program that loads, adds, stores and jumps, run cycle by cycle: what the
// map reads equals what the registers and lamps show, in every cycle.
TEST(MachineMap, SignalsAndRelaysReadWhatTheMachineShows) {
    const MachineMap& map = MachineMap::get();
    auto signal = [&](const char* name) {
        const auto* found = map.findSignal(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    };
    const auto* accumulator = signal("arithmeticUnit.accumulator");
    const auto* code = signal("decoder.q");
    const auto* counter = signal("programCounter.q");
    const auto* clock = signal("clockOscillator.clock");
    const auto* phases = signal("phaseSequencer.phase");
    const auto* address = signal("addressBuffer.output");
    const auto* carry = signal("arithmeticUnit.carry");
    const auto* zero = signal("arithmeticUnit.zero");
    const auto* dataOut = signal("controlPanel.dataOut");
    const auto* clockOff = signal("clockOscillator.clockOff");
    const auto* clockOffRelay = map.findRelay("clockOscillator.outputRelay");
    ASSERT_TRUE(accumulator && code && counter && clock && phases && address && carry && zero && dataOut &&
                clockOff && clockOffRelay);

    Session session(true);
    // 00: LDA 20h; ADD 21h; STA 22h; JMP 00h, with 5Ah and 33h at 20h.
    MemoryImage image{0, 0x21, std::vector<std::uint8_t>(0x22, 0)};
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0x30, 0x00, 0x00};
    std::copy(std::begin(program), std::end(program), image.bytes.begin());
    image.bytes[0x20] = 0x5A;
    image.bytes[0x21] = 0x33;
    ASSERT_TRUE(session.load(image));
    ASSERT_TRUE(session.start());
    for (int cycle = 0; cycle < 120; ++cycle) {
        const Computer& c = session.computer();
        const LampReading lamps = session.lamps();
        EXPECT_EQ(MachineMap::value(c, *accumulator), c.accumulatorValue()) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *accumulator), lamps.accumulator) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *code), lamps.code) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *counter), c.programCounterValue()) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *clock), lamps.clock ? 1u : 0u) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *phases), lamps.phaseMask) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *address), lamps.address) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *carry), lamps.carry ? 1u : 0u) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *zero), lamps.zero ? 1u : 0u) << "cycle " << cycle;
        EXPECT_EQ(MachineMap::value(c, *dataOut),
                  lampValue(c.controlPanel().dataLamps, LampOrder::lowBitFirst));
        EXPECT_EQ(MachineMap::relay(c, *clockOffRelay).normallyClosed(),
                  MachineMap::value(c, *clockOff) != 0);
        session.runCycle();
    }
    EXPECT_EQ(session.computer().accumulatorValue(), 0x8D);
}

TEST(MachineMap, NamesTheRelayMemoryByPattern) {
    EXPECT_EQ(MachineMap::memoryRelayCount(), RelayLaneRAM::relayCount);
    EXPECT_EQ(MachineMap::memoryRelayName(0), "memory.level[15].node[0].writeDemultiplexer.selectRelay");
    EXPECT_EQ(MachineMap::memoryRelayName(4),
              "memory.level[15].node[0].writeDemultiplexer.highGate.relays[1]");
    EXPECT_EQ(MachineMap::memoryRelayName(45), "memory.level[6].node[0].writeDemultiplexer.selectRelay");
    // Ten demultiplexers down the lowest addresses, then block 0.
    EXPECT_EQ(MachineMap::memoryRelayName(50), "memory.block[0].rowDecoder.chains.selectRelays[0]");
    EXPECT_EQ(MachineMap::memoryRelayName(50 + 35 + 35 + 2 * 9 + 5),
              "memory.block[0].rows[0].columns[0].cells[2].storeGate.relays[1]");
    EXPECT_EQ(MachineMap::memoryRelayName(50 + 9979 - 1), "memory.block[0].bitSelectors[7].orGate.relays[7]");
    EXPECT_EQ(MachineMap::memoryRelayName(50 + 9979), "memory.block[1].rowDecoder.chains.selectRelays[0]");
    EXPECT_EQ(MachineMap::memoryRelayName(RelayLaneRAM::relayCount - 1),
              "memory.level[15].node[0].outputSelector.bits[7].orGate.relays[1]");
    EXPECT_EQ(MachineMap::memoryRelayName(RelayLaneRAM::relayCount), "");
    // Every name of one block and its way down is different.
    std::set<std::string> names;
    for (std::size_t k = 0; k < 50 + 9979 + 61; ++k)
        EXPECT_TRUE(names.insert(MachineMap::memoryRelayName(k)).second) << MachineMap::memoryRelayName(k);
}

}  // namespace
}  // namespace tarnwick
