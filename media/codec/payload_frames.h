// SPDX-License-Identifier: BSD-2-Clause
/*
 * The frames of one G.723.1 RTP payload, as the hosts that decode payloads
 * in C take them (Wireshark's codec plugin, the baresip module).
 *
 * A payload holds frames back to back, each as long as the two low bits of
 * its first byte say: 24 bytes of 6.3 kbit/s speech, 20 of 5.3 kbit/s
 * speech, 4 of a silence descriptor (SID), 1 of an untransmitted frame.
 * Every frame, whole or not, stands for 30 ms and decodes into exactly 240
 * samples, so that a damaged payload never shifts the stream's timing: a
 * frame cut short by the end of the payload is concealed as a lost frame,
 * and a 5.3 kbit/s frame or one with out-of-range codes is concealed by the
 * decoder. An empty payload holds no frame.
 *
 * Plain C on the library's public header only; the fuzz targets use it
 * without the hosts.
 */
#ifndef G723_MEDIA_CODEC_PAYLOAD_FRAMES_H
#define G723_MEDIA_CODEC_PAYLOAD_FRAMES_H

#include <stddef.h>
#include <stdint.h>

#include "g723/g723.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One frame of a payload: where it starts, the bytes its header code asks
 * for and the bytes actually there (fewer for a frame cut short). */
typedef struct g723_payload_frame {
    size_t offset;
    size_t needed;
    size_t present;
} g723_payload_frame;

/* The frame that starts at offset, or 0 when the payload ends there. */
int g723_payload_frame_at(const uint8_t* payload, size_t length, size_t offset,
                          g723_payload_frame* frame);

/* The number of frames the payload holds (at most one per byte). */
size_t g723_payload_frame_count(const uint8_t* payload, size_t length);

/* Decodes the payload's first frames, at most max_frames of them, into 240
 * samples each, and returns how many it decoded; *damaged (when not NULL)
 * counts the concealed ones among them. */
size_t g723_payload_decode(g723_decoder* decoder, const uint8_t* payload, size_t length,
                           int16_t* samples, size_t max_frames, size_t* damaged);

#ifdef __cplusplus
}
#endif

#endif
