// SPDX-License-Identifier: BSD-2-Clause
/*
 * Wireshark codec plugin: G.723.1 for the RTP Player, tshark and sharkd.
 *
 * The player hands the codec the whole payload of one RTP packet per call
 * and asks twice: first for the number of bytes the payload decodes into,
 * then for the samples (16-bit, native byte order, 8 kHz mono). Every frame
 * of the payload gives 240 samples, damaged ones concealed, so the decoded
 * length always matches the packet's share of the timestamps.
 *
 * The codec is registered under both names the player looks up: "g723",
 * the short name of static payload type 4, and "G723", the encoding name
 * SDP announces for a dynamic type.
 */
#include <stdint.h>
#include <stdlib.h>

#include <ws_symbol_export.h>
#include <ws_version.h>
#include <wsutil/codecs.h>

#include "g723/g723.h"
#include "media/codec/payload_frames.h"

WS_DLL_PUBLIC_DEF const char plugin_version[] = G723_PLUGIN_VERSION;
WS_DLL_PUBLIC_DEF const int plugin_want_major = WIRESHARK_VERSION_MAJOR;
WS_DLL_PUBLIC_DEF const int plugin_want_minor = WIRESHARK_VERSION_MINOR;
WS_DLL_PUBLIC void plugin_register(void);

#define SAMPLE_RATE 8000
#define FRAME_BYTES (G723_FRAME_SAMPLES * sizeof(int16_t))

/* One decoder per stream and payload type, postfilters on. */
static void* g723_codec_init(void)
{
    g723_decoder* decoder = NULL;
    if (g723_decoder_open(&decoder) != g723_ok)
        return NULL;
    return decoder;
}

static void g723_codec_release(void* context)
{
    g723_decoder* decoder = context;
    if (decoder != NULL)
        g723_decoder_close(&decoder);
}

static unsigned g723_codec_channels(void* context)
{
    (void)context;
    return 1;
}

static unsigned g723_codec_frequency(void* context)
{
    (void)context;
    return SAMPLE_RATE;
}

static size_t g723_codec_decode(void* context, const void* input, size_t input_size,
                                void* output, size_t* output_size)
{
    const size_t frames = g723_payload_frame_count(input, input_size);
    if (context == NULL)
        return 0;
    /* The sizing call. */
    if (output == NULL || output_size == NULL)
        return frames * FRAME_BYTES;
    /* Only whole frames that fit the player's buffer are written. */
    const size_t room = *output_size / FRAME_BYTES;
    const size_t decoded = g723_payload_decode(context, input, input_size, output,
                                               frames < room ? frames : room, NULL);
    *output_size = decoded * FRAME_BYTES;
    return *output_size;
}

static void g723_register_codec_module(void)
{
    /* Wireshark keeps the name pointers: they must be literals. */
    register_codec("g723", g723_codec_init, g723_codec_release, g723_codec_channels,
                   g723_codec_frequency, g723_codec_decode);
    register_codec("G723", g723_codec_init, g723_codec_release, g723_codec_channels,
                   g723_codec_frequency, g723_codec_decode);
}

void plugin_register(void)
{
    static const codecs_plugin plugin = {g723_register_codec_module};
    codecs_register_plugin(&plugin);
}
