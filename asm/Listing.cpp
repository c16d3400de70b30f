#include <cstdio>

#include "asm/Assembler.h"

namespace tarnwick::assembler {

namespace {

constexpr std::size_t bytesPerRow = 4;

std::string expandTabs(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\t') {
            do out.push_back(' ');
            while (out.size() % 8 != 0);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Up to bytesPerRow bytes from `from` on, in hexadecimal.
std::string byteText(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < bytes.size() && i < from + bytesPerRow; ++i) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X", bytes[i]);
        if (!text.empty()) text += ' ';
        text += buffer;
    }
    return text;
}

std::string row(const std::string& address, const std::string& byteText, const std::string& line,
                std::string_view text) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%-6s %-11s %5s", address.c_str(), byteText.c_str(), line.c_str());
    std::string out = prefix;
    if (!text.empty()) out += "  " + expandTabs(text);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out + "\n";
}

std::string hexAddress(std::int64_t address) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%04llX", static_cast<unsigned long long>(address));
    return buffer;
}

std::string constantText(std::int64_t value) {
    std::string text(1, '=');  // appended, not "=" + ...: see describe()
    text += (value >= 0 && value <= 0xFFFF) ? hexAddress(value) : std::to_string(value);
    return text;
}

}  // namespace

std::string listing(const Program& program, std::string_view source) {
    source = withoutByteOrderMark(source);
    std::string out = row("Addr", "Bytes", "Line", "Source");
    std::size_t start = 0;
    for (std::size_t index = 0; index < program.lines.size(); ++index) {
        std::size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        std::string_view text =
            start < source.size() ? source.substr(start, end - start) : std::string_view{};
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        start = end + 1;

        const ListedLine& line = program.lines[index];
        std::string address;
        if (line.constant) {
            address = constantText(*line.constant);
        } else if (line.address) {
            address = hexAddress(*line.address);
        }
        out += row(address, byteText(line.bytes, 0), std::to_string(index + 1), text);
        for (std::size_t from = bytesPerRow; from < line.bytes.size(); from += bytesPerRow) {
            out += row(hexAddress(*line.address + static_cast<std::int64_t>(from)),
                       byteText(line.bytes, from), "", {});
        }
    }
    return out;
}

}  // namespace tarnwick::assembler
