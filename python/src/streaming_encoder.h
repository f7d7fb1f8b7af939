// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_STREAMING_ENCODER_H
#define G723_PYTHON_STREAMING_ENCODER_H

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "media/codec/frame_statistics.h"
#include "g723/g723.h"

namespace g723::python {

using namespace g723::media;

struct encoder_settings {
    bool vad = true;            // silence compression: SID and untransmitted frames
    bool multiple_sid = false;  // a SID frame whenever the noise changes
    bool highpass = true;       // the input high-pass filter
};

// An encoder fed samples in pieces of any length. Whole frames are coded as
// they fill; the samples of an unfinished frame wait for the next piece.
// Output is the compact layout: each frame only its meaningful bytes. Calls
// from several threads on one instance are serialised.
class streaming_encoder {
public:
    explicit streaming_encoder(const encoder_settings& settings);
    ~streaming_encoder();
    streaming_encoder(const streaming_encoder&) = delete;
    streaming_encoder& operator=(const streaming_encoder&) = delete;

    // Appends the frames that `samples` complete to `out`.
    void encode(std::span<const std::int16_t> samples, std::vector<std::uint8_t>& out);
    // Ends the stream as the g723 tool ends its input: zeros up to whole
    // frames, far enough that the look-ahead covers the last sample; then
    // starts a new stream with the same settings.
    void flush(std::vector<std::uint8_t>& out);

    frame_statistics counts() const;
    std::size_t pending_samples() const;

private:
    void code_frame(const std::int16_t* frame, std::vector<std::uint8_t>& out);
    void start_stream();

    encoder_settings settings_;
    g723_encoder* handle_ = nullptr;
    std::array<std::int16_t, frame_samples> pending_{};
    std::size_t pending_count_ = 0;
    std::uint64_t stream_samples_ = 0;  // given since the stream started
    frame_statistics counts_;
    mutable std::mutex mutex_;
};

}  // namespace g723::python

#endif
