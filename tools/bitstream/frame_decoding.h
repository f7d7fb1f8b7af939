// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TOOLS_BITSTREAM_FRAME_DECODING_H
#define G723_TOOLS_BITSTREAM_FRAME_DECODING_H

#include <cstdint>
#include <span>

#include "media/codec/bitstream_reader.h"
#include "media/codec/codec_handles.h"
#include "media/codec/frame_statistics.h"

namespace g723::tool {

using namespace g723::media;

enum class frame_outcome { clean, invalid, not_supported, marked_lost };

// Decodes one frame of a bit-stream file into 240 samples and counts it.
// A 5.3 kbit/s frame is not handed to the decoder at all: it is concealed as
// lost. A frame the decoder refuses is concealed by the decoder itself.
frame_outcome decode_coded_frame(g723_decoder* decoder, const coded_frame& frame, bool lost,
                                 std::span<std::int16_t, frame_samples> samples,
                                 frame_statistics& statistics);

}  // namespace g723::tool

#endif
