// SPDX-License-Identifier: BSD-2-Clause
/*
 * g723 - G.723.1 speech codec at 6.3 kbit/s with silence compression
 * (voice activity detection, SID frames, comfort noise) and frame erasure
 * concealment.
 *
 * Plain C interface. Every call returns a g723_result; every other result is
 * delivered through pointer arguments. Encoder and decoder instances are
 * opaque handles; the open and close calls take the address of the host's
 * handle variable, every other call the handle itself.
 *
 * Samples are signed 16-bit linear PCM at 8 kHz, 240 per 30 ms frame. Coded
 * frames occupy 24-byte slots: a 24-byte speech frame, a 4-byte SID frame or
 * a 1-byte untransmitted frame, the rest of the slot zero.
 */
#ifndef G723_H
#define G723_H

#include <stdint.h>

#if defined(G723_BUILDING_LIBRARY) && defined(_WIN32)
#define G723_API __declspec(dllexport)
#elif defined(G723_BUILDING_LIBRARY) && defined(__GNUC__)
#define G723_API __attribute__((visibility("default")))
#else
#define G723_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum g723_result {
    g723_ok = 0,
    g723_not_supported = 1,       /* rate selection; closing a null handle */
    g723_frame_not_supported = 2, /* a 5.3 kbit/s frame was concealed */
    g723_frame_invalid = 3,       /* an undecodable frame was concealed */
    g723_invalid_mode = 4,        /* a mode argument other than 0 or 1 */
    g723_out_of_memory = 6        /* an open call could not allocate */
} g723_result;

typedef struct g723_encoder g723_encoder;
typedef struct g723_decoder g723_decoder;

/* Samples per frame, and bytes per coded-frame slot. */
#define G723_FRAME_SAMPLES 240
#define G723_SLOT_BYTES 24

/* Stores the address of the library's constant version string. */
G723_API g723_result g723_get_version(const char** version);

/* Encoder instances. */
G723_API g723_result g723_encoder_open(g723_encoder** handle);
G723_API g723_result g723_encoder_close(g723_encoder** handle);
G723_API g723_result g723_encoder_reset(g723_encoder* encoder);
G723_API g723_result g723_encoder_set_comp_rate(g723_encoder* encoder, int32_t rate);
G723_API g723_result g723_encoder_get_comp_rate(g723_encoder* encoder, int32_t* rate);
G723_API g723_result g723_encoder_set_filter_mode(g723_encoder* encoder, int32_t mode);
G723_API g723_result g723_encoder_get_filter_mode(g723_encoder* encoder, int32_t* mode);
G723_API g723_result g723_encoder_set_vad_mode(g723_encoder* encoder, int32_t mode,
                                               int32_t single_sid);
G723_API g723_result g723_encoder_get_vad_mode(g723_encoder* encoder, int32_t* mode,
                                               int32_t* single_sid);
G723_API g723_result g723_encoder_get_output_length(g723_encoder* encoder, int32_t* length);

/* Decoder instances. */
G723_API g723_result g723_decoder_open(g723_decoder** handle);
G723_API g723_result g723_decoder_close(g723_decoder** handle);
G723_API g723_result g723_decoder_reset(g723_decoder* decoder);
G723_API g723_result g723_decoder_set_comp_rate(g723_decoder* decoder, int32_t rate);
G723_API g723_result g723_decoder_get_comp_rate(g723_decoder* decoder, int32_t* rate);
G723_API g723_result g723_decoder_set_filter_mode(g723_decoder* decoder, int32_t mode);
G723_API g723_result g723_decoder_get_filter_mode(g723_decoder* decoder, int32_t* mode);
G723_API g723_result g723_decoder_get_input_length(g723_decoder* decoder, int32_t* length);

/* Frames and packets. A packet is consecutive 24-byte slots, or
 * consecutive 240-sample frames.
 *
 * g723_encode_frame codes 240 samples into one 24-byte slot (*out_length is
 * 24; a SID or untransmitted frame fills only its first 4 or 1 bytes, the
 * rest is zero) and returns 0. g723_encode_packet codes every whole frame of
 * *in_count samples; on return *in_count holds the samples consumed and
 * *out_length the bytes written.
 *
 * g723_decode_frame decodes one frame into 240 samples (*out_count is 240);
 * a nonzero lost (low 16 bits) conceals the frame without reading in. It
 * returns 2 for a 5.3 kbit/s frame and 3 for a frame with out-of-range codes,
 * both concealed. g723_decode_packet decodes every whole 24-byte slot of
 * *in_length bytes, up to 8947848 slots per call (the most whose sample count
 * an int32_t holds); on return *in_length holds the bytes consumed and
 * *out_count the samples written; it returns 3 when any frame failed. */
G723_API g723_result g723_encode_frame(g723_encoder* encoder, const int16_t* in,
                                       uint8_t* out, int32_t* out_length);
G723_API g723_result g723_encode_packet(g723_encoder* encoder, const int16_t* in,
                                        int32_t* in_count, uint8_t* out,
                                        int32_t* out_length);
G723_API g723_result g723_decode_frame(g723_decoder* decoder, const uint8_t* in,
                                       int16_t* out, int32_t lost, int32_t* out_count);
G723_API g723_result g723_decode_packet(g723_decoder* decoder, const uint8_t* in,
                                        int32_t* in_length, int16_t* out, int32_t lost,
                                        int32_t* out_count);

#ifdef __cplusplus
}
#endif

#endif /* G723_H */
