#include "tools/asm/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "TarnwickVersion.h"
#include "asm/Assembler.h"
#include "asm/Disassembler.h"
#include "asm/Images.h"
#include "memory/MemoryFile.h"
#include "memory/OutputFile.h"

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
    "no file is written or changed and the exit status is 2, but for two cases:\n"
    "a rename that fails after others (below), and a standard output that\n"
    "cannot take the closing \"wrote IMAGE\" line, which comes once the files\n"
    "are in place; that too is status 2, and the message says IMAGE was written.\n"
    "\n"
    "Files are replaced whole: each output is written beside its target under a\n"
    "temporary name, synced to disk, and renamed over it only once every output\n"
    "is ready; the old file's permissions are kept. A link is followed; a file\n"
    "with other hard links is replaced, and its other names keep the old\n"
    "contents. Pipes, devices and the standard streams are written in place\n"
    "after the files are ready and before they are renamed. If a rename fails,\n"
    "the outputs renamed before it stay replaced and the message says which\n"
    "failed.\n"
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

// One file to write: a file on disk, or standard output or error named as
// /dev/stdout or /dev/stderr, which go to the streams already open (opening
// the name again would start writing at the beginning of a redirected file).
struct Output {
    std::string name;
    std::string contents;
    std::ostream* stream = nullptr;
    std::unique_ptr<OutputFile> file;
};

std::ostream* standardStream(const std::string& name, std::ostream& out, std::ostream& err) {
    switch (standardStreamNumber(name)) {
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

// The message for a stream that would not take what was written to it;
// errno says why when the stream is a file's.
std::string streamFailure(const char* stream) {
    std::string message = std::string("cannot write to ") + stream;
    if (errno != 0) message += std::string(": ") + std::strerror(errno);
    return message;
}

// Every output ready before any target changes: the files to replace are
// written and synced under their temporary names, then the streams, pipes
// and devices (which cannot be taken back) are written, and only then are
// the files renamed into place. Returns the message for the first output
// that failed.
std::optional<std::string> writeOutputs(std::vector<Output>& outputs, std::ostream& out, std::ostream& err) {
    auto failed = [](const Output& output, const std::string& problem) {
        return "cannot write '" + output.name + "': " + problem;
    };
    for (Output& output : outputs) {
        output.stream = standardStream(output.name, out, err);
        if (output.stream) continue;
        output.file = std::make_unique<OutputFile>(output.name);
        if (output.file->inPlace()) continue;
        std::optional<std::string> problem = output.file->write(output.contents);
        if (!problem) problem = output.file->finish();
        if (problem) return failed(output, *problem);
    }
    for (Output& output : outputs) {
        if (output.stream) {
            errno = 0;
            *output.stream << output.contents << std::flush;
            if (!*output.stream)
                return streamFailure(output.stream == &out ? "standard output" : "standard error");
        } else if (output.file->inPlace()) {
            std::optional<std::string> problem = output.file->write(output.contents);
            if (!problem) problem = output.file->finish();
            if (problem) return failed(output, *problem);
        }
    }
    for (Output& output : outputs) {
        if (output.file && !output.file->inPlace()) {
            if (std::optional<std::string> problem = output.file->commit()) return failed(output, *problem);
        }
    }
    return std::nullopt;
}

// An output that names a regular file standard output or error already
// writes to: replacing it would send the stream into a file no longer there.
std::optional<std::string> conflictWithStreams(const std::string& name, std::ostream& out,
                                               std::ostream& err) {
    if (name.empty() || standardStream(name, out, err)) return std::nullopt;
    switch (standardStreamFile(name)) {
        case 1:
            return "'" + name + "' is the file standard output goes to; name it /dev/stdout to write there";
        case 2:
            return "'" + name + "' is the file standard error goes to; name it /dev/stderr to write there";
        default:
            return std::nullopt;
    }
}

int disassembleImage(const Options& options, std::ostream& out, std::ostream& err) {
    auto refuse = [&err](const std::string& message) {
        err << "tarnwick-asm: " << message << "\n";
        return exitFailure;
    };
    if (!options.image.empty() && sameFile(options.image, options.source))
        return refuse("the source '" + options.image +
                      "' would overwrite the image; choose another name with -o");
    if (std::optional<std::string> conflict = conflictWithStreams(options.image, out, err))
        return refuse(*conflict);

    // Read as a memory file, so only its first 65544 bytes count.
    tarnwick::MemoryFileResult parsed = tarnwick::readMemoryFile(options.source);
    if (!parsed) return refuse(parsed.error);
    if (parsed.warning) return refuse(*parsed.warning + ", so there is nothing to disassemble");
    const tarnwick::MemoryImage& image = *parsed.image;

    std::vector<Output> outputs(1);
    outputs[0].name = options.image.empty() ? "/dev/stdout" : options.image;
    outputs[0].contents = disassemble(static_cast<std::uint16_t>(image.first), image.bytes,
                                      fs::path(options.source).filename().string());
    if (std::optional<std::string> problem = writeOutputs(outputs, out, err)) return refuse(*problem);
    return exitSuccess;
}

int runOptions(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
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
    const InputResult input = readSource(options.source);
    if (!input) return refuse(input.error);
    const std::string source(input.bytes->begin(), input.bytes->end());
    AssembledSource assembled = assembleSource(source, options.source);
    if (assembled.binary) return refuse(assembled.errors.front());

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
    for (const std::string* name : {&options.image, &options.listing})
        if (std::optional<std::string> conflict = conflictWithStreams(*name, out, err))
            return refuse(*conflict);

    if (!assembled.image) {
        for (const std::string& message : assembled.errors) err << message << "\n";
        const std::size_t count = assembled.errorCount;
        err << "tarnwick-asm: " << count << (count == 1 ? " error" : " errors");
        if (count > assembled.errors.size()) err << " (the first " << assembled.errors.size() << " listed)";
        err << "; nothing written\n";
        return exitFailure;
    }
    const Program& program = assembled.program;

    std::vector<std::uint8_t> image = memoryFile(program);
    std::vector<Output> outputs(options.listing.empty() ? 1 : 2);
    outputs[0].name = options.image;
    outputs[0].contents.assign(image.begin(), image.end());
    if (!options.listing.empty()) {
        outputs[1].name = options.listing;
        outputs[1].contents = listing(program, source);
    }
    if (std::optional<std::string> problem = writeOutputs(outputs, out, err)) return refuse(*problem);
    bool toStandardOutput = false;
    for (const Output& output : outputs) toStandardOutput = toStandardOutput || output.stream == &out;
    if (!toStandardOutput) {
        errno = 0;
        out << "tarnwick-asm: wrote " << options.image << " (addresses " << hex4(program.first) << " to "
            << hex4(program.last) << ")\n"
            << std::flush;
        // Still an error, but the files are in place: the message says so.
        if (!out) return refuse("wrote " + options.image + ", but " + streamFailure("standard output"));
    }
    return exitSuccess;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    errno = 0;
    const int status = runOptions(arguments, out, err);
    // What went to standard output counts only once it is out: a full disk
    // behind a redirection is an error, not an empty success.
    out.flush();
    if (!out && status == exitSuccess) {
        err << "tarnwick-asm: " << streamFailure("standard output") << "\n";
        return exitFailure;
    }
    return status;
}

}  // namespace tarnwick::assembler
