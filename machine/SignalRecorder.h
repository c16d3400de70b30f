#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "machine/Computer.h"
#include "machine/NamedSignals.h"

namespace tarnwick {

// Records chosen signals once per machine cycle into a ring buffer of the
// last cycles, for a timing diagram. Added as a computer's CycleWatcher, it
// records after each cycle on whichever thread ran it; the window takes a
// snapshot and draws from that, so nothing it paints holds the cycle lock.
//
// Cycles are numbered as the tools' trace numbers them: after Reset goes
// off, cycle 1 is the first cycle that ends with the clock lamp and phase
// lamp 0 lit. Cycles with Reset on or Power off, and those before cycle 1,
// are recorded with number 0.
class SignalRecorder final : public Computer::CycleWatcher {
public:
    static constexpr std::size_t defaultCapacity = 8192;
    static constexpr std::size_t maximumRows = 256;

    explicit SignalRecorder(std::size_t capacity = defaultCapacity);

    // The rows to record, at most maximumRows. A row already recorded keeps
    // its history; a new one has none before this call.
    void setRows(std::vector<NamedSignal> rows);
    // Forgets every recorded cycle (the rows stay).
    void clear();

    // One entry: what the computer shows after the cycle it just ran.
    void record(const Computer& computer);
    void afterCycle(const Computer& computer) override { record(computer); }

    struct Row {
        NamedSignal signal;
        // The first entry of the snapshot this row has a value for.
        std::size_t firstEntry = 0;
        std::vector<std::uint64_t> values;  // one per entry, oldest first
    };
    struct Snapshot {
        std::vector<std::uint64_t> cycles;  // one per entry, oldest first; 0 before cycle 1
        std::vector<Row> rows;
        std::uint64_t recorded = 0;  // entries recorded since the start, kept or not
    };
    // A copy of the rows and the entries kept, oldest first.
    Snapshot snapshot() const;
    // The same into a copy kept from the last call, reusing its storage: a
    // window's copy per frame allocates nothing.
    void snapshot(Snapshot& into) const;

    std::size_t capacity() const { return capacity_; }

private:
    struct Track {
        NamedSignal signal;
        std::uint64_t since = 0;  // the first entry (counted from the start) it has
    };

    const std::size_t capacity_;
    // Guards everything below: record() on the simulation thread, the rest
    // on the window thread. Held for a copy, never while painting.
    mutable std::mutex lock_;
    std::vector<Track> tracks_;
    // The ring, entry by entry: entry slot's value of track r is at
    // slot * tracks_.size() + r, so a cycle writes one short run of memory.
    std::vector<std::uint64_t> values_;
    std::vector<std::uint64_t> cycles_;
    std::uint64_t recorded_ = 0;  // entries written since the start; the next goes at recorded_ % capacity_
    std::uint64_t cleared_ = 0;   // the first entry after the last clear()
    std::uint64_t cycle_ = 0;     // the number of the last cycle, 0 while not going
};

// Entries first to last (inclusive, indexes into the snapshot) of the given
// rows as a Value Change Dump: one timestep per entry (#0 is entry first),
// each row in the scopes of its section and circuit under "tarnwick", and
// "tarnwick.cycle" the cycle number each entry had (0 before cycle 1). A
// row with no value yet for an entry shows x there.
std::string recordingVcd(const SignalRecorder::Snapshot& snapshot, const std::vector<std::size_t>& rows,
                         std::size_t first, std::size_t last);

}  // namespace tarnwick
