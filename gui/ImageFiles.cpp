#include "gui/ImageFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "asm/Assembler.h"

namespace tarnwick {

namespace {

// Far beyond any source that fits in 64 KB of memory; keeps a wrongly chosen
// huge file from being read whole.
constexpr std::uintmax_t largestSource = 16 * 1024 * 1024;

MemoryFileResult refuse(std::string message) { return MemoryFileResult{std::nullopt, std::move(message)}; }

}  // namespace

bool isAssemblerSource(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".asm";
}

MemoryFileResult readImageFile(const std::string& path) {
    if (!isAssemblerSource(path)) return readMemoryFile(path);

    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return refuse(path + ": not a readable file");
    if (std::filesystem::file_size(path, error) > largestSource)
        return refuse(path + ": too large for an assembler source");
    std::ifstream in(path, std::ios::binary);
    if (!in) return refuse(path + ": cannot be opened");
    const std::string source{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return refuse(path + ": read error");

    const assembler::Program program = assembler::assemble(source);
    if (!program.ok()) {
        std::string message;
        for (const assembler::Diagnostic& diagnostic : program.errors) {
            if (!message.empty()) message += '\n';
            message += assembler::formatDiagnostic(path, diagnostic);
        }
        return refuse(std::move(message));
    }
    MemoryImage image;
    image.first = program.first;
    image.last = program.last;
    image.bytes.assign(program.memory.begin() + program.first, program.memory.begin() + program.last + 1);
    return MemoryFileResult{std::move(image), {}};
}

}  // namespace tarnwick
