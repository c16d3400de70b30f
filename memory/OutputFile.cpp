#include "memory/OutputFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

std::string systemError(int number) { return std::strerror(number); }

std::optional<std::string> writeAll(int descriptor, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(descriptor, data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) continue;
        // A descriptor handed down may be non-blocking, a flag shared with
        // the program that opened it: wait for room rather than change it.
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{descriptor, POLLOUT, 0};
            if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
            return systemError(errno);
        }
        if (count <= 0) return systemError(count < 0 ? errno : EIO);
        written += static_cast<std::size_t>(count);
    }
    return std::nullopt;
}

// The temporary files in being, for the signal handler to remove. Names
// are copied into fixed buffers so that the handler touches no heap.
constexpr std::size_t signalSlots = 8;
struct SignalSlot {
    std::atomic<bool> used{false};
    char name[4096] = {};
};
std::array<SignalSlot, signalSlots> registered;
constexpr int cleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removeTemporaries(int signal) {
    for (SignalSlot& slot : registered)
        if (slot.used.load()) ::unlink(slot.name);
    // The handler was reset on entry (SA_RESETHAND): the signal now ends
    // the process as it would have.
    ::raise(signal);
}

void installSignalCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : cleanedSignals) {
            struct sigaction old {};
            if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL)
                continue;  // kept as set
            struct sigaction action {};
            action.sa_handler = removeTemporaries;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(signal, &action, nullptr);
        }
    });
}

int registerTemporary(const fs::path& name) {
    const std::string text = name.string();
    if (text.size() >= sizeof(SignalSlot::name)) return -1;
    installSignalCleanup();
    for (std::size_t i = 0; i < registered.size(); ++i) {
        bool expected = false;
        if (registered[i].used.load() || !registered[i].used.compare_exchange_strong(expected, true))
            continue;
        // Marked used before the name is written: the handler may unlink a
        // half-written name, which names nothing of ours.
        std::memcpy(registered[i].name, text.c_str(), text.size() + 1);
        return static_cast<int>(i);
    }
    return -1;
}

void unregisterTemporary(int slot) {
    if (slot >= 0) registered[static_cast<std::size_t>(slot)].used.store(false);
}

struct stat statusOf(int descriptor, bool& ok) {
    struct stat status {};
    ok = ::fstat(descriptor, &status) == 0;
    return status;
}

}  // namespace

std::optional<int> descriptorNamed(std::string_view name) {
    if (name == "/dev/stdin") return 0;
    if (name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    const std::string ownProcess = "/proc/" + std::to_string(::getpid()) + "/fd/";
    std::string_view number;
    for (std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"), std::string_view(ownProcess)}) {
        if (name.starts_with(prefix)) number = name.substr(prefix.size());
    }
    if (number.empty() || number.size() > 9) return std::nullopt;
    int value = 0;
    for (char digit : number) {
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + (digit - '0');
    }
    return value;
}

int standardStreamNumber(std::string_view name) {
    const std::optional<int> descriptor = descriptorNamed(name);
    return descriptor && (*descriptor == 1 || *descriptor == 2) ? *descriptor : 0;
}

int standardStreamFile(const fs::path& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return 0;
    for (int stream : {1, 2}) {
        bool ok = false;
        const struct stat open = statusOf(stream, ok);
        if (ok && S_ISREG(open.st_mode) && open.st_dev == file.st_dev && open.st_ino == file.st_ino)
            return stream;
    }
    return 0;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    // Neither there yet, or one of them: the names they would have.
    const fs::path first = fs::weakly_canonical(a, error);
    if (error) return false;
    const fs::path second = fs::weakly_canonical(b, error);
    return !error && first == second;
}

OutputFile::OutputFile(const fs::path& requested) : target_(requested) {
    if (const std::optional<int> descriptor = descriptorNamed(requested.native())) {
        named_ = *descriptor;
        inPlace_ = true;
        return;
    }
    std::error_code error;
    const fs::file_status status = fs::status(requested, error);
    if (fs::is_directory(status)) {
        directory_ = true;
    } else if (fs::exists(status) && !fs::is_regular_file(status)) {
        inPlace_ = true;
    } else {
        // Followed link by link, so that a link to a file not yet there
        // creates that file, as a shell's redirection does.
        for (int depth = 0; depth < 40 && fs::is_symlink(fs::symlink_status(target_, error)); ++depth) {
            const fs::path next = fs::read_symlink(target_, error);
            if (error) break;
            target_ = next.is_absolute() ? next : target_.parent_path() / next;
            // A link to /dev/fd/N means the stream, not the file it is open on.
            if (const std::optional<int> descriptor = descriptorNamed(target_.native())) {
                named_ = *descriptor;
                inPlace_ = true;
                break;
            }
        }
    }
}

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    unregisterTemporary(signalSlot_);
}

void OutputFile::forgetTemporary() {
    unregisterTemporary(signalSlot_);
    signalSlot_ = -1;
    temporary_.clear();
}

std::optional<std::string> OutputFile::open() {
    if (directory_) return std::string("is a directory");
    if (descriptor_ >= 0 || finished_) return std::nullopt;
    return inPlace_ ? openInPlace() : createTemporary();
}

std::optional<std::string> OutputFile::openDescriptor() {
    // Written through a copy of the descriptor, so the file is neither
    // truncated nor sought: its offset and O_APPEND are the opener's.
    const std::string which = "descriptor " + std::to_string(named_);
    const int flags = ::fcntl(named_, F_GETFL);
    if (flags < 0) return which + " is not open";
    if ((flags & O_ACCMODE) == O_RDONLY) return which + " is not open for writing";
    descriptor_ = ::fcntl(named_, F_DUPFD_CLOEXEC, 0);
    if (descriptor_ < 0) return systemError(errno);
    return std::nullopt;
}

std::optional<std::string> OutputFile::openInPlace() {
    if (named_ >= 0) return openDescriptor();
    // Without O_NONBLOCK, a named pipe that nobody reads would hold the
    // program for ever; with it, opening one fails with ENXIO instead.
    descriptor_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor_ < 0) {
        if (errno == ENXIO) return std::string("no program is reading the pipe");
        return systemError(errno);
    }
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags >= 0) ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
    return std::nullopt;
}

std::optional<std::string> OutputFile::createTemporary() {
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        replacing_ = true;
        mode_ = old.st_mode & 07777;
        owner_ = old.st_uid;
        group_ = old.st_gid;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    const fs::path directory = target_.parent_path();
    int number = 0;
    for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
        std::string name(1, '.');  // appended, not "." + ...: GCC 12 warns falsely at -O3
        name += target_.filename().string();
        name += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        temporary_ = directory.empty() ? fs::path(name) : directory / name;
        // Readable by the owner alone until it has its final mode, so the
        // contents of a private file are never open to others.
        descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        number = errno;
        if (descriptor_ < 0 && number != EEXIST) break;
    }
    if (descriptor_ < 0) {
        temporary_.clear();
        // A directory that exists but takes no new files (/proc, /sys)
        // answers "No such file or directory", which misleads.
        std::error_code error;
        if (number == ENOENT && fs::is_directory(directory.empty() ? fs::path(".") : directory, error))
            number = EACCES;
        return systemError(number);
    }
    signalSlot_ = registerTemporary(temporary_);
    return std::nullopt;
}

std::optional<std::string> OutputFile::write(std::string_view data) {
    if (std::optional<std::string> problem = open()) return problem;
    if (finished_) return std::string("written after it was finished");
    return writeAll(descriptor_, data);
}

std::optional<std::string> OutputFile::finish() {
    if (std::optional<std::string> problem = open()) return problem;
    if (finished_) return std::nullopt;
    finished_ = true;
    std::optional<std::string> problem;
    if (!inPlace_) {
        // The owner first: changing it may clear set-user-ID bits that the
        // mode then restores. Only root may give a file away, so a failure
        // leaves the file the user's own.
        if (replacing_) {
            const int given = ::fchown(descriptor_, owner_, group_);
            static_cast<void>(given);
        }
        if (::fchmod(descriptor_, mode_) != 0) problem = systemError(errno);
        if (!problem && ::fsync(descriptor_) != 0) problem = systemError(errno);
    }
    if (::close(descriptor_) != 0 && !problem) problem = systemError(errno);
    descriptor_ = -1;
    return problem;
}

std::optional<std::string> OutputFile::commit() {
    if (std::optional<std::string> problem = finish()) return problem;
    if (inPlace_) return std::nullopt;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return systemError(errno);
    forgetTemporary();
    // The rename itself reaches the disk only with the directory.
    const fs::path directory = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    const int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;  // replaced; the directory cannot be opened to sync
    std::optional<std::string> problem;
    // Some file systems cannot sync a directory (EINVAL); the file is in place.
    if (::fsync(descriptor) != 0 && errno != EINVAL && errno != EROFS) problem = systemError(errno);
    ::close(descriptor);
    return problem;
}

std::optional<std::string> writeWholeFile(const fs::path& path, std::string_view contents) {
    OutputFile file(path);
    if (std::optional<std::string> problem = file.write(contents)) return problem;
    return file.commit();
}

}  // namespace tarnwick
