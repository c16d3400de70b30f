#include "tools/common/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarnwick::tools {

namespace fs = std::filesystem;

namespace {

std::string systemError(int number) { return std::strerror(number); }

std::optional<std::string> writeAll(int descriptor, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(descriptor, data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return systemError(count < 0 ? errno : EIO);
        written += static_cast<std::size_t>(count);
    }
    return std::nullopt;
}

}  // namespace

int standardStreamNumber(std::string_view name) {
    if (name == "/dev/stdout" || name == "/dev/fd/1" || name == "/proc/self/fd/1") return 1;
    if (name == "/dev/stderr" || name == "/dev/fd/2" || name == "/proc/self/fd/2") return 2;
    return 0;
}

OutputFile::OutputFile(const fs::path& requested) : target_(requested) {
    std::error_code error;
    const fs::file_status status = fs::status(requested, error);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
        inPlace_ = true;
    } else {
        // Followed link by link, so that a link to a file not yet there
        // creates that file, as a shell's redirection does.
        for (int depth = 0; depth < 40 && fs::is_symlink(fs::symlink_status(target_, error)); ++depth) {
            const fs::path next = fs::read_symlink(target_, error);
            if (error) break;
            target_ = next.is_absolute() ? next : target_.parent_path() / next;
        }
    }
}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::optional<std::string> OutputFile::open() {
    if (inPlace_ || descriptor_ >= 0) return std::nullopt;
    const fs::path directory = target_.parent_path();
    for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
        std::string name(1, '.');  // appended, not "." + ...: GCC 12 warns falsely at -O3
        name += target_.filename().string();
        name += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        temporary_ = directory.empty() ? fs::path(name) : directory / name;
        descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ < 0) {
        const int number = errno;
        temporary_.clear();
        return systemError(number);
    }
    return std::nullopt;
}

std::optional<std::string> OutputFile::write(std::string_view data) {
    if (inPlace_) {
        contents_ += data;
        return std::nullopt;
    }
    if (std::optional<std::string> problem = open()) return problem;
    return writeAll(descriptor_, data);
}

std::optional<std::string> OutputFile::commit() {
    if (inPlace_) {
        const int descriptor = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (descriptor < 0) return systemError(errno);
        std::optional<std::string> problem = writeAll(descriptor, contents_);
        if (::close(descriptor) != 0 && !problem) problem = systemError(errno);
        return problem;
    }
    if (std::optional<std::string> problem = open()) return problem;
    const int closed = ::close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) return systemError(errno);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return systemError(errno);
    temporary_.clear();
    return std::nullopt;
}

}  // namespace tarnwick::tools
