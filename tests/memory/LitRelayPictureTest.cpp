// The relay memory's picture for a view: the lit relays of every cell column,
// block and level body, counted in place by the lane memory, must equal the
// same counts taken from its full relay copy in the tree's order, part by
// part, after reads and writes anywhere.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "MemoryTestSupport.h"
#include "memory/MemoryCircuits.h"
#include "memory/RelayLaneRAM.h"
#include "memory/SixtyFourByteRAM.h"

namespace tarnwick {
namespace {

bool lit(std::uint8_t relay) { return (relay & 0x0C) == 0x0C; }

// Walks the relay bytes in the tree's order (depth first, each part's relays
// in member order) and counts lit relays per part, knowing nothing of the
// lane layout.
class TreeCounts {
public:
    explicit TreeCounts(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {
        node(0, 0);
        EXPECT_EQ(at_, bytes_.size());
    }
    MemoryRelayPicture picture;

private:
    unsigned count(std::size_t relays) {
        unsigned lit = 0;
        for (std::size_t k = 0; k < relays; ++k) lit += tarnwick::lit(bytes_[at_++]) ? 1 : 0;
        return lit;
    }
    // A level body at the given depth; its children are 2n+1 and 2n+2, the
    // blocks below the last level numbered from the lowest address.
    void node(int n, int depth) {
        unsigned lit = count(relayCount<TwoWayDemultiplexer>());
        for (int child = 1; child <= 2; ++child) {
            if (depth + 1 < MemoryRelayPicture::levelCount)
                node(2 * n + child, depth + 1);
            else
                block(2 * n + child - MemoryRelayPicture::nodeCount);
        }
        lit += count(relayCount<EightBitSelector>());
        picture.nodes[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(lit);
    }
    void block(int b) {
        unsigned own = count(relayCount<EightWayDecoder>());
        for (int r = 0; r < 8; ++r)
            for (int j = 0; j < 8; ++j)
                picture.columns[static_cast<std::size_t>(b * 64 + r * 8 + j)] =
                    static_cast<std::uint8_t>(count(relayCount<CellColumn>()));
        own += count(8 * relayCount<EightWaySelector>());
        picture.blocks[static_cast<std::size_t>(b)] = static_cast<std::uint16_t>(own);
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

void expectPicturesEqual(const MemoryRelayPicture& counted, const MemoryRelayPicture& expected,
                         const char* when) {
    int wrong = 0;
    for (std::size_t k = 0; k < counted.columns.size() && wrong < 5; ++k)
        if (counted.columns[k] != expected.columns[k]) {
            ++wrong;
            ADD_FAILURE() << when << ": column " << k << " counted " << int{counted.columns[k]} << ", tree "
                          << int{expected.columns[k]};
        }
    for (std::size_t k = 0; k < counted.blocks.size() && wrong < 5; ++k)
        if (counted.blocks[k] != expected.blocks[k]) {
            ++wrong;
            ADD_FAILURE() << when << ": block " << k << " counted " << counted.blocks[k] << ", tree "
                          << expected.blocks[k];
        }
    for (std::size_t k = 0; k < counted.nodes.size() && wrong < 5; ++k)
        if (counted.nodes[k] != expected.nodes[k]) {
            ++wrong;
            ADD_FAILURE() << when << ": level body " << k << " counted " << int{counted.nodes[k]} << ", tree "
                          << int{expected.nodes[k]};
        }
}

class LitRelayPictureWidths : public ::testing::TestWithParam<RelayLaneRAM::LaneWidth> {};

TEST_P(LitRelayPictureWidths, CountsEqualTheRelayCopyPartByPart) {
    if (RelayLaneRAM::widthFor(GetParam()) != GetParam()) GTEST_SKIP() << "this processor lacks the lanes";
    RelayLaneRAM ram(GetParam());
    std::vector<std::uint8_t> bytes(RelayLaneRAM::relayCount);
    MemoryRelayPicture counted;
    auto check = [&](const char* when) {
        ram.countLitRelays(counted);
        ram.copyRelayStates(bytes.data());
        expectPicturesEqual(counted, TreeCounts(bytes).picture, when);
    };
    check("unpowered");
    ram.setVoltage(true);
    testing::read(ram, 0);
    check("powered");

    std::mt19937 random(20);
    for (int i = 0; i < 6; ++i) {
        const auto address = static_cast<std::uint16_t>(random());
        testing::write(ram, address, static_cast<std::uint8_t>(random() | 1));
        check("after a write");
        testing::read(ram, static_cast<std::uint16_t>(address ^ 0x8041));
        check("after a read");
    }
    // Something is lit in a powered memory holding data, and not everything.
    std::size_t litColumns = 0;
    for (const auto c : counted.columns) litColumns += c != 0 ? 1 : 0;
    EXPECT_GT(litColumns, 0u);
}

// The counts are taken 16 lanes at a time with the baseline lanes, 32 with
// the wider ones.
std::string widthName(const ::testing::TestParamInfo<RelayLaneRAM::LaneWidth>& info) {
    switch (info.param) {
        case RelayLaneRAM::LaneWidth::Sse2:
            return "Sse2";
        case RelayLaneRAM::LaneWidth::Avx2:
            return "Avx2";
        case RelayLaneRAM::LaneWidth::Avx512:
            return "Avx512";
        default:
            return "Widest";
    }
}

INSTANTIATE_TEST_SUITE_P(Lanes, LitRelayPictureWidths,
                         ::testing::Values(RelayLaneRAM::LaneWidth::Sse2, RelayLaneRAM::LaneWidth::Avx2,
                                           RelayLaneRAM::LaneWidth::Avx512),
                         widthName);

// A write lights the cell column path only where it goes: the addressed
// row's columns light more relays than they do once Write is off, and the
// write path lights the level bodies above that block only.
TEST(LitRelayPicture, AWriteShowsItsPath) {
    RelayLaneRAM ram;
    ram.setVoltage(true);
    testing::read(ram, 0);
    const std::uint16_t address = 0x1234;  // block 72, row 6, cell 4
    MemoryRelayPicture writing;
    MemoryRelayPicture reading;
    testing::write(ram, address, 0xFF);
    ram.countLitRelays(writing);
    testing::read(ram, address);
    ram.countLitRelays(reading);
    const std::size_t block = address >> 6;
    const std::size_t row = (address >> 3) & 7;
    for (std::size_t j = 0; j < 8; ++j)
        EXPECT_GT(writing.columns[block * 64 + row * 8 + j], reading.columns[block * 64 + row * 8 + j]) << j;
    EXPECT_GT(writing.blocks[block], reading.blocks[block]);
    EXPECT_EQ(writing.blocks[block + 1], reading.blocks[block + 1]);
}

}  // namespace
}  // namespace tarnwick
