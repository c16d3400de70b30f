#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// One output file of a program (a tool's -o, a save from the front panel).
//
// A regular file (or a new one) is replaced whole or not at all: written
// under a temporary name beside it (".NAME.tmpPID-N"), given the old file's
// permissions and, where the program may, its owner, synced to disk, renamed
// over it, and the directory synced. A link is followed, so the file it
// names is replaced and the link stays; a file with other hard links is
// replaced too, so the other names keep the old contents. The temporary
// file is removed when the writing fails, and when SIGINT, SIGTERM, SIGHUP or
// SIGPIPE ends it.
//
// A device or pipe cannot be replaced: it is written in place, as the data
// comes. A named pipe that no program reads is refused rather than waited
// for. A directory is refused.
//
// A name for a descriptor this process has open (/dev/fd/N, /dev/stdout,
// /proc/self/fd/N, a link to one) is written through that descriptor, as
// the data comes: what it is open on is neither truncated nor replaced,
// and one opened for appending is appended to. A descriptor that is not
// open, or not open for writing, is refused.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& requested);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes a temporary file that was never committed.
    ~OutputFile();

    // Each of these returns nothing, or why the file cannot be written.
    //
    // Creates the temporary file (or opens the device or pipe), so that a
    // caller can refuse before it does the work. write() opens too.
    std::optional<std::string> open();
    // Appends data.
    std::optional<std::string> write(std::string_view data);
    // Ends the writing: a temporary file gets its mode and owner and is
    // synced and closed; a device or pipe is closed.
    std::optional<std::string> finish();
    // Renames the temporary file over the target and syncs the directory
    // (finishing first if need be). Nothing to do for a device or pipe.
    std::optional<std::string> commit();

    // True for a device or pipe, written as the data comes.
    bool inPlace() const { return inPlace_; }

private:
    std::optional<std::string> openInPlace();
    std::optional<std::string> openDescriptor();
    std::optional<std::string> createTemporary();
    void forgetTemporary();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int descriptor_ = -1;
    // The descriptor the name stands for (/dev/fd/N), else -1.
    int named_ = -1;
    bool inPlace_ = false;
    bool directory_ = false;
    bool finished_ = false;
    // The file being replaced, if there is one: its mode and owner pass on.
    bool replacing_ = false;
    mode_t mode_ = 0;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    int signalSlot_ = -1;
};

// Writes contents to path as one OutputFile, start to commit. Returns why
// it could not be written.
std::optional<std::string> writeWholeFile(const std::filesystem::path& path, std::string_view contents);

// N when name stands for this process's descriptor N: /dev/fd/N,
// /proc/self/fd/N, /proc/PID/fd/N with this process's PID, and /dev/stdin,
// /dev/stdout, /dev/stderr for 0, 1 and 2. Whether N is open is not asked.
std::optional<int> descriptorNamed(std::string_view name);

// 1 or 2 when name is one of the names of standard output or standard error
// (/dev/stdout, /dev/fd/1, /proc/self/fd/1 and the same for 2), else 0. A
// program writes those to the stream it already has, or refuses them.
int standardStreamNumber(std::string_view name);

// 1 or 2 when path names, under another name, the regular file that
// standard output or standard error already writes to, else 0. Replacing
// it would leave the stream writing to a file no longer there, so a program
// refuses it.
int standardStreamFile(const std::filesystem::path& path);

// True when both paths name one file (the same inode, through links, ./ or
// hard links alike), or would once created.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace tarnwick
