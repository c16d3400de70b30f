#pragma once

#include <array>
#include <cassert>
#include <cstdint>

#include "relay/Gates.h"
#include "relay/Relay.h"
#include "relay/Storage.h"

namespace tarnwick {

// The code register and the relays that turn its byte into one line per known
// code, the halt line (FFh) and the one-byte line.
class InstructionDecoder {
public:
    // The codes that have a line, in the order of the lines.
    static constexpr std::array<std::uint8_t, 20> codes = {0x10, 0x11, 0x20, 0x21, 0x22, 0x23, 0x30,
                                                           0x31, 0x32, 0x33, 0x34, 0x40, 0x41, 0x42,
                                                           0x44, 0x45, 0x46, 0x47, 0x50, 0x51};

    static constexpr int lineIndex(std::uint8_t code) {
        for (int i = 0; i < static_cast<int>(codes.size()); ++i) {
            if (codes[i] == code) return i;
        }
        return -1;
    }

    void setVoltage(bool on) {
        codeRegister.setVoltage(on);
        for (Relay& inverter : inverters) inverter.setVoltage(on);
        for (EightInputNorGate& line : codeLines) line.setVoltage(on);
        allOnesGate.setVoltage(on);
        oneByteGateA.setVoltage(on);
        oneByteGateB.setVoltage(on);
        oneByteGateC.setVoltage(on);
    }
    void setClear(bool on) { codeRegister.setClear(on); }
    void setClock(bool on) { codeRegister.setClock(on); }
    void setData(int index, bool on) { codeRegister.setData(index, on); }

    bool q(int index) const { return codeRegister.q(index); }
    std::uint8_t value() const {
        unsigned byte = 0;
        for (int i = 0; i < 8; ++i) byte |= unsigned{q(i)} << i;
        return static_cast<std::uint8_t>(byte);
    }

    // The line of one of the twenty codes; the code is checked at compile time.
    template <std::uint8_t Code>
    bool line() const {
        constexpr int index = lineIndex(Code);
        static_assert(index >= 0, "no code line for this code");
        return codeLines[index].output();
    }
    // The same for a code known only at run time; false for a code without a line.
    bool codeLine(std::uint8_t code) const {
        const int index = lineIndex(code);
        return index >= 0 && codeLines[index].output();
    }
    bool haltLine() const { return allOnesGate.output(); }
    bool oneByteLine() const { return oneByteGateC.output(); }

    void step() {
        codeRegister.step();
        for (int i = 0; i < 8; ++i) {
            inverters[i].setCoil(codeRegister.q(i));
            inverters[i].tick();
        }
        bool bit[8];
        bool inverted[8];
        for (int i = 0; i < 8; ++i) {
            bit[i] = codeRegister.q(i);
            inverted[i] = inverters[i].normallyClosed();
        }
        // A line's input i sees the bit where the code has a 0 and its inverse
        // where the code has a 1, so all eight inputs are off only for that code.
        for (int n = 0; n < static_cast<int>(codes.size()); ++n) {
            for (int i = 0; i < 8; ++i)
                codeLines[n].setInput(i, ((codes[n] >> i) & 1) ? inverted[i] : bit[i]);
            codeLines[n].step();
        }
        for (int i = 0; i < 8; ++i) allOnesGate.setInput(i, bit[i]);
        allOnesGate.step();

        oneByteGateA.setInput(0, line<0x44>());
        oneByteGateA.setInput(1, line<0x45>());
        oneByteGateA.setInput(2, line<0x46>());
        oneByteGateA.step();
        oneByteGateB.setInput(0, line<0x47>());
        oneByteGateB.setInput(1, haltLine());
        oneByteGateB.setInput(2, oneByteGateA.output());
        oneByteGateB.step();
        oneByteGateC.setInput(0, line<0x50>());
        oneByteGateC.setInput(1, line<0x51>());
        oneByteGateC.setInput(2, oneByteGateB.output());
        oneByteGateC.step();
    }

private:
    EightBitRegister codeRegister;
    Relay inverters[8];
    EightInputNorGate codeLines[codes.size()];
    EightInputAndGate allOnesGate;
    ThreeInputOrGate oneByteGateA;
    ThreeInputOrGate oneByteGateB;
    ThreeInputOrGate oneByteGateC;
};

static_assert(sizeof(InstructionDecoder) == 345);

}  // namespace tarnwick
