// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_IO_INPUT_FILE_H
#define G723_TOOLS_IO_INPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/codec/byte_source.h"

namespace g723::tool {

// A file or standard input opened for reading bytes. Opening refuses a
// missing, unreadable or empty file and a directory, each with the reason.
class input_file : public media::byte_source {
public:
    explicit input_file(const std::string& name);
    ~input_file() override;
    input_file(const input_file&) = delete;
    input_file& operator=(const input_file&) = delete;

    // Reads up to `buffer.size()` bytes; fewer only at the end of the input.
    std::size_t read(std::span<std::uint8_t> buffer) override;
    // Everything that is left, for readers that need to seek (standard input
    // into libsndfile).
    std::vector<std::uint8_t> read_all();

    int descriptor() const { return fd_; }
    bool is_standard_input() const { return standard_input_; }
    // Size in bytes when the input is a regular file.
    std::optional<std::uint64_t> size() const { return size_; }
    std::uint64_t bytes_read() const { return bytes_read_; }
    const std::string& name() const override { return display_name_; }

private:
    int fd_ = -1;
    bool standard_input_ = false;
    std::optional<std::uint64_t> size_;
    std::uint64_t bytes_read_ = 0;
    std::string display_name_;
};

}  // namespace g723::tool

#endif
