#pragma once

// A program run as a user runs it, with its standard streams redirected to
// files or devices, and never waited for beyond a bound: a child that does
// not end in time is killed and the wait reports it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tarnwick::testing {

// Where one standard stream of the child goes.
struct Redirect {
    std::string path;    // empty: inherited from the test
    bool append = false;  // opened with O_APPEND, as `2>>log` does
};

class ChildProcess {
public:
    // Starts argv[0] with the arguments; stdin reads /dev/null.
    ChildProcess(const std::vector<std::string>& argv, const Redirect& out, const Redirect& err) {
        std::vector<std::string> arguments = argv;
        std::vector<char*> pointers;
        for (std::string& a : arguments) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const Redirect* streams[] = {&out, &err};
        for (int fd = 1; fd <= 2; ++fd) {
            const Redirect& r = *streams[fd - 1];
            if (r.path.empty()) continue;
            const int flags = O_WRONLY | O_CREAT | (r.append ? O_APPEND : O_TRUNC);
            posix_spawn_file_actions_addopen(&actions, fd, r.path.c_str(), flags, 0600);
        }
        started_ = posix_spawn(&pid_, arguments[0].c_str(), &actions, nullptr, pointers.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running when the test ends is killed, never left.
    ~ChildProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }

    bool started() const { return started_; }
    bool running() const { return started_ && !status_; }

    // The exit status (128 + N for signal N) once the child ends, or nothing
    // if it is still running after `limit`.
    std::optional<int> waitFor(std::chrono::milliseconds limit) {
        if (!started_) return std::nullopt;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
            if (ended == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return status_;
    }

    void signal(int number) {
        if (running()) ::kill(pid_, number);
    }

private:
    pid_t pid_ = 0;
    bool started_ = false;
    std::optional<int> status_;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarnwick::testing
