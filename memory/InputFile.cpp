#include "memory/InputFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarnwick {

namespace {

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

std::string mebibytes(std::size_t limit) {
    return limit % (1024 * 1024) == 0 ? std::to_string(limit / (1024 * 1024)) + " MiB"
                                      : std::to_string(limit) + " bytes";
}

}  // namespace

InputResult readInput(const std::filesystem::path& path, std::size_t limit, Excess excess, const char* what) {
    const std::string name = path.string();
    auto refuse = [&name](const std::string& reason) {
        return InputResult{std::nullopt, name + ": " + reason};
    };
    auto tooLarge = [&] { return refuse("is larger than " + mebibytes(limit) + ", too large for " + what); };

    // Opened without blocking, so that a named pipe with no writer cannot
    // hold the caller; what the descriptor is decides the rest.
    Descriptor file{::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) return refuse(std::string("cannot open: ") + std::strerror(errno));
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) return refuse(std::string("cannot open: ") + std::strerror(errno));
    if (S_ISDIR(status.st_mode)) return refuse("is a directory");
    const bool device = S_ISCHR(status.st_mode);
    if (!S_ISREG(status.st_mode) && !device)
        return refuse("is not a regular file (a pipe, socket or the like cannot be loaded)");
    if (device && ::isatty(file.fd)) return refuse("is a terminal, not a file (it would wait for typing)");
    if (excess == Excess::refused && !device && static_cast<std::uintmax_t>(status.st_size) > limit)
        return tooLarge();
    // A regular file never makes read() wait; a device may, and is read
    // without blocking against a deadline instead.
    if (!device) {
        const int flags = ::fcntl(file.fd, F_GETFL);
        if (flags >= 0) ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    const auto deadline = std::chrono::steady_clock::now() + deviceReadTime;

    // One byte more than the limit tells a refused input from one that fits.
    const std::size_t wanted = excess == Excess::refused ? limit + 1 : limit;
    std::vector<std::uint8_t> bytes;
    std::size_t length = 0;
    while (length < wanted) {
        // Room for a whole record at every read: a device that gives records
        // (the kernel's log, say) refuses a read with too little room.
        if (bytes.size() - length < 8192)
            bytes.resize(std::min(wanted, std::max<std::size_t>({65544, length * 2, length + 8192})));
        const ssize_t got = ::read(file.fd, bytes.data() + length, bytes.size() - length);
        if (got > 0) {
            length += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return refuse(std::string("cannot read: ") + std::strerror(errno));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{file.fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) == 0)
            return refuse("is a device that gave no end of file within " +
                          std::to_string(deviceReadTime.count() / 1000) + " s");
    }
    if (excess == Excess::refused && length > limit) return tooLarge();
    bytes.resize(length);
    return InputResult{std::move(bytes), {}};
}

}  // namespace tarnwick
