// SPDX-License-Identifier: BSD-2-Clause
#include "io/atomic_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "io/stop_signals.h"
#include "io/tool_error.h"

namespace g723::tool {

namespace {

// The temporary files that a signal handler must remove before the process
// dies, one slot per output being written (several threads may each write
// one). A slot's name is complete whenever its state says pending; the
// handler reads only lock-free atomics and the names.
constexpr int pending_slots = 64;
char pending_paths[pending_slots][4096];
std::atomic<int> pending_state[pending_slots];  // 0 free, 1 taken, 2 pending
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void remove_pending_and_reraise(int signal_number) {
    for (int slot = 0; slot < pending_slots; ++slot)
        if (pending_state[slot].load() == 2) ::unlink(pending_paths[slot]);
    die_of_signal(signal_number);
}

void install_signal_cleanup() {
    static const bool installed = [] {
        on_stop_signals(remove_pending_and_reraise, true);
        return true;
    }();
    (void)installed;
}

// A free slot, or -1 when every slot is in use.
int take_slot() {
    for (int slot = 0; slot < pending_slots; ++slot) {
        int free = 0;
        if (pending_state[slot].compare_exchange_strong(free, 1)) return slot;
    }
    return -1;
}

constexpr std::size_t buffer_limit = 1 << 16;

}  // namespace

atomic_output_file::atomic_output_file(const std::string& name)
    : final_path_(name), display_name_(display_name(name, true)) {
    buffer_.reserve(buffer_limit);
    if (name == "-") {
        fd_ = STDOUT_FILENO;
        standard_output_ = true;
        stream_ = true;
        return;
    }
    struct stat existing {};
    const bool exists = ::stat(name.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) fail_data(display_name_, "is a directory");
    if (exists && ::access(name.c_str(), W_OK) != 0) {
        fail_data(display_name_, std::string("cannot be written: ") + std::strerror(errno));
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a named pipe (/dev/null, a FIFO) is written through,
        // like standard output: there is no file to replace.
        fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) {
            fail_data(display_name_, std::string("cannot be written: ") + std::strerror(errno));
        }
        stream_ = true;
        return;
    }
    // A symbolic link keeps pointing at the file it names: the file itself is
    // replaced, beside its real location.
    char resolved[PATH_MAX];
    if (exists && ::realpath(name.c_str(), resolved) != nullptr) final_path_ = resolved;

    const auto slash = final_path_.find_last_of('/');
    const std::string directory =
        slash == std::string::npos ? "" : final_path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? final_path_ : final_path_.substr(slash + 1);
    std::string pattern = directory + "." + base + ".XXXXXX";
    if (pattern.size() >= sizeof pending_paths[0]) fail_data(display_name_, "file name too long");

    install_signal_cleanup();
    slot_ = take_slot();
    if (slot_ < 0) fail_data(display_name_, "cannot be written: too many outputs open at once");
    // mkstemp fills in the name the signal handler reads, and the name is
    // marked pending before the file exists, so that a signal at any moment
    // cannot leave the file behind.
    char* pending = pending_paths[slot_];
    std::copy(pattern.begin(), pattern.end(), pending);
    pending[pattern.size()] = '\0';
    pending_state[slot_].store(2);
    fd_ = ::mkstemp(pending);
    if (fd_ < 0) {
        release_slot();
        fail_data(display_name_, std::string("cannot be written: ") + std::strerror(errno));
    }
    temporary_path_ = pending;

    // mkstemp creates the file private to the owner; give it the mode a
    // plainly created file (or the file it replaces) would have.
    mode_t mode = 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd_, mode);
}

atomic_output_file::~atomic_output_file() {
    if (!committed_) discard();
}

void atomic_output_file::discard() noexcept {
    if (standard_output_) return;
    if (stream_) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_path_.empty()) ::unlink(temporary_path_.c_str());
    release_slot();
}

void atomic_output_file::release_slot() noexcept {
    if (slot_ >= 0) pending_state[slot_].store(0);
    slot_ = -1;
}

void atomic_output_file::write(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= buffer_limit) flush();
}

void atomic_output_file::flush() {
    std::size_t written = 0;
    while (written < buffer_.size()) {
        const ssize_t count = ::write(fd_, buffer_.data() + written, buffer_.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            fail_data(display_name_, std::string("write error: ") + std::strerror(errno));
        }
        written += static_cast<std::size_t>(count);
    }
    buffer_.clear();
}

void atomic_output_file::commit() {
    flush();
    if (stream_) {
        if (!standard_output_ && ::close(fd_) != 0) {
            fd_ = -1;
            fail_data(display_name_, std::string("write error: ") + std::strerror(errno));
        }
        if (!standard_output_) fd_ = -1;
        committed_ = true;
        return;
    }
    if (::fsync(fd_) != 0) {
        fail_data(display_name_, std::string("write error: ") + std::strerror(errno));
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        fail_data(display_name_, std::string("write error: ") + std::strerror(errno));
    }
    fd_ = -1;
    if (::rename(temporary_path_.c_str(), final_path_.c_str()) != 0) {
        fail_data(display_name_, std::string("cannot be written: ") + std::strerror(errno));
    }
    release_slot();
    committed_ = true;
}

}  // namespace g723::tool
