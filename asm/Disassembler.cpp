#include "asm/Disassembler.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "asm/InstructionSet.h"

namespace tarnwick::assembler {

namespace {

// A number in a statement, as the assembler reads it back: a number must
// start with a digit (0FFh).
std::string hexNumber(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*Xh", digits, value);
    std::string text = buffer;
    if (text[0] >= 'A' && text[0] <= 'F') text.insert(text.begin(), '0');
    return text;
}

std::string hexByte(std::uint8_t value) { return hexNumber(value, 2); }
std::string hexAddress(unsigned value) { return hexNumber(value, 4); }

// An address in a comment, as the assembler's own messages write it (FFFFh).
std::string addressInComment(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04Xh", value);
    return buffer;
}

// Printable bytes that a DB string can hold as they are; '"' and '\\' go in
// escaped.
bool isPrintable(std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

std::string lowercase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

const Instruction* instructionFor(std::uint8_t code) {
    for (const Instruction& instruction : instructionSet) {
        if (instruction.code == code) return &instruction;
    }
    return nullptr;
}

// Codes without a mnemonic still run, as three-byte no-operations.
int sizeOf(std::uint8_t code) {
    const Instruction* instruction = instructionFor(code);
    return instruction ? instruction->size : 3;
}

bool isJump(std::uint8_t code) { return code >= 0x30 && code <= 0x34; }
bool usesData(std::uint8_t code) {
    return code == 0x10 || code == 0x11 || (code >= 0x20 && code <= 0x23) || (code >= 0x40 && code <= 0x42);
}

// L0012 or D0020: a letter and four digits, so never a mnemonic, a
// directive or a number.
std::string labelName(int address, bool code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%c%04X", code ? 'L' : 'D', static_cast<unsigned>(address));
    return buffer;
}

constexpr int noUnit = -1;
// Bytes per DB line, and the shortest run of zeros skipped with ORG.
constexpr int bytesPerLine = 8;
constexpr int shortestSkippedGap = 16;
// Printable runs at least this long are written as strings, at most
// charactersPerString to a line.
constexpr int shortestString = 4;
constexpr int charactersPerString = 32;

class Disassembly {
public:
    Disassembly(std::uint16_t first, std::span<const std::uint8_t> bytes)
        : first_(first),
          last_(first + static_cast<int>(bytes.size()) - 1),
          bytes_(bytes),
          unitAt_(0x10000, noUnit) {}

    std::string run(std::string_view name) {
        trace();
        nameAddresses();
        return write(name);
    }

private:
    bool inImage(int address) const { return address >= first_ && address <= last_; }
    std::uint8_t at(int address) const { return bytes_[static_cast<std::size_t>(address - first_)]; }
    int operandOf(int start) const { return (at(start + 1) << 8) | at(start + 2); }
    bool isUnitStart(int address) const { return unitAt_[static_cast<std::size_t>(address)] == address; }
    int unitOf(int address) const { return unitAt_[static_cast<std::size_t>(address)]; }

    // Follows the program from where the machine starts. Below `first` the
    // memory holds zeros after Power on, which run as three-byte no-ops, so
    // an image placed higher is entered at the first multiple of 3 in it.
    void trace() {
        std::set<int> pending;
        int entry = (first_ + 2) / 3 * 3;
        if (inImage(entry)) pending.insert(entry);
        while (!pending.empty()) {
            int address = *pending.begin();
            pending.erase(pending.begin());
            while (inImage(address)) {
                std::uint8_t code = at(address);
                int size = sizeOf(code);
                // An instruction cut off by the end of the image, or one that
                // shares bytes with another, stays DB.
                if (address + size - 1 > last_) break;
                bool free = true;
                for (int i = 0; i < size; ++i) free = free && unitOf(address + i) == noUnit;
                if (!free) break;
                for (int i = 0; i < size; ++i) unitAt_[static_cast<std::size_t>(address + i)] = address;
                starts_.push_back(address);
                if (code == 0xFF) break;
                if (isJump(code)) {
                    int target = operandOf(address);
                    jumpTargets_.insert(target);
                    if (inImage(target) && unitOf(target) == noUnit) pending.insert(target);
                    if (code == 0x30) break;
                }
                address += size;
            }
        }
    }

    // Every address an instruction names inside the image gets a label; an
    // address inside another instruction is named from that one's label.
    // The label says what is there, whoever names it: Lxxxx where an
    // instruction starts (also when a store rewrites it), Dxxxx elsewhere.
    void nameAddresses() {
        for (int start : starts_) {
            std::uint8_t code = at(start);
            if (!isJump(code) && !usesData(code)) continue;
            int target = operandOf(start);
            if (!inImage(target)) continue;
            int owner = unitOf(target) == noUnit ? target : unitOf(target);
            if (labels_.count(owner) == 0) labels_[owner] = labelName(owner, isUnitStart(owner));
        }
    }

    std::string operandText(int start) const {
        int target = operandOf(start);
        if (!inImage(target)) return hexAddress(static_cast<unsigned>(target));
        int owner = unitOf(target) == noUnit ? target : unitOf(target);
        std::string text = labels_.at(owner);
        if (target != owner) text += " + " + std::to_string(target - owner);
        return text;
    }

    void line(std::string& out, int address, const std::string& statement, const std::string& comment) {
        auto label = labels_.find(address);
        std::string text = label == labels_.end() ? "" : label->second + ":";
        text.resize(std::max<std::size_t>(text.size() + 1, 8), ' ');
        text += statement;
        if (!comment.empty()) {
            text.resize(std::max<std::size_t>(text.size() + 1, 32), ' ');
            text += "; " + comment;
        }
        out += text + "\n";
    }

    void writeUnit(std::string& out, int start) {
        std::uint8_t code = at(start);
        const Instruction* instruction = instructionFor(code);
        std::string bytesText;
        int size = sizeOf(code);
        for (int i = 0; i < size; ++i) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, i ? " %02X" : "%02X", at(start + i));
            bytesText += buffer;
        }
        std::string comment = addressInComment(static_cast<unsigned>(start)) + ": " + bytesText;
        if (!instruction) {
            line(out, start,
                 "db " + hexByte(code) + ", " + hexByte(at(start + 1)) + ", " + hexByte(at(start + 2)),
                 comment + " (no mnemonic: a three-byte no-op)");
        } else if (instruction->size == 1) {
            line(out, start, lowercase(instruction->mnemonic), comment);
        } else {
            line(out, start, lowercase(instruction->mnemonic) + " " + operandText(start), comment);
        }
    }

    // Zeros not reached as code and named by no label, strictly inside the
    // image: the assembler fills such a gap by itself.
    int zeroRun(int address) const {
        if (address == first_ || labels_.count(address) != 0) return 0;
        int end = address;
        while (end <= last_ && unitOf(end) == noUnit && at(end) == 0 &&
               (end == address || labels_.count(end) == 0))
            ++end;
        return end > last_ ? 0 : end - address;
    }

    // Bytes from `address` that may share one DB line: not code, no label
    // after the first.
    bool freeData(int address, int start) const {
        return address <= last_ && unitOf(address) == noUnit &&
               (address == start || labels_.count(address) == 0);
    }

    // The printable bytes from `start` that may go into one DB line.
    int printableRun(int start) const {
        int end = start;
        while (freeData(end, start) && isPrintable(at(end))) ++end;
        return end - start;
    }

    // One DB line from `address`: a string of a printable run, or up to
    // bytesPerLine numbers that stop before one.
    int writeData(std::string& out, int address) {
        const int start = address;
        std::string statement = "db ";
        if (int run = printableRun(start); run >= shortestString) {
            statement += '"';
            for (; address < start + std::min(run, charactersPerString); ++address) {
                const char c = static_cast<char>(at(address));
                if (c == '"' || c == '\\') statement += '\\';
                statement += c;
            }
            statement += '"';
        } else {
            do {
                if (address != start) statement += ", ";
                statement += hexByte(at(address));
                ++address;
            } while (address - start < bytesPerLine && freeData(address, start) &&
                     printableRun(address) < shortestString);
        }
        line(out, start, statement, addressInComment(static_cast<unsigned>(start)));
        return address;
    }

    std::string write(std::string_view name) {
        std::string out = "; " + std::string(name) + " disassembled by tarnwick-asm: addresses " +
                          addressInComment(static_cast<unsigned>(first_)) + " to " +
                          addressInComment(static_cast<unsigned>(last_)) +
                          ".\n; Bytes reached as code from 0000h are instructions, the rest DB.\n\n";
        if (first_ != 0) line(out, -1, "org " + hexAddress(static_cast<unsigned>(first_)), "");
        int address = first_;
        while (address <= last_) {
            if (isUnitStart(address)) {
                writeUnit(out, address);
                address += sizeOf(at(address));
                continue;
            }
            int gap = zeroRun(address);
            if (gap >= shortestSkippedGap) {
                address += gap;
                line(out, -1, "org " + hexAddress(static_cast<unsigned>(address)), "");
                continue;
            }
            address = writeData(out, address);
        }
        return out;
    }

    int first_;
    int last_;
    std::span<const std::uint8_t> bytes_;
    std::vector<int> unitAt_;  // per address: the start of the instruction holding it, or noUnit
    std::vector<int> starts_;
    std::set<int> jumpTargets_;
    std::map<int, std::string> labels_;
};

}  // namespace

std::string disassemble(std::uint16_t first, std::span<const std::uint8_t> bytes, std::string_view name) {
    return Disassembly(first, bytes).run(name);
}

}  // namespace tarnwick::assembler
