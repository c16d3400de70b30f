// The loader: writing an image through the control panel, one memory step
// per address, and reading memory back.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/MemoryLoader.h"
#include "machine/Computer.h"
#include "machine/Lamps.h"
#include "tests/support/MemoryFiles.h"

namespace tarnwick {
namespace {

using testing::Bytes;

Bytes file(std::uint32_t first, std::uint32_t last, std::size_t imageBytes) {
    return testing::memoryFile(first, last, imageBytes);
}

// A powered computer (Reset on) whose memory holds `fill` at 0000h to 0003h
// and 00FFh to 0103h (few addresses: each step of the relay-built memory
// steps all its relays).
std::unique_ptr<Computer> poweredComputer(bool fastRam, std::uint8_t fill) {
    auto computer = std::make_unique<Computer>(fastRam);
    computer->resetSwitch().setState(1);
    computer->powerSwitch().setState(1);
    computer->applyPower();
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{0, 3, Bytes(4, fill)}));
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{0xFF, 0x103, Bytes(5, fill)}));
    return computer;
}

unsigned addressLamps(const Computer& computer) { return readLamps(computer).address; }

TEST(WriteMemoryImage, WritesOnlyItsRangeOnEitherMemory) {
    for (bool fastRam : {true, false}) {
        SCOPED_TRACE(fastRam ? "byte array" : "relay-built memory");
        auto computer = poweredComputer(fastRam, 0xEE);
        const MemoryFileResult one = parseMemoryFile(file(0, 0, 1));
        ASSERT_TRUE(one.image.has_value());
        ASSERT_TRUE(writeMemoryImage(*computer, *one.image));
        EXPECT_EQ(addressLamps(*computer), 0u);
        EXPECT_EQ(readMemoryRange(*computer, 0, 2), (Bytes{1, 0xEE, 0xEE}));

        const MemoryFileResult middle = parseMemoryFile(file(0x100, 0x102, 0x103));
        ASSERT_TRUE(writeMemoryImage(*computer, *middle.image));
        EXPECT_EQ(addressLamps(*computer), 0x102u);
        EXPECT_EQ(
            readMemoryRange(*computer, 0xFF, 0x103),
            (Bytes{0xEE, static_cast<std::uint8_t>(0x100 * 7 + 1), static_cast<std::uint8_t>(0x101 * 7 + 1),
                   static_cast<std::uint8_t>(0x102 * 7 + 1), 0xEE}));
    }
}

TEST(WriteMemoryImage, FullRangeEndsWithEveryAddressLampLit) {
    auto computer = poweredComputer(true, 0);
    const MemoryFileResult full = parseMemoryFile(file(0, 0xFFFF, 0x10000));
    ASSERT_TRUE(full.image.has_value());
    std::int32_t expected = 0;
    bool inOrder = true;
    bool lockFree = true;
    ASSERT_TRUE(writeMemoryImage(*computer, *full.image, [&](std::int32_t address) {
        inOrder = inOrder && address == expected++;
        // Called between memory steps, with the cycle lock released.
        lockFree = lockFree && computer->cycleLockFree();
        return true;
    }));
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, 0x10000);
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(addressLamps(*computer), 0xFFFFu);
    EXPECT_EQ(readMemoryRange(*computer, 0, 0xFFFF), full.image->bytes);

    // A read stopped after its third address returns the three bytes read,
    // each asked for with the cycle lock released.
    int reads = 0;
    lockFree = true;
    const Bytes firstThree = readMemoryRange(*computer, 0x1000, 0x10FF, [&] {
        lockFree = lockFree && computer->cycleLockFree();
        return ++reads < 3;
    });
    EXPECT_EQ(firstThree, Bytes(full.image->bytes.begin() + 0x1000, full.image->bytes.begin() + 0x1003));
    EXPECT_TRUE(lockFree);
}

TEST(WriteMemoryImage, RefusesAnInconsistentImageWithoutWriting) {
    const MemoryImage cases[] = {
        {0, 3, Bytes{1, 2, 3}},          // fewer bytes than the range
        {0, 1, Bytes{1, 2, 3}},          // more
        {-1, 0, Bytes{1, 2}},            // below address 0
        {0xFFFF, 0x10000, Bytes{1, 2}},  // above FFFFh
        {5, 4, Bytes{1}},                // empty range with bytes
    };
    for (const MemoryImage& image : cases) {
        SCOPED_TRACE(::testing::Message() << image.first << " to " << image.last);
        auto computer = poweredComputer(true, 0xEE);
        for (IndicatorLamp& lamp : computer->addressLamps()) lamp.setState(0);
        int calls = 0;
        EXPECT_FALSE(writeMemoryImage(*computer, image, [&](std::int32_t) { return ++calls > 0; }));
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(addressLamps(*computer), 0u);
        EXPECT_EQ(readMemoryRange(*computer, 0, 3), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
        EXPECT_EQ(readMemoryRange(*computer, 0xFFFF, 0xFFFF), Bytes{0});
    }
    auto computer = poweredComputer(true, 0xEE);
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{5, 4, {}})) << "an empty range is no error";
}

// The loader drives the panel's machine side, so Takeover puts the switches'
// settings into memory instead of the file's bytes.
TEST(WriteMemoryImage, TakeoverWritesTheSwitchesInstead) {
    auto computer = poweredComputer(true, 0xEE);
    SixtyFourKilobyteRAMControlPanel& panel = computer->controlPanel();
    panel.addressSwitches[6].setState(1);  // 0040h
    panel.dataSwitches[0].setState(1);     // 01h
    panel.writeSwitch.setState(1);
    panel.takeoverSwitch.setState(1);
    const MemoryFileResult image = parseMemoryFile(file(0, 3, 4));
    ASSERT_TRUE(writeMemoryImage(*computer, *image.image));
    panel.takeoverSwitch.setState(0);
    EXPECT_EQ(readMemoryRange(*computer, 0, 3), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(readMemoryRange(*computer, 0x40, 0x40), Bytes{0x01});
}

TEST(WriteMemoryImage, StopsWhereAskedAndKeepsWhatWasWritten) {
    auto computer = poweredComputer(true, 0xEE);
    const MemoryFileResult image = parseMemoryFile(file(0, 3, 4));
    int calls = 0;
    ASSERT_TRUE(writeMemoryImage(*computer, *image.image, [&](std::int32_t address) {
        ++calls;
        return address < 1;  // stop after 0001h
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(readMemoryRange(*computer, 0, 3), (Bytes{1, 8, 0xEE, 0xEE}));
}

}  // namespace
}  // namespace tarnwick
