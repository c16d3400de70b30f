// From a file or source text to a memory image: the one path the front
// panel and both tools take, and the bound on the errors it collects.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "asm/Assembler.h"
#include "asm/Images.h"
#include "tests/support/ScratchDirectory.h"

namespace tarnwick::assembler {
namespace {

namespace fs = std::filesystem;

// Errors of both passes, interleaved: "frob" fails as the line is read,
// "lda nowhere" only when operands are evaluated.
std::string manyErrors(int lines) {
    std::string source;
    for (int i = 0; i < lines; ++i) source += i % 3 == 0 ? "        lda nowhere\n" : "        frob 1\n";
    return source;
}

TEST(AssemblerErrors, KeepsTheFirstInOrderAndCountsTheRest) {
    const std::string source = manyErrors(3000);
    const Program all = assemble(source, std::numeric_limits<std::size_t>::max());
    ASSERT_EQ(all.errorCount, 3000u);
    ASSERT_EQ(all.errors.size(), 3000u);
    for (std::size_t limit :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{50}, defaultErrorLimit}) {
        SCOPED_TRACE(limit);
        const Program bounded = assemble(source, limit);
        EXPECT_FALSE(bounded.ok());
        EXPECT_EQ(bounded.errorCount, 3000u);
        ASSERT_EQ(bounded.errors.size(), limit);
        for (std::size_t i = 0; i < limit; ++i) {
            EXPECT_EQ(bounded.errors[i].line, all.errors[i].line);
            EXPECT_EQ(bounded.errors[i].column, all.errors[i].column);
            EXPECT_EQ(bounded.errors[i].message, all.errors[i].message);
        }
    }
    // The default bound holds for a source of nothing but errors.
    std::string nothingButErrors;
    for (int i = 0; i < 200000; ++i) nothingButErrors += "        frob\n";
    const Program flood = assemble(nothingButErrors);
    EXPECT_EQ(flood.errorCount, 200000u);
    EXPECT_EQ(flood.errors.size(), defaultErrorLimit);
}

TEST(AssembleSource, GivesTheImageOrMessagesThatNameTheFile) {
    const AssembledSource good = assembleSource("        lda 20h\n        hlt\n", "p.asm");
    ASSERT_TRUE(good.image.has_value());
    EXPECT_EQ(good.image->first, 0);
    EXPECT_EQ(good.image->last, 3);
    EXPECT_EQ(good.image->bytes, (std::vector<std::uint8_t>{0x10, 0x00, 0x20, 0xFF}));
    EXPECT_TRUE(good.errors.empty());

    const AssembledSource bad = assembleSource("        hlt\n        frob\n", "p.asm");
    EXPECT_FALSE(bad.image.has_value());
    EXPECT_TRUE(bad.sourceErrors);
    ASSERT_EQ(bad.errors.size(), 1u);
    EXPECT_EQ(bad.errors[0].rfind("p.asm:2:9: ", 0), 0u) << bad.errors[0];

    const AssembledSource binary = assembleSource(std::string("hlt\0", 4), "p.asm");
    EXPECT_TRUE(binary.binary);
    EXPECT_FALSE(binary.sourceErrors);
    EXPECT_EQ(binary.errors, std::vector<std::string>{"p.asm: is a binary file, not an assembler source"});
    const AssembledSource image = assembleSource(std::string("\0\0\0\0\0\0\0\0\xFF", 9), "p.asm");
    ASSERT_EQ(image.errors.size(), 1u);
    EXPECT_EQ(image.errors[0].rfind("p.asm: is a memory image, not an assembler source", 0), 0u);
}

class ReadImage : public tarnwick::testing::ScratchDirectoryTest {};

TEST_F(ReadImage, ReadsSourcesAndMemoryFilesByName) {
    const std::string source = write("p.ASM", "        hlt\n");
    const ImageResult assembled = readImage(source);
    ASSERT_TRUE(assembled.image.has_value()) << assembled.errors.front();
    EXPECT_EQ(assembled.image->bytes, std::vector<std::uint8_t>{0xFF});

    const std::string image = write("p.RAM", std::string("\0\0\0\0\0\0\0\0\xFF", 9));
    const ImageResult read = readImage(image);
    ASSERT_TRUE(read.image.has_value());
    EXPECT_EQ(read.image->bytes, std::vector<std::uint8_t>{0xFF});
    EXPECT_FALSE(read.warning);

    const std::string empty = write("empty.RAM", std::string("\0\0\0\x05\0\0\0\x04", 8));
    const ImageResult nothing = readImage(empty);
    ASSERT_TRUE(nothing.image.has_value());
    EXPECT_EQ(nothing.warning,
              empty + ": the first address 5 is above the last address 4: nothing is loaded");
}

TEST_F(ReadImage, RefusesWhatCannotBeLoadedWithOneMessage) {
    const std::string listing = write("sum.lst", "0000  10 00 20   6          lda first\n");
    const std::string many = write("many.asm", manyErrors(5000));
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {(directory / "missing.asm").string(), ": cannot open: No such file or directory"},
        {(directory / "missing.RAM").string(), ": cannot open: No such file or directory"},
        {directory.string(), ": is a directory"},
        {listing,
         ": is not a memory file (it starts with text; is it an assembler source? assemble it with "
         "tarnwick-asm, or pass it with its .asm name)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const ImageResult result = readImage(c.path);
        EXPECT_FALSE(result.image.has_value());
        EXPECT_FALSE(result.sourceErrors);
        EXPECT_EQ(result.errors, std::vector<std::string>{c.path + c.message});
    }
    const ImageResult errors = readImage(many, 20);
    EXPECT_TRUE(errors.sourceErrors);
    EXPECT_EQ(errors.errorCount, 5000u);
    EXPECT_EQ(errors.errors.size(), 20u);
}

}  // namespace
}  // namespace tarnwick::assembler
