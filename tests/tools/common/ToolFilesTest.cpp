// What tarnwick-asm and tarnwick-run do to the files they are given, run as
// a user runs them: real files, links, named pipes, terminals, /dev/full and
// a full file system. No file may be lost or changed while the tool says it
// succeeded, and no input may keep a tool waiting: every child run here is
// bounded and killed if it overruns.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarnwick::testing::ChildProcess;
using tarnwick::testing::Redirect;
using tarnwick::testing::slurp;

const std::string runTool = TARNWICK_RUN_PATH;
const std::string asmTool = TARNWICK_ASM_PATH;
const fs::path examples = TARNWICK_EXAMPLES_DIR;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class ToolFiles : public tarnwick::testing::ScratchDirectoryTest {
protected:
    void TearDown() override {
        if (!mounted.empty()) ::umount2(mounted.c_str(), MNT_DETACH);
        ScratchDirectoryTest::TearDown();
    }

    std::string copyExample(const std::string& example, const std::string& name) const {
        fs::copy_file(examples / example, path(name), fs::copy_options::overwrite_existing);
        return path(name);
    }
    // Names of the files in a directory (temporary files included).
    static std::vector<std::string> files(const fs::path& where) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(where))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static bool anyTemporary(const fs::path& where) {
        for (const std::string& name : files(where))
            if (name.find(".tmp") != std::string::npos) return true;
        return false;
    }

    // Runs a tool to its end, within `limit`; its output goes to files in
    // the test's directory unless redirected elsewhere.
    Result tool(const std::string& program, std::vector<std::string> arguments, Redirect out = {},
                Redirect err = {}, std::chrono::milliseconds limit = 60s) const {
        if (out.path.empty()) out.path = path("stdout");
        if (err.path.empty()) err.path = path("stderr");
        arguments.insert(arguments.begin(), program);
        ChildProcess child(arguments, out, err);
        Result result;
        if (!child.started()) {
            ADD_FAILURE() << "cannot start " << program;
            return result;
        }
        const std::optional<int> status = child.waitFor(limit);
        if (!status) {
            ADD_FAILURE() << fs::path(program).filename().string() << " " << arguments.back()
                          << " did not end within "
                          << std::chrono::duration_cast<std::chrono::seconds>(limit).count() << " s; killed";
            return result;
        }
        result.status = *status;
        if (out.path.rfind("/dev/", 0) != 0) result.out = slurp(out.path);
        if (err.path.rfind("/dev/", 0) != 0) result.err = slurp(err.path);
        return result;
    }

    // A 64 KiB tmpfs filled to the last block, or nothing where this
    // machine does not let the test mount one.
    std::optional<fs::path> fullFileSystem() {
        const fs::path where = directory / "full";
        fs::create_directory(where);
        if (::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=64k") != 0) return std::nullopt;
        mounted = where.string();
        std::ofstream filler(where / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
        }
        filler.close();
        return where;
    }

    std::string mounted;
};

// --- Files lost, or reported as written ----------------------------------------

// The program's own file, by any name that leads to it.
TEST_F(ToolFiles, RunRefusesToWriteTheWaveformOverTheProgramItRuns) {
    const std::string source = copyExample("sum.asm", "p.asm");
    const std::string image = copyExample("sum.RAM", "p.RAM");
    fs::create_hard_link(source, path("hard.asm"));
    fs::create_symlink("p.RAM", path("soft.RAM"));
    const std::string sourceText = read("p.asm");
    const std::string imageBytes = read("p.RAM");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {source, source},           {(directory / "." / "p.asm").string(), source},
        {path("hard.asm"), source}, {image, image},
        {path("soft.RAM"), image},
    };
    for (const auto& [vcd, program] : cases) {
        SCOPED_TRACE(vcd);
        const Result r = tool(runTool, {"--vcd", vcd, program});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("is the program being run"), std::string::npos) << r.err;
        EXPECT_EQ(read("p.asm"), sourceText);
        EXPECT_EQ(read("p.RAM"), imageBytes);
    }
    EXPECT_FALSE(anyTemporary(directory));
}

TEST_F(ToolFiles, AsmReportsAFailedWriteToStandardOutputOrADevice) {
    const std::string source = copyExample("sum.asm", "p.asm");
    const std::string image = copyExample("sum.RAM", "p.RAM");
    const Redirect full{"/dev/full"};
    struct Case {
        std::vector<std::string> arguments;
        Redirect out;
    };
    const std::vector<Case> cases = {
        {{"--disassemble", image}, full},
        {{"-o", "/dev/stdout", source}, full},
        {{"-o", path("q.RAM"), "-l", "/dev/stdout", source}, full},
        {{"-o", path("q.RAM"), source}, full},  // only the "wrote" line goes to stdout
        {{"-o", "/dev/full", source}, {}},
        {{"--disassemble", "-o", "/dev/full", image}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        const Result r = tool(asmTool, c.arguments, c.out);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    }
    // q.RAM was written by the fourth case, whose output did land; the
    // third, which failed at standard output, had renamed nothing.
    EXPECT_FALSE(anyTemporary(directory));
    // Only the report failed: the message says the files are in place.
    write("q.RAM", "old image");
    const Result report = tool(asmTool, {"-o", path("q.RAM"), "-l", path("q.lst"), source}, full);
    EXPECT_EQ(report.status, 2);
    EXPECT_EQ(report.err, "tarnwick-asm: wrote " + path("q.RAM") +
                              ", but cannot write to standard output: No space left on device\n");
    EXPECT_EQ(read("q.RAM"), read("p.RAM"));
    EXPECT_TRUE(fs::exists(path("q.lst")));

    const std::optional<fs::path> fullDisk = fullFileSystem();
    if (!fullDisk)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "); /dev/full alone";
    const Result redirected = tool(asmTool, {"--disassemble", image}, {(*fullDisk / "p.asm").string()});
    EXPECT_EQ(redirected.status, 2);
    EXPECT_EQ(redirected.err, "tarnwick-asm: cannot write to standard output: No space left on device\n");
    const Result file =
        tool(asmTool, {"-o", (*fullDisk / "p.RAM").string(), "-l", (*fullDisk / "p.lst").string(), source});
    EXPECT_EQ(file.status, 2);
    EXPECT_NE(file.err.find("No space left on device"), std::string::npos) << file.err;
    EXPECT_EQ(files(*fullDisk), (std::vector<std::string>{"filler", "p.asm"})) << "no temporary file left";
    const Result vcd = tool(runTool, {"--vcd", (*fullDisk / "run.vcd").string(), image});
    EXPECT_EQ(vcd.status, 2);
    EXPECT_NE(vcd.err.find("No space left on device"), std::string::npos) << vcd.err;
    EXPECT_EQ(files(*fullDisk), (std::vector<std::string>{"filler", "p.asm"}));
}

// A program that never halts, with a limit no test could wait for: the
// first waveform write that fails must end the run.
TEST_F(ToolFiles, AWaveformThatCannotBeWrittenEndsTheRun) {
    const std::string image = copyExample("runlight.RAM", "p.RAM");
    std::vector<std::string> targets = {"/dev/full"};
    if (const std::optional<fs::path> fullDisk = fullFileSystem())
        targets.push_back((*fullDisk / "run.vcd").string());
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        const Result r =
            tool(runTool, {"--vcd", target, "--max-cycles", "1000000000000", image}, {}, {}, 10s);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("tarnwick-run: cannot write '" + target +
                                  "': No space left on device; the run was stopped at cycle ",
                              0),
                  0u)
            << r.err;
    }
    if (targets.size() > 1) {
        EXPECT_EQ(files(fs::path(targets[1]).parent_path()), (std::vector<std::string>{"filler"}));
    }
}

// The same for the trace on a full standard output; the waveform of the
// failed run is not put in place.
TEST_F(ToolFiles, ATraceThatCannotBeWrittenEndsTheRun) {
    const std::string image = copyExample("runlight.RAM", "p.RAM");
    const Result r =
        tool(runTool, {"--trace", "--vcd", path("run.vcd"), "--max-cycles", "1000000000000", image},
             Redirect{"/dev/full"}, {}, 10s);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(
        r.err.rfind("tarnwick-run: cannot write to standard output: No space left on device; the run was "
                    "stopped at cycle ",
                    0),
        0u)
        << r.err;
    EXPECT_FALSE(fs::exists(path("run.vcd")));
    EXPECT_FALSE(anyTemporary(directory));
}

TEST_F(ToolFiles, AsmChangesNoFileWhenAnyOfItsOutputsFails) {
    const std::string source = copyExample("sum.asm", "p.asm");
    write("s.RAM", "old image");
    write("s.lst", "old listing");
    fs::create_directory(path("listing-dir"));
    const std::vector<std::vector<std::string>> cases = {
        {"-o", path("s.RAM"), "-l", path("listing-dir"), source},
        {"-o", path("s.RAM"), "-l", "/dev/full", source},
        {"-o", "/dev/full", "-l", path("s.lst"), source},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(arguments[3]);
        const Result r = tool(asmTool, arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_EQ(read("s.RAM"), "old image");
        EXPECT_EQ(read("s.lst"), "old listing");
        EXPECT_FALSE(anyTemporary(directory));
    }
}

// A rename that fails after another has been made: the listing is a file
// something is mounted on, which rename() cannot replace (EBUSY). The image
// renamed before it stays replaced, as the help says, the listing keeps
// its old contents, the message names it, and no temporary file is left.
TEST_F(ToolFiles, AsmSaysWhichRenameFailedWhenOneFailsAfterAnother) {
    const std::string source = copyExample("sum.asm", "p.asm");
    write("s.RAM", "old image");
    write("s.lst", "old listing");
    write("mounted over it", "the mounted file");
    if (::mount(path("mounted over it").c_str(), path("s.lst").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "cannot bind-mount a file here (" << std::strerror(errno) << ")";
    mounted = path("s.lst");
    const Result r = tool(asmTool, {"-o", path("s.RAM"), "-l", path("s.lst"), source});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tarnwick-asm: cannot write '" + path("s.lst") + "': Device or resource busy\n");
    EXPECT_EQ(read("s.RAM"), slurp(examples / "sum.RAM"));
    EXPECT_EQ(read("s.lst"), "the mounted file");
    EXPECT_FALSE(anyTemporary(directory));
    ASSERT_EQ(::umount2(mounted.c_str(), MNT_DETACH), 0);
    mounted.clear();
    EXPECT_EQ(read("s.lst"), "old listing");
}

TEST_F(ToolFiles, AStreamAlreadyOpenIsWrittenThroughNotFromTheStart) {
    const std::string image = copyExample("sum.RAM", "p.RAM");
    const std::string source = copyExample("sum.asm", "p.asm");
    write("log", "kept line\n");
    const Redirect log{path("log"), true};

    const Result vcd = tool(runTool, {"--vcd", "/dev/stderr", image}, {}, log);
    EXPECT_EQ(vcd.status, 0);
    const std::string afterVcd = read("log");
    EXPECT_EQ(afterVcd.rfind("kept line\n$date", 0), 0u) << afterVcd.substr(0, 80);
    EXPECT_NE(afterVcd.find("$enddefinitions $end"), std::string::npos);

    const Result listing = tool(asmTool, {"-o", path("q.RAM"), "-l", "/proc/self/fd/2", source}, {}, log);
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(read("log").rfind(afterVcd + "Addr   Bytes", 0), 0u);

    // The same file under its own name would be replaced under the stream.
    const std::string before = read("log");
    const Result named = tool(runTool, {"--vcd", path("log"), image}, {}, log);
    EXPECT_EQ(named.status, 2);
    EXPECT_EQ(read("log"), before + "tarnwick-run: --vcd '" + path("log") +
                               "' is the file standard error goes to; name it /dev/stderr to write the dump "
                               "there\n");
    const Result asmNamed = tool(asmTool, {"-o", path("log"), source}, {}, log);
    EXPECT_EQ(asmNamed.status, 2);
    EXPECT_EQ(read("log").rfind(before, 0), 0u);
}

// A descriptor the shell opened (3>>log) is written through, by every name
// for it: the file keeps what it had and is appended to, never replaced.
TEST_F(ToolFiles, ADescriptorHandedDownIsWrittenThroughByEveryNameForIt) {
    const std::string image = copyExample("sum.RAM", "p.RAM");
    const std::string source = copyExample("sum.asm", "p.asm");
    ASSERT_EQ(tool(asmTool, {"-o", path("ref.RAM"), "-l", path("ref.lst"), source}).status, 0);
    const std::string listing = read("ref.lst");
    const std::string imageBytes = read("ref.RAM");
    fs::create_symlink("/dev/fd/3", path("fd3"));
    // Run by a shell that opens descriptor 3 and then becomes the tool, so
    // that $$ is the tool's own process number.
    auto withDescriptor = [&](const std::string& program, const std::string& arguments,
                              const std::string& redirection) {
        return tool("/bin/sh", {"-c", "exec '" + program + "' " + arguments + " 3" + redirection + "'" +
                                          path("log") + "'"});
    };
    const std::vector<std::string> names = {"/dev/fd/3", "/proc/self/fd/3", "/proc/$$/fd/3", path("fd3")};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        write("log", "kept line\n");
        const Result asmListing =
            withDescriptor(asmTool, "-o '" + path("q.RAM") + "' -l " + name + " '" + source + "'", ">>");
        EXPECT_EQ(asmListing.status, 0) << asmListing.err;
        EXPECT_EQ(read("log"), "kept line\n" + listing);
        EXPECT_EQ(read("q.RAM"), imageBytes);

        const Result asmImage = withDescriptor(asmTool, "-o " + name + " '" + source + "'", ">>");
        EXPECT_EQ(asmImage.status, 0) << asmImage.err;
        EXPECT_EQ(read("log"), "kept line\n" + listing + imageBytes);

        write("log", "kept line\n");
        const Result vcd = withDescriptor(runTool, "--vcd " + name + " '" + image + "'", ">>");
        EXPECT_EQ(vcd.status, 0) << vcd.err;
        const std::string dump = read("log");
        EXPECT_EQ(dump.rfind("kept line\n$date", 0), 0u) << dump.substr(0, 80);
        EXPECT_NE(dump.find("$enddefinitions $end"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_symlink(path("fd3")));
    EXPECT_FALSE(anyTemporary(directory));

    // Not open, or open only for reading: refused, and nothing written.
    write("log", "kept line\n");
    const Result closed = tool(asmTool, {"-o", path("q.RAM"), "-l", "/dev/fd/900", source});
    EXPECT_EQ(closed.status, 2);
    EXPECT_EQ(closed.err, "tarnwick-asm: cannot write '/dev/fd/900': descriptor 900 is not open\n");
    const Result closedVcd = tool(runTool, {"--vcd", "/proc/self/fd/900", image});
    EXPECT_EQ(closedVcd.status, 2);
    EXPECT_EQ(closedVcd.err, "tarnwick-run: cannot write '/proc/self/fd/900': descriptor 900 is not open\n");
    const Result readOnly = withDescriptor(runTool, "--vcd /dev/fd/3 '" + image + "'", "<");
    EXPECT_EQ(readOnly.status, 2);
    EXPECT_EQ(readOnly.err, "tarnwick-run: cannot write '/dev/fd/3': descriptor 3 is not open for writing\n");
    EXPECT_EQ(read("log"), "kept line\n");
}

TEST_F(ToolFiles, AReplacedFileKeepsItsModeAndOwnerAndOtherHardLinksKeepTheOldFile) {
    const std::string source = copyExample("sum.asm", "p.asm");
    const std::string image = copyExample("sum.RAM", "p.RAM");
    write("private.RAM", "old");
    write("private.vcd", "old");
    fs::permissions(path("private.RAM"), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(path("private.vcd"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path("private.RAM").c_str(), 4321, 4322), 0);
        ASSERT_EQ(::chown(path("private.vcd").c_str(), 4321, 4322), 0);
    }
    ASSERT_EQ(tool(asmTool, {"-o", path("private.RAM"), source}).status, 0);
    ASSERT_EQ(tool(runTool, {"--vcd", path("private.vcd"), image}).status, 0);
    for (const auto& [name, mode] : {std::pair{"private.RAM", 0600u}, std::pair{"private.vcd", 0640u}}) {
        SCOPED_TRACE(name);
        struct stat status {};
        ASSERT_EQ(::stat(path(name).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(status.st_uid, 4321u);
            EXPECT_EQ(status.st_gid, 4322u);
        }
        EXPECT_NE(read(name), "old");
    }
    // A new file gets the usual mode for the user's umask.
    ASSERT_EQ(tool(asmTool, {"-o", path("new.RAM"), source}).status, 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(path("new.RAM")).permissions(), static_cast<fs::perms>(0666 & ~mask));

    // Replaced, not written through: the other name keeps the old contents.
    write("a.RAM", "old");
    fs::create_hard_link(path("a.RAM"), path("b.RAM"));
    ASSERT_EQ(tool(asmTool, {"-o", path("a.RAM"), source}).status, 0);
    EXPECT_EQ(read("a.RAM"), read("p.RAM"));
    EXPECT_EQ(read("b.RAM"), "old");
}

// The order of the system calls, as strace sees them: the new contents on
// disk before the rename, and the rename on disk after it.
TEST_F(ToolFiles, AReplacedFileIsSyncedBeforeItsRenameAndItsDirectoryAfter) {
    if (!fs::exists("/usr/bin/strace")) GTEST_SKIP() << "no strace here to watch the calls";
    const std::string source = copyExample("sum.asm", "p.asm");
    const std::string image = copyExample("sum.RAM", "p.RAM");
    const std::vector<std::vector<std::string>> runs = {
        {asmTool, "-o", path("out.RAM"), source},
        {runTool, "--vcd", path("out.vcd"), image},
    };
    for (const std::vector<std::string>& run : runs) {
        SCOPED_TRACE(run[0]);
        std::vector<std::string> traced = {
            "/usr/bin/strace", "-f", "-o",
            path("calls"),     "-e", "trace=fsync,fdatasync,rename,renameat,renameat2"};
        traced.insert(traced.end(), run.begin(), run.end());
        const Result r = tool(traced[0], std::vector<std::string>(traced.begin() + 1, traced.end()));
        if (r.status != 0 && r.err.find("ptrace") != std::string::npos)
            GTEST_SKIP() << "strace cannot trace here";
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string calls = read("calls");
        const std::size_t rename = calls.find("rename");
        ASSERT_NE(rename, std::string::npos) << calls;
        EXPECT_NE(calls.rfind("sync(", rename), std::string::npos) << "no sync before the rename:\n" << calls;
        EXPECT_NE(calls.find("sync(", rename), std::string::npos) << "no sync after the rename:\n" << calls;
    }
}

TEST_F(ToolFiles, ADumpStoppedBySignalLeavesNoTemporaryFile) {
    const std::string image = copyExample("runlight.RAM", "runlight.RAM");
    for (int number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(number));
        ChildProcess child({runTool, "--vcd", path("run.vcd"), "--max-cycles", "1000000000000", image},
                           {path("stdout")}, {path("stderr")});
        ASSERT_TRUE(child.started());
        // Until the dump has grown on disk under its temporary name.
        bool growing = false;
        for (const auto deadline = std::chrono::steady_clock::now() + 30s;
             !growing && std::chrono::steady_clock::now() < deadline && child.running();
             std::this_thread::sleep_for(5ms)) {
            for (const auto& entry : fs::directory_iterator(directory))
                growing = growing || (entry.path().filename().string().rfind(".run.vcd.tmp", 0) == 0 &&
                                      fs::file_size(entry.path()) > 0);
        }
        ASSERT_TRUE(growing) << "no temporary dump appeared within 30 s";
        child.signal(number);
        const std::optional<int> status = child.waitFor(10s);
        ASSERT_TRUE(status) << "still running 10 s after the signal";
        EXPECT_EQ(*status, 128 + number);
        EXPECT_EQ(files(directory), (std::vector<std::string>{"runlight.RAM", "stderr", "stdout"}));
    }
}

// --- Inputs that must not hang or grow --------------------------------------------

TEST_F(ToolFiles, ASourceIsRefusedPast16MiBWithoutReadingItAll) {
    { std::ofstream sparse(path("huge.asm"), std::ios::binary); }
    fs::resize_file(path("huge.asm"), std::uintmax_t{1} << 30);
    fs::create_symlink("/dev/zero", path("zero.asm"));
    for (const std::string& name : {path("huge.asm"), path("zero.asm")}) {
        SCOPED_TRACE(name);
        for (const std::string& program : {runTool, asmTool}) {
            const Result r = tool(program, {name}, {}, {}, 30s);
            EXPECT_EQ(r.status, 2);
            EXPECT_NE(r.err.find(name + ": is larger than 16 MiB, too large for an assembler source"),
                      std::string::npos)
                << r.err;
        }
    }
}

TEST_F(ToolFiles, ATerminalIsRefusedAtOnce) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {runTool, {terminal}},
        {asmTool, {terminal}},
        {asmTool, {"--disassemble", terminal}},
    };
    for (const auto& [program, arguments] : cases) {
        SCOPED_TRACE(program + " " + arguments.front());
        const Result r = tool(program, arguments, {}, {}, 10s);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(terminal + ": is a terminal, not a file"), std::string::npos) << r.err;
    }
    ::close(master);
}

TEST_F(ToolFiles, ANamedPipeWithNoWriterIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(path("fifo.asm").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("fifo.RAM").c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {asmTool, {path("fifo.asm")}},
        {asmTool, {"--disassemble", path("fifo.RAM")}},
        {runTool, {path("fifo.asm")}},
        {runTool, {path("fifo.RAM")}},
    };
    for (const auto& [program, arguments] : cases) {
        SCOPED_TRACE(program + " " + arguments.back());
        // Killed at the bound: a reader blocked on the pipe fails here.
        const Result r = tool(program, arguments, {}, {}, 10s);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(arguments.back() + ": is not a regular file"), std::string::npos) << r.err;
    }
}

TEST_F(ToolFiles, AWaveformToAPipeArrivesWhileTheRunGoesOn) {
    const std::string image = copyExample("runlight.RAM", "runlight.RAM");
    ASSERT_EQ(::mkfifo(path("viewer").c_str(), 0600), 0);
    const int reader = ::open(path("viewer").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ChildProcess child({runTool, "--vcd", path("viewer"), "--max-cycles", "1000000000000", image},
                       {path("stdout")}, {path("stderr")});
    ASSERT_TRUE(child.started());
    std::size_t received = 0;
    std::vector<char> buffer(1 << 16);
    for (const auto deadline = std::chrono::steady_clock::now() + 30s;
         received < (1u << 20) && std::chrono::steady_clock::now() < deadline;) {
        pollfd wait{reader, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) continue;
        const ssize_t count = ::read(reader, buffer.data(), buffer.size());
        if (count > 0) received += static_cast<std::size_t>(count);
    }
    EXPECT_TRUE(child.running()) << "the run ended: " << read("stderr");
    EXPECT_GE(received, 1u << 20) << "a run of 10^12 cycles sent only " << received << " bytes in 30 s";
    child.signal(SIGTERM);
    EXPECT_TRUE(child.waitFor(10s));
    ::close(reader);
}

// --- Messages -----------------------------------------------------------------------

TEST_F(ToolFiles, DisassemblyReadsOnlyTheMemoryFileOfALongFile) {
    copyExample("sum.RAM", "long.RAM");
    const std::string expected = (tool(asmTool, {"--disassemble", path("long.RAM")}), read("stdout"));
    fs::resize_file(path("long.RAM"), 17u << 20);  // zeros past the image, ignored by the format
    const Result longer = tool(asmTool, {"--disassemble", path("long.RAM")});
    EXPECT_EQ(longer.status, 0) << longer.err;
    EXPECT_EQ(longer.out, expected);
    const Result zero = tool(asmTool, {"--disassemble", "/dev/zero"});
    EXPECT_EQ(zero.status, 0) << zero.err;  // a header of 0 to 0, and a zero byte
}

TEST_F(ToolFiles, EachProblemHasOneMessageInBothTools) {
    const std::string source = copyExample("sum.asm", "p.asm");
    write("nul.asm", std::string("        hlt\n\0", 13));
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {path("missing.asm"), ": cannot open: No such file or directory"},
        {path("nul.asm"), ": is a binary file, not an assembler source"},
    };
    for (const auto& [input, reason] : inputs) {
        SCOPED_TRACE(input);
        const Result run = tool(runTool, {input});
        const Result assembled = tool(asmTool, {input});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(assembled.status, 2);
        EXPECT_EQ(run.err, "tarnwick-run: " + input + reason + "\n");
        EXPECT_EQ(assembled.err, "tarnwick-asm: " + input + reason + "\n");
    }
    const Result missingImage = tool(runTool, {path("missing.RAM")});
    const Result missingToDisassemble = tool(asmTool, {"--disassemble", path("missing.RAM")});
    EXPECT_EQ(missingImage.err,
              "tarnwick-run: " + path("missing.RAM") + ": cannot open: No such file or directory\n");
    EXPECT_EQ(missingToDisassemble.err,
              "tarnwick-asm: " + path("missing.RAM") + ": cannot open: No such file or directory\n");

    // Named an image only when the memory file format accepts it, whatever
    // its name or size: the first bytes decide.
    const std::string imageAdvice =
        ": is a memory image, not an assembler source (to read its program, use tarnwick-asm "
        "--disassemble)\n";
    write("nul.RAM", std::string("        hlt\n\0", 13));
    write("short.RAM", std::string("\0\0\0\0\0", 5));
    copyExample("sum.RAM", "big.RAM");
    fs::resize_file(path("big.RAM"), 17u << 20);
    EXPECT_EQ(tool(asmTool, {path("nul.RAM")}).err,
              "tarnwick-asm: " + path("nul.RAM") + ": is a binary file, not an assembler source\n");
    EXPECT_EQ(tool(asmTool, {path("short.RAM")}).err,
              "tarnwick-asm: " + path("short.RAM") + ": is a binary file, not an assembler source\n");
    EXPECT_EQ(tool(asmTool, {path("big.RAM")}).err, "tarnwick-asm: " + path("big.RAM") + imageAdvice);
    EXPECT_EQ(tool(asmTool, {"-o", path("q.RAM"), examples / "sum.RAM"}).err,
              "tarnwick-asm: " + (examples / "sum.RAM").string() + imageAdvice);
    const Result nulImage = tool(runTool, {path("nul.RAM")});
    EXPECT_EQ(nulImage.err.rfind(
                  "tarnwick-run: " + path("nul.RAM") + ": is not a memory file (it starts with text", 0),
              0u)
        << nulImage.err;

    // A report that cannot be written says why, as the assembler does.
    const Result report = tool(runTool, {path("big.RAM")}, {"/dev/full"});
    EXPECT_EQ(report.status, 2);
    EXPECT_EQ(report.err, "tarnwick-run: cannot write to standard output: No space left on device\n");

    // /proc takes no new files: a permission problem, not a missing file.
    const Result proc = tool(asmTool, {"-o", "/proc/p.RAM", source});
    EXPECT_EQ(proc.status, 2);
    EXPECT_EQ(proc.err, "tarnwick-asm: cannot write '/proc/p.RAM': Permission denied\n");
}

TEST_F(ToolFiles, AnOptionThatSetsOneValueIsRefusedTwice) {
    const std::string image = copyExample("sum.RAM", "p.RAM");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--dump", "20:22", "--dump", "0:1", image}, "--dump given more than once"},
        {{"--max-cycles", "5", "--max-cycles=6", image}, "--max-cycles given more than once"},
        {{"--vcd", path("a.vcd"), "--vcd", path("b.vcd"), image}, "--vcd given more than once"},
        {{"--relay-ram", "--relay-ram=tree", image}, "--relay-ram given more than once"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(message);
        const Result r = tool(runTool, arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("tarnwick-run: " + message + "\n", 0), 0u) << r.err;
    }
    EXPECT_EQ(tool(runTool, {"--trace", "--trace", "--max-cycles", "1", image}).status, 1);
    EXPECT_EQ(files(directory), (std::vector<std::string>{"p.RAM", "stderr", "stdout"}));
}

TEST_F(ToolFiles, AProgramPathHoldingDollarEndKeepsTheWaveformHeaderWhole) {
    fs::create_directory(path("a $end b"));
    const std::string image = (directory / "a $end b" / "p%.RAM").string();
    fs::copy_file(examples / "sum.RAM", image);
    ASSERT_EQ(tool(runTool, {"--vcd", path("run.vcd"), image}).status, 0);
    const std::string vcd = read("run.vcd");
    const std::size_t begin = vcd.find("$comment");
    ASSERT_NE(begin, std::string::npos);
    const std::string comment = vcd.substr(begin, vcd.find('\n', begin) - begin);
    EXPECT_EQ(comment.find("$end"), comment.size() - 4) << comment;
    EXPECT_NE(comment.find("a %24end b/p%25.RAM"), std::string::npos) << comment;
}

}  // namespace
