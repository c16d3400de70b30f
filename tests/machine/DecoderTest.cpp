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

TEST(InstructionDecoder, EveryRegisterValueRaisesOnlyItsOwnLine) {
    InstructionDecoder decoder;
    decoder.setVoltage(true);
    const unsigned oneByteCodes[] = {0x44, 0x45, 0x46, 0x47, 0x50, 0x51, 0xFF};
    for (unsigned value = 0; value < 256; ++value) {
        latch(decoder, value);
        ASSERT_EQ(decoder.value(), value);
        for (std::uint8_t code : InstructionDecoder::codes) {
            EXPECT_EQ(decoder.codeLine(code), code == value)
                << std::hex << "register " << value << " line " << int{code};
        }
        EXPECT_EQ(decoder.haltLine(), value == 0xFF) << std::hex << value;
        EXPECT_EQ(decoder.oneByteLine(), std::ranges::count(oneByteCodes, value) == 1) << std::hex << value;
    }
}

}  // namespace
}  // namespace tarnwick
