// SPDX-License-Identifier: BSD-2-Clause
/*
 * G.723.1 RTP payloads for baresip: each call's encoder and decoder, behind
 * the handlers baresip calls (see baresip_codec_interface.h).
 *
 * Sending: every packet time of samples becomes one payload of whole 30 ms
 * frames. With silence compression (both sides allow annexa), the encoder's
 * SID frames are sent and its untransmitted frames are left out: a packet
 * of nothing but untransmitted frames sends nothing, and those that end a
 * packet are left off its end. Every frame before the last one sent keeps
 * its 30 ms in the payload, as the RTP timestamp of a packet is that of its
 * first frame: an untransmitted frame there goes as the silence period's
 * SID frame again, which the receiver takes as comfort noise going on. The
 * marker bit is set on the first packet and on the first packet with speech
 * after one without.
 *
 * Receiving: a payload of any number of frames of any kind decodes into 240
 * samples a frame (a frame cut short, a 5.3 kbit/s frame or one with
 * out-of-range codes is concealed). For a gap in the sequence numbers
 * baresip makes one concealment call, with the payload that follows the gap
 * (which it then decodes as usual) but not the number of packets lost: the
 * gap is taken to be one packet as long as that payload, and that many
 * frames are concealed.
 */
#ifndef G723_BARESIP_PAYLOAD_CODEC_H
#define G723_BARESIP_PAYLOAD_CODEC_H

#include "baresip_codec_interface.h"

/* Whether format parameters allow silence compression: annexa=no forbids
 * it, anything else (also no parameters at all) allows it. */
bool g723_fmtp_allows_annexa(const char* fmtp);

/* The handlers. The encoder uses silence compression when the codec's own
 * parameters (ac->fmtp) and the peer's (fmtp) both allow it. */
int g723_call_encoder_update(struct auenc_state** aesp, const struct aucodec* ac,
                             struct auenc_param* prm, const char* fmtp);
int g723_call_encode(struct auenc_state* aes, bool* marker, uint8_t* buf, size_t* len, int fmt,
                     const void* sampv, size_t sampc);
int g723_call_decoder_update(struct audec_state** adsp, const struct aucodec* ac,
                             const char* fmtp);
int g723_call_decode(struct audec_state* ads, int fmt, void* sampv, size_t* sampc, bool marker,
                     const uint8_t* buf, size_t len);
int g723_call_conceal(struct audec_state* ads, int fmt, void* sampv, size_t* sampc,
                      const uint8_t* buf, size_t len);

#endif
