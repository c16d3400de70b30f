#include "tools/asm/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "TarnwickVersion.h"
#include "memory/MemoryFile.h"
#include "tools/asm/Assembler.h"
#include "tools/asm/Disassembler.h"
#include "tools/common/OutputFile.h"

namespace tarnwick::assembler {

namespace {

namespace fs = std::filesystem;

constexpr const char* usage =
    "Usage: tarnwick-asm [-o IMAGE] [-l LISTING] SOURCE\n"
    "       tarnwick-asm --disassemble IMAGE [-o SOURCE]\n";

constexpr const char* help =
    "Assembles SOURCE into a memory image for the Tarnwick relay computer.\n"
    "\n"
    "  -o IMAGE     write the memory image to IMAGE\n"
    "               (default: SOURCE with its extension changed to .RAM)\n"
    "  -l LISTING   also write a listing: address, bytes and source line\n"
    "  --disassemble\n"
    "               read IMAGE, a memory file, and print a source that\n"
    "               assembles back into the same image (with -o SOURCE,\n"
    "               write it to SOURCE instead)\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Errors are reported as file:line:column: message. If there is any error,\n"
    "no file is written or changed and the exit status is 2.\n"
    "The language is described in docs/assembler.md and tarnwick-asm(1).\n";

struct Options {
    std::string source;
    std::string image;
    std::string listing;
    bool help = false;
    bool version = false;
    bool disassemble = false;
};

struct UsageError {
    std::string message;
};

std::optional<UsageError> parseArguments(const std::vector<std::string>& arguments, Options& options) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && (argument == "-o" || argument == "-l")) {
            std::string& target = argument == "-o" ? options.image : options.listing;
            if (i + 1 >= arguments.size() || arguments[i + 1].empty())
                return UsageError{"option " + argument + " needs a file name"};
            if (!target.empty()) return UsageError{"option " + argument + " given more than once"};
            target = arguments[++i];
        } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
            options.help = true;
        } else if (!optionsEnded && argument == "--version") {
            options.version = true;
        } else if (!optionsEnded && argument == "--disassemble") {
            options.disassemble = true;
        } else if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            return UsageError{"unknown option '" + argument + "'"};
        } else if (argument.empty()) {
            return UsageError{"empty source file name"};
        } else if (!options.source.empty()) {
            return UsageError{"more than one source file ('" + options.source + "' and '" + argument + "')"};
        } else {
            options.source = argument;
        }
    }
    if (options.help || options.version) return std::nullopt;
    if (options.disassemble) {
        if (!options.listing.empty()) return UsageError{"option -l cannot be used with --disassemble"};
        if (options.source.empty()) return UsageError{"no memory image given to disassemble"};
    }
    if (options.source.empty()) return UsageError{"no source file given"};
    return std::nullopt;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    fs::path first = fs::weakly_canonical(a, error);
    if (error) return false;
    fs::path second = fs::weakly_canonical(b, error);
    return !error && first == second;
}

std::string systemError(int number) { return std::strerror(number); }

// Far more than any program for 64 KB of memory; keeps a mistaken argument
// such as /dev/zero from reading for ever.
constexpr std::size_t largestSource = 16 * 1024 * 1024;

std::optional<std::string> readFile(const std::string& path, std::string& error) {
    std::error_code code;
    if (fs::is_directory(path, code)) {
        error = "is a directory";
        return std::nullopt;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = systemError(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    std::size_t count;
    while (text.size() <= largestSource && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, count);
    bool failed = std::ferror(file) != 0;
    int number = errno;
    std::fclose(file);
    if (failed) {
        error = systemError(number);
        return std::nullopt;
    }
    if (text.size() > largestSource) {
        error = "larger than 16 MiB, too large to be a source";
        return std::nullopt;
    }
    return text;
}

// One file to write: a file on disk, or standard output or error named as
// /dev/stdout or /dev/stderr, which go to the streams already open (opening
// the name again would start writing at the beginning of a redirected file).
struct Output {
    std::string name;
    std::string contents;
    std::ostream* stream = nullptr;
    std::unique_ptr<tools::OutputFile> file;
};

std::ostream* standardStream(const std::string& name, std::ostream& out, std::ostream& err) {
    switch (tools::standardStreamNumber(name)) {
        case 1:
            return &out;
        case 2:
            return &err;
        default:
            return nullptr;
    }
}

std::string hex4(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04Xh", value);
    return buffer;
}

// Writes every output under a temporary name first; only then does any
// target change. Returns the message for the first output that failed.
std::optional<std::string> writeOutputs(std::vector<Output>& outputs, std::ostream& out, std::ostream& err) {
    for (Output& output : outputs) {
        output.stream = standardStream(output.name, out, err);
        if (output.stream) continue;
        output.file = std::make_unique<tools::OutputFile>(output.name);
        if (std::optional<std::string> problem = output.file->write(output.contents))
            return "cannot write '" + output.name + "': " + *problem;
    }
    for (Output& output : outputs) {
        if (output.stream) {
            *output.stream << output.contents << std::flush;
        } else if (std::optional<std::string> problem = output.file->commit()) {
            return "cannot write '" + output.name + "': " + *problem;
        }
    }
    return std::nullopt;
}

// Text never holds a zero byte; a memory image always does (the high bytes
// of its header), and so does almost any other binary file.
bool isBinary(std::string_view contents) { return contents.find('\0') != std::string_view::npos; }

// A memory file's header is two big-endian numbers, so one that starts with
// printable text is almost certainly something else.
bool startsWithText(std::string_view contents) {
    contents = withoutByteOrderMark(contents);
    if (contents.size() < 8) return false;
    for (char c : contents.substr(0, 8)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (byte == 0x7F) return false;
    }
    return true;
}

bool hasExtensionRAM(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    return extension.size() == 4 && (extension[1] | 0x20) == 'r' && (extension[2] | 0x20) == 'a' &&
           (extension[3] | 0x20) == 'm';
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

int disassembleImage(const Options& options, std::ostream& out, std::ostream& err) {
    auto refuse = [&err](const std::string& message) {
        err << "tarnwick-asm: " << message << "\n";
        return exitFailure;
    };
    if (!options.image.empty() && sameFile(options.image, options.source))
        return refuse("the source '" + options.image +
                      "' would overwrite the image; choose another name with -o");

    std::string readError;
    std::optional<std::string> contents = readFile(options.source, readError);
    if (!contents) return refuse("cannot read '" + options.source + "': " + readError);
    if (startsWithText(*contents)) {
        return refuse("'" + options.source +
                      "' is not a memory file (it starts with text; is it an assembler source? "
                      "assemble it without --disassemble)");
    }
    tarnwick::MemoryFileResult parsed = tarnwick::parseMemoryFile(asBytes(*contents));
    if (!parsed) return refuse("'" + options.source + "' is not a memory file: " + parsed.error);
    const tarnwick::MemoryImage& image = *parsed.image;
    if (image.bytes.empty()) {
        return refuse("'" + options.source + "' loads nothing: its first address " +
                      std::to_string(image.first) + " is above its last address " +
                      std::to_string(image.last) + ", so there is nothing to disassemble");
    }

    std::vector<Output> outputs(1);
    outputs[0].name = options.image.empty() ? "/dev/stdout" : options.image;
    outputs[0].contents = disassemble(static_cast<std::uint16_t>(image.first), image.bytes,
                                      fs::path(options.source).filename().string());
    if (std::optional<std::string> problem = writeOutputs(outputs, out, err)) return refuse(*problem);
    return exitSuccess;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    Options options;
    if (std::optional<UsageError> problem = parseArguments(arguments, options)) {
        err << "tarnwick-asm: " << problem->message << "\n" << usage << "Try 'tarnwick-asm --help'.\n";
        return exitFailure;
    }
    if (options.help) {
        out << usage << "\n" << help;
        return exitSuccess;
    }
    if (options.version) {
        out << "tarnwick-asm " << version << "\n";
        return exitSuccess;
    }
    if (options.disassemble) return disassembleImage(options, out, err);

    auto refuse = [&err](const std::string& message) {
        err << "tarnwick-asm: " << message << "\n";
        return exitFailure;
    };
    // Read first: a memory image given by mistake deserves that answer
    // rather than a warning about overwriting it.
    std::string readError;
    std::optional<std::string> source = readFile(options.source, readError);
    if (!source) return refuse("cannot read '" + options.source + "': " + readError);
    if (isBinary(*source)) {
        // A header whose first address is above its last is valid but too
        // weak a sign: most binaries would pass.
        tarnwick::MemoryFileResult parsed = tarnwick::parseMemoryFile(asBytes(*source));
        if (hasExtensionRAM(options.source) || (parsed && !parsed.image->bytes.empty()))
            return refuse("'" + options.source +
                          "' is a memory image, not an assembler source (to read its program, "
                          "use tarnwick-asm --disassemble)");
        return refuse("'" + options.source + "' is a binary file, not an assembler source");
    }

    if (options.image.empty()) options.image = fs::path(options.source).replace_extension(".RAM").string();
    if (sameFile(options.image, options.source))
        return refuse("the image '" + options.image +
                      "' would overwrite the source; choose another name with -o");
    if (!options.listing.empty() && sameFile(options.listing, options.source))
        return refuse("the listing '" + options.listing + "' would overwrite the source");
    // Standard output and error may be one file (2>&1); each is written
    // through its own open stream, so they do not overwrite each other.
    bool bothStandard = standardStream(options.listing, out, err) && standardStream(options.image, out, err);
    if (!options.listing.empty() && !bothStandard && sameFile(options.listing, options.image))
        return refuse("the listing and the image are the same file '" + options.listing + "'");

    Program program = assemble(*source);
    if (!program.ok()) {
        for (const Diagnostic& diagnostic : program.errors)
            err << formatDiagnostic(options.source, diagnostic) << "\n";
        std::size_t count = program.errors.size();
        err << "tarnwick-asm: " << count << (count == 1 ? " error" : " errors") << "; nothing written\n";
        return exitFailure;
    }

    std::vector<std::uint8_t> image = memoryFile(program);
    std::vector<Output> outputs(options.listing.empty() ? 1 : 2);
    outputs[0].name = options.image;
    outputs[0].contents.assign(image.begin(), image.end());
    if (!options.listing.empty()) {
        outputs[1].name = options.listing;
        outputs[1].contents = listing(program, *source);
    }
    if (std::optional<std::string> problem = writeOutputs(outputs, out, err)) return refuse(*problem);
    bool toStandardOutput = false;
    for (const Output& output : outputs) toStandardOutput = toStandardOutput || output.stream == &out;
    if (!toStandardOutput) {
        out << "tarnwick-asm: wrote " << options.image << " (addresses " << hex4(program.first) << " to "
            << hex4(program.last) << ")\n";
    }
    return exitSuccess;
}

}  // namespace tarnwick::assembler
