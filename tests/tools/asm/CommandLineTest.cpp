#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "TarnwickVersion.h"
#include "tests/support/Documented.h"
#include "tests/support/ScratchDirectory.h"
#include "tools/asm/CommandLine.h"

namespace tarnwick::assembler {
namespace {

namespace fs = std::filesystem;

constexpr const char* sumSource =
    "start:  lda a\n"
    "        add b\n"
    "        sta sum\n"
    "        hlt\n"
    "        org 20h\n"
    "a:      db 5Ah\n"
    "b:      db 33h\n"
    "sum:    db 0\n";

// A fresh directory per test, removed afterwards.
class CommandLine : public tarnwick::testing::ScratchDirectoryTest {
protected:
    int run(const std::vector<std::string>& arguments) {
        out.str("");
        err.str("");
        return runCommandLine(arguments, out, err);
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The first line on standard error, without the program's name.
    std::string firstMessage() const {
        std::string text = err.str().substr(0, err.str().find('\n'));
        return text.rfind("tarnwick-asm: ", 0) == 0 ? text.substr(14) : text;
    }

    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CommandLine, WritesTheImageBesideTheSourceWithTheExtensionRAM) {
    write("sum.asm", sumSource);
    ASSERT_EQ(run({path("sum.asm")}), exitSuccess) << err.str();
    std::string image = read("sum.RAM");
    ASSERT_EQ(image.size(), 8u + 0x22 + 1);
    EXPECT_EQ(image.substr(0, 11), std::string("\0\0\0\0\0\0\0\x22\x10\x00\x20", 11));
    EXPECT_EQ(image.substr(8 + 0x20), "\x5A\x33" + std::string(1, '\0'));
    EXPECT_EQ(files(), (std::vector<std::string>{"sum.RAM", "sum.asm"}));
    EXPECT_NE(out.str().find("addresses 0000h to 0022h"), std::string::npos) << out.str();

    write("noextension", "hlt");
    ASSERT_EQ(run({path("noextension")}), exitSuccess) << err.str();
    EXPECT_EQ(read("noextension.RAM"), std::string("\0\0\0\0\0\0\0\0\xFF", 9));
}

TEST_F(CommandLine, OptionsNameTheImageAndTheListing) {
    write("sum.asm", sumSource);
    ASSERT_EQ(run({"-l", path("sum.lst"), path("sum.asm"), "-o", path("out.bin")}), exitSuccess) << err.str();
    EXPECT_EQ(read("out.bin").size(), 8u + 0x22 + 1);
    std::string listing = read("sum.lst");
    EXPECT_NE(listing.find("0000   10 00 20        1  start:  lda a\n"), std::string::npos) << listing;
    EXPECT_EQ(files(), (std::vector<std::string>{"out.bin", "sum.asm", "sum.lst"}));
}

TEST_F(CommandLine, AnErrorWritesNothingAndLeavesOldFilesAlone) {
    write("bad.asm", "  lda 1\n  frob\n  db 300\n");
    write("bad.RAM", "previous image");
    write("bad.lst", "previous listing");
    EXPECT_EQ(run({"-l", path("bad.lst"), path("bad.asm")}), exitFailure);
    std::string file = path("bad.asm");
    EXPECT_EQ(err.str(), file + ":2:3: unknown mnemonic 'frob'\n" + file +
                             ":3:6: value 300 is out of range for a byte (-128 to 255)\n"
                             "tarnwick-asm: 2 errors; nothing written\n");
    EXPECT_EQ(read("bad.RAM"), "previous image");
    EXPECT_EQ(read("bad.lst"), "previous listing");
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.RAM", "bad.asm", "bad.lst"}));
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(documented("2 errors; nothing written"));

    write("fresh.asm", "  jmp nowhere\n");
    EXPECT_EQ(run({path("fresh.asm")}), exitFailure);
    EXPECT_FALSE(fs::exists(path("fresh.RAM")));
}

TEST_F(CommandLine, ASuccessfulRunReplacesAnOldImage) {
    write("p.asm", "hlt\n");
    write("p.RAM", std::string(100, 'x'));
    ASSERT_EQ(run({path("p.asm")}), exitSuccess) << err.str();
    EXPECT_EQ(read("p.RAM"), std::string("\0\0\0\0\0\0\0\0\xFF", 9));
    EXPECT_EQ(files(), (std::vector<std::string>{"p.RAM", "p.asm"}));
}

TEST_F(CommandLine, UsageErrorsExitWithStatusTwoAndSayWhatIsWrong) {
    write("a.asm", "hlt");
    write("b.asm", "hlt");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, "no source file given"},
        {{"-x", path("a.asm")}, "unknown option '-x'"},
        {{"--output", path("a.asm")}, "unknown option '--output'"},
        {{path("a.asm"), "-o"}, "option -o needs a file name"},
        {{path("a.asm"), "-l"}, "option -l needs a file name"},
        {{"-o", "", path("a.asm")}, "option -o needs a file name"},
        {{path("a.asm"), path("b.asm")}, "more than one source file"},
        {{"-o", path("x"), "-o", path("y"), path("a.asm")}, "option -o given more than once"},
        {{""}, "empty source file name"},
        {{path("missing.asm")}, path("missing.asm") + ": cannot open: No such file or directory"},
        {{directory.string()}, directory.string() + ": is a directory"},
        {{"/dev/zero"}, "/dev/zero: is larger than 16 MiB, too large for an assembler source"},
        {{"-o", path("a.asm"), path("a.asm")}, "would overwrite the source"},
        {{"-l", path("a.asm"), path("a.asm")}, "would overwrite the source"},
        {{"-l", path("a.RAM"), path("a.asm")}, "the listing and the image are the same file"},
        {{"-o", path("no/such/dir/a.RAM"), path("a.asm")},
         "cannot write '" + path("no/such/dir/a.RAM") + "'"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "'" + a + "' ";
        EXPECT_EQ(run(c.arguments), exitFailure) << shown;
        EXPECT_EQ(err.str().rfind("tarnwick-asm: ", 0), 0u) << shown << "\n" << err.str();
        EXPECT_NE(err.str().find(c.message), std::string::npos) << shown << "\n" << err.str();
        EXPECT_TRUE(documented(firstMessage())) << "missing from docs/assembler.md: " << firstMessage();
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"a.asm", "b.asm"})) << "nothing was written";
}

TEST_F(CommandLine, DisassemblyPrintsASourceThatAssemblesIntoTheSameImage) {
    write("p.asm", sumSource);
    ASSERT_EQ(run({path("p.asm")}), exitSuccess) << err.str();
    ASSERT_EQ(run({"--disassemble", path("p.RAM")}), exitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_NE(out.str().find("        lda D0020"), std::string::npos) << out.str();
    write("back.asm", out.str());

    ASSERT_EQ(run({"--disassemble", "-o", path("again.asm"), path("p.RAM")}), exitSuccess) << err.str();
    EXPECT_EQ(out.str(), "") << "written to the file, not printed";
    EXPECT_EQ(read("again.asm"), read("back.asm"));

    ASSERT_EQ(run({"-o", path("back.RAM"), path("back.asm")}), exitSuccess) << err.str();
    EXPECT_EQ(read("back.RAM"), read("p.RAM"));
}

TEST_F(CommandLine, DisassemblyRefusesWhatIsNoImageAndWritesNothing) {
    write("p.asm", "hlt\n; a source of some length\n");
    write("short.RAM", std::string("\0\0\0\0\0\0\0\x09\xFF", 9));
    write("empty.RAM", std::string("\0\0\0\x05\0\0\0\x01\xFF", 9));
    write("image.RAM", std::string("\0\0\0\0\0\0\0\0\xFF", 9));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--disassemble"}, "no memory image given to disassemble"},
        {{"--disassemble", "-l", path("x.lst"), path("image.RAM")},
         "option -l cannot be used with --disassemble"},
        {{"--disassemble", path("p.asm")}, path("p.asm") + ": is not a memory file (it starts with text;"},
        {{"--disassemble", path("short.RAM")}, path("short.RAM") + ": the file is 9 bytes long"},
        {{"--disassemble", path("empty.RAM")},
         path("empty.RAM") + ": the first address 5 is above the last address 1: nothing is loaded, so there "
                             "is nothing to disassemble"},
        {{"--disassemble", path("missing.RAM")}, path("missing.RAM") + ": cannot open: No such file"},
        {{"--disassemble", "-o", path("image.RAM"), path("image.RAM")}, "would overwrite the image"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "'" + a + "' ";
        EXPECT_EQ(run(c.arguments), exitFailure) << shown;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << shown << "\n" << err.str();
        EXPECT_TRUE(documented(firstMessage())) << "missing from docs/assembler.md: " << firstMessage();
        EXPECT_EQ(out.str(), "") << shown;
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"empty.RAM", "image.RAM", "p.asm", "short.RAM"}));
}

TEST_F(CommandLine, AMemoryImageOrOtherBinaryGivenAsSourceIsNamedForWhatItIs) {
    write("p.asm", sumSource);
    ASSERT_EQ(run({path("p.asm")}), exitSuccess) << err.str();
    std::string image = read("p.RAM");
    write("image.bin", image);  // recognised by its header, whatever its name
    write("odd.RAM", std::string("\x7F"
                                 "ELF\0\0\0\0\0",
                                 9));
    write("program", std::string("\x7F"
                                 "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                                 16));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"p.RAM", "is a memory image, not an assembler source"},
        {"image.bin", "is a memory image, not an assembler source"},
        {"odd.RAM", "is a memory image, not an assembler source"},
        {"program", "is a binary file, not an assembler source"},
    };
    for (const auto& [name, message] : cases) {
        EXPECT_EQ(run({path(name)}), exitFailure) << name;
        EXPECT_EQ(err.str(), "tarnwick-asm: " + path(name) + ": " + message +
                                 (message.find("image") != std::string::npos
                                      ? " (to read its program, use tarnwick-asm --disassemble)\n"
                                      : "\n"))
            << name;
        EXPECT_TRUE(documented(firstMessage())) << "missing from docs/assembler.md: " << firstMessage();
    }
    EXPECT_EQ(read("p.RAM"), image) << "left alone";
}

TEST_F(CommandLine, ASourceWithTheExtensionRAMIsNotOverwrittenByDefault) {
    write("prog.RAM", "hlt");
    EXPECT_EQ(run({path("prog.RAM")}), exitFailure);
    EXPECT_NE(err.str().find("would overwrite the source"), std::string::npos) << err.str();
    EXPECT_EQ(read("prog.RAM"), "hlt");
}

TEST_F(CommandLine, AFailedRenameLeavesNoTemporaryFile) {
    // The temporary file can be written beside the target, but a directory
    // stands where the image should go, so the final rename fails.
    write("p.asm", "hlt");
    fs::create_directory(path("p.RAM"));
    EXPECT_EQ(run({"-l", path("p.lst"), path("p.asm")}), exitFailure);
    EXPECT_NE(err.str().find("cannot write '" + path("p.RAM") + "'"), std::string::npos) << err.str();
    EXPECT_EQ(files(), (std::vector<std::string>{"p.RAM", "p.asm"}));
    EXPECT_TRUE(fs::is_empty(path("p.RAM")));
}

TEST_F(CommandLine, ALinkStaysALinkAndTheFileItNamesIsReplaced) {
    write("p.asm", "hlt");
    write("real.RAM", "old");
    fs::create_symlink("real.RAM", path("link.RAM"));
    ASSERT_EQ(run({"-o", path("link.RAM"), path("p.asm")}), exitSuccess) << err.str();
    EXPECT_TRUE(fs::is_symlink(path("link.RAM")));
    EXPECT_EQ(read("real.RAM"), std::string("\0\0\0\0\0\0\0\0\xFF", 9));
    EXPECT_EQ(files(), (std::vector<std::string>{"link.RAM", "p.asm", "real.RAM"}));
}

TEST_F(CommandLine, APipeIsWrittenInPlaceNotReplaced) {
    // As with -l /dev/stdout: a pipe cannot be renamed over, only written.
    write("p.asm", "hlt");
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(run({"-l", path("pipe"), path("p.asm")}), exitSuccess) << err.str();
    std::string received(4096, '\0');
    ssize_t count = ::read(reader, received.data(), received.size());
    ::close(reader);
    received.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    EXPECT_EQ(received, "Addr   Bytes        Line  Source\n0000   FF              1  hlt\n");
    EXPECT_EQ(fs::status(path("pipe")).type(), fs::file_type::fifo);
}

TEST_F(CommandLine, StandardOutputAndErrorGoToTheOpenStreams) {
    write("p.asm", "hlt");
    ASSERT_EQ(run({"-l", "/dev/stdout", path("p.asm")}), exitSuccess) << err.str();
    EXPECT_EQ(out.str(), "Addr   Bytes        Line  Source\n0000   FF              1  hlt\n");
    EXPECT_EQ(read("p.RAM"), std::string("\0\0\0\0\0\0\0\0\xFF", 9));

    ASSERT_EQ(run({"-o", "/dev/stdout", "-l", "/dev/stderr", path("p.asm")}), exitSuccess);
    EXPECT_EQ(out.str(), std::string("\0\0\0\0\0\0\0\0\xFF", 9)) << "the image alone";
    EXPECT_EQ(err.str(), "Addr   Bytes        Line  Source\n0000   FF              1  hlt\n");
}

TEST_F(CommandLine, HelpDescribesTheOptions) {
    EXPECT_EQ(run({"--help"}), exitSuccess);
    EXPECT_EQ(out.str().rfind("Usage: tarnwick-asm [-o IMAGE] [-l LISTING] SOURCE\n", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("-l LISTING"), std::string::npos);
    EXPECT_NE(out.str().find("tarnwick-asm --disassemble IMAGE [-o SOURCE]"), std::string::npos);
    EXPECT_EQ(run({"-h"}), exitSuccess);
    EXPECT_EQ(err.str(), "");
}

TEST_F(CommandLine, VersionIsTheProjectsAndWritesNothing) {
    EXPECT_EQ(run({"--version", "prog.asm"}), exitSuccess);
    EXPECT_EQ(out.str(), std::string("tarnwick-asm ") + tarnwick::version + "\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace tarnwick::assembler
