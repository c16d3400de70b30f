#include <gtest/gtest.h>

#include "relay/Selectors.h"

namespace tarnwick {
namespace {

TEST(TwoWaySelector, PassesTheSelectedInputAfterOneStep) {
    struct Row {
        bool select, a, b, out;
    };
    const Row rows[] = {
        {false, true, false, true},   {true, true, false, false},  {false, false, true, false},
        {true, false, true, true},    {false, true, true, true},   {true, true, true, true},
        {false, false, false, false}, {true, false, false, false},
    };
    // All rows on one selector: every change of select, A and B written before
    // a step shows after that one step.
    TwoWaySelector selector;
    selector.setVoltage(true);
    for (const Row& row : rows) {
        selector.setSelect(row.select);
        selector.setA(row.a);
        selector.setB(row.b);
        selector.step();
        EXPECT_EQ(selector.output(), row.out) << row.select << row.a << row.b;
    }
}

TEST(TwoWaySelector, UnpoweredOutputsNothing) {
    TwoWaySelector selector;
    selector.setA(true);
    selector.setB(true);
    selector.step();
    EXPECT_FALSE(selector.output());
}

TEST(SixteenBitSelector, SwitchesAllBitsTogether) {
    SixteenBitSelector selector;
    selector.setVoltage(true);
    for (int i = 0; i < 16; ++i) {
        selector.setA(i, (0x1234 >> i) & 1);
        selector.setB(i, (0xBEEF >> i) & 1);
    }
    auto read = [&] {
        unsigned v = 0;
        for (int i = 0; i < 16; ++i) v |= unsigned{selector.output(i)} << i;
        return v;
    };
    selector.step();
    EXPECT_EQ(read(), 0x1234u);
    selector.setSelect(true);
    selector.step();
    EXPECT_EQ(read(), 0xBEEFu);
}

}  // namespace
}  // namespace tarnwick
