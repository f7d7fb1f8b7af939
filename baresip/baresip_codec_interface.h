// SPDX-License-Identifier: BSD-2-Clause
/*
 * The part of baresip 1.0.0's audio codec interface that the G.723.1
 * module uses. Debian ships baresip without a header, so the module
 * declares the few types and calls it needs here, in baresip's own order of
 * fields and parameters. The calls are resolved against the baresip program
 * when it loads the module; the types of libre and librem (lists, SDP
 * formats, configuration, sample formats) come from their own headers.
 */
#ifndef G723_BARESIP_CODEC_INTERFACE_H
#define G723_BARESIP_CODEC_INTERFACE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <re.h>
#include <rem_au.h>

struct auenc_state;
struct audec_state;
struct aucodec;

/* What baresip asks of an encoder: the packet time in ms and a bit rate in
 * bit/s (0 when it has no wish). */
struct auenc_param {
    uint32_t ptime;
    uint32_t bitrate;
};

/* Creates or updates a call's encoder; fmtp holds the peer's format
 * parameters from its SDP. */
typedef int(auenc_update_h)(struct auenc_state** aesp, const struct aucodec* ac,
                            struct auenc_param* prm, const char* fmtp);
/* Codes one packet time of sampc samples into buf; *len holds the room on
 * entry and the payload bytes on return (0 sends nothing, the RTP timestamp
 * still advances). */
typedef int(auenc_encode_h)(struct auenc_state* aes, bool* marker, uint8_t* buf, size_t* len,
                            int fmt, const void* sampv, size_t sampc);
/* Creates or updates a call's decoder. */
typedef int(audec_update_h)(struct audec_state** adsp, const struct aucodec* ac,
                            const char* fmtp);
/* Decodes one received payload; *sampc holds the room in samples on entry
 * and the samples written on return. */
typedef int(audec_decode_h)(struct audec_state* ads, int fmt, void* sampv, size_t* sampc,
                            bool marker, const uint8_t* buf, size_t len);
/* Called once for a gap in the sequence numbers, when a jitter buffer is
 * on, with the payload that follows the gap (the decode call for that
 * payload comes next); *sampc as for decoding. */
typedef int(audec_plc_h)(struct audec_state* ads, int fmt, void* sampv, size_t* sampc,
                         const uint8_t* buf, size_t len);

/* An audio codec as baresip lists it: pt is the payload type as text, name
 * the SDP encoding name, srate the sample rate, crate the RTP clock rate,
 * ch and pch the channels of the audio and of the RTP stream, ptime the
 * packet time the codec sends (ms), fmtp the format parameters it offers. */
struct aucodec {
    struct le le;
    const char* pt;
    const char* name;
    uint32_t srate;
    uint32_t crate;
    uint8_t ch;
    uint8_t pch;
    uint32_t ptime;
    const char* fmtp;
    auenc_update_h* encupdh;
    auenc_encode_h* ench;
    audec_update_h* decupdh;
    audec_decode_h* dech;
    audec_plc_h* plch;
    sdp_fmtp_enc_h* fmtp_ench;
    sdp_fmtp_cmp_h* fmtp_cmph;
};

void aucodec_register(struct list* aucodecl, struct aucodec* ac);
void aucodec_unregister(struct aucodec* ac);
struct list* baresip_aucodecl(void);
struct conf* conf_cur(void);
int info(const char* fmt, ...);
int warning(const char* fmt, ...);

#endif
