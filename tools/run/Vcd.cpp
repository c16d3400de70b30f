#include "tools/run/Vcd.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <utility>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "unknown"
#endif

namespace tarnwick::run {

namespace {

// Identifier codes, one printable character each; '#' and '$' are left out
// so that no value line can be taken for a timestamp or a keyword.
constexpr char clockId = '!';
constexpr char phaseIds[4] = {'"', '%', '&', '\''};
constexpr char addressId = '(';
constexpr char codeId = ')';
constexpr char operandId = '*';
constexpr char accumulatorId = '+';
constexpr char zeroId = ',';
constexpr char carryId = '-';
constexpr char writeId = '.';
constexpr char dataInId = '/';
constexpr char dataOutId = '0';

// A probe's identifier: '~' and its number, never one of the characters above.
std::string probeId(std::size_t index) { return "~" + std::to_string(index); }

template <class Id>
void scalar(std::ostream& out, const Id& id, bool value) {
    out << (value ? '1' : '0') << id << '\n';
}

template <class Id>
void vector(std::ostream& out, const Id& id, std::uint64_t value, int width) {
    // Leading zeros dropped, as the format allows: the viewer pads with 0.
    int top = width - 1;
    while (top > 0 && ((value >> top) & 1u) == 0) --top;
    out << 'b';
    for (int bit = top; bit >= 0; --bit) out << (((value >> bit) & 1u) ? '1' : '0');
    out << ' ' << id << '\n';
}

// The program's path as comment text: a comment ends at the first "$end",
// so '$' is written %24 (and '%' %25, so that the path can be read back),
// and control characters such as a newline likewise.
std::string commentText(const std::string& text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '$' || c == '%' || byte < 0x20 || byte == 0x7F) {
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

Signals readSignals(const Computer& computer, const std::vector<NamedSignal>& probes) {
    static const NamedSignal write = *findNamedSignal("controlPanel.write");
    static const NamedSignal dataIn = *findNamedSignal("controlPanel.dataIn");
    static const NamedSignal dataOut = *findNamedSignal("controlPanel.dataOut");
    Signals now{readLamps(computer),
                write.read(computer) != 0,
                static_cast<unsigned>(dataIn.read(computer)),
                static_cast<unsigned>(dataOut.read(computer)),
                {}};
    now.probes.reserve(probes.size());
    for (const NamedSignal& probe : probes) now.probes.push_back(probe.read(computer));
    return now;
}

VcdWriter::VcdWriter(std::ostream& out, std::string program, std::vector<NamedSignal> probes)
    : out_(out), program_(std::move(program)), probes_(std::move(probes)) {}

void VcdWriter::begin(const Signals& initial) {
    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    out_ << "$date " << date << " $end\n"
         << "$version tarnwick-run " TARNWICK_VERSION " $end\n"
         << "$comment program " << commentText(program_) << "; one timestep per machine cycle $end\n"
         << "$timescale 1 ms $end\n"
         << "$scope module tarnwick $end\n"
         << "$var wire 1 " << clockId << " clock $end\n";
    for (int k = 0; k < 4; ++k) out_ << "$var wire 1 " << phaseIds[k] << " phase" << k << " $end\n";
    out_ << "$var wire 16 " << addressId << " address [15:0] $end\n"
         << "$var wire 8 " << codeId << " code [7:0] $end\n"
         << "$var wire 16 " << operandId << " operand [15:0] $end\n"
         << "$var wire 8 " << accumulatorId << " accumulator [7:0] $end\n"
         << "$var wire 1 " << zeroId << " zero $end\n"
         << "$var wire 1 " << carryId << " carry $end\n"
         << "$var wire 1 " << writeId << " write $end\n"
         << "$var wire 8 " << dataInId << " dataIn [7:0] $end\n"
         << "$var wire 8 " << dataOutId << " dataOut [7:0] $end\n";
    writeProbeScopes();
    out_ << "$upscope $end\n"
         << "$enddefinitions $end\n"
         << "#0\n"
         << "$dumpvars\n";
    writeChanges(initial, true);
    out_ << "$end\n";
    last_ = initial;
    begun_ = true;
}

void VcdWriter::cycle(std::uint64_t number, const Signals& now) {
    if (now == last_) return;
    out_ << '#' << number << '\n';
    writeChanges(now, false);
    last_ = now;
    lastTime_ = number;
}

void VcdWriter::finish(std::uint64_t lastCycle) {
    if (lastCycle > lastTime_) out_ << '#' << lastCycle << '\n';
}

void VcdWriter::writeChanges(const Signals& now, bool all) {
    const LampReading& l = now.lamps;
    const LampReading& was = last_.lamps;
    if (all || l.clock != was.clock) scalar(out_, clockId, l.clock);
    for (int k = 0; k < 4; ++k) {
        const bool on = (l.phaseMask >> k) & 1u;
        if (all || on != (((was.phaseMask >> k) & 1u) != 0)) scalar(out_, phaseIds[k], on);
    }
    if (all || l.address != was.address) vector(out_, addressId, l.address, 16);
    if (all || l.code != was.code) vector(out_, codeId, l.code, 8);
    if (all || l.operand != was.operand) vector(out_, operandId, l.operand, 16);
    if (all || l.accumulator != was.accumulator) vector(out_, accumulatorId, l.accumulator, 8);
    if (all || l.zero != was.zero) scalar(out_, zeroId, l.zero);
    if (all || l.carry != was.carry) scalar(out_, carryId, l.carry);
    if (all || now.write != last_.write) scalar(out_, writeId, now.write);
    if (all || now.dataIn != last_.dataIn) vector(out_, dataInId, now.dataIn, 8);
    if (all || now.dataOut != last_.dataOut) vector(out_, dataOutId, now.dataOut, 8);
    for (std::size_t i = 0; i < probes_.size() && i < now.probes.size(); ++i) {
        if (!all && i < last_.probes.size() && now.probes[i] == last_.probes[i]) continue;
        if (probes_[i].width == 0) {
            scalar(out_, probeId(i), now.probes[i] != 0);
        } else {
            vector(out_, probeId(i), now.probes[i], probes_[i].width);
        }
    }
}

void VcdWriter::writeProbeScopes() { writeVcdScopes(out_, probes_, probeId); }

}  // namespace tarnwick::run
