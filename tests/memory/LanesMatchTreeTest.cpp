// The relay memory stepped as lanes against the tree of parts: the same
// lines, and after every step every one of the 10,280,899 relay bytes and the
// data-out lines must agree, for every lane width.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "memory/MemoryLines.h"
#include "memory/RelayLaneRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSteps = 80;  // the tree alone takes a few hundred ms per step here
#else
constexpr int kSteps = 360;
#endif

// The tree and a lane memory of one width, fed the same lines.
class Memories {
public:
    explicit Memories(RelayLaneRAM::LaneWidth width)
        : treeBytes_(RelayLaneRAM::relayCount), laneBytes_(RelayLaneRAM::relayCount) {
        lanes_.push_back(std::make_unique<RelayLaneRAM>(width));
    }
    const RelayLaneRAM& lanes() const { return *lanes_.front(); }

    void apply(LineSetter setter, bool on) {
        (tree_.*setter)(on);
        for (auto& lanes : lanes_) (*lanes.*setter)(on);
    }
    void setVoltage(bool on) { apply(&SixtyFourKbRAM::setVoltage, on); }
    void setWrite(bool on) { apply(&SixtyFourKbRAM::setWrite, on); }
    void setAddress(std::uint16_t address) {
        for (int line = 0; line < 16; ++line) apply(addressLineSetters[line], ((address >> line) & 1) != 0);
    }
    void setDataIn(std::uint8_t data) {
        for (int line = 0; line < 8; ++line) apply(dataInLineSetters[line], ((data >> line) & 1) != 0);
    }

    // Steps all and compares every lane memory with the tree.
    void stepAndCompare(int step) {
        tree_.step();
        const std::uint8_t out = readDataOut(tree_);
        tree_.copyRelayStates(treeBytes_.data());
        for (auto& lanes : lanes_) {
            lanes->step();
            const int width = 8 << static_cast<int>(lanes->lanes());  // bytes per instruction
            EXPECT_EQ(readDataOut(*lanes), out) << "data-out after step " << step << ", lanes " << width;
            lanes->copyRelayStates(laneBytes_.data());
            if (std::memcmp(treeBytes_.data(), laneBytes_.data(), treeBytes_.size()) == 0) continue;
            std::size_t first = 0;
            while (treeBytes_[first] == laneBytes_[first]) ++first;
            std::size_t differing = 0;
            for (std::size_t i = first; i < treeBytes_.size(); ++i)
                differing += treeBytes_[i] != laneBytes_[i];
            ADD_FAILURE() << differing << " relay bytes differ after step " << step << " with lanes " << width
                          << ", the first at " << first << ": tree " << int(treeBytes_[first]) << ", lanes "
                          << int(laneBytes_[first]);
            mismatched_ = true;
        }
    }
    bool mismatched() const { return mismatched_; }

private:
    SixtyFourKilobyteRAM tree_;
    std::vector<std::unique_ptr<RelayLaneRAM>> lanes_;
    std::vector<std::uint8_t> treeBytes_;
    std::vector<std::uint8_t> laneBytes_;
    bool mismatched_ = false;
};

struct Width {
    RelayLaneRAM::LaneWidth width;
    int bytes;
    const char* instructions;
};

void PrintTo(const Width& width, std::ostream* out) { *out << width.bytes << "-byte lanes"; }

class LanesMatchTree : public ::testing::TestWithParam<Width> {};

// Lines held for several steps right after each kind of change: the steps
// the lane memory skips, next to the ones it must not.
void heldSteps(Memories& memories, int& step) {
    auto hold = [&](int steps) {
        for (int k = 0; k < steps; ++k) memories.stepAndCompare(step++);
    };
    memories.setVoltage(true);
    hold(3);  // power coming on
    memories.setAddress(0x1234);
    memories.setDataIn(0xA5);
    memories.setWrite(true);
    hold(4);  // a write held
    memories.setWrite(false);
    hold(3);  // Write going off
    memories.setDataIn(0x5A);
    hold(2);  // data-in changing under a read
    memories.setWrite(true);
    hold(1);
    memories.setDataIn(0x0F);
    hold(3);  // data-in changing under a held write
    memories.setAddress(0x1235);
    hold(3);  // the address changing under a held write
    memories.setWrite(false);
    memories.setAddress(0x1234);
    hold(2);
    memories.setVoltage(false);
    hold(3);  // power going off
    memories.setVoltage(true);
    hold(2);
}

TEST_P(LanesMatchTree, EveryRelayMatchesTheTreeAfterEveryStep) {
    const Width width = GetParam();
    if (!RelayLaneRAM::supports(width.width))
        GTEST_SKIP() << width.bytes << "-byte lanes: this processor lacks " << width.instructions;
    std::mt19937 random(13);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    Memories memories(width.width);
    // The width asked for is the width stepped, not the widest there is.
    ASSERT_EQ(8 << static_cast<int>(memories.lanes().lanes()), width.bytes) << "bytes per lane step";
    int first = 0;
    heldSteps(memories, first);
    ASSERT_FALSE(memories.mismatched());
    const std::uint64_t skippedInHeldSteps = memories.lanes().skippedSteps();
    EXPECT_GE(skippedInHeldSteps, 8u);
    memories.setVoltage(false);
    std::vector<std::uint16_t> written;
    std::uint16_t address = 0;
    bool voltage = false;
    int linesSeenHigh = 0;
    int linesSeenLow = 0;
    int writes = 0;
    int steadySteps = 0;
    int powerLosses = 0;

    for (int step = first; step < kSteps && !memories.mismatched(); ++step) {
        // Power comes on at step 2 and goes off now and then for a few steps.
        if (step == 2 || (!voltage && chance(40)) || (voltage && step > 2 && chance(3))) {
            voltage = !voltage;
            powerLosses += voltage ? 0 : 1;
            memories.setVoltage(voltage);
        }
        // Steady stretches: nothing changes for a run of steps.
        if (step % 90 == 60) {
            for (int held = 0; held < 12 && step < kSteps; ++held, ++step, ++steadySteps)
                memories.stepAndCompare(step);
        }
        const int action = static_cast<int>(random() % 10);
        bool write = false;
        if (action < 4) {  // a write at a fresh address, or at one line away from a written one
            address = written.empty() || chance(50)
                          ? static_cast<std::uint16_t>(random())
                          : static_cast<std::uint16_t>(written[random() % written.size()] ^
                                                       (1u << (random() % 16)));
            memories.setDataIn(static_cast<std::uint8_t>(random()));
            write = true;
        } else if (action < 8) {  // a read, mostly of a written address
            address = !written.empty() && chance(70) ? written[random() % written.size()]
                                                     : static_cast<std::uint16_t>(random());
        } else {  // a single line changes
            const int line = static_cast<int>(random() % 24);
            if (line < 16) {
                address = static_cast<std::uint16_t>(address ^ (1u << line));
            } else {
                memories.apply(dataInLineSetters[line - 16], chance(50));
            }
            write = chance(50);
        }
        memories.setAddress(address);
        memories.setWrite(write);
        if (write && voltage) {
            written.push_back(address);
            ++writes;
        }
        linesSeenHigh |= address;
        linesSeenLow |= static_cast<std::uint16_t>(~address);
        memories.stepAndCompare(step);
    }
    if (memories.mismatched()) return;
    // The sequence did what it is meant to.
    EXPECT_EQ(linesSeenHigh, 0xFFFF);
    EXPECT_EQ(linesSeenLow & 0xFFFF, 0xFFFF);
    EXPECT_GT(writes, kSteps / 8);
    EXPECT_GT(steadySteps, 0);
    EXPECT_GT(powerLosses, 0);
    EXPECT_GT(memories.lanes().skippedSteps(), skippedInHeldSteps);
}

INSTANTIATE_TEST_SUITE_P(EveryWidth, LanesMatchTree,
                         ::testing::Values(Width{RelayLaneRAM::LaneWidth::Sse2, 16, "SSE2"},
                                           Width{RelayLaneRAM::LaneWidth::Avx2, 32, "AVX2"},
                                           Width{RelayLaneRAM::LaneWidth::Avx512, 64, "AVX-512BW"}),
                         [](const auto& info) { return std::to_string(info.param.bytes) + "ByteLanes"; });

}  // namespace
}  // namespace tarnwick
