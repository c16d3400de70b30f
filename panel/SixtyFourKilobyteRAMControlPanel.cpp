#include "panel/SixtyFourKilobyteRAMControlPanel.h"

#include <new>

#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"
#include "memory/RelayMemory.h"

namespace tarnwick {

SixtyFourKilobyteRAMControlPanel::SixtyFourKilobyteRAMControlPanel(bool startWithFastRam)
    : ram_(buildMemory(startWithFastRam)) {
    refreshCopy();
}

SixtyFourKilobyteRAMControlPanel::~SixtyFourKilobyteRAMControlPanel() = default;

std::unique_ptr<SixtyFourKbRAM> SixtyFourKilobyteRAMControlPanel::buildMemory(bool fastRam) {
    if (!fastRam) {
        try {
            return makeRelayMemory();
        } catch (const std::bad_alloc&) {
            // The relay tree is hundreds of thousands of allocations; the
            // byte array needs 64 KB. A panel without a memory is not an option.
        }
    }
    return std::make_unique<FastRAM>();
}

void SixtyFourKilobyteRAMControlPanel::step() {
    // One reading of Takeover for the whole step, so that all 25 selectors
    // switch together even while the window thread flips the switch.
    const bool takeover = takeoverSwitch.isOn();
    SixtyFourKbRAM& memory = *ram_;
    const std::uint32_t allLines = (1u << 25) - 1;
    const std::uint32_t stale = linesApplied_ ? 0 : allLines;
    std::uint32_t lines = 0;

    for (int k = 0; k < 16; ++k) selectors[k].setB(addressSwitches[k].isOn());
    for (int k = 0; k < 16; ++k) selectors[k].setSelect(takeover);
    for (int k = 0; k < 16; ++k) selectors[k].step();
    for (int k = 0; k < 16; ++k) lines |= std::uint32_t{selectors[k].output()} << k;
    std::uint32_t changed = (lines ^ appliedLines_) | stale;
    // Each member pointer is copied out before the call: GCC with the
    // sanitizers misreads an indexed member-pointer call (a false
    // "may be used uninitialized").
    for (int k = 0; k < 16; ++k) {
        const LineSetter set = addressLineSetters[k];
        if ((changed >> k) & 1) (memory.*set)(((lines >> k) & 1) != 0);
    }

    for (int j = 0; j < 8; ++j) selectors[firstDataSelector + j].setB(dataSwitches[j].isOn());
    selectors[writeSelector].setB(writeSwitch.isOn());
    for (int i = firstDataSelector; i <= writeSelector; ++i) selectors[i].setSelect(takeover);
    for (int i = firstDataSelector; i <= writeSelector; ++i) selectors[i].step();
    for (int i = firstDataSelector; i <= writeSelector; ++i)
        lines |= std::uint32_t{selectors[i].output()} << i;
    changed = (lines ^ appliedLines_) | stale;
    for (int j = 0; j < 8; ++j) {
        const int line = firstDataSelector + j;
        const LineSetter set = dataInLineSetters[j];
        if ((changed >> line) & 1) (memory.*set)(((lines >> line) & 1) != 0);
    }
    if ((changed >> writeSelector) & 1) memory.setWrite(((lines >> writeSelector) & 1) != 0);
    appliedLines_ = lines;
    linesApplied_ = true;
    if ((lines >> writeSelector) & 1) noteWrite(static_cast<std::uint16_t>(lines & 0xFFFFu));

    memory.step();
    followStep(((lines >> writeSelector) & 1) != 0, static_cast<std::uint16_t>(lines & 0xFFFFu));

    for (int b = 0; b < 8; ++b) dataLamps[b].setState((memory.*dataOutLineGetters[b])() ? 1 : 0);
}

void SixtyFourKilobyteRAMControlPanel::followStep(bool write, std::uint16_t address) {
    ++steps_;
    if (!voltage_ && copyHoldsData_) {
        // An unpowered step erases every byte (the byte array may then store
        // the written one, read back below).
        copy_.fill(0);
        copyHoldsData_ = false;
    }
    if (!write) return;
    // The memory's own byte, not the data-in lines: whatever the memory did
    // with the write is what the copy shows.
    const std::uint8_t byte = ram_->peek(address);
    copy_[address] = byte;
    if (byte != 0) copyHoldsData_ = true;
    recentWrites_[nextWrite_] = Write{address, steps_};
    nextWrite_ = (nextWrite_ + 1) % recentWriteCount;
    if (writesKept_ < recentWriteCount) ++writesKept_;
}

void SixtyFourKilobyteRAMControlPanel::refreshCopy() {
    copyHoldsData_ = false;
    for (std::uint32_t a = 0; a < copy_.size(); ++a) {
        copy_[a] = ram_->peek(static_cast<std::uint16_t>(a));
        if (copy_[a] != 0) copyHoldsData_ = true;
    }
    writesKept_ = 0;
    nextWrite_ = 0;
}

void SixtyFourKilobyteRAMControlPanel::copyRecentWrites(std::vector<Write>& out) const {
    out.clear();
    const std::size_t start = (nextWrite_ + recentWriteCount - writesKept_) % recentWriteCount;
    for (std::size_t i = 0; i < writesKept_; ++i)
        out.push_back(recentWrites_[(start + i) % recentWriteCount]);
}

void SixtyFourKilobyteRAMControlPanel::noteWrite(std::uint16_t address) {
    std::uint32_t span = written_.load(std::memory_order_relaxed);
    for (;;) {
        const auto first = static_cast<std::uint16_t>(span >> 16);
        const auto last = static_cast<std::uint16_t>(span & 0xFFFFu);
        const bool any = first <= last;
        if (any && address >= first && address <= last) return;
        const std::uint16_t newFirst = any && first < address ? first : address;
        const std::uint16_t newLast = any && last > address ? last : address;
        // An exchange, so that a forgetWrites from another thread is not undone.
        if (written_.compare_exchange_weak(span, (std::uint32_t{newFirst} << 16) | newLast,
                                           std::memory_order_relaxed))
            return;
    }
}

std::optional<SixtyFourKilobyteRAMControlPanel::WrittenSpan> SixtyFourKilobyteRAMControlPanel::writtenSpan()
    const {
    const std::uint32_t span = written_.load(std::memory_order_relaxed);
    const auto first = static_cast<std::uint16_t>(span >> 16);
    const auto last = static_cast<std::uint16_t>(span & 0xFFFFu);
    if (first > last) return std::nullopt;
    return WrittenSpan{first, last};
}

SixtyFourKbRAM& SixtyFourKilobyteRAMControlPanel::replaceMemory(bool newFastRam) {
    // Release first: the relay-built memory is large enough that holding two
    // at once could be what makes building the new one fail.
    ram_.reset();
    linesApplied_ = false;
    forgetWrites();
    ram_ = buildMemory(newFastRam);
    voltage_ = false;  // a memory new to the panel is unpowered until power is distributed
    refreshCopy();
    return *ram_;
}

std::unique_ptr<SixtyFourKbRAM> SixtyFourKilobyteRAMControlPanel::installMemory(
    std::unique_ptr<SixtyFourKbRAM> memory) {
    linesApplied_ = false;
    forgetWrites();
    ram_.swap(memory);
    voltage_ = false;
    refreshCopy();
    return memory;
}

}  // namespace tarnwick
