#include "memory/RelayLaneRAM.h"

// The lane vectors below may be wider than the baseline instruction set's
// registers; they never cross a function boundary that is not inlined, so the
// calling-convention change GCC notes cannot arise (-Wno-psabi in the build).
// That holds for the lambdas too only if they are forced inline: a lambda does
// not take the target of the function it is written in, so an unoptimised
// build that called one would pass wide lanes across that boundary wrongly.
#define TARNWICK_LANE_INLINE __attribute__((always_inline))

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "memory/MemoryCircuits.h"
#include "memory/SixtyFourByteRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"
#include "memory/StateBytes.h"
#include "relay/Circuit.h"

namespace tarnwick {

namespace {

// Lane vectors: one byte per lane. A mask holds 0xFF in a lane where a signal
// is on and 0 where it is off.
using Lanes16 = std::uint8_t __attribute__((vector_size(16)));
using Lanes32 = std::uint8_t __attribute__((vector_size(32)));
using Lanes64 = std::uint8_t __attribute__((vector_size(64)));
using Lanes8 = std::uint8_t __attribute__((vector_size(8)));

// A relay that has just been ticked holds its pending inputs twice: supply in
// bits 7 and 3, coil in bits 6 and 2. Its contacts then read
//   normally-open = supply and coil,  normally-closed = supply and not coil.
template <class L>
[[gnu::always_inline]] inline L ticked(L supply, L coil) {
    return (supply & 0x88) | (coil & 0x44);
}

// The normally-closed contact of a relay byte, from its current half.
template <class L>
[[gnu::always_inline]] inline L normallyClosed(L relay) {
    return (L)((relay & 0x0C) == 0x08);
}

template <class L>
[[gnu::always_inline]] inline L load(const std::uint8_t* p) {
    L lanes;
    std::memcpy(&lanes, p, sizeof lanes);
    return lanes;
}

template <class L>
[[gnu::always_inline]] inline void store(std::uint8_t* p, L lanes) {
    std::memcpy(p, &lanes, sizeof lanes);
}

template <class L>
[[gnu::always_inline]] inline L broadcast(bool on) {
    L lanes = {};
    return lanes - static_cast<std::uint8_t>(on);  // 0 - 1 wraps to 0xFF
}

// Relay positions inside the circuits, from their descriptions. The cell
// columns are stepped by hand below rather than through the circuits' own
// steps (templated on lane relays, those take several times as long), so
// every position the hand step uses is taken from the description: a change
// of member order moves them all, and a description that no longer matches
// its circuit's declarations fails to compile.
using Chains = detail::EightWayChains<>;
constexpr int kChainRelays = relayCount<FourInputAndGate>();
constexpr int kChainsAt = relayIndexOf<EightWayDecoder>("chains") + relayIndexOf<Chains>("chains");
constexpr int kSelectRelaysAt =
    relayIndexOf<EightWayDecoder>("chains") + relayIndexOf<Chains>("selectRelays");
constexpr int kDecoderRelays = checkedRelayCount<EightWayDecoder>();
constexpr int kSelectorChainsAt = relayIndexOf<EightWaySelector>("chains");
constexpr int kOrGateAt = relayIndexOf<EightWaySelector>("orGate");
constexpr int kSelectorRelays = checkedRelayCount<EightWaySelector>();
static_assert(kSelectorChainsAt == 0 && kSelectRelaysAt == 0 &&
                  kChainsAt + 8 * kChainRelays == kDecoderRelays,
              "the chain step below takes the select relays first, then the chains");

constexpr int kReset = relayIndexOf<MemoryCell>("resetGate");
constexpr int kSet = relayIndexOf<MemoryCell>("setGate");
constexpr int kStore = relayIndexOf<MemoryCell>("storeGate");
constexpr int kComplement = relayIndexOf<MemoryCell>("complementGate");
constexpr int kData = relayIndexOf<MemoryCell>("dataRelay");
constexpr int kCellRelays = checkedRelayCount<MemoryCell>();

constexpr int kCellDecoderAt = relayIndexOf<CellColumn>("cellDecoder");
constexpr int kCellsAt = relayIndexOf<CellColumn>("cells");
constexpr int kCellSelectorAt = relayIndexOf<CellColumn>("cellSelector");
constexpr int kColumnRelays = relayCount<CellColumn>();

constexpr int kTwoWaySelectRelay = relayIndexOf<TwoWaySelector>("selectRelay");
constexpr int kTwoWayGateA = relayIndexOf<TwoWaySelector>("gateA");
constexpr int kTwoWayGateB = relayIndexOf<TwoWaySelector>("gateB");
constexpr int kTwoWayOrGate = relayIndexOf<TwoWaySelector>("orGate");
constexpr int kTwoWaySelectorRelays = checkedRelayCount<TwoWaySelector>();
constexpr int kDemultiplexerSelectRelay = relayIndexOf<TwoWayDemultiplexer>("selectRelay");
constexpr int kDemultiplexerLowGate = relayIndexOf<TwoWayDemultiplexer>("lowGate");
constexpr int kDemultiplexerHighGate = relayIndexOf<TwoWayDemultiplexer>("highGate");
constexpr int kDemultiplexerRelays = checkedRelayCount<TwoWayDemultiplexer>();
constexpr int kNodeRelays = kDemultiplexerRelays + 8 * kTwoWaySelectorRelays;  // 61

// A block's bytes: its 64 columns byte by byte (lane r * 8 + j is column j of
// row r), its 8 bit selectors byte by byte (lane j), its row decoder.
constexpr int kColumnLanes = 64;
constexpr int kBitSelectorsAt = kColumnRelays * kColumnLanes;         // 9600
constexpr int kRowDecoderAt = kBitSelectorsAt + kSelectorRelays * 8;  // 9944
constexpr int kBlockRelays = kRowDecoderAt + kDecoderRelays;          // 9979
constexpr int kBlockStride = (kBlockRelays + 63) / 64 * 64;
constexpr int kBlocks = 1024;
constexpr int kNodes = kBlocks - 1;  // level bodies, top first, each level left to right
constexpr int kLevels = 10;

static_assert(kBlockRelays == 9'979);
static_assert(kBlockRelays == relayCount<SixtyFourByteRAM>());
static_assert(static_cast<std::size_t>(kBlocks) * kBlockRelays +
                  static_cast<std::size_t>(kNodes) * kNodeRelays ==
              RelayLaneRAM::relayCount);
static_assert(RelayLaneRAM::relayCount == relayCount<SixtyFourKilobyteRAM>());

// Which select bit chain r takes on its input k (1 to 3).
constexpr std::array<std::array<int, 4>, 8> kBitOfInput = [] {
    std::array<std::array<int, 4>, 8> table{};
    for (int r = 0; r < 8; ++r) {
        for (int bit = 0; bit < 3; ++bit) table[r][detail::chainInputOf(r, bit)] = bit;
    }
    return table;
}();

// The select relays and AND chains of a decoder or selector, for every lane:
// input[r] is chain r's input 0, select[b] the line on select bit b. Writes
// the 35 relay bytes through put(position, byte) and returns the chain
// outputs.
template <class L, class Put>
[[gnu::always_inline]] inline void stepChains(L voltage, const L (&select)[3], const L (&input)[8], Put put,
                                              L (&output)[8]) {
    L negated[3];
#pragma GCC unroll 3
    for (int bit = 0; bit < 3; ++bit) {
        put(kSelectRelaysAt + bit, ticked(voltage, select[bit]));
        negated[bit] = voltage & ~select[bit];
    }
#pragma GCC unroll 8
    for (int r = 0; r < 8; ++r) {
        const int at = kChainsAt + r * kChainRelays;
        put(at, ticked(voltage, input[r]));
        L supply = voltage & input[r];
#pragma GCC unroll 3
        for (int k = 1; k < kChainRelays; ++k) {
            const int bit = kBitOfInput[r][k];
            const L term = ((r >> bit) & 1) != 0 ? select[bit] : negated[bit];
            put(at + k, ticked(supply, term));
            supply &= term;
        }
        output[r] = supply;
    }
}

// The selector's OR gate after its chains; returns the selector's output.
template <class L, class Put>
[[gnu::always_inline]] inline L stepOrGate(L voltage, const L (&chains)[8], Put put) {
    L any = {};
#pragma GCC unroll 8
    for (int r = 0; r < 8; ++r) {
        put(kOrGateAt + r, ticked(voltage, chains[r]));
        any |= voltage & chains[r];
    }
    return any;
}

// The lines every cell column sees, as masks.
template <class L>
struct ColumnLines {
    L voltage;
    L select[3];  // A0 to A2
    L data;       // lane l: data-in line l % 8
};

// As many cell columns as L has lanes: relay k of lane l at
// column[k * 64 + l].
template <class L>
[[gnu::always_inline]] inline L stepColumns(std::uint8_t* column, L writeEnable,
                                            const ColumnLines<L>& lines) {
    const L v = lines.voltage;
    const L data = lines.data;
    auto at = [column](int relay) TARNWICK_LANE_INLINE { return column + relay * kColumnLanes; };

    const L enables[8] = {writeEnable, writeEnable, writeEnable, writeEnable,
                          writeEnable, writeEnable, writeEnable, writeEnable};
    L cellEnable[8];
    stepChains(
        v, lines.select, enables,
        [&](int k, L relay) TARNWICK_LANE_INLINE { store(at(kCellDecoderAt + k), relay); }, cellEnable);

    L cellOutput[8];
#pragma GCC unroll 8
    for (int c = 0; c < 8; ++c) {
        const int cell = kCellsAt + c * kCellRelays;
        const L enable = cellEnable[c];
        const L held = normallyClosed(load<L>(at(cell + kStore + 1)));
        const L heldComplement = normallyClosed(load<L>(at(cell + kComplement + 1)));

        const L dataInverted = v & ~data;  // dataRelay's normally-closed contact
        const L reset = dataInverted & enable;
        const L set = v & enable & data;
        // Two latch passes, each reading the other gate as it stood before.
        const L store1 = v & ~reset & ~heldComplement;
        const L complement1 = v & ~held & ~set;
        const L store2 = v & ~reset & ~complement1;

        store(at(cell + kReset), ticked(v, dataInverted));
        store(at(cell + kReset + 1), ticked(dataInverted, enable));
        store(at(cell + kSet), ticked(v, enable));
        store(at(cell + kSet + 1), ticked(v & enable, data));
        store(at(cell + kStore), ticked(v, reset));
        store(at(cell + kStore + 1), ticked(v & ~reset, complement1));
        store(at(cell + kComplement), ticked(v, store1));
        store(at(cell + kComplement + 1), ticked(v & ~store1, set));
        store(at(cell + kData), ticked(v, data));
        cellOutput[c] = store2;
    }

    L chains[8];
    auto putSelector = [&](int k, L relay) TARNWICK_LANE_INLINE { store(at(kCellSelectorAt + k), relay); };
    stepChains(v, lines.select, cellOutput, putSelector, chains);
    return stepOrGate(v, chains, putSelector);
}

// Data-out of one block or level body: lane j is data-out line j.
using ByteLanes = Lanes8;

[[gnu::always_inline]] inline std::uint8_t bitsOf(ByteLanes mask) {
    std::uint8_t bits = 0;
    for (int j = 0; j < 8; ++j) bits |= static_cast<std::uint8_t>(mask[j] & (1u << j));
    return bits;
}

struct Lines {
    bool voltage;
    bool write;
    std::uint16_t address;
    std::uint8_t dataIn;
    bool addressBit(int line) const { return ((address >> line) & 1) != 0; }
};

using Blocks = std::uint8_t[kBlocks][kBlockStride];
using StepBlocks = void (*)(Blocks&, const std::uint8_t*, ByteLanes*, const Lines&);

}  // namespace

struct RelayLaneRAM::Storage {
    alignas(64) std::uint8_t blocks[kBlocks][kBlockStride];
    std::uint8_t nodes[kNodes][kNodeRelays];
    // Passed between the levels within a step.
    std::uint8_t nodeWrite[kNodes];
    std::uint8_t blockWrite[kBlocks];
    ByteLanes nodeOutput[kNodes];
    ByteLanes blockOutput[kBlocks];

    void step(const Lines& lines, StepBlocks stepBlocks);
    void copyNode(int node, std::uint8_t*& out) const;
    void copyBlock(int block, std::uint8_t*& out) const;
};

namespace {

// Every block, its columns stepped as many lanes at a time as L holds.
template <class L>
[[gnu::always_inline]] inline void stepBlocks(Blocks& blocks, const std::uint8_t* blockWrite,
                                              ByteLanes* blockOutput, const Lines& lines) {
    constexpr int kWidth = sizeof(L);
    ColumnLines<L> columnLines;
    columnLines.voltage = broadcast<L>(lines.voltage);
    for (int bit = 0; bit < 3; ++bit) columnLines.select[bit] = broadcast<L>(lines.addressBit(bit));
    alignas(64) std::uint8_t data[kColumnLanes];
    for (int lane = 0; lane < kColumnLanes; ++lane)
        data[lane] = ((lines.dataIn >> (lane % 8)) & 1) != 0 ? 0xFF : 0;
    columnLines.data = load<L>(data);
    const Lanes8 voltage = broadcast<Lanes8>(lines.voltage);
    const Lanes8 rowSelect[3] = {broadcast<Lanes8>(lines.addressBit(3)),
                                 broadcast<Lanes8>(lines.addressBit(4)),
                                 broadcast<Lanes8>(lines.addressBit(5))};

    for (int b = 0; b < kBlocks; ++b) {
        std::uint8_t* block = blocks[b];
        // The row decoder, alone in lane 0.
        Lanes8 rowEnable[8];
        {
            const Lanes8 enable = {blockWrite[b]};
            const Lanes8 enables[8] = {enable, enable, enable, enable, enable, enable, enable, enable};
            std::uint8_t* decoder = block + kRowDecoderAt;
            stepChains(
                voltage, rowSelect, enables,
                [&](int k, Lanes8 relay) TARNWICK_LANE_INLINE { decoder[k] = relay[0]; }, rowEnable);
        }

        // The rows' columns: lane r * 8 + j is column j of row r and takes
        // row r's write enable.
        alignas(64) std::uint8_t writeEnable[kColumnLanes];
        for (int r = 0; r < 8; ++r) std::memset(writeEnable + 8 * r, rowEnable[r][0], 8);
        alignas(64) std::uint8_t columnOutput[kColumnLanes];
        for (int first = 0; first < kColumnLanes; first += kWidth) {
            store(columnOutput + first,
                  stepColumns(block + first, load<L>(writeEnable + first), columnLines));
        }

        // The bit selectors, lane j: input r is column j of row r.
        Lanes8 inputs[8];
        for (int r = 0; r < 8; ++r) inputs[r] = load<Lanes8>(columnOutput + 8 * r);
        std::uint8_t* selectors = block + kBitSelectorsAt;
        auto put = [selectors](int k, Lanes8 relay) TARNWICK_LANE_INLINE { store(selectors + 8 * k, relay); };
        Lanes8 chains[8];
        stepChains(voltage, rowSelect, inputs, put, chains);
        blockOutput[b] = stepOrGate(voltage, chains, put);
    }
}

// The block step for each lane width; a memory keeps to the one it was built with.
[[gnu::target("avx512bw")]] void stepBlocksAvx512(Blocks& blocks, const std::uint8_t* blockWrite,
                                                  ByteLanes* blockOutput, const Lines& lines) {
    stepBlocks<Lanes64>(blocks, blockWrite, blockOutput, lines);
}

[[gnu::target("avx2")]] void stepBlocksAvx2(Blocks& blocks, const std::uint8_t* blockWrite,
                                            ByteLanes* blockOutput, const Lines& lines) {
    stepBlocks<Lanes32>(blocks, blockWrite, blockOutput, lines);
}

void stepBlocksBaseline(Blocks& blocks, const std::uint8_t* blockWrite, ByteLanes* blockOutput,
                        const Lines& lines) {
    stepBlocks<Lanes16>(blocks, blockWrite, blockOutput, lines);
}

StepBlocks stepBlocksFor(RelayLaneRAM::LaneWidth width) {
    switch (width) {
        case RelayLaneRAM::LaneWidth::Avx512:
            return stepBlocksAvx512;
        case RelayLaneRAM::LaneWidth::Avx2:
            return stepBlocksAvx2;
        default:
            return stepBlocksBaseline;
    }
}

}  // namespace

void RelayLaneRAM::Storage::step(const Lines& lines, StepBlocks stepBlocks) {
    const std::uint8_t v = lines.voltage ? 0xFF : 0;

    // Down: each level body's write demultiplexer, the top level first.
    nodeWrite[0] = lines.write ? 0xFF : 0;
    for (int level = 0; level < kLevels; ++level) {
        const std::uint8_t select = lines.addressBit(15 - level) ? 0xFF : 0;
        const int first = (1 << level) - 1;
        for (int node = first; node < 2 * first + 1; ++node) {
            const std::uint8_t w = nodeWrite[node];
            std::uint8_t* relays = nodes[node];
            relays[kDemultiplexerSelectRelay] = ticked<std::uint8_t>(v, select);
            relays[kDemultiplexerLowGate] = ticked<std::uint8_t>(v, w);
            relays[kDemultiplexerLowGate + 1] = ticked<std::uint8_t>(v & w, v & ~select);
            relays[kDemultiplexerHighGate] = ticked<std::uint8_t>(v, w);
            relays[kDemultiplexerHighGate + 1] = ticked<std::uint8_t>(v & w, select);
            const std::uint8_t lowWrite = v & w & ~select;
            const std::uint8_t highWrite = v & w & select;
            std::uint8_t* halves =
                level + 1 < kLevels ? nodeWrite + 2 * node + 1 : blockWrite + 2 * (node - first);
            halves[0] = lowWrite;
            halves[1] = highWrite;
        }
    }

    // Every block.
    stepBlocks(blocks, blockWrite, blockOutput, lines);

    // Up: each level body's output selector, lane j, the lowest level first.
    const Lanes8 voltage = broadcast<Lanes8>(lines.voltage);
    for (int level = kLevels - 1; level >= 0; --level) {
        const Lanes8 select = broadcast<Lanes8>(lines.addressBit(15 - level));
        const Lanes8 notSelect = voltage & ~select;
        const int first = (1 << level) - 1;
        for (int node = first; node < 2 * first + 1; ++node) {
            const ByteLanes* halves =
                level + 1 < kLevels ? nodeOutput + 2 * node + 1 : blockOutput + 2 * (node - first);
            const Lanes8 a = halves[0];
            const Lanes8 b = halves[1];
            const Lanes8 gateA = voltage & a & notSelect;
            const Lanes8 gateB = voltage & b & select;
            std::uint8_t* relays = nodes[node] + kDemultiplexerRelays;
            store(relays + kTwoWaySelectRelay * 8, ticked(voltage, select));
            store(relays + kTwoWayGateA * 8, ticked(voltage, a));
            store(relays + (kTwoWayGateA + 1) * 8, ticked(voltage & a, notSelect));
            store(relays + kTwoWayGateB * 8, ticked(voltage, b));
            store(relays + (kTwoWayGateB + 1) * 8, ticked(voltage & b, select));
            store(relays + kTwoWayOrGate * 8, ticked(voltage, gateA));
            store(relays + (kTwoWayOrGate + 1) * 8, ticked(voltage, gateB));
            nodeOutput[node] = voltage & (gateA | gateB);
        }
    }
}

void RelayLaneRAM::Storage::copyNode(int node, std::uint8_t*& out) const {
    const std::uint8_t* relays = nodes[node];
    std::memcpy(out, relays, kDemultiplexerRelays);
    out += kDemultiplexerRelays;
    const int child = 2 * node + 1;
    if (child < kNodes) {
        copyNode(child, out);
        copyNode(child + 1, out);
    } else {
        copyBlock(child - kNodes, out);
        copyBlock(child + 1 - kNodes, out);
    }
    for (int j = 0; j < 8; ++j) {
        for (int k = 0; k < kTwoWaySelectorRelays; ++k) *out++ = relays[kDemultiplexerRelays + 8 * k + j];
    }
}

void RelayLaneRAM::Storage::copyBlock(int block, std::uint8_t*& out) const {
    const std::uint8_t* relays = blocks[block];
    std::memcpy(out, relays + kRowDecoderAt, kDecoderRelays);
    out += kDecoderRelays;
    for (int lane = 0; lane < kColumnLanes; ++lane) {
        for (int k = 0; k < kColumnRelays; ++k) *out++ = relays[k * kColumnLanes + lane];
    }
    for (int j = 0; j < 8; ++j) {
        for (int k = 0; k < kSelectorRelays; ++k) *out++ = relays[kBitSelectorsAt + 8 * k + j];
    }
}

bool RelayLaneRAM::supports(LaneWidth width) {
    __builtin_cpu_init();
    switch (width) {
        case LaneWidth::Avx512:
            return __builtin_cpu_supports("avx512bw");
        case LaneWidth::Avx2:
            return __builtin_cpu_supports("avx2");
        default:
            return true;
    }
}

RelayLaneRAM::LaneWidth RelayLaneRAM::widthFor(LaneWidth asked) {
    for (LaneWidth wider : {LaneWidth::Avx512, LaneWidth::Avx2}) {
        if ((asked == LaneWidth::Widest || asked >= wider) && supports(wider)) return wider;
    }
    return LaneWidth::Sse2;
}

RelayLaneRAM::RelayLaneRAM(LaneWidth width)
    : storage_(std::make_unique<Storage>()), lanes_(widthFor(width)) {}

RelayLaneRAM::~RelayLaneRAM() = default;

void RelayLaneRAM::step() {
    // Every relay is a function of the lines and of the cells' latches, so a
    // step with the lines of the step before changes no relay while Write is
    // off: the latches hold. With Write on, the step before may still have
    // been writing; a third step with the same lines is the first that
    // changes nothing.
    const bool same = stepped_ && voltage_ == lastVoltage_ && write_ == lastWrite_ &&
                      address_ == lastAddress_ && dataIn_ == lastDataIn_;
    sameLinesRun_ = same ? std::min(sameLinesRun_ + 1, 3) : 1;
    if (sameLinesRun_ >= (write_ ? 3 : 2)) {
        ++skippedSteps_;
        return;
    }
    lastVoltage_ = voltage_;
    lastWrite_ = write_;
    lastAddress_ = address_;
    lastDataIn_ = dataIn_;
    stepped_ = true;
    storage_->step(Lines{voltage_, write_, address_, dataIn_}, stepBlocksFor(lanes_));
    dataOut_ = bitsOf(storage_->nodeOutput[0]);
}

// Cell c of column j of row r of block b holds bit j of address
// b * 64 + r * 8 + c; its latch is read where the cell's output is, the
// normally-closed contact of the store gate's last relay.
std::uint8_t RelayLaneRAM::peek(std::uint16_t address) const {
    const std::uint8_t* block = storage_->blocks[address >> 6];
    const int row = (address >> 3) & 7;
    const int cell = kCellsAt + (address & 7) * kCellRelays;
    std::uint8_t byte = 0;
    for (int j = 0; j < 8; ++j) {
        const std::uint8_t relay = block[(cell + kStore + 1) * kColumnLanes + row * 8 + j];
        if ((relay & 0x0C) == 0x08) byte |= static_cast<std::uint8_t>(1u << j);
    }
    return byte;
}

void RelayLaneRAM::copyRelayStates(std::uint8_t* out) const { storage_->copyNode(0, out); }

namespace {
// The store itself, then the fields in the order below.
constexpr std::size_t laneFieldsSize = 5 * sizeof(bool) + 2 * sizeof(std::uint16_t) +
                                       3 * sizeof(std::uint8_t) + sizeof(int) + sizeof(std::uint64_t);
}  // namespace

bool RelayLaneRAM::saveState(std::vector<std::uint8_t>& state) const {
    static_assert(std::is_trivially_copyable_v<Storage>);
    StateWriter out(state, relayLaneRamState, sizeof(Storage) + laneFieldsSize);
    out.bytes(storage_.get(), sizeof(Storage));
    out.field(voltage_);
    out.field(write_);
    out.field(address_);
    out.field(dataIn_);
    out.field(dataOut_);
    out.field(stepped_);
    out.field(lastVoltage_);
    out.field(lastWrite_);
    out.field(lastAddress_);
    out.field(lastDataIn_);
    out.field(sameLinesRun_);
    out.field(skippedSteps_);
    return true;
}

bool RelayLaneRAM::restoreState(const std::vector<std::uint8_t>& state) {
    StateReader in(state, relayLaneRamState, sizeof(Storage) + laneFieldsSize);
    if (!in.valid()) return false;
    in.bytes(storage_.get(), sizeof(Storage));
    in.field(voltage_);
    in.field(write_);
    in.field(address_);
    in.field(dataIn_);
    in.field(dataOut_);
    in.field(stepped_);
    in.field(lastVoltage_);
    in.field(lastWrite_);
    in.field(lastAddress_);
    in.field(lastDataIn_);
    in.field(sameLinesRun_);
    in.field(skippedSteps_);
    return true;
}

}  // namespace tarnwick

// The view's picture, counted in place. A relay's normally-open contact
// carries current when its current supply and coil are both on (bits 3 and
// 2); the column lanes are counted 16 or 32 at a time (32 where the lanes
// step with AVX2 or wider), every relay k of a block's
// columns being one row of 64 lanes.
namespace tarnwick {

namespace {

[[gnu::always_inline]] inline std::uint8_t lit(std::uint8_t relay) { return (relay & 0x0C) == 0x0C ? 1 : 0; }

// The cell columns' lit relays, as many lanes at a time as L holds.
template <class L>
[[gnu::always_inline]] inline void countColumns(const std::uint8_t (*blocks)[kBlockStride],
                                                std::uint8_t* columns) {
    for (int b = 0; b < kBlocks; ++b) {
        const std::uint8_t* block = blocks[b];
        for (int first = 0; first < kColumnLanes; first += static_cast<int>(sizeof(L))) {
            L count = {};
            for (int k = 0; k < kColumnRelays; ++k) {
                const L relays = load<L>(block + k * kColumnLanes + first);
                count -= (L)((relays & 0x0C) == 0x0C);  // a true lane is 0xFF: minus -1
            }
            store(columns + b * kColumnLanes + first, count);
        }
    }
}

[[gnu::target("avx2")]] void countColumnsAvx2(const std::uint8_t (*blocks)[kBlockStride],
                                              std::uint8_t* columns) {
    countColumns<Lanes32>(blocks, columns);
}

void countColumnsBaseline(const std::uint8_t (*blocks)[kBlockStride], std::uint8_t* columns) {
    countColumns<Lanes16>(blocks, columns);
}

}  // namespace

void RelayLaneRAM::countLitRelays(MemoryRelayPicture& picture) const {
    static_assert(MemoryRelayPicture::columnRelays == kColumnRelays);
    static_assert(MemoryRelayPicture::blockOwnRelays == kSelectorRelays * 8 + kDecoderRelays);
    static_assert(MemoryRelayPicture::nodeRelays == kNodeRelays);
    static_assert(MemoryRelayPicture::blockCount == kBlocks && MemoryRelayPicture::nodeCount == kNodes);
    if (lanes_ != LaneWidth::Sse2)
        countColumnsAvx2(storage_->blocks, picture.columns.data());
    else
        countColumnsBaseline(storage_->blocks, picture.columns.data());
    for (int b = 0; b < kBlocks; ++b) {
        const std::uint8_t* block = storage_->blocks[b];
        unsigned own = 0;
        for (int k = kBitSelectorsAt; k < kBlockRelays; ++k) own += lit(block[k]);
        picture.blocks[static_cast<std::size_t>(b)] = static_cast<std::uint16_t>(own);
    }
    for (int n = 0; n < kNodes; ++n) {
        unsigned count = 0;
        for (int k = 0; k < kNodeRelays; ++k) count += lit(storage_->nodes[n][k]);
        picture.nodes[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(count);
    }
}

}  // namespace tarnwick
