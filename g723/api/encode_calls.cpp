// SPDX-License-Identifier: BSD-2-Clause
// The frame and packet calls of the encoder: handles and counts in, the
// frame driver does the work.
#include <span>

#include "g723/encoder/encode_frame.h"
#include "g723/g723.h"

extern "C" {

G723_API g723_result g723_encode_frame(g723_encoder* encoder, const int16_t* in, uint8_t* out,
                                       int32_t* out_length) {
    g723::encode_frame(*encoder, std::span<const int16_t, g723::kFrameSamples>(in, g723::kFrameSamples),
                       std::span<uint8_t, g723::kSlotBytes>(out, g723::kSlotBytes));
    *out_length = encoder->frame_length[encoder->comp_rate];
    return g723_ok;
}

G723_API g723_result g723_encode_packet(g723_encoder* encoder, const int16_t* in, int32_t* in_count,
                                        uint8_t* out, int32_t* out_length) {
    const int32_t frames = *in_count / g723::kFrameSamples;
    *out_length = 0;
    *in_count = 0;
    for (int32_t f = 0; f < frames; ++f) {
        int32_t length = 0;
        g723_encode_frame(encoder, in + *in_count, out + *out_length, &length);
        *in_count += g723::kFrameSamples;
        *out_length += length;
    }
    return g723_ok;
}

}  // extern "C"
