#include <gtest/gtest.h>

#include <functional>

#include "relay/Gates.h"

namespace tarnwick {
namespace {

// Applies every combination of N inputs to a fresh powered gate, steps once
// and compares with the expected function; then checks the same gate goes
// false when its power is removed.
template <class Gate, int N>
void expectTruthTable(const std::function<bool(unsigned)>& expected) {
    for (unsigned inputs = 0; inputs < (1u << N); ++inputs) {
        Gate gate;
        gate.setVoltage(true);
        for (int i = 0; i < N; ++i) gate.setInput(i, (inputs >> i) & 1);
        EXPECT_FALSE(gate.output()) << "output before the first step, inputs " << inputs;
        gate.step();
        EXPECT_EQ(gate.output(), expected(inputs)) << "inputs " << inputs;
        gate.setVoltage(false);
        gate.step();
        EXPECT_FALSE(gate.output()) << "unpowered, inputs " << inputs;
        gate.setVoltage(true);
        gate.step();
        EXPECT_EQ(gate.output(), expected(inputs)) << "power restored, inputs " << inputs;
    }
}

constexpr unsigned all(int n) { return (1u << n) - 1; }

TEST(Gates, AndChainsNeedEveryInput) {
    expectTruthTable<TwoInputAndGate, 2>([](unsigned in) { return in == all(2); });
    expectTruthTable<ThreeInputAndGate, 3>([](unsigned in) { return in == all(3); });
    expectTruthTable<EightInputAndGate, 8>([](unsigned in) { return in == all(8); });
}

TEST(Gates, NorChainsNeedNoInput) {
    expectTruthTable<TwoInputNorGate, 2>([](unsigned in) { return in == 0; });
    expectTruthTable<ThreeInputNorGate, 3>([](unsigned in) { return in == 0; });
    expectTruthTable<EightInputNorGate, 8>([](unsigned in) { return in == 0; });
}

TEST(Gates, OrGroupsNeedAnyInput) {
    expectTruthTable<TwoInputOrGate, 2>([](unsigned in) { return in != 0; });
    expectTruthTable<ThreeInputOrGate, 3>([](unsigned in) { return in != 0; });
    expectTruthTable<FiveInputOrGate, 5>([](unsigned in) { return in != 0; });
}

TEST(Gates, NandIsFalseOnlyWithBothInputs) {
    expectTruthTable<TwoInputNandGate, 2>([](unsigned in) { return in != all(2); });
}

TEST(Gates, ChangeReachesTheOutputAfterOneStep) {
    TwoInputNorGate nor;
    nor.setVoltage(true);
    nor.step();
    EXPECT_TRUE(nor.output());
    nor.setInput(0, true);
    EXPECT_TRUE(nor.output()) << "reads the previous step until stepped";
    nor.step();
    EXPECT_FALSE(nor.output());

    EightInputAndGate gate;
    gate.setVoltage(true);
    for (int i = 0; i < 7; ++i) gate.setInput(i, true);
    gate.step();
    EXPECT_FALSE(gate.output());
    gate.setInput(7, true);
    gate.step();
    EXPECT_TRUE(gate.output());
}

TEST(Gates, EightBitBufferPassesEachBitWhilePowered) {
    EightBitBuffer buffer;
    for (int i = 0; i < 8; ++i) buffer.setInput(i, (0xA5 >> i) & 1);
    buffer.step();
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(buffer.output(i)) << "unpowered bit " << i;
    buffer.setVoltage(true);
    buffer.step();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(buffer.output(i), ((0xA5 >> i) & 1) != 0) << "bit " << i;
}

TEST(Gates, BuzzerAlternatesWhilePoweredAndRestartsTrue) {
    Buzzer buzzer;
    for (int i = 0; i < 3; ++i) {
        buzzer.step();
        EXPECT_FALSE(buzzer.output()) << "unpowered step " << i;
    }
    buzzer.setVoltage(true);
    const bool expected[] = {true, false, true, false, true, false};
    for (bool value : expected) {
        buzzer.step();
        EXPECT_EQ(buzzer.output(), value);
    }
    // Power drops while the output is true; on return it starts with true again.
    buzzer.step();
    ASSERT_TRUE(buzzer.output());
    buzzer.setVoltage(false);
    buzzer.step();
    EXPECT_FALSE(buzzer.output());
    buzzer.setVoltage(true);
    buzzer.step();
    EXPECT_TRUE(buzzer.output());
    buzzer.step();
    EXPECT_FALSE(buzzer.output());
}

}  // namespace
}  // namespace tarnwick
