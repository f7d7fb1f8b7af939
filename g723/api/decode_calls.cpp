// SPDX-License-Identifier: BSD-2-Clause
// The decoder's frame and packet calls.
#include "g723/api/decode_calls.h"

#include <algorithm>
#include <limits>
#include <span>

#include "g723/decoder/decoder_frame.h"
#include "g723/g723.h"

namespace g723 {

int32_t packet_frames(int32_t in_length, int32_t slot_bytes) {
    constexpr int32_t kMostFrames = std::numeric_limits<int32_t>::max() / kFrameSamples;
    return std::clamp(in_length / slot_bytes, 0, kMostFrames);
}

}  // namespace g723

extern "C" {

g723_result g723_decode_frame(g723_decoder* decoder, const uint8_t* in, int16_t* out, int32_t lost,
                              int32_t* out_count) {
    *out_count = g723::kFrameSamples;
    const std::span<int16_t, g723::kFrameSamples> samples(out, g723::kFrameSamples);
    return static_cast<g723_result>(g723::decode_frame(*decoder, in, samples, lost));
}

g723_result g723_decode_packet(g723_decoder* decoder, const uint8_t* in, int32_t* in_length,
                               int16_t* out, int32_t lost, int32_t* out_count) {
    const int32_t step = decoder->frame_length[decoder->comp_rate];
    const int32_t frames = g723::packet_frames(*in_length, step);
    *out_count = 0;
    *in_length = 0;
    g723_result result = g723_ok;
    for (int32_t f = 0; f < frames; ++f) {
        int32_t count = 0;
        if (g723_decode_frame(decoder, in, out, lost, &count) != g723_ok) result = g723_frame_invalid;
        in += step;
        out += count;
        *in_length += step;
        *out_count += count;
    }
    return result;
}

}  // extern "C"
