// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_IO_ATOMIC_OUTPUT_FILE_H
#define G723_TOOLS_IO_ATOMIC_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace g723::tool {

// An output that appears complete or not at all. A named output is written
// to a temporary file beside it and renamed over it by commit(); if the
// command fails, is interrupted by a signal, or never commits, the temporary
// file is removed and an existing file of that name is left untouched.
// Several outputs may be written at once, on different threads.
// "-" is standard output, which cannot be taken back: it is written through,
// as are devices and named pipes.
class atomic_output_file {
public:
    explicit atomic_output_file(const std::string& name);
    ~atomic_output_file();
    atomic_output_file(const atomic_output_file&) = delete;
    atomic_output_file& operator=(const atomic_output_file&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    // Flushes buffered bytes, syncs and renames into place.
    void commit();

    // The open descriptor, for libraries that write to it themselves; call
    // flush() before handing it over if write() was used.
    int descriptor() const { return fd_; }
    void flush();
    bool is_standard_output() const { return standard_output_; }
    // Written through as it comes, with no way back to fill in a header.
    bool is_stream() const { return stream_; }
    const std::string& name() const { return display_name_; }

private:
    void discard() noexcept;
    void release_slot() noexcept;

    std::string final_path_;
    std::string temporary_path_;
    std::string display_name_;
    int fd_ = -1;
    bool standard_output_ = false;
    bool stream_ = false;  // written through: standard output, a device, a FIFO
    bool committed_ = false;
    int slot_ = -1;  // of the temporary file's name, for the signal handler
    std::vector<std::uint8_t> buffer_;
};

}  // namespace g723::tool

#endif
