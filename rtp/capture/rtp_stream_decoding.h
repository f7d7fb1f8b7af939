// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_RTP_STREAM_DECODING_H
#define G723_RTP_CAPTURE_RTP_STREAM_DECODING_H

#include <cstdint>
#include <span>
#include <vector>

#include "rtp/capture/capture_scan.h"
#include "rtp/stream/stream_statistics.h"
#include "rtp/stream/timeline_decoding.h"

namespace g723::rtp {

struct decoded_stream {
    std::vector<std::int16_t> samples;  // 8 kHz mono
    rtp::stream_statistics statistics;
    // What each 30 ms frame of `samples` is, frame i at samples 240 i.
    std::vector<decoded_frame> frames;
    // The frames at which the decoder started afresh (an SSRC change, a
    // timestamp jump), the first frame included.
    std::vector<std::size_t> segment_starts;
    double start_seconds = 0.0;  // arrival of the timeline's first packet
    bool cut = false;            // longer than max_stream_frames, cut there
};


// Decodes one captured stream: packets of `payload_type` put in sequence
// order with duplicates dropped, their frames laid on the stream's
// timeline and decoded. Packets of other payload types in the same stream
// (telephone events, say) are left out without counting as lost.
decoded_stream decode_rtp_stream(std::span<const captured_rtp_packet> packets, std::uint32_t ssrc,
                                 unsigned payload_type, bool postfilter);

}  // namespace g723::rtp

#endif
