// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_BITSTREAM_BITSTREAM_WRITER_H
#define G723_TOOLS_BITSTREAM_BITSTREAM_WRITER_H

#include <cstdint>

#include "io/atomic_output_file.h"
#include "media/codec/frame_layout.h"

namespace g723::tool {

using namespace g723::media;

// Writes the encoder's slots to a bit-stream file in the chosen layout.
class bitstream_writer {
public:
    bitstream_writer(atomic_output_file& output, stream_layout layout)
        : output_(output), layout_(layout) {}

    // Returns the number of bytes written for this frame.
    std::size_t write(const frame_slot& slot);
    std::uint64_t bytes_written() const { return bytes_written_; }

private:
    atomic_output_file& output_;
    stream_layout layout_;
    std::uint64_t bytes_written_ = 0;
};

}  // namespace g723::tool

#endif
