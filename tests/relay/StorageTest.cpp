#include <gtest/gtest.h>

#include "relay/Storage.h"
#include "tests/support/StepTable.h"

namespace tarnwick {
namespace {

using testing::bits;
using testing::expectSteps;

// One step of a flip-flop: its inputs, then q and notQ after the step.
struct Step {
    bool data;
    bool clock;
    const char* outputs;  // q then notQ; '-' is not checked
    bool clear = false;
    bool preset = false;
    const char* note = nullptr;
};

template <class FlipFlop>
void expectFlipFlopSteps(std::initializer_list<Step> rows) {
    FlipFlop ff;
    ff.setVoltage(true);
    expectSteps(
        ff, rows,
        [](FlipFlop& f, const Step& row) {
            f.setData(row.data);
            f.setClock(row.clock);
            f.setClear(row.clear);
            if constexpr (requires { f.setPreset(true); }) f.setPreset(row.preset);
        },
        [](const FlipFlop& f) {
            return bits({f.q(), f.notQ()});
        });
}

template <class FlipFlop>
class FlipFlopTest : public ::testing::Test {};
using FlipFlopTypes = ::testing::Types<MasterSlaveFlipFlop, SixNorFlipFlop>;
TYPED_TEST_SUITE(FlipFlopTest, FlipFlopTypes);

TYPED_TEST(FlipFlopTest, PowerOnShowsNeitherOutput) {
    expectFlipFlopSteps<TypeParam>({{0, 0, "00"}, {1, 0, "00"}, {0, 0, "00"}, {1, 0, "00"}, {0, 0, "00"}});
}

TYPED_TEST(FlipFlopTest, RiseInTheFirstPoweredStepLoadsNothing) {
    expectFlipFlopSteps<TypeParam>({
        {1, 1, "00"},
        {1, 0, "--"},
        {1, 1, "10", false, false, "a rise after a step with the clock off loads"},
    });
}

TYPED_TEST(FlipFlopTest, LoadsTheDataOfTheStepBeforeTheRise) {
    expectFlipFlopSteps<TypeParam>({
        {1, 0, "--"},
        {1, 1, "10"},
        {0, 1, "10", false, false, "data changes while the clock stays on"},
        {0, 0, "10", false, false, "falling clock"},
        {1, 1, "0-", false, false, "data written with the rise is not taken"},
        {1, 0, "--"},
        {1, 1, "10"},
    });
}

TYPED_TEST(FlipFlopTest, PowerLossForgetsTheBit) {
    TypeParam ff;
    ff.setVoltage(true);
    auto set = [](TypeParam& f, const Step& row) {
        f.setData(row.data);
        f.setClock(row.clock);
    };
    auto read = [](const TypeParam& f) { return bits({f.q(), f.notQ()}); };
    expectSteps(ff, {Step{1, 0, "--"}, Step{1, 1, "10"}}, set, read);
    ff.setVoltage(false);
    expectSteps(ff, {Step{1, 0, "00"}}, set, read);
    ff.setVoltage(true);
    expectSteps(ff,
                {Step{1, 0, "00"}, Step{1, 0, "00"}, Step{1, 0, "00", false, false, "after power returns"}},
                set, read);
}

TEST(MasterSlaveFlipFlop, ClearWithClockOnAndMasterOneShowsNeither) {
    expectFlipFlopSteps<MasterSlaveFlipFlop>({
        {1, 0, "--"},
        {1, 1, "10"},
        {1, 1, "00", true},
        {1, 1, "00", true},
        {1, 1, "10", false, false, "the slave copies the master again"},
    });
}

TEST(MasterSlaveFlipFlop, ClearWithClockOffStaysUntilNextRise) {
    expectFlipFlopSteps<MasterSlaveFlipFlop>({
        {1, 0, "--"},
        {1, 1, "--"},
        {1, 0, "10"},
        {1, 0, "01", true},
        {1, 0, "01"},
        {1, 1, "10"},
    });
}

TEST(SixNorFlipFlop, PresetAndClear) {
    expectFlipFlopSteps<SixNorFlipFlop>({
        {0, 0, "10", false, true},
        {0, 0, "00", true, true},
        {0, 0, "10", false, true, "preset decides once clear goes"},
        {0, 0, "01", true, false},
    });
}

TEST(SixNorFlipFlop, RiseDuringClearIsLost) {
    expectFlipFlopSteps<SixNorFlipFlop>({
        {1, 0, "--", true},
        {1, 1, "01", true},
        {1, 1, "01"},
        {1, 0, "--"},
        {1, 1, "10"},
    });
}

TEST(SixNorFlipFlop, ClearWhileClockOnTakesTwoStepsForNotQ) {
    expectFlipFlopSteps<SixNorFlipFlop>({
        {1, 0, "--"},
        {1, 1, "10"},
        {1, 1, "00", true},
        {1, 1, "01", true},
    });
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
