#include "asm/ProgramText.h"

#include "asm/Disassembler.h"
#include "asm/InstructionSet.h"

namespace tarnwick::assembler {

std::optional<std::size_t> ProgramText::lineOf(std::uint16_t address) const {
    std::optional<std::size_t> labelled;
    for (std::size_t i = lines.size(); i-- > 0;) {
        const Line& line = lines[i];
        if (!line.address) continue;
        const std::uint32_t start = *line.address;
        if (line.size > 0 && address >= start && address < start + line.size) return i;
        if (line.size == 0 && start == address) labelled = i;
    }
    return labelled;
}

std::optional<std::uint16_t> ProgramText::labelAddress(std::string_view name) const {
    for (const auto& [label, address] : labels)
        if (label == name) return address;
    for (const auto& [label, address] : labels)
        if (equalsIgnoringCase(label, name)) return address;
    return std::nullopt;
}

ProgramText programText(const Program& program, std::string_view source) {
    ProgramText text;
    source = withoutByteOrderMark(source);
    std::size_t index = 0;
    while (!source.empty() || index < program.lines.size()) {
        const std::size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source = end == std::string_view::npos ? std::string_view{} : source.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ProgramText::Line out{std::string(line), std::nullopt, 0};
        if (index < program.lines.size()) {
            const ListedLine& listed = program.lines[index];
            if (listed.address && *listed.address >= 0 && *listed.address < std::int64_t{memorySize}) {
                out.address = static_cast<std::uint16_t>(*listed.address);
                out.size = listed.bytes.size();
            }
        }
        text.lines.push_back(std::move(out));
        ++index;
        if (source.empty() && index >= program.lines.size()) break;
    }
    text.labels.assign(program.labels.begin(), program.labels.end());
    return text;
}

ProgramText disassembledText(std::uint16_t first, std::span<const std::uint8_t> bytes) {
    const std::string source = disassemble(first, bytes, "memory");
    return programText(assemble(source), source);
}

}  // namespace tarnwick::assembler
