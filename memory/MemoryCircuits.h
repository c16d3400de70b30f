#pragma once

#include <cassert>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "memory/PartPool.h"
#include "relay/Gates.h"
#include "relay/Relay.h"
#include "relay/Selectors.h"

namespace tarnwick {

// The circuits the relay-built memory is assembled from. Nothing else in the
// machine uses them.

using FourInputAndGate = SeriesChain<4, true>;
using EightInputOrGate = ParallelGroup<8, true>;
using EightBitSelector = MultiBitSelector<8>;

// Routes its input to the low output while select is off and to the high
// output while select is on. L sees select through S's normally-closed
// contact, H sees it directly.
class TwoWayDemultiplexer {
public:
    // Relay ticks in one step: each relay once.
    static constexpr std::uint64_t ticksPerStep = 5;

    void setVoltage(bool on) {
        selectRelay_.setVoltage(on);
        lowGate_.setVoltage(on);
        highGate_.setVoltage(on);
    }
    void setSelect(bool on) {
        selectRelay_.setCoil(on);
        highGate_.setInput(1, on);
    }
    void setInput(bool on) {
        lowGate_.setInput(0, on);
        highGate_.setInput(0, on);
    }
    bool lowOutput() const { return lowGate_.output(); }
    bool highOutput() const { return highGate_.output(); }
    void step() {
        selectRelay_.tick();
        lowGate_.setInput(1, selectRelay_.normallyClosed());
        lowGate_.step();
        highGate_.step();
    }

private:
    Relay selectRelay_;          // S
    TwoInputAndGate lowGate_;    // L
    TwoInputAndGate highGate_;   // H
};

namespace detail {

// Calls f(std::integral_constant<int, i>) for i = 0 to N-1 in order. The
// steps use it instead of loops so that every relay index is a constant and
// the compiler can keep a circuit's relays in registers.
template <class F, int... I>
[[gnu::always_inline]] inline void unrolledOver(F& f, std::integer_sequence<int, I...>) {
    (f(std::integral_constant<int, I>{}), ...);
}

template <int N, class F>
[[gnu::always_inline]] inline void unrolled(F&& f) {
    unrolledOver(f, std::make_integer_sequence<int, N>{});
}

// Which input (1 to 3) of chain r carries select bit b: the bits that chain r
// takes positively come first in bit order, then the negated ones.
constexpr int chainInputOf(int r, int b) {
    int input = 1;
    for (int pass = 0; pass < 2; ++pass) {
        const bool positive = pass == 0;
        for (int bit = 0; bit < 3; ++bit) {
            if ((((r >> bit) & 1) != 0) != positive) continue;
            if (bit == b) return input;
            ++input;
        }
    }
    return -1;
}

// Three select relays and eight four-input AND chains, chain r passing its
// input 0 while the select bits read r. Shared by the decoder and the
// selector, whose relays start with exactly these members in this order.
class EightWayChains {
public:
    void setVoltage(bool on) {
        for (Relay& relay : selectRelays_) relay.setVoltage(on);
        for (FourInputAndGate& chain : chains_) chain.setVoltage(on);
    }
    // The positive terms come straight from the select line; the negated
    // ones are taken from the select relay's contact at each step.
    void setSelect(int bit, bool on) {
        assert(bit >= 0 && bit < 3);
        unrolled<8>([&](auto r) {
            if (((r >> bit) & 1) != 0) chains_[r].setInput(kInputOf[r][bit], on);
        });
        selectRelays_[bit].setCoil(on);
    }
    void setChainInput(int r, bool on) { chains_[r].setInput(0, on); }
    bool chainOutput(int r) const { return chains_[r].output(); }
    void step() {
        unrolled<3>([&](auto bit) { selectRelays_[bit].tick(); });
        unrolled<3>([&](auto bit) {
            const bool negated = selectRelays_[bit].normallyClosed();
            unrolled<8>([&](auto r) {
                if constexpr (((r >> bit) & 1) == 0) chains_[r].setInput(kInputOf[r][bit], negated);
            });
        });
        unrolled<8>([&](auto r) { chains_[r].step(); });
    }

private:
    static constexpr int kInputOf[8][3] = {
        {chainInputOf(0, 0), chainInputOf(0, 1), chainInputOf(0, 2)},
        {chainInputOf(1, 0), chainInputOf(1, 1), chainInputOf(1, 2)},
        {chainInputOf(2, 0), chainInputOf(2, 1), chainInputOf(2, 2)},
        {chainInputOf(3, 0), chainInputOf(3, 1), chainInputOf(3, 2)},
        {chainInputOf(4, 0), chainInputOf(4, 1), chainInputOf(4, 2)},
        {chainInputOf(5, 0), chainInputOf(5, 1), chainInputOf(5, 2)},
        {chainInputOf(6, 0), chainInputOf(6, 1), chainInputOf(6, 2)},
        {chainInputOf(7, 0), chainInputOf(7, 1), chainInputOf(7, 2)},
    };

    Relay selectRelays_[3];        // X0, X1, X2
    FourInputAndGate chains_[8];   // C0 to C7
};

// The wiring table of the chains, checked where it is written down.
static_assert(chainInputOf(2, 1) == 1 && chainInputOf(2, 0) == 2 && chainInputOf(2, 2) == 3);
static_assert(chainInputOf(5, 0) == 1 && chainInputOf(5, 2) == 2 && chainInputOf(5, 1) == 3);
static_assert(chainInputOf(6, 1) == 1 && chainInputOf(6, 2) == 2 && chainInputOf(6, 0) == 3);
static_assert(chainInputOf(0, 0) == 1 && chainInputOf(0, 2) == 3 && chainInputOf(7, 2) == 3);

}  // namespace detail

// Output r is on while enabled and the select bits (bit 0 least significant)
// read r.
class EightWayDecoder : public PooledPart<EightWayDecoder> {
public:
    static constexpr std::uint64_t ticksPerStep = 35;

    void setVoltage(bool on) { chains_.setVoltage(on); }
    void setSelect(int bit, bool on) { chains_.setSelect(bit, on); }
    void setEnable(bool on) {
        detail::unrolled<8>([&](auto r) { chains_.setChainInput(r, on); });
    }
    bool output(int r) const {
        assert(r >= 0 && r < 8);
        return chains_.chainOutput(r);
    }
    void step() { chains_.step(); }

private:
    detail::EightWayChains chains_;   // X0 to X2, C0 to C7
};

// Passes the data input whose index the select bits read.
class EightWaySelector : public PooledPart<EightWaySelector> {
public:
    static constexpr std::uint64_t ticksPerStep = 43;

    void setVoltage(bool on) {
        chains_.setVoltage(on);
        orGate_.setVoltage(on);
    }
    void setSelect(int bit, bool on) { chains_.setSelect(bit, on); }
    void setInput(int r, bool on) {
        assert(r >= 0 && r < 8);
        chains_.setChainInput(r, on);
    }
    bool output() const { return orGate_.output(); }
    void step() {
        chains_.step();
        detail::unrolled<8>([&](auto r) { orGate_.setInput(r, chains_.chainOutput(r)); });
        orGate_.step();
    }

private:
    detail::EightWayChains chains_;   // X0 to X2, C0 to C7
    EightInputOrGate orGate_;         // O
};

// One stored bit: a latch of two NOR gates, set and reset through two AND
// gates that open only while write enable is on. It is empty (both NOR gates
// off) when new and after any unpowered step, and reads 0 until written.
class MemoryCell : public PooledPart<MemoryCell> {
public:
    // Nine relays, the two NOR gates ticked once per latch pass.
    static constexpr std::uint64_t ticksPerStep = 13;

    void setVoltage(bool on) {
        resetGate_.setVoltage(on);
        setGate_.setVoltage(on);
        storeGate_.setVoltage(on);
        complementGate_.setVoltage(on);
        dataRelay_.setVoltage(on);
    }
    void setWriteEnable(bool on) {
        resetGate_.setInput(1, on);
        setGate_.setInput(0, on);
    }
    void setData(bool on) {
        dataRelay_.setCoil(on);
        setGate_.setInput(1, on);
    }
    bool output() const { return storeGate_.output(); }
    // The other side of the latch; with output() it tells holding 0 from empty.
    bool complementOutput() const { return complementGate_.output(); }

    void step() {
        dataRelay_.tick();
        resetGate_.setInput(0, dataRelay_.normallyClosed());
        resetGate_.step();
        setGate_.step();
        // Both gates read each other as they stood before the pass; two passes
        // turn the latch over.
        detail::unrolled<2>([&](auto) {
            storeGate_.setInput(0, resetGate_.output());
            storeGate_.setInput(1, complementGate_.output());
            complementGate_.setInput(0, storeGate_.output());
            complementGate_.setInput(1, setGate_.output());
            storeGate_.step();
            complementGate_.step();
        });
    }

private:
    TwoInputAndGate resetGate_;
    TwoInputAndGate setGate_;
    TwoInputNorGate storeGate_;
    TwoInputNorGate complementGate_;
    Relay dataRelay_;
};

static_assert(sizeof(FourInputAndGate) == 4);
static_assert(sizeof(EightInputOrGate) == 8);
static_assert(sizeof(TwoWayDemultiplexer) == 5);
static_assert(sizeof(EightBitSelector) == 56);
static_assert(sizeof(EightWayDecoder) == 35);
static_assert(sizeof(EightWaySelector) == 43);
static_assert(sizeof(MemoryCell) == 9);

}  // namespace tarnwick
