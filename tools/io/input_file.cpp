// SPDX-License-Identifier: BSD-2-Clause
#include "io/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/tool_error.h"

namespace g723::tool {

input_file::input_file(const std::string& name) : display_name_(display_name(name, false)) {
    if (name == "-") {
        fd_ = STDIN_FILENO;
        standard_input_ = true;
    } else {
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) fail_data(display_name_, std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0) fail_data(display_name_, std::strerror(errno));
    if (S_ISDIR(status.st_mode)) fail_data(display_name_, "is a directory");
    if (S_ISREG(status.st_mode)) {
        size_ = static_cast<std::uint64_t>(status.st_size);
        // Standard input redirected from a file may already be part-read.
        if (standard_input_) {
            const off_t position = ::lseek(fd_, 0, SEEK_CUR);
            if (position > 0) *size_ -= static_cast<std::uint64_t>(position);
        }
        if (*size_ == 0) fail_data(display_name_, "is empty");
    }
}

input_file::~input_file() {
    if (!standard_input_ && fd_ >= 0) ::close(fd_);
}

std::size_t input_file::read(std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t count = ::read(fd_, buffer.data() + filled, buffer.size() - filled);
        if (count < 0) {
            if (errno == EINTR) continue;
            fail_data(display_name_, std::string("read error: ") + std::strerror(errno));
        }
        if (count == 0) break;
        filled += static_cast<std::size_t>(count);
    }
    bytes_read_ += filled;
    return filled;
}

std::vector<std::uint8_t> input_file::read_all() {
    std::vector<std::uint8_t> bytes;
    std::size_t used = 0;
    for (;;) {
        bytes.resize(used + 65536);
        const std::size_t count = read(std::span(bytes).subspan(used));
        used += count;
        if (count < 65536) break;
    }
    bytes.resize(used);
    return bytes;
}

}  // namespace g723::tool
