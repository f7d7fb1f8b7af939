// SPDX-License-Identifier: BSD-2-Clause
/* A C99 host of the library: includes the public header, checks that the
 * frame and packet calls have the argument lists a C host expects, drives the
 * control calls and codes one packet through the shared library. Exits
 * nonzero on any fault. */
#include "g723/g723.h"

#include <stdio.h>
#include <string.h>

typedef g723_result (*encode_frame_call)(g723_encoder*, const int16_t*, uint8_t*, int32_t*);
typedef g723_result (*encode_packet_call)(g723_encoder*, const int16_t*, int32_t*, uint8_t*,
                                          int32_t*);
typedef g723_result (*decode_frame_call)(g723_decoder*, const uint8_t*, int16_t*, int32_t,
                                         int32_t*);
typedef g723_result (*decode_packet_call)(g723_decoder*, const uint8_t*, int32_t*, int16_t*,
                                          int32_t, int32_t*);

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        printf("failed: %s\n", what);
        ++failures;
    }
}

int main(void) {
    /* Initialising a pointer from a function of another type is a
     * constraint violation, so a changed argument list fails to compile. */
    encode_frame_call encode_frame = &g723_encode_frame;
    encode_packet_call encode_packet = &g723_encode_packet;
    decode_frame_call decode_frame = &g723_decode_frame;
    decode_packet_call decode_packet = &g723_decode_packet;
    check(encode_frame && encode_packet && decode_frame && decode_packet, "frame calls linked");

    check(g723_ok == 0 && g723_not_supported == 1 && g723_frame_not_supported == 2 &&
              g723_frame_invalid == 3 && g723_invalid_mode == 4 && g723_out_of_memory == 6,
          "result code values");
    check(G723_FRAME_SAMPLES == 240 && G723_SLOT_BYTES == 24, "frame sizes");

    const char* version = NULL;
    check(g723_get_version(&version) == g723_ok, "g723_get_version result");
    check(version != NULL && strcmp(version, "orm.tessivo.1.1") == 0, "version string");

    g723_encoder* encoder = NULL;
    check(g723_encoder_open(&encoder) == g723_ok && encoder != NULL, "g723_encoder_open");
    if (encoder != NULL) {
        int32_t mode = -1, single_sid = -1, length = -1, rate = -1;
        check(g723_encoder_set_vad_mode(encoder, 1, 0) == g723_ok, "set_vad_mode");
        check(g723_encoder_get_vad_mode(encoder, &mode, &single_sid) == g723_ok && mode == 1 &&
                  single_sid == 0,
              "get_vad_mode");
        check(g723_encoder_set_filter_mode(encoder, 3) == g723_invalid_mode, "invalid filter mode");
        check(g723_encoder_get_comp_rate(encoder, &rate) == g723_not_supported && rate == 0,
              "encoder comp rate");
        check(g723_encoder_get_output_length(encoder, &length) == g723_ok && length == 24,
              "output length");
        check(g723_encoder_close(&encoder) == g723_ok, "g723_encoder_close");
    }

    /* Two frames of a tone through the packet calls, then back. */
    {
        static int16_t samples[2 * G723_FRAME_SAMPLES];
        static uint8_t packet[2 * G723_SLOT_BYTES];
        int32_t in_count = 2 * G723_FRAME_SAMPLES, length = 0, count = 0;
        int i;
        g723_encoder* coder = NULL;
        g723_decoder* listener = NULL;
        for (i = 0; i < 2 * G723_FRAME_SAMPLES; ++i) samples[i] = (int16_t)((i % 20 < 10) ? 3000 : -3000);
        check(g723_encoder_open(&coder) == g723_ok, "encoder for the packet");
        check(g723_decoder_open(&listener) == g723_ok, "decoder for the packet");
        if (coder != NULL && listener != NULL) {
            check(g723_encode_packet(coder, samples, &in_count, packet, &length) == g723_ok &&
                      in_count == 2 * G723_FRAME_SAMPLES && length == 2 * G723_SLOT_BYTES,
                  "g723_encode_packet counts");
            check(g723_decode_packet(listener, packet, &length, samples, 0, &count) == g723_ok &&
                      length == 2 * G723_SLOT_BYTES && count == 2 * G723_FRAME_SAMPLES,
                  "g723_decode_packet counts");
        }
        g723_encoder_close(&coder);
        g723_decoder_close(&listener);
    }

    g723_decoder* decoder = NULL;
    check(g723_decoder_open(&decoder) == g723_ok && decoder != NULL, "g723_decoder_open");
    if (decoder != NULL) {
        int32_t mode = -1, length = -1;
        check(g723_decoder_set_filter_mode(decoder, 0) == g723_ok, "decoder set_filter_mode");
        check(g723_decoder_get_filter_mode(decoder, &mode) == g723_ok && mode == 0,
              "decoder get_filter_mode");
        check(g723_decoder_get_input_length(decoder, &length) == g723_ok && length == 24,
              "input length");
        check(g723_decoder_close(&decoder) == g723_ok, "g723_decoder_close");
    }
    decoder = NULL;
    check(g723_decoder_close(&decoder) == g723_not_supported, "closing a null decoder");

    printf("%s\n", failures == 0 ? "ok" : "FAILED");
    return failures == 0 ? 0 : 1;
}
