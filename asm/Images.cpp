#include "asm/Images.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <span>

namespace tarnwick::assembler {

namespace {

bool hasExtension(const std::string& path, std::string_view wanted) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == wanted;
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

constexpr const char* memoryImageAdvice =
    ": is a memory image, not an assembler source (to read its program, use tarnwick-asm --disassemble)";

ImageResult refused(std::string message) {
    ImageResult result;
    result.errors.push_back(std::move(message));
    result.errorCount = 1;
    return result;
}

}  // namespace

bool isAssemblerSource(const std::string& path) { return hasExtension(path, ".asm"); }

AssembledSource assembleSource(std::string_view text, std::string_view name, std::size_t errorLimit) {
    AssembledSource result;
    // Text never holds a zero byte; a memory image always does (the high
    // bytes of its header), and so does almost any other binary file.
    if (text.find('\0') != std::string_view::npos) {
        // A header whose first address is above its last is valid but too
        // weak a sign: most binaries would pass.
        // The .RAM name counts only for a file the memory file format
        // accepts: a damaged one is not an image to disassemble.
        const MemoryFileResult parsed = parseMemoryFile(asBytes(text));
        const bool image = parsed && (!parsed.image->empty() || hasExtension(std::string(name), ".ram"));
        static_cast<ImageResult&>(result) = refused(
            std::string(name) + (image ? memoryImageAdvice : ": is a binary file, not an assembler source"));
        result.binary = true;
        return result;
    }
    result.program = assemble(text, errorLimit);
    const Program& program = result.program;
    result.errorCount = program.errorCount;
    result.sourceErrors = !program.ok();
    for (const Diagnostic& diagnostic : program.errors)
        result.errors.push_back(formatDiagnostic(name, diagnostic));
    if (program.ok()) {
        MemoryImage image;
        image.first = program.first;
        image.last = program.last;
        image.bytes.assign(program.memory.begin() + program.first, program.memory.begin() + program.last + 1);
        result.image = std::move(image);
        result.source = std::make_shared<const ProgramText>(programText(program, text));
        result.labels = program.labels;
    }
    return result;
}

InputResult readSource(const std::string& path) {
    InputResult input = readInput(path, largestSource, Excess::refused, "an assembler source");
    // A memory image too large for a source is still named as an image:
    // its first bytes decide, as they do for a smaller one. Not for a .asm
    // name: any file of zeros parses as an image of one byte.
    std::error_code error;
    if (!input && !isAssemblerSource(path) && std::filesystem::is_regular_file(path, error) &&
        std::filesystem::file_size(path, error) > largestSource && !error) {
        const MemoryFileResult parsed = readMemoryFile(path);
        if (parsed && !parsed.image->empty()) input.error = path + memoryImageAdvice;
    }
    return input;
}

ImageResult readImage(const std::string& path, std::size_t errorLimit) {
    if (isAssemblerSource(path)) {
        const InputResult input = readSource(path);
        if (!input) return refused(input.error);
        const auto& bytes = *input.bytes;
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return assembleSource(text, path, errorLimit);
    }
    MemoryFileResult file = readMemoryFile(path);
    if (!file) return refused(std::move(file.error));
    ImageResult result;
    result.image = std::move(file.image);
    result.warning = std::move(file.warning);
    return result;
}

}  // namespace tarnwick::assembler
