// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_STREAM_INFO_H
#define G723_PYTHON_STREAM_INFO_H

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "media/codec/frame_statistics.h"

namespace g723::python {

using namespace g723::media;

// What `g723 info` tells of a compact bit-stream.
struct stream_info {
    frame_statistics counts;  // its bytes: those of whole frames
    // Byte offset and reason of every frame that does not decode cleanly.
    std::vector<std::pair<std::uint64_t, std::string>> not_clean;
    // The tool's message when the stream ends inside a frame, else empty.
    std::string truncation;

    std::uint64_t bytes() const { return counts.bytes; }
    double seconds() const { return counts.seconds(); }
    double bit_rate() const { return counts.bit_rate(); }  // meaningful bytes only, as the compact layout carries them
};

// Reads the stream frame by frame and runs every frame through a decoder
// to find those it refuses.
stream_info describe_stream(std::span<const std::uint8_t> data);

}  // namespace g723::python

#endif
