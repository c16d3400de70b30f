// The relay-built memory's own structure: its size, its address routing and
// which cells a write reaches.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "MemoryTestSupport.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick {
namespace {

using testing::read;
using testing::write;

struct PartCounter {
    std::size_t objects = 0;
    std::size_t relays = 0;
    std::size_t cells = 0;
    template <class T>
    void part(const T&) {
        ++objects;
    }
    template <class Circuit>
    void circuit(const Circuit& circuit) {
        relays += sizeof(circuit);
        if constexpr (std::is_same_v<Circuit, MemoryCell>) ++cells;
    }
};

TEST(SixtyFourKilobyteRAM, CountsItsRelaysAndParts) {
    SixtyFourKilobyteRAM ram;
    PartCounter counter;
    ram.visitParts(counter);
    EXPECT_EQ(counter.relays, 10'280'899u);
    EXPECT_EQ(counter.objects, 740'351u);
    EXPECT_EQ(counter.cells, 65'536u * 8);
}

TEST(SixtyFourKilobyteRAM, LevelsAndBlocksHaveTheirRelayCounts) {
    struct Row {
        std::size_t relays;
        std::size_t measured;
    };
    auto relaysOf = [](const auto& part) {
        PartCounter counter;
        part.visitParts(counter);
        return counter.relays;
    };
    SixtyFourKilobyteRAM ram;
    const auto& l15 = ram.body();
    const auto& l14 = l15.highHalf();
    const auto& l13 = l14.lowHalf();
    const auto& l12 = l13.highHalf();
    const auto& l11 = l12.lowHalf();
    const auto& l10 = l11.highHalf();
    const auto& l9 = l10.lowHalf();
    const auto& l8 = l9.highHalf();
    const auto& l7 = l8.lowHalf();
    const auto& l6 = l7.highHalf();
    const auto& block = l6.lowHalf();
    const Row rows[] = {
        {5'140'419, relaysOf(l14)}, {2'570'179, relaysOf(l13)},      {1'285'059, relaysOf(l12)},
        {642'499, relaysOf(l11)},   {321'219, relaysOf(l10)},        {160'579, relaysOf(l9)},
        {80'259, relaysOf(l8)},     {40'099, relaysOf(l7)},          {20'019, relaysOf(l6)},
        {9'979, relaysOf(block)},   {1'200, relaysOf(block.row(3))}, {150, relaysOf(block.row(3).column(5))},
    };
    for (const Row& row : rows) EXPECT_EQ(row.measured, row.relays);
}

// The cell that holds data bit j of an address, found by walking the tree.
template <class Level>
const MemoryCell& cellAt(const Level& level, std::uint16_t address, int j) {
    if constexpr (std::is_same_v<Level, SixtyFourByteRAM>) {
        return level.row((address >> 3) & 7).column(j).cell(address & 7);
    } else {
        const bool high = ((address >> Level::addressLine) & 1) != 0;
        return cellAt(high ? level.highHalf() : level.lowHalf(), address, j);
    }
}

// Counts the cells that hold a bit (0 or 1) anywhere in the memory.
struct WrittenCellCounter {
    std::size_t written = 0;
    template <class T>
    void part(const T&) {}
    template <class Circuit>
    void circuit(const Circuit& circuit) {
        if constexpr (std::is_same_v<Circuit, MemoryCell>) {
            if (circuit.output() || circuit.complementOutput()) ++written;
        }
    }
};

// Only the eight cells of the addressed byte receive a write enable: the
// other 524,280 cells stay empty, and the addressed ones hold the byte.
TEST(SixtyFourKilobyteRAM, WriteReachesOnlyTheAddressedCells) {
    SixtyFourKilobyteRAM ram;
    ram.setVoltage(true);
    const std::uint16_t address = 0x1234;  // block 72, row 6, cell 4
    EXPECT_EQ(write(ram, address, 0xA6), 0xA6);
    WrittenCellCounter counter;
    ram.visitParts(counter);
    EXPECT_EQ(counter.written, 8u);
    for (int j = 0; j < 8; ++j) {
        const MemoryCell& cell = cellAt(ram.body(), address, j);
        EXPECT_EQ(cell.output(), ((0xA6 >> j) & 1) != 0) << j;
        EXPECT_NE(cell.output(), cell.complementOutput()) << j;
    }
}

// Addresses that differ in one line only: the level split (A15, A6), the row
// decoder (A3) and the cell decoder (A0) each pick exactly one target.
TEST(SixtyFourKilobyteRAM, AddressesDifferingInOneLineHoldTheirOwnBytes) {
    struct Row {
        std::uint16_t address;
        std::uint8_t data;
    };
    const Row rows[] = {
        {0x0000, 0x5A}, {0x8000, 0xA5}, {0x0040, 0x3C}, {0x0008, 0xC3}, {0x0001, 0x0F}, {0x0002, 0x96},
        {0x0004, 0x69}, {0x0010, 0x18}, {0x0020, 0x81}, {0x0080, 0x7E}, {0x4000, 0xE7},
    };
    SixtyFourKilobyteRAM ram;
    ram.setVoltage(true);
    for (const Row& row : rows) EXPECT_EQ(write(ram, row.address, row.data), row.data);
    for (const Row& row : rows) EXPECT_EQ(read(ram, row.address), row.data) << std::hex << row.address;
}

TEST(SixtyFourKilobyteRAM, UnpoweredStepEmptiesEveryCell) {
    SixtyFourKilobyteRAM ram;
    ram.setVoltage(true);
    write(ram, 0xFFFF, 0xFF);
    write(ram, 0x0000, 0x00);
    ram.setVoltage(false);
    ram.setWrite(false);
    ram.step();
    WrittenCellCounter counter;
    ram.visitParts(counter);
    EXPECT_EQ(counter.written, 0u);
}

}  // namespace
}  // namespace tarnwick
