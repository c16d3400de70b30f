#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "machine/Lamps.h"

namespace tarnwick::run {

// What one machine cycle leaves on the signals a waveform shows: the lamps
// and the Write line the memory received.
struct Signals {
    LampReading lamps;
    bool write = false;

    bool operator==(const Signals&) const = default;
};

// Signals of a computer as they stand now. The Write line is read where it
// enters the memory: at the output of the control panel's Write selector.
Signals readSignals(const Computer& computer);

// Writes a run as a Value Change Dump: one timestep per machine cycle (#N
// holds what cycle N ends with, #0 what the lamps show before cycle 1), each
// signal written only when it changes.
class VcdWriter {
public:
    // `program` is named in the header's comment.
    VcdWriter(std::ostream& out, std::string program);

    // The header and the values at #0; call once, before the first cycle.
    void begin(const Signals& initial);
    void cycle(std::uint64_t number, const Signals& now);
    // Marks the end of the run at its last cycle, so that a viewer shows the
    // run's full length even when the last cycles changed nothing.
    void finish(std::uint64_t lastCycle);
    bool begun() const { return begun_; }

private:
    void writeChanges(const Signals& now, bool all);

    std::ostream& out_;
    std::string program_;
    Signals last_;
    std::uint64_t lastTime_ = 0;
    bool begun_ = false;
};

}  // namespace tarnwick::run
