#include "relay/Gates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <type_traits>

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

namespace tarnwick {
namespace {

// The gates tick their relays as whole words; this checks every relay byte
// against the relay-by-relay step over random inputs and power changes.
template <int N, bool Series, bool NormallyOpen>
void expectSameRelaysAsOneByOne(std::uint32_t seed) {
    using Gate = std::conditional_t<Series, SeriesChain<N, NormallyOpen>, ParallelGroup<N, NormallyOpen>>;
    static_assert(sizeof(Gate) == N);
    Gate gate;
    Relay reference[N];
    std::mt19937 random(seed);
    for (int round = 0; round < 2000; ++round) {
        const bool power = random() % 8 != 0;
        gate.setVoltage(power);
        if (Series) {
            reference[0].setVoltage(power);
        } else {
            for (Relay& relay : reference) relay.setVoltage(power);
        }
        for (int i = 0; i < N; ++i) {
            if (random() % 2) {
                const bool on = random() % 2;
                gate.setInput(i, on);
                reference[i].setCoil(on);
            }
        }
        gate.step();
        auto contact = [](const Relay& relay) {
            return NormallyOpen ? relay.normallyOpen() : relay.normallyClosed();
        };
        if (Series) {
            for (int k = 0; k < N - 1; ++k) {
                reference[k].tick();
                reference[k + 1].setVoltage(contact(reference[k]));
            }
            reference[N - 1].tick();
        } else {
            for (Relay& relay : reference) relay.tick();
        }
        std::uint8_t bytes[N];
        std::memcpy(bytes, &gate, N);
        for (int i = 0; i < N; ++i) ASSERT_EQ(bytes[i], reference[i].bits()) << "relay " << i << ", round " << round;
        bool anyContact = false;
        for (const Relay& relay : reference) anyContact = anyContact || contact(relay);
        ASSERT_EQ(gate.output(), Series ? contact(reference[N - 1]) : anyContact) << "round " << round;
    }
}

TEST(Gates, WordStepsLeaveEveryRelayAsTheOneByOneStep) {
    expectSameRelaysAsOneByOne<2, true, true>(1);
    expectSameRelaysAsOneByOne<3, true, true>(2);
    expectSameRelaysAsOneByOne<4, true, true>(3);
    expectSameRelaysAsOneByOne<8, true, true>(4);
    expectSameRelaysAsOneByOne<2, true, false>(5);
    expectSameRelaysAsOneByOne<3, true, false>(6);
    expectSameRelaysAsOneByOne<8, true, false>(7);
    expectSameRelaysAsOneByOne<2, false, true>(8);
    expectSameRelaysAsOneByOne<3, false, true>(9);
    expectSameRelaysAsOneByOne<5, false, true>(10);
    expectSameRelaysAsOneByOne<8, false, true>(11);
    expectSameRelaysAsOneByOne<2, false, false>(12);
}

}  // namespace
}  // namespace tarnwick
