// The relay-built memory against the byte array: random line settings, steps
// and power changes, applied to both, must give the same data-out after
// every step. Unpowered steps are taken with Write off, the one situation in
// which the two memories are meant to part is covered in MemoryContractTest.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "MemoryTestSupport.h"
#include "memory/FastRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick {
namespace {

class Pair {
public:
    void setVoltage(bool on) {
        fast_.setVoltage(on);
        relays_.setVoltage(on);
    }
    void setWrite(bool on) {
        fast_.setWrite(on);
        relays_.setWrite(on);
    }
    void setAddressLine(int line, bool on) { setLine(addressLineSetters[line], on); }
    void setDataInLine(int line, bool on) { setLine(dataInLineSetters[line], on); }
    void setAddress(std::uint16_t address) {
        applyAddress(fast_, address);
        applyAddress(relays_, address);
    }
    void setDataIn(std::uint8_t data) {
        applyDataIn(fast_, data);
        applyDataIn(relays_, data);
    }
    void step() {
        fast_.step();
        relays_.step();
    }
    std::uint8_t fastOut() { return readDataOut(fast_); }
    std::uint8_t relayOut() { return readDataOut(relays_); }

private:
    void setLine(LineSetter setter, bool on) {
        SixtyFourKbRAM* const memories[] = {&fast_, &relays_};
        for (SixtyFourKbRAM* memory : memories) (memory->*setter)(on);
    }

    FastRAM fast_;
    SixtyFourKilobyteRAM relays_;
};

void runRandomSequence(std::uint32_t seed, int steps) {
    // A small pool of addresses, neighbours in single lines, so that reads
    // often find bytes written earlier.
    const std::uint16_t pool[] = {0x0000, 0x0001, 0x0008, 0x0040, 0x8000, 0x1234,
                                  0x1235, 0xFFFF, 0x7FFF, 0x00C0, 0xA5A5, 0x0007};
    std::mt19937 random(seed);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };

    Pair pair;
    bool voltage = true;
    bool write = false;
    pair.setVoltage(true);
    for (int i = 0; i < steps; ++i) {
        if (chance(3)) {
            voltage = !voltage;
            pair.setVoltage(voltage);
        }
        if (chance(70)) {
            pair.setAddress(pool[random() % std::size(pool)]);
        } else {
            const int flips = 1 + static_cast<int>(random() % 3);
            for (int f = 0; f < flips; ++f) pair.setAddressLine(static_cast<int>(random() % 16), chance(50));
        }
        if (chance(50)) {
            pair.setDataIn(static_cast<std::uint8_t>(random()));
        } else {
            pair.setDataInLine(static_cast<int>(random() % 8), chance(50));
        }
        write = chance(40);
        pair.setWrite(write && voltage);
        // A changed input without a step changes no output.
        const std::uint8_t before = pair.relayOut();
        EXPECT_EQ(pair.fastOut(), before);
        pair.step();
        ASSERT_EQ(pair.relayOut(), pair.fastOut()) << "seed " << seed << " step " << i;
    }
}

TEST(Differential, RelayMemoryMatchesByteArray) {
    runRandomSequence(20240611, 120);
    runRandomSequence(7, 120);
}

}  // namespace
}  // namespace tarnwick
