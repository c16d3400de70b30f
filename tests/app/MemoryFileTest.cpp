// The memory-file loader: decoding and validating files, reading them from
// disk, and writing an image through the control panel.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/MemoryFile.h"
#include "machine/Computer.h"
#include "memory/MemoryLines.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes header(std::uint32_t first, std::uint32_t last) {
    return {static_cast<std::uint8_t>(first >> 24), static_cast<std::uint8_t>(first >> 16),
            static_cast<std::uint8_t>(first >> 8),  static_cast<std::uint8_t>(first),
            static_cast<std::uint8_t>(last >> 24),  static_cast<std::uint8_t>(last >> 16),
            static_cast<std::uint8_t>(last >> 8),   static_cast<std::uint8_t>(last)};
}

// A file with the header and `imageBytes` bytes of image, byte a = a * 7 + 1.
Bytes file(std::uint32_t first, std::uint32_t last, std::size_t imageBytes) {
    Bytes bytes = header(first, last);
    for (std::size_t a = 0; a < imageBytes; ++a) bytes.push_back(static_cast<std::uint8_t>(a * 7 + 1));
    return bytes;
}

struct RejectCase {
    const char* name;
    Bytes contents;
    const char* message;
};

TEST(MemoryFile, RefusesMalformedFilesNamingTheNumbers) {
    const RejectCase cases[] = {
        {"empty", {}, "the file is 0 bytes long, shorter than the 8-byte header"},
        {"short header", {0, 0, 0, 0, 0, 0, 1}, "the file is 7 bytes long, shorter than the 8-byte header"},
        {"first below 0", file(0xFFFFFFFF, 0, 1), "the first address -1 is below 0"},
        {"first far below 0", file(0x80000000, 5, 6), "the first address -2147483648 is below 0"},
        {"last above 65535", file(0, 0x10000, 65536),
         "the last address 65536 (10000h) is above 65535 (FFFFh)"},
        {"last far above 65535", file(0x10, 0x7FFFFFFF, 16),
         "the last address 2147483647 (7FFFFFFFh) is above 65535 (FFFFh)"},
        {"header only", file(0, 0, 0),
         "the file is 8 bytes long, but its range 0000h to 0000h needs 9 bytes"},
        {"one byte short", file(0, 1, 1),
         "the file is 9 bytes long, but its range 0000h to 0001h needs 10 bytes"},
        {"image below the range only", file(0x100, 0x1FF, 0x100),
         "the file is 264 bytes long, but its range 0100h to 01FFh needs 520 bytes"},
        {"full range one short", file(0, 0xFFFF, 0xFFFF),
         "the file is 65543 bytes long, but its range 0000h to FFFFh needs 65544 bytes"},
    };
    for (const RejectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryFileResult result = parseMemoryFile(c.contents);
        EXPECT_FALSE(result.image.has_value());
        EXPECT_EQ(result.error, c.message);
    }
}

struct AcceptCase {
    const char* name;
    Bytes contents;
    std::int32_t first, last;
    Bytes bytes;
};

TEST(MemoryFile, AcceptsTheRangeItsFileCovers) {
    Bytes beyond = file(0xFFF0, 0xFFFF, 70000);
    const AcceptCase cases[] = {
        {"the 10-byte example", {0, 0, 0, 0, 0, 0, 0, 1, 0x3E, 0x07}, 0, 1, {0x3E, 0x07}},
        {"one byte", file(5, 5, 6), 5, 5, {36}},
        {"big-endian header", file(0x100, 0x100, 0x101), 256, 256, {static_cast<std::uint8_t>(256 * 7 + 1)}},
        {"longer than needed", file(2, 3, 100), 2, 3, {15, 22}},
        {"first above last", file(5, 4, 0), 5, 4, {}},
        {"first above a negative last", file(1, 0xFFFFFFFD, 0), 1, -3, {}},
        {"first above last, both out of range", file(70000, 65536, 0), 70000, 65536, {}},
        {"bytes past 65544 ignored", beyond, 0xFFF0, 0xFFFF,
         Bytes(beyond.begin() + 8 + 0xFFF0, beyond.begin() + 65544)},
    };
    for (const AcceptCase& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryFileResult result = parseMemoryFile(c.contents);
        ASSERT_TRUE(result.image.has_value()) << result.error;
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.image->first, c.first);
        EXPECT_EQ(result.image->last, c.last);
        EXPECT_EQ(result.image->bytes, c.bytes);
    }
}

class TempFile {
public:
    explicit TempFile(const Bytes& contents) {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tarnwick-loader-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".RAM");
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(contents.data()),
                  static_cast<std::streamsize>(contents.size()));
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(MemoryFile, ReadsFromDiskAndNamesThePathInErrors) {
    const TempFile good(file(0, 0xFFFF, 70000));
    const MemoryFileResult read = readMemoryFile(good.path());
    ASSERT_TRUE(read.image.has_value()) << read.error;
    EXPECT_EQ(read.image->bytes.size(), 65536u);
    EXPECT_EQ(read.image->bytes[0xFFFF], static_cast<std::uint8_t>(0xFFFF * 7 + 1));

    const TempFile shortFile(file(0, 3, 2));
    const MemoryFileResult rejected = readMemoryFile(shortFile.path());
    EXPECT_FALSE(rejected.image.has_value());
    EXPECT_EQ(rejected.error, shortFile.path().string() +
                                  ": the file is 10 bytes long, but its range 0000h to 0003h needs 12 bytes");

    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "tarnwick-no-such-file.RAM";
    const MemoryFileResult absent = readMemoryFile(missing);
    EXPECT_FALSE(absent.image.has_value());
    EXPECT_EQ(absent.error, missing.string() + ": cannot open: No such file or directory");

    const MemoryFileResult directory = readMemoryFile(std::filesystem::temp_directory_path());
    EXPECT_FALSE(directory.image.has_value());
    EXPECT_NE(directory.error.find(": cannot "), std::string::npos) << directory.error;
}

// A powered computer (Reset on) whose memory holds `fill` at 0000h to 0003h
// and 00FFh to 0103h (few addresses: each step of the relay-built memory
// steps all its relays).
std::unique_ptr<Computer> poweredComputer(bool fastRam, std::uint8_t fill) {
    auto computer = std::make_unique<Computer>(fastRam);
    computer->resetSwitch.setState(1);
    computer->distributePower(true);
    computer->runCycle();
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{0, 3, Bytes(4, fill)}));
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{0xFF, 0x103, Bytes(5, fill)}));
    return computer;
}

unsigned addressLamps(const Computer& computer) {
    unsigned value = 0;
    for (int k = 0; k < 16; ++k) value |= unsigned{computer.addressLamps[k].isOn()} << k;
    return value;
}

TEST(WriteMemoryImage, WritesOnlyItsRangeOnEitherMemory) {
    for (bool fastRam : {true, false}) {
        SCOPED_TRACE(fastRam ? "byte array" : "relay-built memory");
        auto computer = poweredComputer(fastRam, 0xEE);
        const MemoryFileResult one = parseMemoryFile(file(0, 0, 1));
        ASSERT_TRUE(one.image.has_value());
        ASSERT_TRUE(writeMemoryImage(*computer, *one.image));
        EXPECT_EQ(addressLamps(*computer), 0u);
        EXPECT_EQ(readMemoryRange(*computer, 0, 2), (Bytes{1, 0xEE, 0xEE}));

        const MemoryFileResult middle = parseMemoryFile(file(0x100, 0x102, 0x103));
        ASSERT_TRUE(writeMemoryImage(*computer, *middle.image));
        EXPECT_EQ(addressLamps(*computer), 0x102u);
        EXPECT_EQ(
            readMemoryRange(*computer, 0xFF, 0x103),
            (Bytes{0xEE, static_cast<std::uint8_t>(0x100 * 7 + 1), static_cast<std::uint8_t>(0x101 * 7 + 1),
                   static_cast<std::uint8_t>(0x102 * 7 + 1), 0xEE}));
    }
}

TEST(WriteMemoryImage, FullRangeEndsWithEveryAddressLampLit) {
    auto computer = poweredComputer(true, 0);
    const MemoryFileResult full = parseMemoryFile(file(0, 0xFFFF, 0x10000));
    ASSERT_TRUE(full.image.has_value());
    std::int32_t expected = 0;
    bool inOrder = true;
    bool lockFree = true;
    ASSERT_TRUE(writeMemoryImage(*computer, *full.image, [&](std::int32_t address) {
        inOrder = inOrder && address == expected++;
        // Called between memory steps, with the cycle lock released.
        if (computer->cycleLock.try_lock()) {
            computer->cycleLock.unlock();
        } else {
            lockFree = false;
        }
    }));
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, 0x10000);
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(addressLamps(*computer), 0xFFFFu);
    EXPECT_EQ(readMemoryRange(*computer, 0, 0xFFFF), full.image->bytes);
}

TEST(WriteMemoryImage, RefusesAnInconsistentImageWithoutWriting) {
    const MemoryImage cases[] = {
        {0, 3, Bytes{1, 2, 3}},          // fewer bytes than the range
        {0, 1, Bytes{1, 2, 3}},          // more
        {-1, 0, Bytes{1, 2}},            // below address 0
        {0xFFFF, 0x10000, Bytes{1, 2}},  // above FFFFh
        {5, 4, Bytes{1}},                // empty range with bytes
    };
    for (const MemoryImage& image : cases) {
        SCOPED_TRACE(::testing::Message() << image.first << " to " << image.last);
        auto computer = poweredComputer(true, 0xEE);
        for (IndicatorLamp& lamp : computer->addressLamps) lamp.setState(0);
        int calls = 0;
        EXPECT_FALSE(writeMemoryImage(*computer, image, [&](std::int32_t) { ++calls; }));
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(addressLamps(*computer), 0u);
        EXPECT_EQ(readMemoryRange(*computer, 0, 3), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
        EXPECT_EQ(readMemoryRange(*computer, 0xFFFF, 0xFFFF), Bytes{0});
    }
    auto computer = poweredComputer(true, 0xEE);
    EXPECT_TRUE(writeMemoryImage(*computer, MemoryImage{5, 4, {}})) << "an empty range is no error";
}

// The loader drives the panel's machine side, so Takeover puts the switches'
// settings into memory instead of the file's bytes.
TEST(WriteMemoryImage, TakeoverWritesTheSwitchesInstead) {
    auto computer = poweredComputer(true, 0xEE);
    SixtyFourKilobyteRAMControlPanel& panel = computer->controlPanel;
    panel.addressSwitches[6].setState(1);  // 0040h
    panel.dataSwitches[0].setState(1);     // 01h
    panel.writeSwitch.setState(1);
    panel.takeoverSwitch.setState(1);
    const MemoryFileResult image = parseMemoryFile(file(0, 3, 4));
    ASSERT_TRUE(writeMemoryImage(*computer, *image.image));
    panel.takeoverSwitch.setState(0);
    EXPECT_EQ(readMemoryRange(*computer, 0, 3), (Bytes{0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(readMemoryRange(*computer, 0x40, 0x40), Bytes{0x01});
}

}  // namespace
}  // namespace tarnwick
