#include "machine/SignalRecorder.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace tarnwick {

SignalRecorder::SignalRecorder(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
    cycles_.assign(capacity_, 0);
}

void SignalRecorder::setRows(std::vector<NamedSignal> rows) {
    if (rows.size() > maximumRows) throw std::invalid_argument("too many signal rows");
    std::vector<Track> fresh;
    fresh.reserve(rows.size());
    for (NamedSignal& signal : rows) fresh.push_back(Track{std::move(signal), 0});
    std::vector<std::uint64_t> values(capacity_ * fresh.size(), 0);
    std::scoped_lock lock(lock_);
    // A row already recorded keeps its column of the ring.
    const std::size_t oldWidth = tracks_.size();
    for (std::size_t r = 0; r < fresh.size(); ++r) {
        const auto old = std::find_if(tracks_.begin(), tracks_.end(),
                                      [&](const Track& t) { return t.signal.name == fresh[r].signal.name; });
        if (old == tracks_.end()) {
            fresh[r].since = recorded_;
            continue;
        }
        fresh[r].since = old->since;
        const std::size_t column = static_cast<std::size_t>(old - tracks_.begin());
        for (std::size_t slot = 0; slot < capacity_; ++slot)
            values[slot * fresh.size() + r] = values_[slot * oldWidth + column];
    }
    tracks_ = std::move(fresh);
    values_ = std::move(values);
}

void SignalRecorder::clear() {
    std::scoped_lock lock(lock_);
    cleared_ = recorded_;
}

void SignalRecorder::record(const Computer& computer) {
    std::scoped_lock lock(lock_);
    // Session's numbering: Reset or Power starts it again; the first cycle
    // that ends with the clock and phase 0 lit is cycle 1.
    if (computer.resetSwitch().isOn() || !computer.powerSwitch().isOn()) {
        cycle_ = 0;
    } else if (cycle_ > 0 || (computer.clockLamp().isOn() && computer.phaseLamps()[0].isOn())) {
        ++cycle_;
    }
    const std::size_t slot = static_cast<std::size_t>(recorded_ % capacity_);
    cycles_[slot] = cycle_;
    std::uint64_t* entry = values_.data() + slot * tracks_.size();
    for (const Track& track : tracks_) *entry++ = track.signal.read(computer);
    ++recorded_;
}

SignalRecorder::Snapshot SignalRecorder::snapshot() const {
    Snapshot copy;
    snapshot(copy);
    return copy;
}

void SignalRecorder::snapshot(Snapshot& copy) const {
    std::scoped_lock lock(lock_);
    const std::uint64_t first = std::max({cleared_, recorded_ > capacity_ ? recorded_ - capacity_ : 0});
    const std::size_t count = static_cast<std::size_t>(recorded_ - first);
    copy.recorded = recorded_;
    const std::size_t start = static_cast<std::size_t>(first % capacity_);
    copy.cycles.resize(count);
    const std::size_t width = tracks_.size();
    copy.rows.resize(width);
    for (std::size_t r = 0; r < width; ++r) {
        const Track& track = tracks_[r];
        Row& row = copy.rows[r];
        if (row.signal.name != track.signal.name) row.signal = track.signal;
        row.firstEntry = static_cast<std::size_t>(std::max(track.since, first) - first);
        row.values.resize(count);
    }
    // Entry by entry, as the ring holds them: one pass over its memory.
    for (std::size_t e = 0, slot = start; e < count; ++e, slot = slot + 1 == capacity_ ? 0 : slot + 1) {
        copy.cycles[e] = cycles_[slot];
        const std::uint64_t* entry = values_.data() + slot * width;
        for (std::size_t r = 0; r < width; ++r) copy.rows[r].values[e] = entry[r];
    }
}

namespace {

void vcdValue(std::string& out, const std::string& id, int width, std::optional<std::uint64_t> value) {
    if (width == 0) {
        out += !value ? 'x' : (*value ? '1' : '0');
    } else {
        out += 'b';
        if (!value) {
            out += 'x';
        } else {
            int top = width - 1;
            while (top > 0 && ((*value >> top) & 1u) == 0) --top;
            for (int bit = top; bit >= 0; --bit) out += ((*value >> bit) & 1u) ? '1' : '0';
        }
        out += ' ';
    }
    out += id;
    out += '\n';
}

}  // namespace

std::string recordingVcd(const SignalRecorder::Snapshot& snapshot, const std::vector<std::size_t>& rows,
                         std::size_t first, std::size_t last) {
    const std::size_t entries = snapshot.cycles.size();
    if (entries == 0 || first > last || last >= entries) throw std::out_of_range("no such recorded cycles");
    std::vector<NamedSignal> signals;
    for (const std::size_t r : rows) {
        if (r >= snapshot.rows.size()) throw std::out_of_range("no such signal row");
        signals.push_back(snapshot.rows[r].signal);
    }
    std::ostringstream header;
    header << "$comment one timestep per recorded machine cycle; tarnwick.cycle numbers them $end\n"
           << "$timescale 1 ms $end\n"
           << "$scope module tarnwick $end\n"
           << "$var wire 64 ! cycle [63:0] $end\n";
    auto id = [](std::size_t i) { return "~" + std::to_string(i); };
    writeVcdScopes(header, signals, id);
    header << "$upscope $end\n$enddefinitions $end\n";
    std::string out = header.str();

    auto valueAt = [&](std::size_t k, std::size_t entry) -> std::optional<std::uint64_t> {
        const SignalRecorder::Row& row = snapshot.rows[rows[k]];
        if (entry < row.firstEntry) return std::nullopt;
        return row.values[entry];
    };
    std::size_t lastTime = 0;
    for (std::size_t entry = first; entry <= last; ++entry) {
        const bool initial = entry == first;
        std::string changes;
        if (initial || snapshot.cycles[entry] != snapshot.cycles[entry - 1])
            vcdValue(changes, "!", 64, snapshot.cycles[entry]);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const auto now = valueAt(k, entry);
            if (initial || now != valueAt(k, entry - 1)) vcdValue(changes, id(k), signals[k].width, now);
        }
        if (changes.empty()) continue;
        out += '#' + std::to_string(entry - first) + '\n';
        lastTime = entry - first;
        if (initial)
            out += "$dumpvars\n" + changes + "$end\n";
        else
            out += changes;
    }
    // The dump lasts to its last entry even when that changed nothing.
    if (last - first > lastTime) out += '#' + std::to_string(last - first) + '\n';
    return out;
}

}  // namespace tarnwick
