#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "app/MemoryLoader.h"
#include "app/Session.h"
#include "machine/Computer.h"
#include "machine/Lamps.h"
#include "memory/FastRAM.h"
#include "memory/MemoryLines.h"

namespace tarnwick::testing {

using Lamps = LampReading;

inline unsigned lampCount(const Computer& c) {
    unsigned lit = 0;
    auto count = [&](const auto& lamps) {
        for (const IndicatorLamp& lamp : lamps) lit += lamp.isOn();
    };
    count(c.addressLamps());
    count(c.phaseLamps());
    count(c.accumulatorLamps());
    count(c.codeLamps());
    count(c.operandLamps());
    lit += c.clockLamp().isOn() + c.zeroFlagLamp().isOn() + c.carryFlagLamp().isOn();
    return lit;
}

// Memory contents from address 0, as a program image; unlisted bytes are 0.
struct Image {
    std::vector<std::uint8_t> bytes;

    Image(std::initializer_list<std::uint8_t> program) : bytes(program) {}
    // Not inlined: GCC 12 at -O3 follows chains of at() on a temporary into
    // false buffer-overflow warnings.
    [[gnu::noinline]] Image& at(std::uint16_t address, std::initializer_list<std::uint8_t> data) {
        const std::size_t end = std::size_t{address} + data.size();
        if (bytes.size() < end) bytes.resize(end, 0);
        std::copy(data.begin(), data.end(), bytes.begin() + address);
        return *this;
    }
};

// Load 5Ah, add 33h, store the sum at 0022h, halt.
inline const Image workedExample =
    Image{0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF}.at(0x20, {0x5A, 0x33});

// A computer started as the front panel and tarnwick-run start it (see
// Session), with the cycle count the timing table uses.
class Rig {
public:
    explicit Rig(const Image& image, bool fastRam = true) : session_(fastRam) {
        load(image);
        session_.start();
    }

    // Reset on for the given number of cycles, then off; cycles are numbered
    // again from the first phase 0.
    void pressReset(int cycles) {
        session_.pressReset(cycles);
        while (!session_.started() && session_.cyclesBeforeFirst() < Session::startLimit) session_.runCycle();
    }

    void load(const Image& image) {
        MemoryImage memoryImage;
        memoryImage.first = 0;
        memoryImage.last = static_cast<std::int32_t>(image.bytes.size()) - 1;
        memoryImage.bytes = image.bytes;
        session_.load(memoryImage);
    }

    Computer& computer() { return session_.computer(); }
    int cycle() const { return static_cast<int>(session_.cycle()); }
    int cyclesBeforeFirst() const { return session_.cyclesBeforeFirst(); }
    Lamps lamps() const { return session_.lamps(); }

    void step() { session_.runCycle(); }
    // Runs until the given cycle has run.
    void runTo(int cycle) {
        while (this->cycle() < cycle) step();
    }
    // Runs until the code register holds FFh; the halting cycle's number, or
    // nothing within the limit.
    std::optional<int> runToHalt(int limit = 2000) {
        while (computer().codeValue() != 0xFF) {
            if (cycle() >= limit) return std::nullopt;
            step();
        }
        return cycle();
    }
    std::uint8_t peek(std::uint16_t address) { return session_.peek(address); }
    // The whole memory, read straight from the memory object, which the rig
    // gives up (an empty byte array takes its place): the last thing done
    // with a rig. Through the panel, whose selectors step for every byte,
    // this would cost several times as much.
    std::vector<std::uint8_t> takeMemory() && {
        const std::unique_ptr<SixtyFourKbRAM> ram = computer().installMemory(std::make_unique<FastRAM>());
        ram->setWrite(false);
        std::vector<std::uint8_t> bytes(0x10000);
        for (unsigned a = 0; a < bytes.size(); ++a) {
            const unsigned changed = a == 0 ? 0xFFFFu : a ^ (a - 1);
            // Each member pointer is copied out before the call: GCC's bounds
            // sanitizer misreports an indexed member-pointer call.
            for (int k = 0; k < 16; ++k) {
                const LineSetter set = addressLineSetters[k];
                if ((changed >> k) & 1) ((*ram).*set)(((a >> k) & 1) != 0);
            }
            ram->step();
            for (int k = 0; k < 8; ++k) {
                const LineGetter get = dataOutLineGetters[k];
                bytes[a] |= static_cast<std::uint8_t>(((*ram).*get)() << k);
            }
        }
        return bytes;
    }

private:
    Session session_;
};

}  // namespace tarnwick::testing
