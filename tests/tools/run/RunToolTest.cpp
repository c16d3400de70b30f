// tarnwick-run: exit status, the JSON it prints and the messages for bad
// arguments and bad images. Most cases run in-process; the binary is run
// as a user runs it and must answer exactly the same.

#include <fcntl.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/run/CommandLine.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class RunTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarnwick-run-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override { fs::remove_all(directory); }

    std::string image(const std::string& name, std::vector<unsigned char> bytes) const {
        const fs::path path = directory / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // A memory file for 0000h to the end of `program`.
    std::string program(const std::string& name, std::vector<unsigned char> program) const {
        const std::size_t last = program.size() - 1;
        std::vector<unsigned char> bytes = {
            0, 0, 0, 0, 0, 0, static_cast<unsigned char>(last >> 8), static_cast<unsigned char>(last)};
        bytes.insert(bytes.end(), program.begin(), program.end());
        return image(name, bytes);
    }

    std::string workedExample() const {
        std::vector<unsigned char> bytes = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11, 0x00, 0x22, 0xFF};
        bytes.resize(0x23, 0);
        bytes[0x20] = 0x5A;
        bytes[0x21] = 0x33;
        return program("example.RAM", bytes);
    }

    Result run(const std::vector<std::string>& arguments) const {
        std::ostringstream out;
        std::ostringstream err;
        Result result;
        result.status = tarnwick::run::runCommandLine(arguments, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    Result runBinary(const std::vector<std::string>& arguments) const {
        const fs::path outPath = directory / "stdout";
        const fs::path errPath = directory / "stderr";
        std::vector<std::string> argv = {TARNWICK_RUN_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Result result;
        const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return result;
        }
        // Bounded: a run that does not end in time is killed and fails the test.
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << argv[0] << " did not end within 120 s; killed";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = slurp(outPath);
        result.err = slurp(errPath);
        return result;
    }

    fs::path directory;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

TEST_F(RunTool, WorkedExampleHaltsAtCycle26) {
    const Result r = run({workedExample()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "{\"halted\":true,\"cycles\":26,\"accumulator\":141,\"carry\":false,\"zero\":false,"
              "\"programCounter\":9,\"code\":255,\"operand\":34}\n");
}

TEST_F(RunTool, DumpIsTheSameOnBothMemories) {
    const std::string expected =
        "{\"halted\":true,\"cycles\":26,\"accumulator\":141,\"carry\":false,\"zero\":false,"
        "\"programCounter\":9,\"code\":255,\"operand\":34,\"memory\":{\"first\":32,\"bytes\":[90,51,141]}}\n";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--dump", "20:22", workedExample()},
          std::vector<std::string>{"--relay-ram", "--dump=0x20:0X22", workedExample()}}) {
        const Result r = run(arguments);
        EXPECT_EQ(r.status, 0) << arguments[0];
        EXPECT_EQ(r.out, expected) << arguments[0];
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(RunTool, TracePrintsOneLinePerCycleBeforeTheSummary) {
    const Result r = run({"--trace", workedExample()});
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 27u);
    EXPECT_EQ(
        out[0],
        "{\"cycle\":1,\"clock\":true,\"phase\":0,\"address\":0,\"code\":0,\"operand\":0,\"accumulator\":0,"
        "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(
        out[6],
        "{\"cycle\":7,\"clock\":true,\"phase\":3,\"address\":32,\"code\":16,\"operand\":32,\"accumulator\":0,"
        "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[7],
              "{\"cycle\":8,\"clock\":false,\"phase\":3,\"address\":32,\"code\":16,\"operand\":32,"
              "\"accumulator\":90,"
              "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[25],
              "{\"cycle\":26,\"clock\":false,\"phase\":0,\"address\":9,\"code\":255,\"operand\":34,"
              "\"accumulator\":141,"
              "\"zero\":false,\"carry\":false}");
    EXPECT_EQ(out[26].rfind("{\"halted\":true,\"cycles\":26,", 0), 0u);
}

TEST_F(RunTool, CycleLimitEndsWithStatus1) {
    const std::string loop = program("loop.RAM", {0x30, 0x00, 0x00});
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{"--max-cycles", "10", loop},
         "{\"halted\":false,\"cycles\":10,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":0,\"code\":48,\"operand\":0}\n"},
        {{"--max-cycles=13", loop},
         "{\"halted\":false,\"cycles\":13,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":2,\"code\":48,\"operand\":0}\n"},
        {{loop, "--max-cycles", "0"},
         "{\"halted\":false,\"cycles\":0,\"accumulator\":0,\"carry\":false,\"zero\":false,"
         "\"programCounter\":0,\"code\":0,\"operand\":0}\n"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments[0];
        EXPECT_EQ(r.out, c.out) << c.arguments[0];
        EXPECT_EQ(r.err, "");
    }
    // A halt in the very cycle of the limit still counts as a halt.
    const Result atLimit = run({"--max-cycles", "26", workedExample()});
    EXPECT_EQ(atLimit.status, 0);
    const Result beforeHalt = run({"--max-cycles", "25", workedExample()});
    EXPECT_EQ(beforeHalt.status, 1);
}

TEST_F(RunTool, HelpExplainsTheOptions) {
    const Result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(
        r.out.rfind("Usage: tarnwick-run [--relay-ram[=tree]] [--max-cycles N] [--dump FIRST:LAST] [--trace] IMAGE",
                    0),
        0u);
    for (const char* option :
         {"--relay-ram", "--max-cycles N", "--dump FIRST:LAST", "--trace", "Exit status"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

// Every refusal: status 2, nothing on stdout, one message naming the problem.
TEST_F(RunTool, RefusesBadArgumentsAndImages) {
    const std::string good = workedExample();
    const std::string shortFile = image("short.RAM", {0, 0, 0, 0, 0, 0, 0, 9, 1, 2});
    const std::string header = image("header.RAM", {0, 0, 0});
    const std::string missing = (directory / "missing.RAM").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        bool usage = true;  // followed by the pointer to --help
    };
    const Case cases[] = {
        {{}, "tarnwick-run: no IMAGE given\n"},
        {{good, good}, "tarnwick-run: more than one IMAGE given ('" + good + "')\n"},
        {{"--fast", good}, "tarnwick-run: unknown option '--fast'\n"},
        {{good, "--max-cycles"}, "tarnwick-run: --max-cycles needs a value\n"},
        {{"--max-cycles", "ten", good},
         "tarnwick-run: --max-cycles takes a non-negative decimal number, not 'ten'\n"},
        {{"--max-cycles", "-5", good},
         "tarnwick-run: --max-cycles takes a non-negative decimal number, not '-5'\n"},
        {{"--max-cycles=", good}, "tarnwick-run: --max-cycles needs a number\n"},
        {{"--max-cycles", "99999999999999999999", good},
         "tarnwick-run: --max-cycles 99999999999999999999 is above 10^12\n"},
        {{"--dump", "20", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'20'\n"},
        {{"--dump", "10000:1", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'10000:1'\n"},
        {{"--dump", "g:1", good},
         "tarnwick-run: --dump takes FIRST:LAST, two hexadecimal addresses from 0 to FFFF (for example "
         "20:22), not "
         "'g:1'\n"},
        {{"--dump", "22:20", good}, "tarnwick-run: --dump: FIRST 0022 is above LAST 0020\n"},
        {{missing}, "tarnwick-run: " + missing + ": cannot open: No such file or directory\n", false},
        {{header},
         "tarnwick-run: " + header + ": the file is 3 bytes long, shorter than the 8-byte header\n",
         false},
        {{shortFile},
         "tarnwick-run: " + shortFile +
             ": the file is 10 bytes long, but its range 0000h to 0009h needs 18 bytes\n",
         false},
    };
    for (const Case& c : cases) {
        const Result r = run(c.arguments);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  c.usage ? c.message + "Try 'tarnwick-run --help' for more information.\n" : c.message);
    }
}

}  // namespace

TEST_F(RunTool, TheBinaryAnswersAsTheLibraryDoes) {
    const std::string example = workedExample();
    const std::vector<std::string> cases[] = {
        {example},
        {"--trace", "--max-cycles", "3", example},
        {"--dump", "20:22", example},
        {"--help"},
        {"--max-cycles"},
        {(directory / "missing.RAM").string()},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(arguments[0]);
        const Result library = run(arguments);
        const Result binary = runBinary(arguments);
        EXPECT_EQ(binary.status, library.status);
        EXPECT_EQ(binary.out, library.out);
        EXPECT_EQ(binary.err, library.err);
    }
}
