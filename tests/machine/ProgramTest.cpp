// Programs run on the whole computer: the worked example, every code's effect,
// jumps, halting and the timing of the instruction phases.

#include <gtest/gtest.h>

#include <string>

#include "tests/machine/MachineTestSupport.h"

namespace tarnwick::testing {
namespace {

TEST(WorkedExample, HoldsCycleForCycle) {
    Rig rig(workedExample);
    rig.runTo(7);
    EXPECT_EQ(rig.computer().accumulatorValue(), 0x00);
    rig.runTo(8);
    EXPECT_EQ(rig.computer().accumulatorValue(), 0x5A);
    rig.runTo(15);
    EXPECT_EQ(rig.computer().accumulatorValue(), 0x5A);
    rig.runTo(16);
    EXPECT_EQ(rig.lamps().accumulator, 0x8Du);
    EXPECT_FALSE(rig.lamps().carry);
    EXPECT_FALSE(rig.lamps().zero);
    rig.runTo(23);
    EXPECT_EQ(rig.peek(0x22), 0x00) << "written before cycle 24";
    rig.runTo(24);
    EXPECT_EQ(rig.peek(0x22), 0x8D);
    rig.runTo(25);
    EXPECT_NE(rig.computer().codeValue(), 0xFF);
    rig.runTo(26);
    EXPECT_EQ(rig.lamps().code, 0xFFu);
    for (int i = 0; i < 20; ++i) {
        rig.step();
        EXPECT_FALSE(rig.lamps().clock) << "cycle " << rig.cycle();
    }
    // The store wrote 0022h and nothing else.
    Image expected = workedExample;
    expected.at(0x22, {0x8D});
    expected.bytes.resize(0x100, 0);
    EXPECT_EQ(readMemoryRange(rig.computer(), 0, 0xFF), expected.bytes);
}

// Every code's effect on the accumulator, the flags and the operand byte.
// The program sets the flags with an add, loads the starting accumulator
// (10h leaves the flags), runs the code under test with operand 00F3h, halts.
struct EffectCase {
    const char* name;
    std::uint8_t code;
    std::uint8_t accumulator;
    bool carry, zero;  // before the code runs
    std::uint8_t operand;
    std::uint8_t expectedAccumulator;
    bool expectedCarry, expectedZero;
};

const EffectCase effectCases[] = {
    {"load", 0x10, 0x00, true, true, 0x77, 0x77, true, true},
    {"load zero keeps flags", 0x10, 0x55, false, false, 0x00, 0x00, false, false},
    {"store", 0x11, 0x8D, true, false, 0x00, 0x8D, true, false},
    {"add", 0x20, 0x5A, false, false, 0x33, 0x8D, false, false},
    {"add ignores carry in", 0x20, 0x5A, true, true, 0x33, 0x8D, false, false},
    {"add to zero", 0x20, 0x01, false, false, 0xFF, 0x00, true, true},
    {"add 80h+80h", 0x20, 0x80, false, false, 0x80, 0x00, true, true},
    {"subtract", 0x21, 0xF0, false, false, 0x20, 0xD0, true, false},
    {"subtract again", 0x21, 0xD0, true, false, 0x20, 0xB0, true, false},
    {"subtract with borrow out", 0x21, 0x20, true, true, 0x30, 0xF0, false, false},
    {"subtract to zero", 0x21, 0x33, false, false, 0x33, 0x00, true, true},
    {"add with carry set", 0x22, 0xB0, true, false, 0x20, 0xD1, false, false},
    {"add with carry clear", 0x22, 0x5A, false, false, 0x33, 0x8D, false, false},
    {"add with carry to zero", 0x22, 0xFF, true, false, 0x00, 0x00, true, true},
    {"subtract with carry clear", 0x23, 0xD1, false, false, 0x20, 0xB0, true, false},
    {"subtract with carry set", 0x23, 0xD1, true, false, 0x20, 0xB1, true, false},
    {"subtract with borrow through", 0x23, 0x00, false, true, 0x00, 0xFF, false, false},
    {"or", 0x40, 0x0F, true, true, 0xF0, 0xFF, true, true},
    {"and to zero keeps zero clear", 0x41, 0x0F, false, false, 0xF0, 0x00, false, false},
    {"and", 0x41, 0x3C, true, true, 0x0F, 0x0C, true, true},
    {"exclusive or", 0x42, 0xFF, false, false, 0x0F, 0xF0, false, false},
    {"exclusive or to zero", 0x42, 0x5A, false, false, 0x5A, 0x00, false, false},
    {"shift left keeps carry", 0x44, 0x96, true, false, 0x00, 0x2C, true, false},
    {"shift left drops bit 7", 0x44, 0x81, false, false, 0x00, 0x02, false, false},
    {"shift right", 0x45, 0x81, false, true, 0x00, 0x40, false, true},
    {"rotate left", 0x46, 0x81, false, false, 0x00, 0x03, false, false},
    {"rotate right", 0x47, 0x81, true, true, 0x00, 0xC0, true, true},
    {"rotate right bit 0", 0x47, 0x01, false, false, 0x00, 0x80, false, false},
    {"no operation 50h", 0x50, 0x5A, true, true, 0x00, 0x5A, true, true},
    {"no operation 51h", 0x51, 0xA5, true, false, 0x00, 0xA5, true, false},
    {"unknown 00h", 0x00, 0x5A, true, true, 0x11, 0x5A, true, true},
    {"unknown 12h", 0x12, 0x5A, false, true, 0x11, 0x5A, false, true},
    {"unknown 24h", 0x24, 0x5A, true, false, 0x11, 0x5A, true, false},
    {"unknown 43h", 0x43, 0x5A, false, false, 0x11, 0x5A, false, false},
    {"unknown 52h", 0x52, 0x5A, true, true, 0x11, 0x5A, true, true},
    {"unknown FEh", 0xFE, 0x5A, false, false, 0x11, 0x5A, false, false},
};

bool isOneByte(std::uint8_t code) { return (code >= 0x44 && code <= 0x47) || code == 0x50 || code == 0x51; }

// Operands of an add that leaves the given flags.
std::pair<std::uint8_t, std::uint8_t> flagSetter(bool carry, bool zero) {
    using Pair = std::pair<std::uint8_t, std::uint8_t>;
    if (carry) return zero ? Pair{0x01, 0xFF} : Pair{0x02, 0xFF};
    return zero ? Pair{0x00, 0x00} : Pair{0x01, 0x01};
}

TEST(Instructions, EachCodeChangesOnlyWhatItShould) {
    for (const EffectCase& c : effectCases) {
        SCOPED_TRACE(c.name);
        const bool oneByte = isOneByte(c.code);
        const auto [x, y] = flagSetter(c.carry, c.zero);
        Image image{0x10, 0x00, 0xF1, 0x20, 0x00, 0xF2, 0x10, 0x00, 0xF0};
        if (oneByte) {
            image.at(0x09, {c.code, 0xFF});
        } else {
            image.at(0x09, {c.code, 0x00, 0xF3, 0xFF});
        }
        image.at(0xF0, {c.accumulator, x, y, c.operand});
        image.bytes.resize(0x100, 0);

        Rig rig(image);
        const std::optional<int> halt = rig.runToHalt();
        ASSERT_TRUE(halt.has_value());
        // Three setup instructions, the code's own cycles, the halt's fetch.
        EXPECT_EQ(*halt, 24 + (oneByte ? 4 : 8) + 2);
        Computer& computer = rig.computer();
        EXPECT_EQ(computer.accumulatorValue(), c.expectedAccumulator);
        EXPECT_EQ(computer.carryValue(), c.expectedCarry);
        EXPECT_EQ(computer.zeroValue(), c.expectedZero);
        EXPECT_EQ(computer.programCounterValue(), oneByte ? 0x0A : 0x0C);

        Image expected = image;
        if (c.code == 0x11) expected.at(0xF3, {c.expectedAccumulator});
        EXPECT_EQ(readMemoryRange(computer, 0, 0xFF), expected.bytes);
    }
}

// A jump at 0006h to 0020h after an add that set the flags; FFh at the
// fall-through address 0009h and at the target.
struct JumpCase {
    std::uint8_t code;
    bool carry, zero;
    bool taken;
};

// One row per code: flags (carry, zero) = 00, 10, 01, 11.
// clang-format off
const JumpCase jumpCases[] = {
    {0x30, false, false, true},  {0x30, true, false, true},  {0x30, false, true, true},  {0x30, true, true, true},
    {0x31, false, false, false}, {0x31, true, false, false}, {0x31, false, true, true},  {0x31, true, true, true},
    {0x32, false, false, false}, {0x32, true, false, true},  {0x32, false, true, false}, {0x32, true, true, true},
    {0x33, false, false, true},  {0x33, true, false, true},  {0x33, false, true, false}, {0x33, true, true, false},
    {0x34, false, false, true},  {0x34, true, false, false}, {0x34, false, true, true},  {0x34, true, true, false},
};
// clang-format on

TEST(Instructions, JumpsFollowTheirConditions) {
    for (const JumpCase& c : jumpCases) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << "code " << int{c.code} << " carry " << c.carry << " zero " << c.zero);
        const auto [x, y] = flagSetter(c.carry, c.zero);
        Image image{0x10, 0x00, 0xF1, 0x20, 0x00, 0xF2, c.code, 0x00, 0x20, 0xFF};
        image.at(0x20, {0xFF}).at(0xF1, {x, y});
        Rig rig(image);
        const std::optional<int> halt = rig.runToHalt();
        ASSERT_TRUE(halt.has_value());
        EXPECT_EQ(*halt, 26) << "eight cycles per jump, taken or not";
        EXPECT_EQ(rig.computer().programCounterValue(), c.taken ? 0x20 : 0x09);
        EXPECT_EQ(rig.computer().carryValue(), c.carry) << "jumps leave the flags";
        EXPECT_EQ(rig.computer().zeroValue(), c.zero);
    }
}

// The jump flip-flop is cleared by the code strobe, so the instruction at a
// jump's target runs exactly once whatever its length.
struct TargetCase {
    const char* name;
    Image image;
    std::uint8_t accumulator;
    int haltCycle;
};

TEST(Instructions, JumpTargetRunsOnce) {
    const TargetCase cases[] = {
        {"one-byte target", Image{0x10, 0x00, 0x80, 0x30, 0x00, 0x06, 0x44, 0xFF}.at(0x80, {0x03}), 0x06, 22},
        {"three-byte target",
         Image{0x10, 0x00, 0x80, 0x30, 0x00, 0x10, 0xFF}.at(0x10, {0x20, 0x00, 0x80, 0xFF}).at(0x80, {0x03}),
         0x06, 26},
        {"conditional not taken before a one-byte",
         Image{0x10, 0x00, 0x80, 0x31, 0x00, 0x20, 0x44, 0xFF}.at(0x20, {0xFF}).at(0x80, {0x03}), 0x06, 22},
        {"conditional taken to a one-byte",
         Image{0x10, 0x00, 0x80, 0x33, 0x00, 0x06, 0x44, 0xFF}.at(0x80, {0x03}), 0x06, 22},
        {"two one-byte after the target",
         Image{0x10, 0x00, 0x80, 0x30, 0x00, 0x06, 0x44, 0x44, 0xFF}.at(0x80, {0x03}), 0x0C, 26},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.image);
        const std::optional<int> halt = rig.runToHalt();
        ASSERT_TRUE(halt.has_value());
        EXPECT_EQ(*halt, c.haltCycle);
        EXPECT_EQ(rig.computer().accumulatorValue(), c.accumulator);
    }
}

TEST(Timing, JumpToItselfLoopsEveryEightCycles) {
    Rig rig(Image{0x30, 0x00, 0x00});
    const unsigned addresses[8] = {0, 0, 1, 1, 2, 2, 2, 2};
    for (int cycle = 1; cycle <= 48; rig.step(), ++cycle) {
        const Lamps l = rig.lamps();
        const int i = (cycle - 1) % 8;
        EXPECT_EQ(l.address, addresses[i]) << "cycle " << cycle;
        EXPECT_EQ(l.phase, i / 2) << "cycle " << cycle;
        EXPECT_EQ(l.clock, i % 2 == 0) << "cycle " << cycle;
    }
}

TEST(Timing, ZeroMemoryRunsThreeByteNoOperations) {
    Rig rig(Image{});
    for (int cycle = 1; cycle <= 40; rig.step(), ++cycle) {
        const int i = (cycle - 1) % 8;
        const unsigned base = 3 * static_cast<unsigned>((cycle - 1) / 8);
        const unsigned expected = base + (i < 2 ? 0 : i < 4 ? 1 : 2);
        EXPECT_EQ(rig.lamps().address, expected) << "cycle " << cycle;
        EXPECT_EQ(rig.lamps().code, 0u);
    }
}

// Cycle by cycle: a three-byte memory instruction (20h), a one-byte one
// after it, a load (10h), a one-byte one after that, and the halt.
// Memory 0040h = 11h, 0041h = 84h.
struct TimingRow {
    bool clock;
    int phase;
    unsigned address, code, operand, accumulator;
};

TEST(Timing, CycleByCycleTable) {
    const Image image = Image{0x20, 0x00, 0x40, 0x45, 0x10, 0x00, 0x41, 0x44, 0xFF}.at(0x40, {0x11, 0x84});
    const TimingRow rows[] = {
        {true, 0, 0x0000, 0x00, 0x0000, 0x00},  // 1: add at 0000h
        {false, 0, 0x0000, 0x20, 0x0000, 0x00},
        {true, 1, 0x0001, 0x20, 0x0000, 0x00},
        {false, 1, 0x0001, 0x20, 0x0000, 0x00},
        {true, 2, 0x0002, 0x20, 0x0000, 0x00},
        {false, 2, 0x0002, 0x20, 0x0040, 0x00},
        {true, 3, 0x0040, 0x20, 0x0040, 0x00},
        {false, 3, 0x0040, 0x20, 0x0040, 0x11},
        {true, 0, 0x0003, 0x20, 0x0040, 0x11},  // 9: shift right at 0003h
        {false, 0, 0x0003, 0x45, 0x0040, 0x11},
        {true, 3, 0x0003, 0x45, 0x0040, 0x11},  // 20h is not a memory read: no stale address
        {false, 3, 0x0003, 0x45, 0x0040, 0x08},
        {true, 0, 0x0004, 0x45, 0x0040, 0x08},  // 13: load at 0004h
        {false, 0, 0x0004, 0x10, 0x0040, 0x08},
        {true, 1, 0x0005, 0x10, 0x0040, 0x08},
        {false, 1, 0x0005, 0x10, 0x0040, 0x08},
        {true, 2, 0x0006, 0x10, 0x0040, 0x08},
        {false, 2, 0x0006, 0x10, 0x0041, 0x08},
        {true, 3, 0x0041, 0x10, 0x0041, 0x08},
        {false, 3, 0x0041, 0x10, 0x0041, 0x84},
        {true, 0, 0x0007, 0x10, 0x0041, 0x84},  // 21: shift left at 0007h
        {false, 0, 0x0007, 0x44, 0x0041, 0x84},
        {true, 3, 0x0041, 0x44, 0x0041, 0x84},  // the load's operand address, read but not latched
        {false, 3, 0x0007, 0x44, 0x0041, 0x08},
        {true, 0, 0x0008, 0x44, 0x0041, 0x08},  // 25: halt at 0008h
        {false, 0, 0x0008, 0xFF, 0x0041, 0x08},
        {false, 3, 0x0008, 0xFF, 0x0041, 0x08},
        {false, 3, 0x0008, 0xFF, 0x0041, 0x08},
    };
    Rig rig(image);
    int cycle = 1;
    for (const TimingRow& row : rows) {
        const Lamps l = rig.lamps();
        SCOPED_TRACE(::testing::Message() << "cycle " << cycle << " " << l);
        EXPECT_EQ(l.clock, row.clock);
        EXPECT_EQ(l.phase, row.phase);
        EXPECT_EQ(l.address, row.address);
        EXPECT_EQ(l.code, row.code);
        EXPECT_EQ(l.operand, row.operand);
        EXPECT_EQ(l.accumulator, row.accumulator);
        rig.step();
        ++cycle;
    }
    EXPECT_EQ(rig.peek(0x40), 0x11) << "nothing written";
    EXPECT_EQ(rig.peek(0x41), 0x84);
}

}  // namespace
}  // namespace tarnwick::testing
