#include "tools/run/Compare.h"

#include <algorithm>
#include <vector>

#include "machine/MachineMap.h"
#include "memory/FastRAM.h"
#include "memory/RelayLaneRAM.h"
#include "memory/RelayMemory.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick::run {

std::vector<MemoryKind> standardMemories() {
    return {
        {"byte array", [] { return std::make_unique<FastRAM>(); }},
        {"relay-built", [] { return makeRelayMemory(RelayMemoryKind::Lanes); }},
        {"relay-built tree", [] { return makeRelayMemory(RelayMemoryKind::Tree); }},
    };
}

PanelReading readPanel(const Computer& computer) {
    return PanelReading{readLamps(computer),
                        lampValue(computer.controlPanel().dataLamps, LampOrder::lowBitFirst)};
}

namespace {

const RelayLaneRAM* lanesOf(Session& session) {
    return dynamic_cast<const RelayLaneRAM*>(&session.computer().controlPanel().memory());
}
const SixtyFourKilobyteRAM* treeOf(Session& session) {
    return dynamic_cast<const SixtyFourKilobyteRAM*>(&session.computer().controlPanel().memory());
}

// Every relay of a lane memory against the tree, in the tree's order.
std::optional<Difference> compareRelays(std::vector<std::unique_ptr<Session>>& sessions, Comparison& result) {
    std::size_t tree = sessions.size();
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        if (treeOf(*sessions[i])) tree = i;
    }
    if (tree == sessions.size()) return std::nullopt;
    std::vector<std::uint8_t> expected(RelayLaneRAM::relayCount), actual(RelayLaneRAM::relayCount);
    treeOf(*sessions[tree])->copyRelayStates(expected.data());
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const RelayLaneRAM* lanes = lanesOf(*sessions[i]);
        if (!lanes) continue;
        lanes->copyRelayStates(actual.data());
        result.relaysCompared += actual.size();
        const auto differ = std::mismatch(expected.begin(), expected.end(), actual.begin());
        if (differ.first == expected.end()) continue;
        Difference d;
        d.kind = Difference::Kind::relay;
        d.reference = tree;
        d.memory = i;
        d.cycle = sessions.front()->cycle();
        const auto index = static_cast<std::size_t>(differ.first - expected.begin());
        d.relay = MachineMap::memoryRelayName(index);
        d.referenceByte = *differ.first;
        d.otherByte = *differ.second;
        return d;
    }
    return std::nullopt;
}

}  // namespace

Comparison compareMemories(std::vector<std::unique_ptr<Session>>& sessions, std::uint64_t maxCycles) {
    Comparison result;
    Session& reference = *sessions.front();

    // Compares every session's lamps with the reference's; true if one differs.
    auto lampsDiffer = [&] {
        const PanelReading expected = readPanel(reference.computer());
        for (std::size_t i = 1; i < sessions.size(); ++i) {
            const PanelReading actual = readPanel(sessions[i]->computer());
            if (actual != expected) {
                Difference d;
                d.memory = i;
                d.cycle = reference.cycle();
                d.referenceLamps = expected;
                d.otherLamps = actual;
                result.difference = d;
                return true;
            }
        }
        return false;
    };
    auto cycleAll = [&](bool release) {
        for (auto& session : sessions) release ? session->releaseReset() : session->runCycle();
    };

    cycleAll(true);
    if (lampsDiffer()) return result;
    // The same ending rule as Session::run, decided on the reference: every
    // other session has shown the same lamps so far.
    for (;;) {
        if (reference.started() && reference.halted()) {
            result.end = Session::End::halted;
            break;
        }
        if (reference.cycle() >= maxCycles) {
            result.end = Session::End::cycleLimit;
            break;
        }
        if (!reference.started() && reference.cyclesBeforeFirst() >= Session::startLimit) {
            result.end = Session::End::didNotStart;
            return result;
        }
        cycleAll(false);
        if (lampsDiffer()) return result;
    }

    // Every byte, wherever the program may have written: a faulty memory
    // that also writes a second address is caught here. Read from the
    // cells, as a read would show them, without 65,536 memory steps.
    for (std::uint32_t a = 0; a < 0x10000; ++a) {
        ++result.addressesCompared;
        const auto address = static_cast<std::uint16_t>(a);
        const std::uint8_t expected = reference.computer().controlPanel().peek(address);
        for (std::size_t i = 1; i < sessions.size(); ++i) {
            const std::uint8_t actual = sessions[i]->computer().controlPanel().peek(address);
            if (actual != expected) {
                Difference d;
                d.kind = Difference::Kind::memoryByte;
                d.memory = i;
                d.cycle = reference.cycle();
                d.address = address;
                d.referenceByte = expected;
                d.otherByte = actual;
                result.difference = d;
                return result;
            }
        }
    }
    result.difference = compareRelays(sessions, result);
    return result;
}

}  // namespace tarnwick::run
