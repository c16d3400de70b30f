// Programs that reach the whole address space, read through the lamps as the
// user sees them: code and data far above 00FFh, jumps across pages, the
// program counter's carries and wrap, the stale operand address.

#include <gtest/gtest.h>

#include <vector>

#include "tests/machine/MachineTestSupport.h"

namespace tarnwick::testing {
namespace {

// What the lamps show at the end of one cycle.
struct LampRow {
    int cycle;
    unsigned address, code, operand, accumulator;
    bool zero, carry;
};

void expectLamps(Rig& rig, const std::vector<LampRow>& rows) {
    for (const LampRow& row : rows) {
        rig.runTo(row.cycle);
        const Lamps l = rig.lamps();
        SCOPED_TRACE(::testing::Message() << "cycle " << row.cycle << " " << l);
        EXPECT_EQ(l.address, row.address);
        EXPECT_EQ(l.code, row.code);
        EXPECT_EQ(l.operand, row.operand);
        EXPECT_EQ(l.accumulator, row.accumulator);
        EXPECT_EQ(l.zero, row.zero);
        EXPECT_EQ(l.carry, row.carry);
    }
}

// Address lamps of every code fetch (clock on in phase 0) until the halt.
std::vector<unsigned> fetchAddresses(Rig& rig) {
    std::vector<unsigned> addresses;
    while (rig.computer().codeValue() != 0xFF && rig.cycle() < 500) {
        const Lamps l = rig.lamps();
        if (l.clock && l.phase == 0) addresses.push_back(l.address);
        rig.step();
    }
    return addresses;
}

// Code at 8123h, data at 1234h and FF00h, a jump to 01FDh whose instruction
// ends in the next page. The high bytes 12h, 2Ch and 01h are not bit
// palindromes (81h and FFh are), so a reversed row shows another number.
TEST(HighMemory, ProgramAt8123hWithDataAtFF00h) {
    const Image image = Image{0x30, 0x81, 0x23}
                            .at(0x8123, {0x10, 0x12, 0x34,   // LDA 1234h
                                         0x20, 0xFF, 0x00,   // ADD FF00h
                                         0x11, 0x2C, 0x40,   // STA 2C40h
                                         0x30, 0x01, 0xFD})  // JMP 01FDh
                            .at(0x01FD, {0x21, 0xFF, 0x01,   // SUB FF01h, across the page
                                         0xFF})
                            .at(0x1234, {0xC5})
                            .at(0xFF00, {0x4B, 0x30});
    Rig rig(image);
    expectLamps(rig, {
                         {1, 0x0000, 0x00, 0x0000, 0x00, false, false},
                         {9, 0x8123, 0x30, 0x8123, 0x00, false, false},  // the jump's target
                         {15, 0x1234, 0x10, 0x1234, 0x00, false, false},
                         {16, 0x1234, 0x10, 0x1234, 0xC5, false, false},
                         {23, 0xFF00, 0x20, 0xFF00, 0xC5, false, false},
                         {24, 0xFF00, 0x20, 0xFF00, 0x10, false, true},
                         {31, 0x2C40, 0x11, 0x2C40, 0x10, false, true},
                         {41, 0x01FD, 0x30, 0x01FD, 0x10, false, true},
                         {45, 0x01FF, 0x21, 0xFFFD, 0x10, false, true},  // high byte in, low not yet
                         {47, 0xFF01, 0x21, 0xFF01, 0x10, false, true},
                         {48, 0xFF01, 0x21, 0xFF01, 0xE0, false, false},
                         {49, 0x0200, 0x21, 0xFF01, 0xE0, false, false},
                         {50, 0x0200, 0xFF, 0xFF01, 0xE0, false, false},
                     });
    EXPECT_EQ(rig.peek(0x2C40), 0x10);
    EXPECT_EQ(rig.peek(0x2C41), 0x00);
}

// The program counter carries past 00FFh in the middle of an instruction and
// wraps from FFFFh to 0000h, where a jump taken the second time ends it.
TEST(HighMemory, CounterCarriesPast00FFhAndWrapsToZero) {
    const Image image = Image{0x31, 0x00, 0xF0,  // JZ 00F0h, not taken at first
                              0x20, 0x00, 0xE0,  // ADD 00E0h: 00h, zero set
                              0x30, 0x00, 0xFD}  // JMP 00FDh
                            .at(0xE0, {0x00})
                            .at(0xF0, {0xFF})
                            .at(0xFD, {0x50, 0x51,         // no operations
                                       0x10, 0x12, 0x34,   // LDA 1234h from 00FFh
                                       0x30, 0xFF, 0xFE})  // JMP FFFEh
                            .at(0x1234, {0x96})
                            .at(0xFFFE, {0x50, 0x51});
    Rig rig(image);
    const std::vector<unsigned> expected = {0x0000, 0x0003, 0x0006, 0x00FD, 0x00FE, 0x00FF,
                                            0x0102, 0xFFFE, 0xFFFF, 0x0000, 0x00F0};
    EXPECT_EQ(fetchAddresses(rig), expected);
    rig.step();
    const Lamps halted = rig.lamps();
    EXPECT_EQ(halted.code, 0xFFu);
    EXPECT_EQ(halted.operand, 0x00F0u);
    EXPECT_EQ(halted.accumulator, 0x96u);
    EXPECT_TRUE(halted.zero);
    EXPECT_FALSE(halted.carry);
}

// A one-byte instruction after a memory read shows the read's operand address
// in the first cycle of its phase 3; after an arithmetic code it does not.
struct StaleCase {
    std::uint8_t code;
    bool stale;
    unsigned result;   // of the code, from 00h and 96h
    unsigned shifted;  // after the shift right that follows
};

TEST(HighMemory, StaleOperandAddressAfterMemoryReads) {
    const StaleCase cases[] = {
        {0x10, true, 0x96, 0x4B}, {0x40, true, 0x96, 0x4B},  {0x41, true, 0x00, 0x00},
        {0x42, true, 0x96, 0x4B}, {0x20, false, 0x96, 0x4B}, {0x21, false, 0x6A, 0x35},
    };
    for (const StaleCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "code " << int{c.code});
        Rig rig(Image{c.code, 0x12, 0x34, 0x45, 0xFF}.at(0x1234, {0x96}));
        expectLamps(rig, {
                             {9, 0x0003, c.code, 0x1234, c.result, false, false},
                             {11, c.stale ? 0x1234u : 0x0003u, 0x45, 0x1234, c.result, false, false},
                             {12, 0x0003, 0x45, 0x1234, c.shifted, false, false},
                         });
    }
}

}  // namespace
}  // namespace tarnwick::testing
