#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace tarnwick::testing {

// A fixture whose test has a fresh directory of its own under the system's
// temporary directory, removed with everything in it afterwards.
class ScratchDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "no scratch directory in the temporary directory";
        directory = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!directory.empty()) std::filesystem::remove_all(directory, ignored);
    }

    std::string path(const std::string& name) const { return (directory / name).string(); }
    // Writes contents to the file of that name; returns its path.
    std::string write(const std::string& name, const std::string& contents) const {
        std::ofstream(path(name), std::ios::binary) << contents;
        return path(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path directory;
};

}  // namespace tarnwick::testing
