#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>

#include "relay/Counters.h"
#include "tests/support/StepTable.h"

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

// One step of the counter: its inputs, then the count it shows after the
// step, as four hexadecimal digits ('-' not checked).
struct CounterStep {
    bool clock;
    const char* outputs;
    bool clear = false;
    bool load = false;
    unsigned loadData = 0;
    const char* note = nullptr;
};

void expectCounterSteps(std::initializer_list<CounterStep> rows) {
    SixteenBitCounter counter;
    counter.setVoltage(true);
    testing::expectSteps(
        counter, rows,
        [](SixteenBitCounter& c, const CounterStep& row) {
            c.setClock(row.clock);
            c.setClear(row.clear);
            c.setLoad(row.load);
            for (int i = 0; i < 16; ++i) c.setLoadData(i, (row.loadData >> i) & 1);
        },
        [](const SixteenBitCounter& c) {
            unsigned v = 0;
            for (int i = 0; i < 16; ++i) v |= unsigned{c.q(i)} << i;
            char text[8];
            std::snprintf(text, sizeof text, "%04X", v);
            return std::string(text);
        });
}

TEST(SixteenBitCounter, CountsFromClearOncePerRise) {
    expectCounterSteps({
        {0, "0000", true},
        {0, "0000"},
        {1, "0001"},
        {0, "0001"},
        {1, "0002"},
        {1, "0002", false, false, 0, "clock held on"},
        {1, "0002", false, false, 0, "clock held on"},
        {0, "0002", false, false, 0, "falling clock"},
        {1, "0003"},
    });
}

TEST(SixteenBitCounter, FirstRiseAfterPowerOnGivesZero) {
    expectCounterSteps({{0, "0000"}, {1, "0000"}, {0, "0000"}, {1, "0001"}, {0, "0001"}, {1, "0002"}});
}

TEST(SixteenBitCounter, LoadBeatsARisingClock) {
    expectCounterSteps({
        {0, "03E8", false, true, 1000},
        {1, "03E8", false, true, 1000},
        {0, "03E8"},
        {1, "03E9"},
    });
}

TEST(SixteenBitCounter, ClearAndLoadTogetherShowNeitherOutput) {
    expectCounterSteps({
        {0, "0000", true, true, 0xFFFF},
        {0, "FFFF", false, true, 0xFFFF, "load wins once clear goes"},
    });
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

// One step of the ring counter: its inputs, then stages 0 to 3 after it.
struct RingStep {
    bool clock;
    const char* outputs;
    bool reset = false;
    const char* note = nullptr;
};

TEST(RingCounter, WalksOneHotFromStageThree) {
    RingCounter ring;
    ring.setVoltage(true);
    testing::expectSteps(
        ring,
        {
            RingStep{0, "0001", true},
            RingStep{0, "0001"},
            RingStep{1, "1000"},
            RingStep{0, "1000"},
            RingStep{1, "0100"},
            RingStep{0, "0100"},
            RingStep{1, "0010"},
            RingStep{0, "0010"},
            RingStep{1, "0001"},
            RingStep{0, "0001"},
            RingStep{1, "1000", false, "round again"},
            RingStep{0, "1000"},
        },
        [](RingCounter& r, const RingStep& row) {
            r.setClock(row.clock);
            r.setReset(row.reset);
        },
        [](const RingCounter& r) {
            return testing::bits({r.output(0), r.output(1), r.output(2), r.output(3)});
        });
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
            ASSERT_EQ(fastBytes[i], referenceBytes[i])
                << "relay byte " << i << " (stage " << i / 26 << "), round " << round;
        }
    }
}

}  // namespace
}  // namespace tarnwick
