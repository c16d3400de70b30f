#include "tools/run/Compare.h"

#include <vector>

#include "memory/FastRAM.h"
#include "memory/RelayMemory.h"

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
                        lampValue(computer.controlPanel.dataLamps, LampOrder::lowBitFirst)};
}

namespace {

// The address the memory received with Write on in the last cycle, if any:
// read where the lines enter the memory.
std::optional<std::uint16_t> storedAddress(const Computer& computer) {
    const auto& selectors = computer.controlPanel.selectors;
    if (!selectors[SixtyFourKilobyteRAMControlPanel::writeSelector].output()) return std::nullopt;
    unsigned address = 0;
    for (int k = 0; k < 16; ++k) address |= unsigned{selectors[k].output()} << k;
    return static_cast<std::uint16_t>(address);
}

}  // namespace

Comparison compareMemories(std::vector<std::unique_ptr<Session>>& sessions, const MemoryImage& image,
                           std::uint64_t maxCycles,
                           std::optional<std::pair<std::uint16_t, std::uint16_t>> extraRange) {
    Comparison result;
    std::vector<bool> stored(0x10000, false);
    Session& reference = *sessions.front();

    // Compares every session's lamps with the reference's; true if one differs.
    auto lampsDiffer = [&] {
        const PanelReading expected = readPanel(reference.computer());
        for (std::size_t i = 1; i < sessions.size(); ++i) {
            const PanelReading actual = readPanel(sessions[i]->computer());
            if (actual != expected) {
                result.difference = Difference{i, reference.cycle(), true, expected, actual, 0, 0, 0};
                return true;
            }
        }
        return false;
    };
    auto cycleAll = [&](bool release) {
        for (auto& session : sessions) {
            release ? session->releaseReset() : session->runCycle();
            if (const auto address = storedAddress(session->computer())) stored[*address] = true;
        }
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

    // Reading the whole 64 KB through the relay-built memory would take
    // minutes; every byte outside these addresses was neither loaded nor
    // stored, and every byte the program read has already shown on the data
    // lamps.
    std::vector<bool> compare = stored;
    for (std::int32_t a = image.first; a <= image.last; ++a) compare[static_cast<std::size_t>(a)] = true;
    if (extraRange) {
        for (unsigned a = extraRange->first; a <= extraRange->second; ++a) compare[a] = true;
    }
    for (std::size_t a = 0; a < compare.size(); ++a) {
        if (!compare[a]) continue;
        ++result.addressesCompared;
        const auto address = static_cast<std::uint16_t>(a);
        const std::uint8_t expected = reference.peek(address);
        for (std::size_t i = 1; i < sessions.size(); ++i) {
            const std::uint8_t actual = sessions[i]->peek(address);
            if (actual != expected) {
                Difference d;
                d.memory = i;
                d.cycle = reference.cycle();
                d.inLamps = false;
                d.address = address;
                d.referenceByte = expected;
                d.otherByte = actual;
                result.difference = d;
                return result;
            }
        }
    }
    return result;
}

}  // namespace tarnwick::run
