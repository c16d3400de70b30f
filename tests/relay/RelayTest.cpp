#include <gtest/gtest.h>

#include "relay/Relay.h"

namespace tarnwick {
namespace {

TEST(Relay, NewRelayIsAllZero) {
    Relay relay;
    EXPECT_EQ(relay.bits(), 0);
    EXPECT_FALSE(relay.normallyOpen());
    EXPECT_FALSE(relay.normallyClosed());
}

TEST(Relay, InputsShowOnlyAfterTick) {
    Relay relay;
    relay.setVoltage(true);
    EXPECT_FALSE(relay.normallyClosed());
    relay.tick();
    EXPECT_TRUE(relay.normallyClosed());
    EXPECT_FALSE(relay.normallyOpen());
    relay.setCoil(true);
    EXPECT_TRUE(relay.normallyClosed()) << "a write alone changes no output";
    relay.tick();
    EXPECT_TRUE(relay.normallyOpen());
    EXPECT_FALSE(relay.normallyClosed());
}

TEST(Relay, CurrentStatesGiveTheContactTable) {
    struct Row {
        bool supply, coil, open, closed;
    };
    const Row rows[] = {
        {false, false, false, false},
        {false, true, false, false},
        {true, false, false, true},
        {true, true, true, false},
    };
    for (const Row& row : rows) {
        Relay relay;
        relay.setVoltage(row.supply);
        relay.setCoil(row.coil);
        relay.tick();
        EXPECT_EQ(relay.normallyOpen(), row.open) << row.supply << row.coil;
        EXPECT_EQ(relay.normallyClosed(), row.closed) << row.supply << row.coil;
    }
}

TEST(Relay, CoilPositionIsKeptWithoutSupply) {
    Relay relay;
    relay.setCoil(true);
    relay.tick();
    EXPECT_FALSE(relay.normallyOpen());
    EXPECT_FALSE(relay.normallyClosed());
    relay.setVoltage(true);
    relay.tick();
    EXPECT_TRUE(relay.normallyOpen()) << "the coil taken over while unpowered acts at once";
}

TEST(Relay, OnlyThePendingValueAtTheTickCounts) {
    Relay relay;
    relay.setVoltage(true);
    relay.setCoil(true);
    relay.setCoil(false);
    relay.tick();
    EXPECT_TRUE(relay.normallyClosed());
    EXPECT_FALSE(relay.normallyOpen());
}

TEST(Relay, SecondTickWithoutWritesChangesNothing) {
    Relay relay;
    relay.setVoltage(true);
    relay.setCoil(true);
    relay.tick();
    const auto once = relay.bits();
    relay.tick();
    EXPECT_EQ(relay.bits(), once);
    EXPECT_TRUE(relay.normallyOpen());
}

TEST(Relay, UnusedBitsStayZeroAndTickCopiesTheHighHalf) {
    for (int supply = 0; supply < 2; ++supply) {
        for (int coil = 0; coil < 2; ++coil) {
            Relay relay;
            relay.setVoltage(supply);
            relay.setCoil(coil);
            EXPECT_EQ(relay.bits(), (supply << 7) | (coil << 6));
            relay.tick();
            EXPECT_EQ(relay.bits(), (supply << 7) | (coil << 6) | (supply << 3) | (coil << 2));
            EXPECT_EQ(relay.bits() & 0x33, 0);
        }
    }
}

}  // namespace
}  // namespace tarnwick
