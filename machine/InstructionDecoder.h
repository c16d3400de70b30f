#pragma once

#include <array>
#include <cassert>
#include <cstdint>

#include "relay/Circuit.h"
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
        codeRegister_.setVoltage(on);
        for (Relay& inverter : inverters_) inverter.setVoltage(on);
        for (EightInputNorGate& line : codeLines_) line.setVoltage(on);
        allOnesGate_.setVoltage(on);
        oneByteGateA_.setVoltage(on);
        oneByteGateB_.setVoltage(on);
        oneByteGateC_.setVoltage(on);
    }
    void setClear(bool on) { codeRegister_.setClear(on); }
    void setClock(bool on) { codeRegister_.setClock(on); }
    void setData(int index, bool on) { codeRegister_.setData(index, on); }

    bool q(int index) const { return codeRegister_.q(index); }
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
        return codeLines_[index].output();
    }
    // The same for a code known only at run time; false for a code without a line.
    bool codeLine(std::uint8_t code) const {
        const int index = lineIndex(code);
        return index >= 0 && codeLines_[index].output();
    }
    bool haltLine() const { return allOnesGate_.output(); }
    bool oneByteLine() const { return oneByteGateC_.output(); }

    void step() {
        codeRegister_.step();
        for (int i = 0; i < 8; ++i) {
            inverters_[i].setCoil(codeRegister_.q(i));
            inverters_[i].tick();
        }
        bool bit[8];
        bool inverted[8];
        for (int i = 0; i < 8; ++i) {
            bit[i] = codeRegister_.q(i);
            inverted[i] = inverters_[i].normallyClosed();
        }
        // A line's input i sees the bit where the code has a 0 and its inverse
        // where the code has a 1, so all eight inputs are off only for that code.
        for (int n = 0; n < static_cast<int>(codes.size()); ++n) {
            for (int i = 0; i < 8; ++i)
                codeLines_[n].setInput(i, ((codes[n] >> i) & 1) ? inverted[i] : bit[i]);
            codeLines_[n].step();
        }
        for (int i = 0; i < 8; ++i) allOnesGate_.setInput(i, bit[i]);
        allOnesGate_.step();

        oneByteGateA_.setInput(0, line<0x44>());
        oneByteGateA_.setInput(1, line<0x45>());
        oneByteGateA_.setInput(2, line<0x46>());
        oneByteGateA_.step();
        oneByteGateB_.setInput(0, line<0x47>());
        oneByteGateB_.setInput(1, haltLine());
        oneByteGateB_.setInput(2, oneByteGateA_.output());
        oneByteGateB_.step();
        oneByteGateC_.setInput(0, line<0x50>());
        oneByteGateC_.setInput(1, line<0x51>());
        oneByteGateC_.setInput(2, oneByteGateB_.output());
        oneByteGateC_.step();
    }

    static constexpr auto members() {
        using C = InstructionDecoder;
        return std::make_tuple(TARNWICK_MEMBER(C, codeRegister_), TARNWICK_MEMBER(C, inverters_),
                               TARNWICK_MEMBER(C, codeLines_), TARNWICK_MEMBER(C, allOnesGate_),
                               TARNWICK_MEMBER(C, oneByteGateA_), TARNWICK_MEMBER(C, oneByteGateB_),
                               TARNWICK_MEMBER(C, oneByteGateC_));
    }
    // The code register and one line per code with a line, named by its code.
    static constexpr auto outputs() {
        using C = InstructionDecoder;
        return std::make_tuple(Output<C>{"q", 8, [](const C& c, int i) { return c.q(i); }},
                               Output<C>{"line10", 0, [](const C& c, int) { return c.line<0x10>(); }},
                               Output<C>{"line11", 0, [](const C& c, int) { return c.line<0x11>(); }},
                               Output<C>{"line20", 0, [](const C& c, int) { return c.line<0x20>(); }},
                               Output<C>{"line21", 0, [](const C& c, int) { return c.line<0x21>(); }},
                               Output<C>{"line22", 0, [](const C& c, int) { return c.line<0x22>(); }},
                               Output<C>{"line23", 0, [](const C& c, int) { return c.line<0x23>(); }},
                               Output<C>{"line30", 0, [](const C& c, int) { return c.line<0x30>(); }},
                               Output<C>{"line31", 0, [](const C& c, int) { return c.line<0x31>(); }},
                               Output<C>{"line32", 0, [](const C& c, int) { return c.line<0x32>(); }},
                               Output<C>{"line33", 0, [](const C& c, int) { return c.line<0x33>(); }},
                               Output<C>{"line34", 0, [](const C& c, int) { return c.line<0x34>(); }},
                               Output<C>{"line40", 0, [](const C& c, int) { return c.line<0x40>(); }},
                               Output<C>{"line41", 0, [](const C& c, int) { return c.line<0x41>(); }},
                               Output<C>{"line42", 0, [](const C& c, int) { return c.line<0x42>(); }},
                               Output<C>{"line44", 0, [](const C& c, int) { return c.line<0x44>(); }},
                               Output<C>{"line45", 0, [](const C& c, int) { return c.line<0x45>(); }},
                               Output<C>{"line46", 0, [](const C& c, int) { return c.line<0x46>(); }},
                               Output<C>{"line47", 0, [](const C& c, int) { return c.line<0x47>(); }},
                               Output<C>{"line50", 0, [](const C& c, int) { return c.line<0x50>(); }},
                               Output<C>{"line51", 0, [](const C& c, int) { return c.line<0x51>(); }},
                               Output<C>{"haltLine", 0, [](const C& c, int) { return c.haltLine(); }},
                               Output<C>{"oneByteLine", 0, [](const C& c, int) { return c.oneByteLine(); }});
    }

private:
    EightBitRegister codeRegister_;
    Relay inverters_[8];
    EightInputNorGate codeLines_[codes.size()];
    EightInputAndGate allOnesGate_;
    ThreeInputOrGate oneByteGateA_;
    ThreeInputOrGate oneByteGateB_;
    ThreeInputOrGate oneByteGateC_;
};

static_assert(checkedRelayCount<InstructionDecoder>() == 345);

}  // namespace tarnwick
