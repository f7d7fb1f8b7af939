// SPDX-License-Identifier: BSD-2-Clause
/* Conformance digests: codes and decodes raw audio through the public C
 * interface alone, in every combination of silence compression, input
 * high-pass filter and postfilter, with a fixed pattern of lost frames, and
 * prints one line per file and combination with a digest of the coded slots
 * and of the decoded samples. The same input and settings give the same
 * bits on every supported machine, so the lines of every build are equal.
 *
 *   g723_conformance FILE.raw...
 *
 * Each FILE is headerless 16-bit little-endian mono at 8 kHz. It is padded
 * with zeros to whole frames, far enough that the encoder's 60-sample
 * look-ahead reaches its last sample, as g723 encode pads it. Exits 1 when a
 * file cannot be read or a call fails. */
#include "g723/g723.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { look_ahead = 60 };

/* 64-bit FNV-1a, continued over successive byte runs. */
static uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t size) {
    size_t i;
    for (i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * UINT64_C(0x100000001b3);
    return hash;
}

static const uint64_t fnv1a_start = UINT64_C(0xcbf29ce484222325);

/* A lone lost frame every 23 frames and a burst of three every 97: the
 * decoder conceals after speech, SID and untransmitted frames alike. */
static int32_t frame_lost(size_t frame) {
    return frame % 23 == 11 || (frame % 97 >= 60 && frame % 97 < 63);
}

typedef struct {
    int16_t* samples; /* whole frames, zero-padded */
    size_t frames;
} pcm_input;

static int read_raw(const char* name, pcm_input* input) {
    FILE* file = fopen(name, "rb");
    uint8_t* bytes = NULL;
    size_t size = 0, capacity = 0, count, i;
    int failed = 0;
    if (file == NULL) return 0;
    for (;;) {
        size_t got;
        if (size == capacity) {
            uint8_t* grown = realloc(bytes, capacity = capacity ? 2 * capacity : 1 << 16);
            if (grown == NULL) {
                failed = 1;
                break;
            }
            bytes = grown;
        }
        got = fread(bytes + size, 1, capacity - size, file);
        if (got == 0) break;
        size += got;
    }
    failed = failed || ferror(file) || size == 0 || size % 2 != 0;
    fclose(file);
    if (failed) {
        free(bytes);
        return 0;
    }
    count = size / 2;
    input->frames = (count + look_ahead + G723_FRAME_SAMPLES - 1) / G723_FRAME_SAMPLES;
    input->samples = calloc(input->frames * G723_FRAME_SAMPLES, sizeof(int16_t));
    if (input->samples == NULL) {
        free(bytes);
        return 0;
    }
    /* Little-endian on every host. */
    for (i = 0; i < count; ++i)
        input->samples[i] = (int16_t)(uint16_t)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    free(bytes);
    return 1;
}

/* Digests and frame counts of one setting. */
typedef struct {
    uint64_t slots, samples;
    size_t speech, sid, untransmitted, lost;
} coded_result;

static void add_samples(coded_result* result, const int16_t* out) {
    uint8_t pcm[2 * G723_FRAME_SAMPLES];
    int i;
    for (i = 0; i < G723_FRAME_SAMPLES; ++i) {
        pcm[2 * i] = (uint8_t)((uint16_t)out[i] & 0xff);
        pcm[2 * i + 1] = (uint8_t)((uint16_t)out[i] >> 8);
    }
    result->samples = fnv1a(result->samples, pcm, sizeof pcm);
}

/* Codes the input once with the given encoder settings and decodes the
 * frames with the postfilter off (result[0]) and on (result[1]). */
static int code(const pcm_input* input, int32_t vad, int32_t highpass, coded_result result[2]) {
    g723_encoder* encoder = NULL;
    g723_decoder* decoder[2] = {NULL, NULL};
    size_t f;
    int p, ok = g723_encoder_open(&encoder) == g723_ok &&
                g723_encoder_set_vad_mode(encoder, vad, 1) == g723_ok &&
                g723_encoder_set_filter_mode(encoder, highpass) == g723_ok;
    for (p = 0; p < 2; ++p) {
        ok = ok && g723_decoder_open(&decoder[p]) == g723_ok &&
             g723_decoder_set_filter_mode(decoder[p], p) == g723_ok;
        memset(&result[p], 0, sizeof result[p]);
        result[p].slots = result[p].samples = fnv1a_start;
    }
    for (f = 0; ok && f < input->frames; ++f) {
        uint8_t slot[G723_SLOT_BYTES];
        int16_t out[G723_FRAME_SAMPLES];
        int32_t length = 0, count = 0, lost = frame_lost(f);
        ok = g723_encode_frame(encoder, input->samples + f * G723_FRAME_SAMPLES, slot, &length) ==
                 g723_ok &&
             length == G723_SLOT_BYTES;
        for (p = 0; ok && p < 2; ++p) {
            ok = g723_decode_frame(decoder[p], slot, out, lost, &count) == g723_ok &&
                 count == G723_FRAME_SAMPLES;
            switch (slot[0] & 3) {
            case 0: ++result[p].speech; break;
            case 2: ++result[p].sid; break;
            case 3: ++result[p].untransmitted; break;
            default: ok = 0; break; /* the encoder writes no 5.3 kbit/s frames */
            }
            result[p].lost += (size_t)lost;
            result[p].slots = fnv1a(result[p].slots, slot, sizeof slot);
            add_samples(&result[p], out);
        }
    }
    if (encoder != NULL && g723_encoder_close(&encoder) != g723_ok) ok = 0;
    for (p = 0; p < 2; ++p)
        if (decoder[p] != NULL && g723_decoder_close(&decoder[p]) != g723_ok) ok = 0;
    return ok;
}

int main(int argc, char** argv) {
    int a, status = 0;
    if (argc < 2) {
        fprintf(stderr, "usage: g723_conformance FILE.raw...\n");
        return 2;
    }
    for (a = 1; a < argc; ++a) {
        pcm_input input;
        int setting;
        if (!read_raw(argv[a], &input)) {
            fprintf(stderr, "g723_conformance: %s: cannot be read as 16-bit raw samples\n", argv[a]);
            status = 1;
            continue;
        }
        for (setting = 0; setting < 4; ++setting) {
            const int32_t vad = setting >> 1 & 1, highpass = setting & 1;
            coded_result r[2];
            int postfilter;
            if (!code(&input, vad, highpass, r)) {
                fprintf(stderr, "g723_conformance: %s: a call failed (vad %d, highpass %d)\n", argv[a],
                        (int)vad, (int)highpass);
                status = 1;
                continue;
            }
            for (postfilter = 0; postfilter < 2; ++postfilter)
                printf("%s vad %d highpass %d postfilter %d frames %lu speech %lu sid %lu "
                       "untransmitted %lu lost %lu bits %016" PRIx64 " samples %016" PRIx64 "\n",
                       argv[a], (int)vad, (int)highpass, postfilter, (unsigned long)input.frames,
                       (unsigned long)r[postfilter].speech, (unsigned long)r[postfilter].sid,
                       (unsigned long)r[postfilter].untransmitted, (unsigned long)r[postfilter].lost,
                       r[postfilter].slots, r[postfilter].samples);
        }
        free(input.samples);
    }
    return status;
}
