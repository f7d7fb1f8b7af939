// SPDX-License-Identifier: BSD-2-Clause
/* The size of a coded G.723.1 frame, read from its header code. */
#ifndef GST_G723_FRAME_H
#define GST_G723_FRAME_H

#include <gst/gst.h>

#include "g723/g723.h"
#include "media/codec/frame_bytes.h"

G_BEGIN_DECLS

/* Header codes: the two low bits of a frame's first byte. */
enum {
  GST_G723_FRAME_SPEECH = 0,    /* 6.3 kbit/s speech, 24 bytes */
  GST_G723_FRAME_SPEECH_5K3 = 1,        /* 5.3 kbit/s speech, 20 bytes */
  GST_G723_FRAME_SID = 2,       /* silence descriptor, 4 bytes */
  GST_G723_FRAME_UNTRANSMITTED = 3      /* silence, nothing sent; 1 byte */
};

/* 30 ms of 8 kHz speech per frame. */
#define GST_G723_FRAME_DURATION (30 * GST_MSECOND)
#define GST_G723_SAMPLE_RATE 8000

static inline guint
gst_g723_frame_code (guint8 first_byte)
{
  return first_byte & 3;
}

/* Meaningful bytes of a frame that starts with first_byte. */
static inline gsize
gst_g723_frame_bytes (guint8 first_byte)
{
  return g723_media_frame_bytes (first_byte);
}

G_END_DECLS

#endif
