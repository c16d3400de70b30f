// The instruction decoder on its own, through all 256 register values.

#include <gtest/gtest.h>

#include <algorithm>

#include "machine/InstructionDecoder.h"

namespace tarnwick {
namespace {

void latch(InstructionDecoder& decoder, unsigned value) {
    for (int i = 0; i < 8; ++i) decoder.setData(i, (value >> i) & 1);
    decoder.setClock(false);
    decoder.step();
    decoder.setClock(true);
    decoder.step();
}

// The instruction set's codes that have a line of their own: every code but
// HLT, which the all-ones gate decodes.
constexpr std::uint8_t decodedCodes[] = {0x10, 0x11, 0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x32, 0x33,
                                         0x34, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47, 0x50, 0x51};

TEST(InstructionDecoder, TheLinesAreTheInstructionSetsCodes) {
    ASSERT_EQ(InstructionDecoder::codes.size(), std::size(decodedCodes));
    for (std::uint8_t code : decodedCodes)
        EXPECT_EQ(std::ranges::count(InstructionDecoder::codes, code), 1) << std::hex << int{code};
}

TEST(InstructionDecoder, EveryRegisterValueRaisesOnlyItsOwnLine) {
    InstructionDecoder decoder;
    decoder.setVoltage(true);
    const unsigned oneByteCodes[] = {0x44, 0x45, 0x46, 0x47, 0x50, 0x51, 0xFF};
    for (unsigned value = 0; value < 256; ++value) {
        latch(decoder, value);
        ASSERT_EQ(decoder.value(), value);
        for (std::uint8_t code : decodedCodes) {
            EXPECT_EQ(decoder.codeLine(code), code == value)
                << std::hex << "register " << value << " line " << int{code};
        }
        EXPECT_EQ(decoder.haltLine(), value == 0xFF) << std::hex << value;
        EXPECT_EQ(decoder.oneByteLine(), std::ranges::count(oneByteCodes, value) == 1) << std::hex << value;
    }
}

}  // namespace
}  // namespace tarnwick
