// SPDX-License-Identifier: BSD-2-Clause
#include "payload_codec.h"

#include <errno.h>
#include <string.h>

#include "g723/g723.h"
#include "media/codec/payload_frames.h"

/* Frame header codes: the two low bits of a frame's first byte. */
enum { header_speech = 0, header_sid = 2, header_untransmitted = 3 };
enum { speech_bytes = 24, sid_bytes = 4 };

struct auenc_state {
    g723_encoder* encoder;
    bool silence_compression;
    /* The last SID frame sent, which stands again for untransmitted frames
     * that a packet must carry to keep its timing. */
    uint8_t sid[sid_bytes];
    bool have_sid;
    /* Whether the previous packet time carried speech, for the marker. */
    bool speech_before;
    bool started;
};

struct audec_state {
    g723_decoder* decoder;
};

bool g723_fmtp_allows_annexa(const char* fmtp)
{
    struct pl params, value;
    if (fmtp == NULL || fmtp[0] == '\0')
        return true;
    pl_set_str(&params, fmtp);
    if (!fmt_param_get(&params, "annexa", &value))
        return true;
    return pl_strcasecmp(&value, "no") != 0;
}

static void encoder_destroy(void* data)
{
    struct auenc_state* state = data;
    g723_encoder_close(&state->encoder);
}

int g723_call_encoder_update(struct auenc_state** aesp, const struct aucodec* ac,
                             struct auenc_param* prm, const char* fmtp)
{
    struct auenc_state* state;
    bool silence_compression;
    (void)prm; /* the packet time is the number of samples each call brings */
    if (aesp == NULL || ac == NULL)
        return EINVAL;
    state = *aesp;
    if (state == NULL) {
        state = mem_zalloc(sizeof *state, encoder_destroy);
        if (state == NULL)
            return ENOMEM;
        if (g723_encoder_open(&state->encoder) != g723_ok) {
            mem_deref(state);
            return ENOMEM;
        }
        state->silence_compression = true; /* as the encoder opens */
        *aesp = state;
    }
    silence_compression = g723_fmtp_allows_annexa(ac->fmtp) && g723_fmtp_allows_annexa(fmtp);
    /* Switching it on again would restart the voice activity detector. */
    if (silence_compression != state->silence_compression) {
        g723_encoder_set_vad_mode(state->encoder, silence_compression ? 1 : 0, 1);
        state->silence_compression = silence_compression;
    }
    return 0;
}

int g723_call_encode(struct auenc_state* aes, bool* marker, uint8_t* buf, size_t* len, int fmt,
                     const void* sampv, size_t sampc)
{
    const int16_t* samples = sampv;
    size_t frames, length = 0, sent_length = 0;
    bool speech = false;
    if (aes == NULL || marker == NULL || buf == NULL || len == NULL || sampv == NULL)
        return EINVAL;
    if (fmt != AUFMT_S16LE)
        return ENOTSUP;
    /* baresip brings the codec's packet time, whole frames. */
    if (sampc % G723_FRAME_SAMPLES != 0)
        return EINVAL;
    frames = sampc / G723_FRAME_SAMPLES;
    if (*len < frames * speech_bytes)
        return ENOMEM;
    for (size_t i = 0; i < frames; ++i) {
        uint8_t slot[G723_SLOT_BYTES];
        int32_t slot_length = 0;
        g723_encode_frame(aes->encoder, samples + i * G723_FRAME_SAMPLES, slot, &slot_length);
        switch (slot[0] & 3) {
        case header_speech:
            memcpy(buf + length, slot, speech_bytes);
            length += speech_bytes;
            sent_length = length;
            speech = true;
            break;
        case header_sid:
            memcpy(aes->sid, slot, sid_bytes);
            aes->have_sid = true;
            memcpy(buf + length, slot, sid_bytes);
            length += sid_bytes;
            sent_length = length;
            break;
        default:
            /* Untransmitted: kept as the SID frame again for now, dropped
             * below unless a frame that is sent follows it. */
            if (aes->have_sid) {
                memcpy(buf + length, aes->sid, sid_bytes);
                length += sid_bytes;
            }
            break;
        }
    }
    *len = sent_length;
    *marker = sent_length > 0 && (!aes->started || (speech && !aes->speech_before));
    if (sent_length > 0)
        aes->started = true;
    aes->speech_before = speech;
    return 0;
}

static void decoder_destroy(void* data)
{
    struct audec_state* state = data;
    g723_decoder_close(&state->decoder);
}

int g723_call_decoder_update(struct audec_state** adsp, const struct aucodec* ac,
                             const char* fmtp)
{
    struct audec_state* state;
    (void)fmtp; /* the decoder understands SID frames whatever was agreed */
    if (adsp == NULL || ac == NULL)
        return EINVAL;
    if (*adsp != NULL)
        return 0;
    state = mem_zalloc(sizeof *state, decoder_destroy);
    if (state == NULL)
        return ENOMEM;
    if (g723_decoder_open(&state->decoder) != g723_ok) {
        mem_deref(state);
        return ENOMEM;
    }
    *adsp = state;
    return 0;
}

int g723_call_decode(struct audec_state* ads, int fmt, void* sampv, size_t* sampc, bool marker,
                     const uint8_t* buf, size_t len)
{
    size_t frames;
    (void)marker; /* a talkspurt's first packet decodes as any other */
    if (ads == NULL || sampv == NULL || sampc == NULL)
        return EINVAL;
    if (fmt != AUFMT_S16LE)
        return ENOTSUP;
    frames = g723_payload_decode(ads->decoder, buf, len, sampv, *sampc / G723_FRAME_SAMPLES, NULL);
    *sampc = frames * G723_FRAME_SAMPLES;
    return 0;
}

int g723_call_conceal(struct audec_state* ads, int fmt, void* sampv, size_t* sampc,
                      const uint8_t* buf, size_t len)
{
    static const uint8_t no_frame[G723_SLOT_BYTES];
    int16_t* samples = sampv;
    size_t lost, frames;
    if (ads == NULL || sampv == NULL || sampc == NULL)
        return EINVAL;
    if (fmt != AUFMT_S16LE)
        return ENOTSUP;
    /* The lost packets are taken to be one, as long as the one that came
     * after them (which baresip hands to the decoder next). */
    lost = g723_payload_frame_count(buf, len);
    if (lost == 0)
        lost = 1;
    for (frames = 0; frames < lost && frames < *sampc / G723_FRAME_SAMPLES; ++frames) {
        int32_t count = 0;
        g723_decode_frame(ads->decoder, no_frame, samples + frames * G723_FRAME_SAMPLES, 1,
                          &count);
    }
    *sampc = frames * G723_FRAME_SAMPLES;
    return 0;
}
