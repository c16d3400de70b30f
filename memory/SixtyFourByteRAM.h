#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>

#include "memory/MemoryCircuits.h"
#include "relay/Circuit.h"

namespace tarnwick {

// The leaves of the relay-built memory. Every part marked as owned is
// allocated on its own by its holder, in the order the members are listed;
// the part pool lays them out in that order, so that a step walks memory in
// the order it was allocated.
//
// Each type offers visitParts(visitor): visitor.circuit(circuit) for every
// relay circuit it holds and visitor.part(object) for every object it
// allocates, recursively; the holder reports the object itself.

// The step of one cell column: its decoder opens the addressed cell for
// writing, every cell steps, its selector passes the addressed cell's bit.
// The tree's columns and the lane memory's columns (RelayLaneRAM) both step
// through this. cell(c) gives cell c. The lane memory applies the column's
// lines to each part just before it steps (the hooks), so that a part's
// relays are read and written once; the tree's setters have applied them.
struct NoLines {
    template <class... Parts>
    TARNWICK_INLINE void operator()(Parts&...) const {}
};

template <class Decoder, class CellAt, class Selector, class DecoderLines = NoLines,
          class CellLines = NoLines, class SelectorLines = NoLines>
TARNWICK_INLINE inline void stepCellColumn(Decoder& decoder, CellAt&& cell, Selector& selector,
                                           DecoderLines decoderLines = {}, CellLines cellLines = {},
                                           SelectorLines selectorLines = {}) {
    decoderLines(decoder);
    decoder.step();
    detail::unrolled<8>([&](auto c) TARNWICK_INLINE {
        cellLines(cell(c));
        cell(c).setWriteEnable(decoder.output(c));
        cell(c).step();
    });
    selectorLines(selector);
    detail::unrolled<8>([&](auto c) TARNWICK_INLINE { selector.setInput(c, cell(c).output()); });
    selector.step();
}

// One data bit of eight addresses: cell c holds the bit of the address whose
// lines A2 A1 A0 read c.
class CellColumn : public PooledPart<CellColumn> {
public:
    static constexpr std::uint64_t ticksPerStep =
        EightWayDecoder::ticksPerStep + 8 * MemoryCell::ticksPerStep + EightWaySelector::ticksPerStep;

    CellColumn() : cellDecoder_(std::make_unique<EightWayDecoder>()) {
        for (auto& cell : cells_) cell = std::make_unique<MemoryCell>();
        cellSelector_ = std::make_unique<EightWaySelector>();
    }
    CellColumn(const CellColumn&) = delete;
    CellColumn& operator=(const CellColumn&) = delete;

    void setVoltage(bool on) {
        cellDecoder_->setVoltage(on);
        for (auto& cell : cells_) cell->setVoltage(on);
        cellSelector_->setVoltage(on);
    }
    // Lines A0 to A2.
    template <int Line>
    void setAddressBit(bool on) {
        static_assert(Line >= 0 && Line < 3);
        cellDecoder_->setSelect(Line, on);
        cellSelector_->setSelect(Line, on);
    }
    void setWriteEnable(bool on) { cellDecoder_->setEnable(on); }
    void setData(bool on) {
        for (auto& cell : cells_) cell->setData(on);
    }
    bool output() const { return cellSelector_->output(); }

    // Flattened: the whole column, every gate of every cell, is one function
    // whose relays the compiler can keep in registers.
    [[gnu::flatten, gnu::noinline]] void step() {
        stepCellColumn(
            *cellDecoder_, [&](int c) TARNWICK_INLINE -> MemoryCell& { return *cells_[c]; }, *cellSelector_);
    }

    template <class Visitor>
    void visitParts(Visitor& visitor) const {
        visitor.part(*cellDecoder_);
        visitor.circuit(*cellDecoder_);
        for (const auto& cell : cells_) {
            visitor.part(*cell);
            visitor.circuit(*cell);
        }
        visitor.part(*cellSelector_);
        visitor.circuit(*cellSelector_);
    }

    // For tests: the cell that holds the bit of address c within the column.
    const MemoryCell& cell(int c) const { return *cells_[c]; }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_PART(CellColumn, cellDecoder_), TARNWICK_PART(CellColumn, cells_),
                               TARNWICK_PART(CellColumn, cellSelector_));
    }

private:
    std::unique_ptr<EightWayDecoder> cellDecoder_;
    std::array<std::unique_ptr<MemoryCell>, 8> cells_;
    std::unique_ptr<EightWaySelector> cellSelector_;
};

// Eight addresses by eight bits: column j holds data bit j.
class EightByteRow : public PooledPart<EightByteRow> {
public:
    static constexpr std::uint64_t ticksPerStep = 8 * CellColumn::ticksPerStep;

    EightByteRow() {
        for (auto& column : columns_) column = std::make_unique<CellColumn>();
    }
    EightByteRow(const EightByteRow&) = delete;
    EightByteRow& operator=(const EightByteRow&) = delete;

    void setVoltage(bool on) {
        for (auto& column : columns_) column->setVoltage(on);
    }
    template <int Line>
    void setAddressBit(bool on) {
        for (auto& column : columns_) column->template setAddressBit<Line>(on);
    }
    void setWriteEnable(bool on) {
        for (auto& column : columns_) column->setWriteEnable(on);
    }
    void setDataInBit(int j, bool on) { columns_[j]->setData(on); }
    bool getDataOutBit(int j) const { return columns_[j]->output(); }

    void step() {
        for (auto& column : columns_) column->step();
    }

    template <class Visitor>
    void visitParts(Visitor& visitor) const {
        for (const auto& column : columns_) {
            visitor.part(*column);
            column->visitParts(visitor);
        }
    }

    const CellColumn& column(int j) const { return *columns_[j]; }

    static constexpr auto members() { return std::make_tuple(TARNWICK_PART(EightByteRow, columns_)); }

private:
    std::array<std::unique_ptr<CellColumn>, 8> columns_;
};

// The 64-byte block at the bottom of the tree: lines A5 A4 A3 pick the row,
// A2 A1 A0 the cell in each of the row's columns.
class SixtyFourByteRAM : public PooledPart<SixtyFourByteRAM> {
public:
    static constexpr std::uint64_t ticksPerStep =
        EightWayDecoder::ticksPerStep + 8 * EightByteRow::ticksPerStep + 8 * EightWaySelector::ticksPerStep;

    SixtyFourByteRAM() : rowDecoder_(std::make_unique<EightWayDecoder>()) {
        for (auto& row : rows_) row = std::make_unique<EightByteRow>();
        for (auto& selector : bitSelectors_) selector = std::make_unique<EightWaySelector>();
    }
    SixtyFourByteRAM(const SixtyFourByteRAM&) = delete;
    SixtyFourByteRAM& operator=(const SixtyFourByteRAM&) = delete;

    void setVoltage(bool on) {
        rowDecoder_->setVoltage(on);
        for (auto& row : rows_) row->setVoltage(on);
        for (auto& selector : bitSelectors_) selector->setVoltage(on);
    }
    void setWrite(bool on) { rowDecoder_->setEnable(on); }
    // Lines A0 to A5.
    template <int Line>
    void setAddressBit(bool on) {
        static_assert(Line >= 0 && Line < 6);
        if constexpr (Line < 3) {
            for (auto& row : rows_) row->template setAddressBit<Line>(on);
        } else {
            rowDecoder_->setSelect(Line - 3, on);
            for (auto& selector : bitSelectors_) selector->setSelect(Line - 3, on);
        }
    }
    void setDataInBit(int j, bool on) {
        for (auto& row : rows_) row->setDataInBit(j, on);
    }
    bool getDataOutBit(int j) const { return bitSelectors_[j]->output(); }

    // Flattened like the column step, which it calls 64 times.
    [[gnu::flatten, gnu::noinline]] void step() {
        EightWayDecoder& decoder = *rowDecoder_;
        decoder.step();
        for (int r = 0; r < 8; ++r) rows_[r]->setWriteEnable(decoder.output(r));
        for (auto& row : rows_) row->step();
        for (int j = 0; j < 8; ++j) {
            for (int r = 0; r < 8; ++r) bitSelectors_[j]->setInput(r, rows_[r]->getDataOutBit(j));
        }
        for (auto& selector : bitSelectors_) selector->step();
    }

    template <class Visitor>
    void visitParts(Visitor& visitor) const {
        visitor.part(*rowDecoder_);
        visitor.circuit(*rowDecoder_);
        for (const auto& row : rows_) {
            visitor.part(*row);
            row->visitParts(visitor);
        }
        for (const auto& selector : bitSelectors_) {
            visitor.part(*selector);
            visitor.circuit(*selector);
        }
    }

    const EightByteRow& row(int r) const { return *rows_[r]; }

    // The byte at an address of the block (A5 to A0), from the cells' latches.
    std::uint8_t peek(std::uint32_t address) const {
        const EightByteRow& row = *rows_[(address >> 3) & 7];
        std::uint8_t byte = 0;
        for (int j = 0; j < 8; ++j)
            byte |= static_cast<std::uint8_t>(row.column(j).cell(address & 7).output() << j);
        return byte;
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_PART(SixtyFourByteRAM, rowDecoder_),
                               TARNWICK_PART(SixtyFourByteRAM, rows_),
                               TARNWICK_PART(SixtyFourByteRAM, bitSelectors_));
    }

private:
    std::unique_ptr<EightWayDecoder> rowDecoder_;
    std::array<std::unique_ptr<EightByteRow>, 8> rows_;
    std::array<std::unique_ptr<EightWaySelector>, 8> bitSelectors_;
};

// The holders are their owning pointers and nothing else.
static_assert(sizeof(CellColumn) == 10 * sizeof(void*));
static_assert(sizeof(EightByteRow) == 8 * sizeof(void*));
static_assert(sizeof(SixtyFourByteRAM) == 17 * sizeof(void*));

}  // namespace tarnwick
