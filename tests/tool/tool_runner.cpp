// SPDX-License-Identifier: BSD-2-Clause
#include "tool_runner.h"

#include <fcntl.h>
#include <sched.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace g723::tool_test {
namespace {

// Starts the built tool with `arguments`, its standard streams on the given
// descriptors (-1: /dev/null).
pid_t spawn_program(const std::string& program, const std::vector<std::string>& arguments,
                    int in_fd, int out_fd, int err_fd) {
    std::vector<std::string> line{program};
    line.insert(line.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : line) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(in_fd, STDIN_FILENO);
        ::dup2(out_fd >= 0 ? out_fd : null, STDOUT_FILENO);
        ::dup2(err_fd >= 0 ? err_fd : null, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return child;
}

pid_t spawn_tool(const std::vector<std::string>& arguments, int in_fd, int out_fd, int err_fd) {
    return spawn_program(G723_TOOL_PATH, arguments, in_fd, out_fd, err_fd);
}

// Writes all of `bytes`, blocking; stops early when the reader has gone.
void feed(int fd, const std::string& bytes) {
    std::size_t fed = 0;
    while (fed < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + fed, bytes.size() - fed);
        if (n <= 0) break;
        fed += static_cast<std::size_t>(n);
    }
}

// Waits for the tool and records how it ended.
void collect_status(pid_t child, tool_result& result) {
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

}  // namespace

tool_result run_tool(const std::vector<std::string>& arguments, const std::string& input) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
        ::pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = spawn_tool(arguments, in_pipe[0], out_pipe[1], err_pipe[1]);
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);

    // Feed standard input and drain both outputs together so that neither
    // side can block the other on a full pipe.
    tool_result result;
    std::size_t fed = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        ::close(in_fd);
        in_fd = -1;
    }
    bool out_open = true, err_open = true;
    char buffer[65536];
    while (out_open || err_open) {
        pollfd fds[3] = {{out_open ? out_pipe[0] : -1, POLLIN, 0},
                         {err_open ? err_pipe[0] : -1, POLLIN, 0},
                         {in_fd, POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[2].revents != 0 && in_fd >= 0) {
            const ssize_t n = ::write(in_fd, input.data() + fed,
                                      std::min<std::size_t>(input.size() - fed, 65536));
            if (n > 0) fed += static_cast<std::size_t>(n);
            if (n < 0 || fed == input.size()) {
                ::close(in_fd);
                in_fd = -1;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else {
                (i == 0 ? out_open : err_open) = false;
            }
        }
    }
    if (in_fd >= 0) ::close(in_fd);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    collect_status(child, result);
    return result;
}

tool_result run_tool_interrupted(const std::vector<std::string>& arguments,
                                 const std::string& input, bool (*ready)(const std::string&),
                                 const std::string& ready_argument, int signal) {
    int in_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = spawn_tool(arguments, in_pipe[0], -1, -1);
    ::close(in_pipe[0]);
    feed(in_pipe[1], input);
    for (int waited = 0; waited < 1000 && !ready(ready_argument); ++waited) ::usleep(10000);
    ::kill(child, signal);
    tool_result result;
    collect_status(child, result);
    ::close(in_pipe[1]);
    return result;
}

tool_result run_tool_paced(const std::vector<std::string>& arguments, const std::string& first,
                           const std::string& second, int pause_ms, bool terminal) {
    int in_pipe[2], err_pair[2];
    if (::pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (terminal) {
        if (::openpty(&err_pair[0], &err_pair[1], nullptr, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        // The tool must not hold the terminal's master end open.
        ::fcntl(err_pair[0], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(err_pair, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = spawn_tool(arguments, in_pipe[0], -1, err_pair[1]);
    ::close(in_pipe[0]);
    ::close(err_pair[1]);
    feed(in_pipe[1], first);
    ::usleep(static_cast<useconds_t>(pause_ms) * 1000);
    feed(in_pipe[1], second);
    ::close(in_pipe[1]);
    tool_result result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(err_pair[0], buffer, sizeof buffer);
        if (n > 0) {
            result.err.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // end of the pipe, or EIO once the terminal's last writer is gone
        }
    }
    ::close(err_pair[0]);
    collect_status(child, result);
    return result;
}

background_program::background_program(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::string& output_prefix)
    : out_path_(output_prefix + ".out"), err_path_(output_prefix + ".err") {
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = spawn_program(program.empty() ? std::string(G723_TOOL_PATH) : program, arguments, in,
                         out, err);
    // Live senders and receivers keep real time on a busy machine, as
    // 'chrt -f' runs them (refused without the privilege; then they run as
    // they are).
    const sched_param priority{10};
    ::sched_setscheduler(pid_, SCHED_FIFO, &priority);
    ::close(in);
    ::close(out);
    ::close(err);
}

background_program::~background_program() {
    if (pid_ > 0) finish(0.0);
}

void background_program::signal(int signal_number) {
    if (pid_ > 0) ::kill(pid_, signal_number);
}

tool_result background_program::finish(double seconds) {
    tool_result result;
    if (pid_ <= 0) return result;
    int status = 0;
    pid_t ended = 0;
    for (int waited = 0; (ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && waited < seconds * 100;
         ++waited) {
        ::usleep(10000);
    }
    if (ended == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = read_file(out_path_);
    result.err = read_file(err_path_);
    return result;
}

scratch_directory::scratch_directory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "g723_tool_test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

scratch_directory::~scratch_directory() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> scratch_directory::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> directory_files(const std::string& directory) {
    std::map<std::string, std::string> found;
    if (!std::filesystem::exists(directory)) return found;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        found[entry.path().filename().string()] = read_file(entry.path().string());
    return found;
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool is_single_line(const std::string& text) {
    return !text.empty() && text.back() == '\n' &&
           std::count(text.begin(), text.end(), '\n') == 1;
}

}  // namespace g723::tool_test
