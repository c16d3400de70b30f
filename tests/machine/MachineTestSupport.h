#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "app/MemoryFile.h"
#include "machine/Computer.h"

namespace tarnwick::testing {

// What the 55 lamps show, as numbers.
struct Lamps {
    bool clock = false;
    std::optional<int> phase;  // the one lit phase lamp; empty when none or several
    unsigned phaseMask = 0;
    unsigned address = 0;
    unsigned code = 0;
    unsigned operand = 0;
    unsigned accumulator = 0;
    bool zero = false;
    bool carry = false;

    bool operator==(const Lamps&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Lamps& l) {
    out << std::hex << "{clock " << l.clock << " phases " << l.phaseMask << " address " << l.address
        << " code " << l.code << " operand " << l.operand << " A " << l.accumulator << " Z " << l.zero
        << " C " << l.carry << "}" << std::dec;
    return out;
}

template <std::size_t N>
unsigned lampBits(const std::array<IndicatorLamp, N>& lamps, bool firstIsHighBit) {
    unsigned value = 0;
    for (std::size_t k = 0; k < N; ++k) {
        if (lamps[k].isOn()) value |= 1u << (firstIsHighBit ? N - 1 - k : k);
    }
    return value;
}

inline Lamps readLamps(const Computer& c) {
    Lamps l;
    l.clock = c.clockLamp.isOn();
    l.phaseMask = lampBits(c.phaseLamps, false);
    for (int k = 0; k < 4; ++k) {
        if (l.phaseMask == (1u << k)) l.phase = k;
    }
    l.address = lampBits(c.addressLamps, false);
    l.code = lampBits(c.codeLamps, true);
    l.operand = lampBits(c.operandLamps, true);
    l.accumulator = lampBits(c.accumulatorLamps, true);
    l.zero = c.zeroFlagLamp.isOn();
    l.carry = c.carryFlagLamp.isOn();
    return l;
}

inline unsigned lampCount(const Computer& c) {
    unsigned lit = 0;
    auto count = [&](const auto& lamps) {
        for (const IndicatorLamp& lamp : lamps) lit += lamp.isOn();
    };
    count(c.addressLamps);
    count(c.phaseLamps);
    count(c.accumulatorLamps);
    count(c.codeLamps);
    count(c.operandLamps);
    lit += c.clockLamp.isOn() + c.zeroFlagLamp.isOn() + c.carryFlagLamp.isOn();
    return lit;
}

// Memory contents from address 0, as a program image; unlisted bytes are 0.
struct Image {
    std::vector<std::uint8_t> bytes;

    Image(std::initializer_list<std::uint8_t> program) : bytes(program) {}
    Image& at(std::uint16_t address, std::initializer_list<std::uint8_t> data) {
        if (bytes.size() < address + data.size()) bytes.resize(address + data.size(), 0);
        std::size_t i = address;
        for (std::uint8_t b : data) bytes[i++] = b;
        return *this;
    }
};

// Load 5Ah, add 33h, store the sum at 0022h, halt.
inline const Image workedExample =
    Image{0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF}.at(0x20, {0x5A, 0x33});

// A computer started as the front panel and tarnwick-run start it: Power on
// with Reset on, the image loaded, Reset off. Cycles are numbered as in the
// timing table: cycle 1 is the first that ends with the clock and phase 0 lit.
class Rig {
public:
    explicit Rig(const Image& image, bool fastRam = true) : computer_(std::make_unique<Computer>(fastRam)) {
        Computer& c = *computer_;
        c.resetSwitch.setState(1);
        c.powerSwitch.setState(1);
        c.distributePower(true);
        c.runCycle();
        load(image);
        release();
    }

    // Reset on for the given number of cycles, then off; cycles are numbered
    // again from the first phase 0.
    void pressReset(int cycles) {
        computer_->resetSwitch.setState(1);
        for (int i = 0; i < cycles; ++i) computer_->runCycle();
        release();
    }

    void load(const Image& image) {
        MemoryImage memoryImage;
        memoryImage.first = 0;
        memoryImage.last = static_cast<std::int32_t>(image.bytes.size()) - 1;
        memoryImage.bytes = image.bytes;
        writeMemoryImage(*computer_, memoryImage);
    }

    Computer& computer() { return *computer_; }
    int cycle() const { return cycle_; }
    int cyclesBeforeFirst() const { return cyclesBeforeFirst_; }
    Lamps lamps() const { return readLamps(*computer_); }

    void step() {
        computer_->runCycle();
        ++cycle_;
    }
    // Runs until the given cycle has run.
    void runTo(int cycle) {
        while (cycle_ < cycle) step();
    }
    // Runs until the code register holds FFh; the halting cycle's number, or
    // nothing within the limit.
    std::optional<int> runToHalt(int limit = 2000) {
        while (computer_->codeValue() != 0xFF) {
            if (cycle_ >= limit) return std::nullopt;
            step();
        }
        return cycle_;
    }
    std::uint8_t peek(std::uint16_t address) { return readMemoryRange(*computer_, address, address)[0]; }
    // The whole memory, read straight from the memory object, which the rig
    // gives up: the last thing done with a rig. Through the panel, whose
    // selectors step for every byte, this would cost several times as much.
    std::vector<std::uint8_t> takeMemory() && {
        using Setter = void (SixtyFourKbRAM::*)(bool);
        using Getter = bool (SixtyFourKbRAM::*)();
        static constexpr Setter address[16] = {
            &SixtyFourKbRAM::setAddressBit0,  &SixtyFourKbRAM::setAddressBit1,
            &SixtyFourKbRAM::setAddressBit2,  &SixtyFourKbRAM::setAddressBit3,
            &SixtyFourKbRAM::setAddressBit4,  &SixtyFourKbRAM::setAddressBit5,
            &SixtyFourKbRAM::setAddressBit6,  &SixtyFourKbRAM::setAddressBit7,
            &SixtyFourKbRAM::setAddressBit8,  &SixtyFourKbRAM::setAddressBit9,
            &SixtyFourKbRAM::setAddressBit10, &SixtyFourKbRAM::setAddressBit11,
            &SixtyFourKbRAM::setAddressBit12, &SixtyFourKbRAM::setAddressBit13,
            &SixtyFourKbRAM::setAddressBit14, &SixtyFourKbRAM::setAddressBit15};
        static constexpr Getter data[8] = {&SixtyFourKbRAM::getDataOutBit0, &SixtyFourKbRAM::getDataOutBit1,
                                           &SixtyFourKbRAM::getDataOutBit2, &SixtyFourKbRAM::getDataOutBit3,
                                           &SixtyFourKbRAM::getDataOutBit4, &SixtyFourKbRAM::getDataOutBit5,
                                           &SixtyFourKbRAM::getDataOutBit6, &SixtyFourKbRAM::getDataOutBit7};
        const std::unique_ptr<SixtyFourKbRAM> ram = std::move(computer_->controlPanel.ram);
        ram->setWrite(false);
        std::vector<std::uint8_t> bytes(0x10000);
        for (unsigned a = 0; a < bytes.size(); ++a) {
            const unsigned changed = a == 0 ? 0xFFFFu : a ^ (a - 1);
            // Each member pointer is copied out before the call: GCC's bounds
            // sanitizer misreports an indexed member-pointer call.
            for (int k = 0; k < 16; ++k) {
                const Setter set = address[k];
                if ((changed >> k) & 1) ((*ram).*set)(((a >> k) & 1) != 0);
            }
            ram->step();
            for (int k = 0; k < 8; ++k) {
                const Getter get = data[k];
                bytes[a] |= static_cast<std::uint8_t>(((*ram).*get)() << k);
            }
        }
        return bytes;
    }

private:
    void release() {
        Computer& c = *computer_;
        c.resetSwitch.setState(0);
        c.runCycle();
        cyclesBeforeFirst_ = 0;
        while (!(c.clockLamp.isOn() && c.phaseLamps[0].isOn())) {
            c.runCycle();
            ++cyclesBeforeFirst_;
            if (cyclesBeforeFirst_ > 8) break;
        }
        cycle_ = 1;
    }

    std::unique_ptr<Computer> computer_;
    int cycle_ = 0;
    int cyclesBeforeFirst_ = 0;
};

}  // namespace tarnwick::testing
