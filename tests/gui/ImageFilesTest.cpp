// The text the front panel shows when a load fails: the same reader and
// messages as the tools, and a bounded list for a source full of errors.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gui/ImageFiles.h"
#include "tests/support/ScratchDirectory.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

class ImageFiles : public testing::ScratchDirectoryTest {};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

TEST_F(ImageFiles, ASourceFullOfErrorsShowsTheFirstAndHowManyInAll) {
    std::string source;
    for (int i = 0; i < 100000; ++i) source += "        frob\n";
    const std::string path = write("many.asm", source);
    const MemoryFileResult result = readImageFile(path);
    ASSERT_FALSE(result.image.has_value());
    const std::vector<std::string> shown = lines(result.error);
    ASSERT_EQ(shown.size(), loadErrorsShown + 1);
    EXPECT_EQ(shown.front().rfind(path + ":1:9: ", 0), 0u) << shown.front();
    EXPECT_EQ(shown[loadErrorsShown - 1].rfind(path + ":" + std::to_string(loadErrorsShown) + ":9: ", 0), 0u);
    EXPECT_EQ(shown.back(), "... and 99980 more errors (100000 in all)");

    // A few errors are listed whole, with no count.
    const std::string few = write("few.asm", "        frob\n        hlt\n        frob\n");
    EXPECT_EQ(lines(readImageFile(few).error).size(), 2u);
}

// The panel reads through the tools' reader: a text file is refused in the
// same words as tarnwick-run, and a range that loads nothing says so.
TEST_F(ImageFiles, TheMessagesAreTheTools) {
    const std::string listing = write("sum.lst", "0000  10 00 20   6          lda first\n");
    const MemoryFileResult text = readImageFile(listing);
    EXPECT_FALSE(text.image.has_value());
    EXPECT_EQ(text.error,
              listing +
                  ": is not a memory file (it starts with text; is it an assembler source? assemble "
                  "it with tarnwick-asm, or pass it with its .asm name)");

    const std::string empty = write("empty.RAM", std::string("\x7F"
                                                             "ELF\x02\x01\x01\x00",
                                                             8));
    const MemoryFileResult nothing = readImageFile(empty);
    EXPECT_FALSE(nothing.image.has_value());
    EXPECT_EQ(nothing.error,
              empty + ": the first address 2135247942 is above the last address 33620224: nothing is loaded");

    // A terminal would keep the load waiting before Esc could act.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    EXPECT_EQ(readImageFile(terminal).error,
              terminal + ": is a terminal, not a file (it would wait for typing)");
    ::close(master);

    const std::string missing = (directory / "missing.asm").string();
    EXPECT_EQ(readImageFile(missing).error, missing + ": cannot open: No such file or directory");
    const std::string good = write("p.asm", "        hlt\n");
    const MemoryFileResult loaded = readImageFile(good);
    ASSERT_TRUE(loaded.image.has_value()) << loaded.error;
    EXPECT_EQ(loaded.image->bytes, std::vector<std::uint8_t>{0xFF});
}

}  // namespace
}  // namespace tarnwick
