// The one reader of inputs: what it reads, what it refuses, and that no
// input keeps it waiting or reading for ever.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "memory/InputFile.h"
#include "tests/support/ScratchDirectory.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class InputFile : public tarnwick::testing::ScratchDirectoryTest {};

TEST_F(InputFile, ReadsUpToTheLimitAndRefusesOrIgnoresTheRest) {
    const fs::path file = directory / "ten";
    std::ofstream(file, std::ios::binary) << "0123456789";
    const InputResult whole = readInput(file, 10, Excess::refused, "a test");
    ASSERT_TRUE(whole) << whole.error;
    EXPECT_EQ(std::string(whole.bytes->begin(), whole.bytes->end()), "0123456789");

    const InputResult cut = readInput(file, 4, Excess::ignored, "a test");
    ASSERT_TRUE(cut) << cut.error;
    EXPECT_EQ(std::string(cut.bytes->begin(), cut.bytes->end()), "0123");

    const InputResult refused = readInput(file, 9, Excess::refused, "a test");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error, file.string() + ": is larger than 9 bytes, too large for a test");

    // A device that never ends is read to the limit only.
    const InputResult zero = readInput("/dev/zero", 1 << 20, Excess::refused, "a source");
    EXPECT_EQ(zero.error, "/dev/zero: is larger than 1 MiB, too large for a source");
    const InputResult zeros = readInput("/dev/zero", 100, Excess::ignored, "a memory file");
    ASSERT_TRUE(zeros);
    EXPECT_EQ(zeros.bytes->size(), 100u);
}

// Each of these would block an ordinary read (a pipe with no writer, a
// terminal waiting for typing): refused at once instead.
TEST_F(InputFile, RefusesWhatWouldKeepItWaiting) {
    const fs::path fifo = directory / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    const struct {
        fs::path path;
        std::string message;
    } cases[] = {
        {fifo, ": is not a regular file (a pipe, socket or the like cannot be loaded)"},
        {terminal, ": is a terminal, not a file (it would wait for typing)"},
        {directory, ": is a directory"},
        {directory / "missing", ": cannot open: No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        auto read =
            std::async(std::launch::async, [&] { return readInput(c.path, 100, Excess::ignored, "x"); });
        const bool returned = read.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        if (!returned) {
            // Unblock the reader before failing, so nothing is left waiting.
            if (c.path == fifo) std::ofstream(fifo).put('\0');
            if (c.path == terminal) {
                const char end = 4;  // ^D
                ASSERT_EQ(::write(master, &end, 1), 1);
            }
        }
        const InputResult result = read.get();
        ASSERT_TRUE(returned) << "blocked";
        EXPECT_FALSE(result);
        EXPECT_EQ(result.error, c.path.string() + c.message);
    }
    ::close(master);
}

// A device that keeps the reader waiting without being a terminal: the
// kernel's log, read until no record is left, then waited on.
TEST_F(InputFile, ADeviceThatStopsGivingBytesIsRefusedAtItsDeadline) {
    const int probe = ::open("/dev/kmsg", O_RDONLY | O_NONBLOCK);
    if (probe < 0) GTEST_SKIP() << "/dev/kmsg cannot be read here";
    ::close(probe);
    auto read =
        std::async(std::launch::async, [] { return readInput("/dev/kmsg", 1u << 30, Excess::ignored, "x"); });
    ASSERT_EQ(read.wait_for(deviceReadTime + std::chrono::seconds(10)), std::future_status::ready)
        << "still reading /dev/kmsg well past the deadline";
    const InputResult result = read.get();
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error, "/dev/kmsg: is a device that gave no end of file within 2 s");
}

}  // namespace
}  // namespace tarnwick
