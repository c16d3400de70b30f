#include "relay/Storage.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

// Drives a flip-flop one step at a time and reads both outputs.
template <class FlipFlop>
struct Driver {
    FlipFlop ff;
    Driver() { ff.setVoltage(true); }
    void step(bool data, bool clock) {
        ff.setData(data);
        ff.setClock(clock);
        ff.step();
    }
    std::pair<bool, bool> outputs() const { return {ff.q(), ff.notQ()}; }
};

using Outputs = std::pair<bool, bool>;
constexpr Outputs kOne{true, false};
constexpr Outputs kZero{false, true};
constexpr Outputs kNeither{false, false};

template <class FlipFlop>
class FlipFlopTest : public testing::Test {};
using FlipFlopTypes = testing::Types<MasterSlaveFlipFlop, SixNorFlipFlop>;
TYPED_TEST_SUITE(FlipFlopTest, FlipFlopTypes);

TYPED_TEST(FlipFlopTest, PowerOnShowsNeitherOutput) {
    Driver<TypeParam> d;
    for (int i = 0; i < 5; ++i) {
        d.step(i & 1, false);
        EXPECT_EQ(d.outputs(), kNeither) << "step " << i;
    }
}

TYPED_TEST(FlipFlopTest, RiseInTheFirstPoweredStepLoadsNothing) {
    Driver<TypeParam> d;
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kNeither);
    d.step(true, false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne) << "a rise after a step with the clock off loads";
}

TYPED_TEST(FlipFlopTest, LoadsTheDataOfTheStepBeforeTheRise) {
    Driver<TypeParam> d;
    d.step(true, false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne);
    d.step(false, true);
    EXPECT_EQ(d.outputs(), kOne) << "data changes while the clock stays on";
    d.step(false, false);
    EXPECT_EQ(d.outputs(), kOne) << "falling clock";
    d.step(true, true);
    EXPECT_FALSE(d.ff.q()) << "data written with the rise is not taken";
    d.step(true, false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne);
}

TYPED_TEST(FlipFlopTest, PowerLossForgetsTheBit) {
    Driver<TypeParam> d;
    d.step(true, false);
    d.step(true, true);
    ASSERT_EQ(d.outputs(), kOne);
    d.ff.setVoltage(false);
    d.step(true, false);
    EXPECT_EQ(d.outputs(), kNeither);
    d.ff.setVoltage(true);
    for (int i = 0; i < 3; ++i) {
        d.step(true, false);
        EXPECT_EQ(d.outputs(), kNeither) << "after power returns, step " << i;
    }
}

TEST(MasterSlaveFlipFlop, ClearWithClockOnAndMasterOneShowsNeither) {
    Driver<MasterSlaveFlipFlop> d;
    d.step(true, false);
    d.step(true, true);
    ASSERT_EQ(d.outputs(), kOne);
    d.ff.setClear(true);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kNeither);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kNeither);
    d.ff.setClear(false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne) << "the slave copies the master again";
}

TEST(MasterSlaveFlipFlop, ClearWithClockOffStaysUntilNextRise) {
    Driver<MasterSlaveFlipFlop> d;
    d.step(true, false);
    d.step(true, true);
    d.step(true, false);
    ASSERT_EQ(d.outputs(), kOne);
    d.ff.setClear(true);
    d.step(true, false);
    EXPECT_EQ(d.outputs(), kZero);
    d.ff.setClear(false);
    d.step(true, false);
    EXPECT_EQ(d.outputs(), kZero);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne);
}

TEST(SixNorFlipFlop, PresetAndClear) {
    Driver<SixNorFlipFlop> d;
    d.ff.setPreset(true);
    d.step(false, false);
    EXPECT_EQ(d.outputs(), kOne);
    d.ff.setClear(true);
    d.step(false, false);
    EXPECT_EQ(d.outputs(), kNeither);
    d.ff.setClear(false);
    d.step(false, false);
    EXPECT_EQ(d.outputs(), kOne) << "preset decides once clear goes";
    d.ff.setPreset(false);
    d.ff.setClear(true);
    d.step(false, false);
    EXPECT_EQ(d.outputs(), kZero);
}

TEST(SixNorFlipFlop, RiseDuringClearIsLost) {
    Driver<SixNorFlipFlop> d;
    d.ff.setClear(true);
    d.step(true, false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kZero);
    d.ff.setClear(false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kZero);
    d.step(true, false);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kOne);
}

TEST(SixNorFlipFlop, ClearWhileClockOnTakesTwoStepsForNotQ) {
    Driver<SixNorFlipFlop> d;
    d.step(true, false);
    d.step(true, true);
    ASSERT_EQ(d.outputs(), kOne);
    d.ff.setClear(true);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kNeither);
    d.step(true, true);
    EXPECT_EQ(d.outputs(), kZero);
}

TEST(EightBitRegister, LoadsAByteOnARisingClock) {
    EightBitRegister reg;
    reg.setVoltage(true);
    auto setData = [&](unsigned byte) {
        for (int i = 0; i < 8; ++i) reg.setData(i, (byte >> i) & 1);
    };
    auto value = [&] {
        unsigned v = 0;
        for (int i = 0; i < 8; ++i) v |= unsigned{reg.q(i)} << i;
        return v;
    };
    setData(165);
    reg.step();
    reg.setClock(true);
    reg.step();
    EXPECT_EQ(value(), 165u);
    setData(0x0F);
    reg.step();
    reg.setClock(false);
    reg.step();
    EXPECT_EQ(value(), 165u);
    reg.setClear(true);
    reg.step();
    EXPECT_EQ(value(), 0u);
}

}  // namespace
}  // namespace tarnwick
