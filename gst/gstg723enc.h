// SPDX-License-Identifier: BSD-2-Clause
/* g723enc: 8 kHz mono speech to G.723.1 frames at 6.3 kbit/s. */
#ifndef GST_G723_ENC_H
#define GST_G723_ENC_H

#include <gst/audio/gstaudioencoder.h>
#include <gst/gst.h>

#include "g723/g723.h"

G_BEGIN_DECLS

#define GST_TYPE_G723_ENC (gst_g723_enc_get_type ())
G_DECLARE_FINAL_TYPE (GstG723Enc, gst_g723_enc, GST, G723_ENC, GstAudioEncoder)

struct _GstG723Enc
{
  GstAudioEncoder parent;

  g723_encoder *encoder;

  /* properties, taken when the element starts */
  gboolean vad;
  gboolean multiple_sid;
  gboolean highpass;

  /* input samples of the stream, without the padding added at its end */
  guint64 samples_in;
  /* where the next coded frame starts, for the gap an untransmitted frame
   * leaves */
  GstClockTime next_pts;
};

GST_ELEMENT_REGISTER_DECLARE (g723enc)

G_END_DECLS

#endif
