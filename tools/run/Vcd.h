#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "machine/Lamps.h"
#include "machine/NamedSignals.h"

namespace tarnwick::run {

// What one machine cycle leaves on the signals a waveform shows: the lamps,
// the lines the memory received and showed, and the probed signals.
struct Signals {
    LampReading lamps;
    bool write = false;
    unsigned dataIn = 0;
    unsigned dataOut = 0;
    std::vector<std::uint64_t> probes;  // one per probe, in the order given

    bool operator==(const Signals&) const = default;
};

// Signals of a computer as they stand now. The memory's lines are read
// where they enter and leave it: the control panel's Write and data-in
// lines, and its data lamps.
Signals readSignals(const Computer& computer, const std::vector<NamedSignal>& probes = {});

// Writes a run as a Value Change Dump: one timestep per machine cycle (#N
// holds what cycle N ends with, #0 what the lamps show before cycle 1), each
// signal written only when it changes. The panel's signals are in the scope
// "tarnwick"; each probe is in a scope of its section and then one per part
// of its circuit's name ("tarnwick.arithmetic.arithmeticUnit.accumulator").
class VcdWriter {
public:
    // `program` is named in the header's comment.
    VcdWriter(std::ostream& out, std::string program, std::vector<NamedSignal> probes = {});

    // The header and the values at #0; call once, before the first cycle.
    void begin(const Signals& initial);
    void cycle(std::uint64_t number, const Signals& now);
    // Marks the end of the run at its last cycle, so that a viewer shows the
    // run's full length even when the last cycles changed nothing.
    void finish(std::uint64_t lastCycle);
    bool begun() const { return begun_; }

private:
    void writeChanges(const Signals& now, bool all);
    void writeProbeScopes();

    std::ostream& out_;
    std::string program_;
    std::vector<NamedSignal> probes_;
    Signals last_;
    std::uint64_t lastTime_ = 0;
    bool begun_ = false;
};

}  // namespace tarnwick::run
