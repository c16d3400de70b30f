// The behaviour every memory shares at the interface.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "MemoryTestSupport.h"
#include "memory/FastRAM.h"
#include "memory/RelayLaneRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick {
namespace {

using testing::read;
using testing::write;

template <class Memory>
class MemoryContract : public ::testing::Test {
protected:
    MemoryContract() : ram(std::make_unique<Memory>()) {}
    std::unique_ptr<SixtyFourKbRAM> ram;
};

using Memories = ::testing::Types<FastRAM, SixtyFourKilobyteRAM, RelayLaneRAM>;
TYPED_TEST_SUITE(MemoryContract, Memories);

TYPED_TEST(MemoryContract, NewMemoryReadsZero) {
    SixtyFourKbRAM& ram = *this->ram;
    EXPECT_EQ(readDataOut(ram), 0);
    ram.setVoltage(true);
    for (std::uint16_t address : {0x0000, 0x003F, 0x0040, 0x1234, 0x7FFF, 0x8000, 0xFFFF}) {
        EXPECT_EQ(read(ram, address), 0) << std::hex << address;
    }
}

TYPED_TEST(MemoryContract, WriteShowsInTheSameStepAndStays) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    EXPECT_EQ(write(ram, 0x1234, 0xA5), 0xA5);
    EXPECT_EQ(read(ram, 0x1235), 0x00);  // the next read shows the other address
    EXPECT_EQ(write(ram, 0x0005, 0x3E), 0x3E);
    EXPECT_EQ(read(ram, 0x0006), 0x00);
    EXPECT_EQ(read(ram, 0x1234), 0xA5);
    EXPECT_EQ(read(ram, 0x0005), 0x3E);
}

TYPED_TEST(MemoryContract, InputsWithoutAStepChangeNothing) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    write(ram, 0x4321, 0x81);
    write(ram, 0x00FF, 0x7E);
    EXPECT_EQ(read(ram, 0x4321), 0x81);
    applyAddress(ram, 0x00FF);
    applyDataIn(ram, 0x55);
    ram.setWrite(true);
    ram.setVoltage(false);
    EXPECT_EQ(readDataOut(ram), 0x81);
    ram.setWrite(false);
    ram.setVoltage(true);
    ram.step();
    EXPECT_EQ(readDataOut(ram), 0x7E);
}

TYPED_TEST(MemoryContract, WriteHeldWhileTheAddressChangesWritesEveryAddress) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    applyDataIn(ram, 0x3C);
    ram.setWrite(true);
    const std::uint16_t passed[] = {0x0100, 0x0101, 0x0103, 0x8103};
    for (std::uint16_t address : passed) {
        applyAddress(ram, address);
        ram.step();
    }
    ram.setWrite(false);
    for (std::uint16_t address : passed) EXPECT_EQ(read(ram, address), 0x3C) << std::hex << address;
    EXPECT_EQ(read(ram, 0x0102), 0x00);
}

TYPED_TEST(MemoryContract, UnpoweredStepErasesEverything) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    write(ram, 0x0000, 0x11);
    write(ram, 0xFFFF, 0xFF);
    ram.setVoltage(false);
    EXPECT_EQ(read(ram, 0xFFFF), 0x00);
    ram.setVoltage(true);
    EXPECT_EQ(read(ram, 0xFFFF), 0x00);
    EXPECT_EQ(read(ram, 0x0000), 0x00);
    EXPECT_EQ(write(ram, 0x0000, 0x22), 0x22);  // and works again
    EXPECT_EQ(read(ram, 0x0001), 0x00);
    EXPECT_EQ(read(ram, 0x0000), 0x22);
}

TYPED_TEST(MemoryContract, WritingZeroOverOnesClearsEveryBit) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    write(ram, 0x2468, 0xFF);
    EXPECT_EQ(write(ram, 0x2468, 0x00), 0x00);
    EXPECT_EQ(read(ram, 0x2469), 0x00);
    EXPECT_EQ(read(ram, 0x2468), 0x00);
}

// Where the two memories part: a step with the voltage off and Write on.
TEST(FastRAM, UnpoweredWriteStoresAfterErasing) {
    FastRAM ram;
    ram.setVoltage(true);
    write(ram, 0x0009, 0x99);
    ram.setVoltage(false);
    EXPECT_EQ(write(ram, 0x0007, 0x55), 0x55);
    ram.setVoltage(true);
    EXPECT_EQ(read(ram, 0x0007), 0x55);
    EXPECT_EQ(read(ram, 0x0009), 0x00);
}

TEST(FastRAM, UnpoweredStepWithWriteOffReadsZero) {
    FastRAM ram;
    ram.setVoltage(false);
    EXPECT_EQ(write(ram, 0x0007, 0x55), 0x55);
    EXPECT_EQ(read(ram, 0x0007), 0x00);
}

template <class Memory>
class RelayMemory : public MemoryContract<Memory> {};
using RelayMemories = ::testing::Types<SixtyFourKilobyteRAM, RelayLaneRAM>;
TYPED_TEST_SUITE(RelayMemory, RelayMemories);

TYPED_TEST(RelayMemory, UnpoweredWriteStoresNothing) {
    SixtyFourKbRAM& ram = *this->ram;
    ram.setVoltage(true);
    write(ram, 0x0009, 0x99);
    ram.setVoltage(false);
    EXPECT_EQ(write(ram, 0x0007, 0x55), 0x00);
    ram.setVoltage(true);
    EXPECT_EQ(read(ram, 0x0007), 0x00);
    EXPECT_EQ(read(ram, 0x0009), 0x00);
}

TEST(FastRAM, AddressLineClearsOnlyItsOwnBit) {
    FastRAM ram;
    ram.setVoltage(true);
    write(ram, 0x1234, 0x42);
    write(ram, 0x9234, 0x24);
    ram.setWrite(false);
    applyAddress(ram, 0x1234);
    ram.setAddressBit15(true);
    ram.setAddressBit15(false);
    ram.step();
    EXPECT_EQ(readDataOut(ram), 0x42);
}

}  // namespace
}  // namespace tarnwick
