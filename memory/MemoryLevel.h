#pragma once

#include <cstdint>
#include <memory>

#include "memory/MemoryCircuits.h"
#include "memory/SixtyFourByteRAM.h"

namespace tarnwick {

// One level of the relay-built memory: splits its address range in two on
// address line Line. Write goes to the low half while the line is 0 and to
// the high half while it is 1; the output selector passes the same half's
// data back. Every line below Line is passed to both halves, low half first.
template <class Half, int Line>
class MemoryLevel : public PooledPart<MemoryLevel<Half, Line>> {
public:
    static constexpr int addressLine = Line;
    // Both halves whatever the address, and the level's own 61 relays once
    // each (the output selector is eight two-way selectors of 7).
    static constexpr std::uint64_t ticksPerStep =
        TwoWayDemultiplexer::ticksPerStep + 8 * 7 + 2 * Half::ticksPerStep;

    MemoryLevel() : lowHalf_(std::make_unique<Half>()), highHalf_(std::make_unique<Half>()) {}
    MemoryLevel(const MemoryLevel&) = delete;
    MemoryLevel& operator=(const MemoryLevel&) = delete;
    // Lower halves are released before higher ones.
    ~MemoryLevel() {
        lowHalf_.reset();
        highHalf_.reset();
    }

    void setVoltage(bool on) {
        writeDemultiplexer_.setVoltage(on);
        lowHalf_->setVoltage(on);
        highHalf_->setVoltage(on);
        outputSelector_.setVoltage(on);
    }
    void setWrite(bool on) { writeDemultiplexer_.setInput(on); }
    // Lines A0 to A<Line>.
    template <int L>
    void setAddressBit(bool on) {
        static_assert(L >= 0 && L <= Line);
        if constexpr (L == Line) {
            writeDemultiplexer_.setSelect(on);
            outputSelector_.setSelect(on);
        } else {
            lowHalf_->template setAddressBit<L>(on);
            highHalf_->template setAddressBit<L>(on);
        }
    }
    void setDataInBit(int j, bool on) {
        lowHalf_->setDataInBit(j, on);
        highHalf_->setDataInBit(j, on);
    }
    bool getDataOutBit(int j) const { return outputSelector_.output(j); }

    void step() {
        writeDemultiplexer_.step();
        lowHalf_->setWrite(writeDemultiplexer_.lowOutput());
        highHalf_->setWrite(writeDemultiplexer_.highOutput());
        lowHalf_->step();
        highHalf_->step();
        for (int j = 0; j < 8; ++j) outputSelector_.setA(j, lowHalf_->getDataOutBit(j));
        for (int j = 0; j < 8; ++j) outputSelector_.setB(j, highHalf_->getDataOutBit(j));
        outputSelector_.step();
    }

    template <class Visitor>
    void visitParts(Visitor& visitor) const {
        visitor.circuit(writeDemultiplexer_);
        visitor.part(*lowHalf_);
        lowHalf_->visitParts(visitor);
        visitor.part(*highHalf_);
        highHalf_->visitParts(visitor);
        visitor.circuit(outputSelector_);
    }

    // The byte at an address of this level's range, from the cells' latches.
    std::uint8_t peek(std::uint32_t address) const {
        return ((address >> Line) & 1) != 0 ? highHalf_->peek(address) : lowHalf_->peek(address);
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_PART(MemoryLevel, writeDemultiplexer_),
                               TARNWICK_PART(MemoryLevel, lowHalf_), TARNWICK_PART(MemoryLevel, highHalf_),
                               TARNWICK_PART(MemoryLevel, outputSelector_));
    }

    const Half& lowHalf() const { return *lowHalf_; }
    const Half& highHalf() const { return *highHalf_; }

private:
    TwoWayDemultiplexer writeDemultiplexer_;
    std::unique_ptr<Half> lowHalf_;
    std::unique_ptr<Half> highHalf_;
    EightBitSelector outputSelector_;
};

// A level is its 61 relays (the demultiplexer padded to pointer alignment)
// and its two owning pointers.
static_assert(sizeof(MemoryLevel<SixtyFourByteRAM, 6>) ==
              (sizeof(TwoWayDemultiplexer) + alignof(void*) - 1) / alignof(void*) * alignof(void*) +
                  2 * sizeof(void*) + sizeof(EightBitSelector));

using OneHundredTwentyEightByteRAM = MemoryLevel<SixtyFourByteRAM, 6>;
using TwoHundredFiftySixByteRAM = MemoryLevel<OneHundredTwentyEightByteRAM, 7>;
using FiveHundredTwelveByteRAM = MemoryLevel<TwoHundredFiftySixByteRAM, 8>;
using OneKilobyteRAM = MemoryLevel<FiveHundredTwelveByteRAM, 9>;
using TwoKilobyteRAM = MemoryLevel<OneKilobyteRAM, 10>;
using FourKilobyteRAM = MemoryLevel<TwoKilobyteRAM, 11>;
using EightKilobyteRAM = MemoryLevel<FourKilobyteRAM, 12>;
using SixteenKilobyteRAM = MemoryLevel<EightKilobyteRAM, 13>;
using ThirtyTwoKilobyteRAM = MemoryLevel<SixteenKilobyteRAM, 14>;

}  // namespace tarnwick
