// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_PYTHON_STREAMING_DECODER_H
#define G723_PYTHON_STREAMING_DECODER_H

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/codec/frame_splitting.h"
#include "media/codec/frame_statistics.h"
#include "g723/g723.h"

namespace g723::python {

using namespace g723::media;

// A decoder fed a compact bit-stream in pieces of any length. Whole frames
// are decoded as they complete; the bytes of an unfinished frame wait for
// the next piece. A 5.3 kbit/s frame is concealed like a lost one, as the
// g723 tool does. Calls from several threads on one instance are serialised.
class streaming_decoder {
public:
    explicit streaming_decoder(bool postfilter);
    ~streaming_decoder();
    streaming_decoder(const streaming_decoder&) = delete;
    streaming_decoder& operator=(const streaming_decoder&) = delete;

    // Frames that `data` completes, with the bytes already waiting.
    std::size_t frames_in(std::span<const std::uint8_t> data) const;
    // Decodes the frames that `data` completes, 240 samples each, onto
    // `out`. `lost`, when given, holds one flag per such frame; a nonzero
    // flag conceals the frame instead of decoding it.
    void decode(std::span<const std::uint8_t> data, std::optional<std::span<const std::uint8_t>> lost,
                std::vector<std::int16_t>& out);
    // Conceals `count` frames that never arrived onto `out`.
    void conceal(std::size_t count, std::vector<std::int16_t>& out);
    // Ends the stream and starts a new one. Returns the g723 tool's message
    // when the stream ended inside a frame (the partial frame is dropped),
    // an empty string otherwise.
    std::string finish();

    frame_statistics counts() const;
    std::size_t pending_bytes() const;

private:
    void decode_slot(const frame_slot& slot, frame_kind kind, bool lost, std::int16_t* out);
    void start_stream();

    bool postfilter_;
    g723_decoder* handle_ = nullptr;
    frame_splitter splitter_;  // this stream's bytes into frames
    frame_statistics counts_;
    mutable std::mutex mutex_;
};

}  // namespace g723::python

#endif
