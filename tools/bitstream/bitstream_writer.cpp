// SPDX-License-Identifier: BSD-2-Clause
#include "bitstream/bitstream_writer.h"

#include <span>

namespace g723::tool {

std::size_t bitstream_writer::write(const frame_slot& slot) {
    const std::size_t length = layout_ == stream_layout::slots
                                   ? slot.size()
                                   : meaningful_bytes(kind_of(slot[0]));
    output_.write(std::span(slot).first(length));
    bytes_written_ += length;
    return length;
}

}  // namespace g723::tool
