#pragma once

#include <cassert>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "memory/PartPool.h"
#include "relay/Circuit.h"
#include "relay/Gates.h"
#include "relay/Relay.h"
#include "relay/Selectors.h"

namespace tarnwick {

// The circuits the relay-built memory is assembled from. Nothing else in the
// machine uses them.

template <class R = Relay>
using BasicFourInputAndGate = SeriesChain<4, true, R>;
template <class R = Relay>
using BasicEightInputOrGate = ParallelGroup<8, true, R>;
using FourInputAndGate = BasicFourInputAndGate<>;
using EightInputOrGate = BasicEightInputOrGate<>;
using EightBitSelector = MultiBitSelector<8>;

// Every circuit here is templated on its relay type, as the gates are: the
// tree of parts holds them with one byte per relay, the lane memory
// (RelayLaneRAM) with one lane vector per relay, and both step them with
// the code below.

// Routes its input to the low output while select is off and to the high
// output while select is on. L sees select through S's normally-closed
// contact, H sees it directly.
template <class R = Relay>
class BasicTwoWayDemultiplexer {
public:
    using Signal = typename R::Signal;
    // Relay ticks in one step: each relay once.
    static constexpr std::uint64_t ticksPerStep = 5;

    TARNWICK_INLINE void setVoltage(Signal on) {
        selectRelay_.setVoltage(on);
        lowGate_.setVoltage(on);
        highGate_.setVoltage(on);
    }
    TARNWICK_INLINE void setSelect(Signal on) {
        selectRelay_.setCoil(on);
        highGate_.setInput(1, on);
    }
    TARNWICK_INLINE void setInput(Signal on) {
        lowGate_.setInput(0, on);
        highGate_.setInput(0, on);
    }
    TARNWICK_INLINE Signal lowOutput() const { return lowGate_.output(); }
    TARNWICK_INLINE Signal highOutput() const { return highGate_.output(); }
    TARNWICK_INLINE void step() {
        selectRelay_.tick();
        lowGate_.setInput(1, selectRelay_.normallyClosed());
        lowGate_.step();
        highGate_.step();
    }

    static constexpr auto members() {
        using D = BasicTwoWayDemultiplexer;
        return std::make_tuple(TARNWICK_MEMBER(D, selectRelay_), TARNWICK_MEMBER(D, lowGate_),
                               TARNWICK_MEMBER(D, highGate_));
    }
    static constexpr auto outputs() {
        using D = BasicTwoWayDemultiplexer;
        return std::make_tuple(
            Output<D>{"lowOutput", 0, [](const D& d, int) { return bool(d.lowOutput()); }},
            Output<D>{"highOutput", 0, [](const D& d, int) { return bool(d.highOutput()); }});
    }

private:
    R selectRelay_;                     // S
    BasicTwoInputAndGate<R> lowGate_;   // L
    BasicTwoInputAndGate<R> highGate_;  // H
};

using TwoWayDemultiplexer = BasicTwoWayDemultiplexer<>;

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
template <class R = Relay>
class EightWayChains {
public:
    using Signal = typename R::Signal;

    TARNWICK_INLINE void setVoltage(Signal on) {
        for (R& relay : selectRelays_) relay.setVoltage(on);
        for (BasicFourInputAndGate<R>& chain : chains_) chain.setVoltage(on);
    }
    // The positive terms come straight from the select line; the negated
    // ones are taken from the select relay's contact at each step.
    TARNWICK_INLINE void setSelect(int bit, Signal on) {
        assert(bit >= 0 && bit < 3);
        unrolled<8>([&](auto r) TARNWICK_INLINE {
            if (((r >> bit) & 1) != 0) chains_[r].setInput(kInputOf[r][bit], on);
        });
        selectRelays_[bit].setCoil(on);
    }
    TARNWICK_INLINE void setChainInput(int r, Signal on) { chains_[r].setInput(0, on); }
    TARNWICK_INLINE Signal chainOutput(int r) const { return chains_[r].output(); }
    TARNWICK_INLINE void step() {
        unrolled<3>([&](auto bit) TARNWICK_INLINE { selectRelays_[bit].tick(); });
        unrolled<3>([&](auto bit) TARNWICK_INLINE {
            const Signal negated = selectRelays_[bit].normallyClosed();
            unrolled<8>([&](auto r) TARNWICK_INLINE {
                if constexpr (((r >> bit) & 1) == 0) chains_[r].setInput(kInputOf[r][bit], negated);
            });
        });
        unrolled<8>([&](auto r) TARNWICK_INLINE { chains_[r].step(); });
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(EightWayChains, selectRelays_),
                               TARNWICK_MEMBER(EightWayChains, chains_));
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

    R selectRelays_[3];                   // X0, X1, X2
    BasicFourInputAndGate<R> chains_[8];  // C0 to C7
};

// The wiring table of the chains, checked where it is written down.
static_assert(chainInputOf(2, 1) == 1 && chainInputOf(2, 0) == 2 && chainInputOf(2, 2) == 3);
static_assert(chainInputOf(5, 0) == 1 && chainInputOf(5, 2) == 2 && chainInputOf(5, 1) == 3);
static_assert(chainInputOf(6, 1) == 1 && chainInputOf(6, 2) == 2 && chainInputOf(6, 0) == 3);
static_assert(chainInputOf(0, 0) == 1 && chainInputOf(0, 2) == 3 && chainInputOf(7, 2) == 3);

}  // namespace detail

// Output r is on while enabled and the select bits (bit 0 least significant)
// read r.
template <class R = Relay>
class BasicEightWayDecoder : public PooledPart<BasicEightWayDecoder<R>> {
public:
    using Signal = typename R::Signal;
    static constexpr std::uint64_t ticksPerStep = 35;

    TARNWICK_INLINE void setVoltage(Signal on) { chains_.setVoltage(on); }
    TARNWICK_INLINE void setSelect(int bit, Signal on) { chains_.setSelect(bit, on); }
    TARNWICK_INLINE void setEnable(Signal on) {
        detail::unrolled<8>([&](auto r) TARNWICK_INLINE { chains_.setChainInput(r, on); });
    }
    TARNWICK_INLINE Signal output(int r) const {
        assert(r >= 0 && r < 8);
        return chains_.chainOutput(r);
    }
    TARNWICK_INLINE void step() { chains_.step(); }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(BasicEightWayDecoder, chains_));
    }
    static constexpr auto outputs() {
        using D = BasicEightWayDecoder;
        return std::make_tuple(Output<D>{"output", 8, [](const D& d, int i) { return bool(d.output(i)); }});
    }

private:
    detail::EightWayChains<R> chains_;  // X0 to X2, C0 to C7
};

using EightWayDecoder = BasicEightWayDecoder<>;

// Passes the data input whose index the select bits read.
template <class R = Relay>
class BasicEightWaySelector : public PooledPart<BasicEightWaySelector<R>> {
public:
    using Signal = typename R::Signal;
    static constexpr std::uint64_t ticksPerStep = 43;

    TARNWICK_INLINE void setVoltage(Signal on) {
        chains_.setVoltage(on);
        orGate_.setVoltage(on);
    }
    TARNWICK_INLINE void setSelect(int bit, Signal on) { chains_.setSelect(bit, on); }
    TARNWICK_INLINE void setInput(int r, Signal on) {
        assert(r >= 0 && r < 8);
        chains_.setChainInput(r, on);
    }
    TARNWICK_INLINE Signal output() const { return orGate_.output(); }
    TARNWICK_INLINE void step() {
        chains_.step();
        detail::unrolled<8>([&](auto r) TARNWICK_INLINE { orGate_.setInput(r, chains_.chainOutput(r)); });
        orGate_.step();
    }

    static constexpr auto members() {
        return std::make_tuple(TARNWICK_MEMBER(BasicEightWaySelector, chains_),
                               TARNWICK_MEMBER(BasicEightWaySelector, orGate_));
    }
    static constexpr auto outputs() {
        using S = BasicEightWaySelector;
        return std::make_tuple(Output<S>{"output", 0, [](const S& s, int) { return bool(s.output()); }});
    }

private:
    detail::EightWayChains<R> chains_;  // X0 to X2, C0 to C7
    BasicEightInputOrGate<R> orGate_;   // O
};

using EightWaySelector = BasicEightWaySelector<>;

// One stored bit: a latch of two NOR gates, set and reset through two AND
// gates that open only while write enable is on. It is empty (both NOR gates
// off) when new and after any unpowered step, and reads 0 until written.
template <class R = Relay>
class BasicMemoryCell : public PooledPart<BasicMemoryCell<R>> {
public:
    using Signal = typename R::Signal;
    // Nine relays, the two NOR gates ticked once per latch pass.
    static constexpr std::uint64_t ticksPerStep = 13;

    TARNWICK_INLINE void setVoltage(Signal on) {
        resetGate_.setVoltage(on);
        setGate_.setVoltage(on);
        storeGate_.setVoltage(on);
        complementGate_.setVoltage(on);
        dataRelay_.setVoltage(on);
    }
    TARNWICK_INLINE void setWriteEnable(Signal on) {
        resetGate_.setInput(1, on);
        setGate_.setInput(0, on);
    }
    TARNWICK_INLINE void setData(Signal on) {
        dataRelay_.setCoil(on);
        setGate_.setInput(1, on);
    }
    TARNWICK_INLINE Signal output() const { return storeGate_.output(); }
    // The other side of the latch; with output() it tells holding 0 from empty.
    TARNWICK_INLINE Signal complementOutput() const { return complementGate_.output(); }

    TARNWICK_INLINE void step() {
        dataRelay_.tick();
        resetGate_.setInput(0, dataRelay_.normallyClosed());
        resetGate_.step();
        setGate_.step();
        // Both gates read each other as they stood before the pass; two passes
        // turn the latch over.
        detail::unrolled<2>([&](auto) TARNWICK_INLINE {
            storeGate_.setInput(0, resetGate_.output());
            storeGate_.setInput(1, complementGate_.output());
            complementGate_.setInput(0, storeGate_.output());
            complementGate_.setInput(1, setGate_.output());
            storeGate_.step();
            complementGate_.step();
        });
    }

    static constexpr auto members() {
        using C = BasicMemoryCell;
        return std::make_tuple(TARNWICK_MEMBER(C, resetGate_), TARNWICK_MEMBER(C, setGate_),
                               TARNWICK_MEMBER(C, storeGate_), TARNWICK_MEMBER(C, complementGate_),
                               TARNWICK_MEMBER(C, dataRelay_));
    }
    static constexpr auto outputs() {
        using C = BasicMemoryCell;
        return std::make_tuple(
            Output<C>{"output", 0, [](const C& c, int) { return bool(c.output()); }},
            Output<C>{"complementOutput", 0, [](const C& c, int) { return bool(c.complementOutput()); }});
    }

private:
    BasicTwoInputAndGate<R> resetGate_;
    BasicTwoInputAndGate<R> setGate_;
    BasicTwoInputNorGate<R> storeGate_;
    BasicTwoInputNorGate<R> complementGate_;
    R dataRelay_;
};

using MemoryCell = BasicMemoryCell<>;

static_assert(checkedRelayCount<FourInputAndGate>() == 4);
static_assert(checkedRelayCount<EightInputOrGate>() == 8);
static_assert(checkedRelayCount<TwoWayDemultiplexer>() == 5);
static_assert(checkedRelayCount<EightBitSelector>() == 56);
static_assert(checkedRelayCount<EightWayDecoder>() == 35);
static_assert(checkedRelayCount<EightWaySelector>() == 43);
static_assert(checkedRelayCount<MemoryCell>() == 9);

}  // namespace tarnwick
