#include "relay/Counters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>

namespace tarnwick {
namespace {

class CounterDriver {
public:
    CounterDriver() { counter_.setVoltage(true); }

    unsigned value() const {
        unsigned v = 0;
        for (int i = 0; i < 16; ++i) v |= unsigned{counter_.q(i)} << i;
        return v;
    }
    void step(bool clock) {
        counter_.setClock(clock);
        counter_.step();
    }
    // One full clock period: the rising step, then the falling one.
    unsigned pulse() {
        step(true);
        const unsigned afterRise = value();
        step(false);
        return afterRise;
    }
    void load(unsigned value) {
        for (int i = 0; i < 16; ++i) counter_.setLoadData(i, (value >> i) & 1);
        counter_.setLoad(true);
        step(false);
        counter_.setLoad(false);
        step(false);
    }
    SixteenBitCounter& counter() { return counter_; }

private:
    SixteenBitCounter counter_;
};

TEST(SixteenBitCounter, CountsFromClear) {
    CounterDriver d;
    d.counter().setClear(true);
    d.step(false);
    EXPECT_EQ(d.value(), 0u);
    d.counter().setClear(false);
    d.step(false);
    EXPECT_EQ(d.pulse(), 1u);
    EXPECT_EQ(d.pulse(), 2u);
    EXPECT_EQ(d.pulse(), 3u);
}

TEST(SixteenBitCounter, CarriesAcrossAllBitsInOneStep) {
    struct Case {
        unsigned loaded, afterOneRise;
    };
    const Case cases[] = {{65534, 65535}, {65535, 0}, {32767, 32768}, {255, 256}, {0x0FFF, 0x1000}};
    for (const Case& c : cases) {
        CounterDriver d;
        d.load(c.loaded);
        ASSERT_EQ(d.value(), c.loaded);
        EXPECT_EQ(d.pulse(), c.afterOneRise) << "from " << c.loaded;
    }
}

TEST(SixteenBitCounter, CountsOncePerRise) {
    CounterDriver d;
    d.load(41);
    d.step(true);
    d.step(true);
    d.step(true);
    EXPECT_EQ(d.value(), 42u) << "clock held on";
    d.step(false);
    EXPECT_EQ(d.value(), 42u) << "falling clock";
}

TEST(SixteenBitCounter, LoadBeatsARisingClock) {
    CounterDriver d;
    for (int i = 0; i < 16; ++i) d.counter().setLoadData(i, (1000 >> i) & 1);
    d.counter().setLoad(true);
    d.step(false);
    d.step(true);
    EXPECT_EQ(d.value(), 1000u);
    d.counter().setLoad(false);
    d.step(false);
    EXPECT_EQ(d.pulse(), 1001u);
}

TEST(SixteenBitCounter, ClearAndLoadTogetherShowNeitherOutput) {
    CounterDriver d;
    for (int i = 0; i < 16; ++i) d.counter().setLoadData(i, true);
    d.counter().setLoad(true);
    d.counter().setClear(true);
    d.step(false);
    EXPECT_EQ(d.value(), 0u);
    d.counter().setClear(false);
    d.step(false);
    EXPECT_EQ(d.value(), 0xFFFFu);
}

TEST(SixteenBitCounter, FirstRiseAfterPowerOnGivesZero) {
    CounterDriver d;
    d.step(false);
    EXPECT_EQ(d.value(), 0u);
    EXPECT_EQ(d.pulse(), 0u);
    EXPECT_EQ(d.pulse(), 1u);
    EXPECT_EQ(d.pulse(), 2u);
}

TEST(SixteenBitCounter, WrapsAfterAFullRun) {
    CounterDriver d;
    d.counter().setClear(true);
    d.step(false);
    d.counter().setClear(false);
    d.step(false);
    for (unsigned expected = 1; expected <= 65536; ++expected) {
        ASSERT_EQ(d.pulse(), expected & 0xFFFF);
    }
}

class RingDriver {
public:
    RingDriver() { ring.setVoltage(true); }
    int onStage() const {
        int on = -1;
        for (int k = 0; k < 4; ++k) {
            if (ring.output(k)) on = (on == -1) ? k : -2;
        }
        return on;  // -1: none on, -2: several on
    }
    void step(bool clock) {
        ring.setClock(clock);
        ring.step();
    }
    RingCounter ring;
};

TEST(RingCounter, WalksOneHotFromStageThree) {
    RingDriver d;
    d.ring.setReset(true);
    d.step(false);
    EXPECT_EQ(d.onStage(), 3);
    d.ring.setReset(false);
    d.step(false);
    for (int expected : {0, 1, 2, 3, 0}) {
        d.step(true);
        EXPECT_EQ(d.onStage(), expected);
        d.step(false);
        EXPECT_EQ(d.onStage(), expected);
    }
}

TEST(RingCounter, NeverResetHasNoOnStage) {
    RingDriver d;
    for (int i = 0; i < 12; ++i) {
        d.step(i % 2 == 0);
        EXPECT_EQ(d.onStage(), -1) << "step " << i;
    }
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// The counter steps its sixteen stages side by side; every relay byte must
// end up as in the stage-by-stage step, whatever the inputs and power do.
TEST(SixteenBitCounter, SideBySideStepLeavesEveryRelayAsTheReferenceStep) {
    static_assert(std::is_trivially_copyable_v<SixteenBitCounter>);
    SixteenBitCounter fast;
    SixteenBitCounter reference;
    std::mt19937 random(2024);
    auto both = [&](auto apply) {
        apply(fast);
        apply(reference);
    };
    for (int round = 0; round < 600; ++round) {
        const unsigned pick = random() % 100;
        const bool on = random() % 2;
        if (pick < 3) {
            both([&](SixteenBitCounter& c) { c.setVoltage(on); });
        } else if (pick < 8) {
            both([&](SixteenBitCounter& c) { c.setClear(on); });
        } else if (pick < 13) {
            both([&](SixteenBitCounter& c) { c.setLoad(on); });
        } else if (pick < 20) {
            const int bit = static_cast<int>(random() % 16);
            both([&](SixteenBitCounter& c) { c.setLoadData(bit, on); });
        }
        if (round < 40 || random() % 3 != 0) {
            both([&](SixteenBitCounter& c) { c.setVoltage(true); });
        }
        const bool clock = random() % 2;
        both([&](SixteenBitCounter& c) { c.setClock(clock); });
        fast.step();
        reference.referenceStep();
        std::uint8_t fastBytes[sizeof fast];
        std::uint8_t referenceBytes[sizeof reference];
        std::memcpy(fastBytes, &fast, sizeof fast);
        std::memcpy(referenceBytes, &reference, sizeof reference);
        for (std::size_t i = 0; i < sizeof fast; ++i) {
            ASSERT_EQ(fastBytes[i], referenceBytes[i]) << "relay byte " << i << " (stage " << i / 26
                                                       << "), round " << round;
        }
    }
}

}  // namespace
}  // namespace tarnwick
