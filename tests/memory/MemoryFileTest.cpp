// The memory file format: decoding and validating files, reading them from
// disk, and writing them.

#include <gtest/gtest.h>

#include "tests/support/MemoryFiles.h"
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "memory/MemoryFile.h"

namespace tarnwick {
namespace {

using testing::Bytes;

Bytes file(std::uint32_t first, std::uint32_t last, std::size_t imageBytes) {
    return testing::memoryFile(first, last, imageBytes);
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
}

TEST(MemoryFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
    const std::filesystem::path fifo = std::filesystem::temp_directory_path() /
                                       ("tarnwick-fifo-" + std::to_string(::getpid()) + ".RAM");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A named pipe with no writer: reading it the ordinary way would block.
    auto read = std::async(std::launch::async, [&] { return readMemoryFile(fifo); });
    const bool returned = read.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) {
        // Unblock the reader before failing, so that nothing is left waiting.
        std::ofstream(fifo).put('\0');
    }
    const MemoryFileResult result = read.get();
    std::filesystem::remove(fifo);
    ASSERT_TRUE(returned) << "reading a named pipe blocked";
    EXPECT_FALSE(result.image.has_value());
    EXPECT_EQ(result.error, fifo.string() + ": is not a regular file (a pipe, socket or the like cannot be loaded)");

    const MemoryFileResult directory = readMemoryFile(std::filesystem::temp_directory_path());
    EXPECT_EQ(directory.error, std::filesystem::temp_directory_path().string() + ": is a directory");

    // A character device is read like a file: /dev/zero's header is 0 to 0.
    const MemoryFileResult zero = readMemoryFile("/dev/zero");
    ASSERT_TRUE(zero.image.has_value()) << zero.error;
    EXPECT_EQ(zero.image->bytes, Bytes{0});
}

TEST(MemoryFile, NamesTextForWhatItIs) {
    const std::string source = "; adds two numbers\n        lda 20h\n";
    const Bytes text(source.begin(), source.end());
    const MemoryFileResult refused = parseMemoryFile(text);
    EXPECT_FALSE(refused.image.has_value());
    EXPECT_EQ(refused.error,
              "is not a memory file (it starts with text; is it an assembler source? assemble it with "
              "tarnwick-asm, or pass it with its .asm name)");

    // A listing's first characters read as a first address above the last:
    // still text, and named so rather than loaded as nothing.
    const std::string listing = "0000  10 00 20   6          lda first\n";
    const MemoryFileResult listed = parseMemoryFile(Bytes(listing.begin(), listing.end()));
    EXPECT_FALSE(listed.image.has_value());
    EXPECT_EQ(listed.error, refused.error);

    // A range that loads nothing is no error, but worth a warning that says why.
    const MemoryFileResult empty = parseMemoryFile(file(5, 4, 0));
    ASSERT_TRUE(empty.image.has_value());
    EXPECT_EQ(empty.warning, "the first address 5 is above the last address 4: nothing is loaded");
    const MemoryFileResult loads = parseMemoryFile(file(0, 0, 1));
    EXPECT_EQ(loads.warning, std::nullopt);
}

TEST(MemoryFile, SerialisesWhatItParses) {
    const MemoryImage images[] = {
        {0, 0, Bytes{0x3E}},
        {0x20, 0x22, Bytes{0x5A, 0x33, 0x8D}},
        {0xFFFE, 0xFFFF, Bytes{1, 2}},
        {7, 6, Bytes{}},
    };
    for (const MemoryImage& image : images) {
        SCOPED_TRACE(::testing::Message() << image.first << " to " << image.last);
        ASSERT_TRUE(image.consistent());
        const Bytes bytes = serialiseMemoryFile(image);
        EXPECT_EQ(bytes.size(), image.empty() ? 8u : 8u + static_cast<std::size_t>(image.last) + 1);
        const MemoryFileResult back = parseMemoryFile(bytes);
        ASSERT_TRUE(back.image.has_value()) << back.error;
        EXPECT_EQ(back.image->first, image.first);
        EXPECT_EQ(back.image->last, image.last);
        EXPECT_EQ(back.image->bytes, image.bytes);
    }
    EXPECT_EQ(serialiseMemoryFile({0x20, 0x20, Bytes{0x5A}}), (Bytes{0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0,
                                                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A}));
}

}  // namespace
}  // namespace tarnwick
