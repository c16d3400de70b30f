#include <gtest/gtest.h>

#include <cstdint>

#include "relay/Arithmetic.h"

namespace tarnwick {
namespace {

struct AdderResult {
    unsigned sum;
    bool carry;
};

AdderResult add(EightBitAdder& adder, unsigned a, unsigned b, bool carryIn) {
    for (int i = 0; i < 8; ++i) {
        adder.setA(i, (a >> i) & 1);
        adder.setB(i, (b >> i) & 1);
    }
    adder.setCarryIn(carryIn);
    adder.step();
    unsigned sum = 0;
    for (int i = 0; i < 8; ++i) sum |= unsigned{adder.sum(i)} << i;
    return {sum, adder.carryOut()};
}

template <class Unit>
unsigned apply(Unit& unit, unsigned a, unsigned b) {
    for (int i = 0; i < 8; ++i) {
        unit.setA(i, (a >> i) & 1);
        unit.setB(i, (b >> i) & 1);
    }
    unit.step();
    unsigned out = 0;
    for (int i = 0; i < 8; ++i) out |= unsigned{unit.output(i)} << i;
    return out;
}

TEST(Arithmetic, XorGateTruthTable) {
    for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < 2; ++b) {
            XorGate gate;
            gate.setVoltage(true);
            gate.setA(a);
            gate.setB(b);
            gate.step();
            EXPECT_EQ(gate.output(), a != b) << a << b;
        }
    }
}

TEST(Arithmetic, FullAdderTruthTable) {
    for (unsigned in = 0; in < 8; ++in) {
        FullAdder adder;
        adder.setVoltage(true);
        adder.setCarryIn(in & 1);
        adder.setA(in & 2);
        adder.setB(in & 4);
        adder.step();
        const unsigned total = (in & 1) + ((in >> 1) & 1) + ((in >> 2) & 1);
        EXPECT_EQ(adder.sum(), (total & 1) != 0) << in;
        EXPECT_EQ(adder.carryOut(), total >= 2) << in;
    }
}

TEST(Arithmetic, EightBitAdderRipplesInOneStep) {
    EightBitAdder adder;
    adder.setVoltage(true);
    struct Case {
        unsigned a, b;
        bool carryIn;
    };
    // Each case follows a settled previous one: a changed operand must show
    // its full result after one step, never an intermediate value.
    const Case cases[] = {{255, 1, false},     {255, 0, true},     {0, 0, false},  {128, 128, false},
                          {0x5A, 0x33, false}, {0xF0, 0xDF, true}, {1, 254, true}, {17, 42, true}};
    for (const Case& c : cases) {
        const AdderResult result = add(adder, c.a, c.b, c.carryIn);
        const unsigned total = c.a + c.b + c.carryIn;
        EXPECT_EQ(result.sum, total & 0xFF) << c.a << "+" << c.b << "+" << c.carryIn;
        EXPECT_EQ(result.carry, total > 255) << c.a << "+" << c.b << "+" << c.carryIn;
    }
}

TEST(Arithmetic, EightBitAdderExhaustiveFromSettledState) {
    EightBitAdder adder;
    adder.setVoltage(true);
    for (unsigned a = 0; a < 256; a += 3) {
        for (unsigned b = 0; b < 256; b += 5) {
            const AdderResult result = add(adder, a, b, (a ^ b) & 1);
            const unsigned total = a + b + ((a ^ b) & 1);
            ASSERT_EQ(result.sum, total & 0xFF) << a << " " << b;
            ASSERT_EQ(result.carry, total > 255) << a << " " << b;
        }
    }
}

TEST(Arithmetic, BitwiseUnits) {
    EightBitAnd andUnit;
    EightBitOr orUnit;
    EightBitXor xorUnit;
    andUnit.setVoltage(true);
    orUnit.setVoltage(true);
    xorUnit.setVoltage(true);
    EXPECT_EQ(apply(andUnit, 240, 60), 48u);
    EXPECT_EQ(apply(orUnit, 240, 60), 252u);
    EXPECT_EQ(apply(xorUnit, 240, 60), 204u);
    EXPECT_EQ(apply(xorUnit, 0xFF, 0xFF), 0u);
}

TEST(Arithmetic, ComplementerInvertsOnCommand) {
    EightBitComplementer complementer;
    complementer.setVoltage(true);
    auto run = [&](unsigned input, bool invert) {
        complementer.setInvert(invert);
        for (int i = 0; i < 8; ++i) complementer.setInput(i, (input >> i) & 1);
        complementer.step();
        unsigned out = 0;
        for (int i = 0; i < 8; ++i) out |= unsigned{complementer.output(i)} << i;
        return out;
    };
    EXPECT_EQ(run(0x3C, false), 0x3Cu);
    EXPECT_EQ(run(0x3C, true), 0xC3u);
    EXPECT_EQ(run(0x00, true), 0xFFu);
}

TEST(Arithmetic, UnpoweredCircuitsOutputNothing) {
    EightBitAdder adder;
    const AdderResult result = add(adder, 255, 255, true);
    EXPECT_EQ(result.sum, 0u);
    EXPECT_FALSE(result.carry);

    EightBitComplementer complementer;
    complementer.setInvert(true);
    complementer.step();
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(complementer.output(i));

    EightBitOr orUnit;
    EXPECT_EQ(apply(orUnit, 0xFF, 0xFF), 0u);

    // Power restored: correct again after one step.
    adder.setVoltage(true);
    adder.step();
    unsigned sum = 0;
    for (int i = 0; i < 8; ++i) sum |= unsigned{adder.sum(i)} << i;
    EXPECT_EQ(sum, 0xFFu);
    EXPECT_TRUE(adder.carryOut());
}

}  // namespace
}  // namespace tarnwick
