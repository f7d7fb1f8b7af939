// SPDX-License-Identifier: BSD-2-Clause
/*
 * The codec plugin through Wireshark's own codec interface, in-process: the
 * plugin is loaded with dlopen and registered before codecs_init(), as
 * Wireshark's loader would do, so the test runs as any user. Checks:
 *  - the module exports what Wireshark's loader reads, for this Wireshark;
 *  - both names the RTP Player looks up find the codec, 8 kHz mono;
 *  - payloads of whole frames decode as the library decodes those frames;
 *    a frame cut short, a 5.3 kbit/s frame, untransmitted frames and random
 *    bytes of every length give 240 samples per frame, the sizing call gives
 *    exactly the bytes written, and nothing is written past the buffer.
 * Prints the first broken check and exits 1.
 */
#include <dlfcn.h>
#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ws_version.h>
#include <wsutil/codecs.h>
#include <wsutil/filesystem.h>
#include <wsutil/privileges.h>
#include <wsutil/report_message.h>

#include "g723/g723.h"

#define FRAME_BYTES (G723_FRAME_SAMPLES * 2)

static int failures;

#define CHECK(condition, ...)                                              \
    do {                                                                   \
        if (!(condition)) {                                                \
            fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                  \
            fputc('\n', stderr);                                           \
            failures++;                                                    \
        }                                                                  \
    } while (0)

static void report_failure_v(const char* format, va_list args)
{
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    failures++;
}

static void print_open_failure(const char* name, int err, gboolean for_writing)
{
    fprintf(stderr, "cannot open %s (%d, %s)\n", name, err, for_writing ? "writing" : "reading");
}

static void print_read_failure(const char* name, int err)
{
    fprintf(stderr, "cannot read %s (%d)\n", name, err);
}

static const struct report_message_routines report_routines = {
    report_failure_v, report_failure_v, print_open_failure, print_read_failure,
    print_read_failure, NULL, NULL, NULL, NULL, NULL};

/* The player's two calls: the size, then the samples into a buffer of
 * exactly that size on the heap. Returns the samples (caller frees) and
 * their count in *samples. */
static int16_t* player_decode(codec_handle_t codec, void* context, const uint8_t* payload,
                              size_t length, size_t* samples)
{
    const size_t needed = codec_decode(codec, context, payload, length, NULL, NULL);
    int16_t* out = malloc(needed > 0 ? needed : 1);
    size_t size = needed;
    const size_t written = codec_decode(codec, context, payload, length, out, &size);
    CHECK(written == needed && size == written, "payload of %zu bytes: sized %zu, wrote %zu (%zu)",
          length, needed, written, size);
    CHECK(written % FRAME_BYTES == 0, "payload of %zu bytes: %zu bytes, not whole frames", length,
          written);
    *samples = written / 2;
    return out;
}

/* Speech-like frames from the library's encoder, silence compression off. */
static void encode_frames(uint8_t (*slots)[G723_SLOT_BYTES], int count)
{
    g723_encoder* encoder = NULL;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, 0, 1);
    for (int f = 0; f < count; f++) {
        int16_t pcm[G723_FRAME_SAMPLES];
        for (int i = 0; i < G723_FRAME_SAMPLES; i++) {
            const double t = (f * G723_FRAME_SAMPLES + i) / 8000.0;
            pcm[i] = (int16_t)(6000 * sin(2 * M_PI * 140 * t) * (1 + sin(2 * M_PI * 3 * t)) / 2 +
                               2000 * sin(2 * M_PI * 830 * t));
        }
        int32_t length = 0;
        g723_encode_frame(encoder, pcm, slots[f], &length);
    }
    g723_encoder_close(&encoder);
}

/* What the library gives for a sequence of slots, each maybe lost. */
static void library_decode(uint8_t (*slots)[G723_SLOT_BYTES], const int* lost, int count,
                           int16_t* out)
{
    g723_decoder* decoder = NULL;
    g723_decoder_open(&decoder);
    for (int f = 0; f < count; f++) {
        int32_t samples = 0;
        g723_decode_frame(decoder, slots[f], out + f * G723_FRAME_SAMPLES, lost[f], &samples);
    }
    g723_decoder_close(&decoder);
}

static int same_samples(const int16_t* a, const int16_t* b, size_t count)
{
    return memcmp(a, b, count * sizeof *a) == 0;
}

/* Payloads of two speech frames cut at every length: the whole frames as
 * the library decodes them, the cut one concealed as lost. */
static void check_cut_frames(codec_handle_t codec, uint8_t (*speech)[G723_SLOT_BYTES])
{
    uint8_t payload[48];
    int16_t expected[2 * G723_FRAME_SAMPLES];
    memcpy(payload, speech[0], 24);
    memcpy(payload + 24, speech[1], 24);
    for (size_t length = 0; length <= sizeof payload; length++) {
        const int frames = (int)((length + 23) / 24);
        const int lost[2] = {length < 24, length < 48};
        library_decode(speech, lost, frames, expected);
        void* context = codec_init(codec);
        size_t samples = 0;
        int16_t* out = player_decode(codec, context, payload, length, &samples);
        CHECK(samples == (size_t)frames * G723_FRAME_SAMPLES, "%zu bytes: %zu samples", length,
              samples);
        if (samples == (size_t)frames * G723_FRAME_SAMPLES)
            CHECK(same_samples(out, expected, samples), "%zu bytes: samples differ", length);
        free(out);
        codec_release(codec, context);
    }
}

/* A 6.3 kbit/s frame, a 5.3 kbit/s frame, a SID frame and untransmitted
 * frames in one payload: six frames, the 5.3 kbit/s one concealed by the
 * decoder as the library's frame call conceals it. */
static void check_mixed_kinds(codec_handle_t codec, uint8_t (*speech)[G723_SLOT_BYTES])
{
    uint8_t slots[6][G723_SLOT_BYTES] = {{0}};
    static const uint8_t sid[4] = {0x4e, 0x31, 0x8a, 0x17};
    const int lost[6] = {0};
    uint8_t payload[24 + 20 + 4 + 3];
    int16_t expected[6 * G723_FRAME_SAMPLES];
    memcpy(slots[0], speech[0], 24);
    memcpy(slots[1], speech[1], 20);
    slots[1][0] = (uint8_t)((slots[1][0] & ~3) | 1);
    memcpy(slots[2], sid, 4);
    slots[3][0] = slots[4][0] = slots[5][0] = 3;
    memcpy(payload, slots[0], 24);
    memcpy(payload + 24, slots[1], 20);
    memcpy(payload + 44, slots[2], 4);
    memset(payload + 48, 3, 3);
    library_decode(slots, lost, 6, expected);

    void* context = codec_init(codec);
    size_t samples = 0;
    int16_t* out = player_decode(codec, context, payload, sizeof payload, &samples);
    CHECK(samples == 6 * G723_FRAME_SAMPLES, "mixed payload: %zu samples", samples);
    if (samples == 6 * G723_FRAME_SAMPLES)
        CHECK(same_samples(out, expected, samples), "mixed payload: samples differ");
    free(out);

    /* A buffer short of the sizing answer gets only the frames that fit. */
    int16_t small[2 * G723_FRAME_SAMPLES + 100];
    size_t size = sizeof small;
    const size_t written = codec_decode(codec, context, payload, sizeof payload, small, &size);
    CHECK(written == 2 * FRAME_BYTES && size == written, "short buffer: %zu bytes written",
          written);
    codec_release(codec, context);
}

/* Random bytes of every length up to 25 frames, through one context as a
 * stream of damaged packets would come. */
static void check_random_payloads(codec_handle_t codec)
{
    uint64_t state = 0x9e3779b97f4a7c15u;
    uint8_t payload[600];
    void* context = codec_init(codec);
    for (size_t length = 0; length <= sizeof payload; length++) {
        for (size_t i = 0; i < length; i++) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            payload[i] = (uint8_t)(state >> 24);
        }
        /* the copy alone on the heap, so a read past its end is caught */
        uint8_t* exact = malloc(length > 0 ? length : 1);
        memcpy(exact, payload, length);
        size_t samples = 0;
        int16_t* out = player_decode(codec, context, exact, length, &samples);
        const size_t frames = samples / G723_FRAME_SAMPLES;
        CHECK((length == 0) == (frames == 0) && frames <= length,
              "%zu random bytes: %zu frames", length, frames);
        free(out);
        free(exact);
    }
    codec_release(codec, context);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s PLUGIN\n", argv[0]);
        return 2;
    }
    init_process_policies();
    configuration_init(argv[0], NULL);
    init_report_message("codec_api_test", &report_routines);

    void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (module == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const char* version = dlsym(module, "plugin_version");
    const int* major = dlsym(module, "plugin_want_major");
    const int* minor = dlsym(module, "plugin_want_minor");
    /* A function's address out of dlsym, without an object-to-function cast. */
    void (*plugin_register)(void) = NULL;
    void* entry = dlsym(module, "plugin_register");
    memcpy(&plugin_register, &entry, sizeof entry);
    if (version == NULL || major == NULL || minor == NULL || plugin_register == NULL) {
        fprintf(stderr, "%s lacks a plugin symbol\n", argv[1]);
        return 1;
    }
    CHECK(*major == WIRESHARK_VERSION_MAJOR && *minor == WIRESHARK_VERSION_MINOR,
          "built for Wireshark %d.%d", *major, *minor);
    plugin_register();
    codecs_init();

    codec_handle_t codec = find_codec("g723");
    CHECK(codec != NULL && find_codec("G723") != NULL, "both names registered");
    if (codec == NULL || find_codec("G723") == NULL)
        return 1;
    void* context = codec_init(find_codec("G723"));
    CHECK(codec_get_channels(codec, context) == 1 && codec_get_frequency(codec, context) == 8000,
          "%u channels at %u Hz", codec_get_channels(codec, context),
          codec_get_frequency(codec, context));
    codec_release(find_codec("G723"), context);

    uint8_t speech[2][G723_SLOT_BYTES];
    encode_frames(speech, 2);
    check_cut_frames(codec, speech);
    check_mixed_kinds(codec, speech);
    check_random_payloads(codec);

    codecs_cleanup();
    printf("plugin %s: %s\n", version, failures == 0 ? "all checks passed" : "checks failed");
    return failures == 0 ? 0 : 1;
}
