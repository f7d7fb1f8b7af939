/* SPDX-License-Identifier: BSD-2-Clause */
#ifndef G723_MEDIA_CODEC_FRAME_BYTES_H
#define G723_MEDIA_CODEC_FRAME_BYTES_H

/* The one table of how many bytes a coded frame occupies in the compact
 * layout, by the header code in the two low bits of its first byte:
 * 6.3 kbit/s speech, 5.3 kbit/s speech, SID, untransmitted. Plain C, so
 * that the C hosts (the GStreamer elements, the Wireshark plugin) read the
 * same table as the C++ ones. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

static inline size_t g723_media_frame_bytes(unsigned char first_byte)
{
    static const size_t bytes[4] = {24, 20, 4, 1};
    return bytes[first_byte & 3];
}

#ifdef __cplusplus
}
#endif

#endif
