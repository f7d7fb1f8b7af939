// SPDX-License-Identifier: BSD-2-Clause
/* g723dec: G.723.1 frames to 8 kHz mono speech, with concealment. */
#ifndef GST_G723_DEC_H
#define GST_G723_DEC_H

#include <gst/audio/gstaudiodecoder.h>
#include <gst/gst.h>

#include "g723/g723.h"

G_BEGIN_DECLS

#define GST_TYPE_G723_DEC (gst_g723_dec_get_type ())
G_DECLARE_FINAL_TYPE (GstG723Dec, gst_g723_dec, GST, G723_DEC, GstAudioDecoder)

struct _GstG723Dec
{
  GstAudioDecoder parent;

  g723_decoder *decoder;

  /* property, taken when the element starts */
  gboolean postfilter;

  /* where the stream continues when no frame is missing */
  GstClockTime next_pts;
  /* the last frame was a SID or untransmitted frame: a gap is a pause */
  gboolean in_pause;

  /* frames concealed because they never arrived, and because they could
   * not be decoded (5.3 kbit/s, invalid or cut short) */
  guint64 lost_frames;
  guint64 bad_frames;
};

GST_ELEMENT_REGISTER_DECLARE (g723dec)

G_END_DECLS

#endif
