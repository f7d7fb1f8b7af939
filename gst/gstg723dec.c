// SPDX-License-Identifier: BSD-2-Clause
/**
 * SECTION:element-g723dec
 *
 * Decodes G.723.1 frames into 8 kHz mono speech. An input buffer holds one
 * or more whole frames back to back, each as long as its header code says:
 * 24 bytes of speech, 4 of a silence descriptor (SID), 1 of an
 * untransmitted frame.
 *
 * Frames that never arrived are concealed: a GAP event, or a buffer whose
 * timestamp lies whole frames after the end of the previous one, is decoded
 * as that many lost frames, which continue the speech and fade it out.
 * After a SID frame a gap is the pause the sender left out, and it is
 * filled with comfort noise instead. Concealment follows the base class's
 * #GstAudioDecoder:plc property, which this element switches on.
 *
 * A 5.3 kbit/s frame (which this decoder does not support), a frame with
 * out-of-range codes and a frame cut short by the end of its buffer are
 * concealed too, counted in #GstG723Dec:bad-frames and reported in a
 * warning message; the stream goes on.
 *
 * ## Example pipeline
 * |[
 * gst-launch-1.0 udpsrc port=5004 caps="application/x-rtp, media=audio, clock-rate=8000, encoding-name=G723, payload=4" ! rtpjitterbuffer ! rtpg723depay ! g723dec ! autoaudiosink
 * ]|
 */

#include "gstg723dec.h"

#include <string.h>

#include <gst/audio/audio.h>

#include "gstg723frame.h"

GST_DEBUG_CATEGORY_STATIC (g723dec_debug);
#define GST_CAT_DEFAULT g723dec_debug

#define DEFAULT_POSTFILTER TRUE

/* The longest gap that is filled, one minute; after a longer jump of the
 * timestamps the stream just resumes there. */
#define MAX_GAP_FRAMES 2000

enum
{
  PROP_0,
  PROP_POSTFILTER,
  PROP_LOST_FRAMES,
  PROP_BAD_FRAMES
};

static GstStaticPadTemplate sink_factory = GST_STATIC_PAD_TEMPLATE ("sink",
    GST_PAD_SINK,
    GST_PAD_ALWAYS,
    GST_STATIC_CAPS ("audio/G723, rate = (int) 8000, channels = (int) 1"));

static GstStaticPadTemplate src_factory = GST_STATIC_PAD_TEMPLATE ("src",
    GST_PAD_SRC,
    GST_PAD_ALWAYS,
    GST_STATIC_CAPS ("audio/x-raw, format = (string) " GST_AUDIO_NE (S16) ", "
        "rate = (int) 8000, channels = (int) 1, layout = (string) interleaved"));

G_DEFINE_TYPE (GstG723Dec, gst_g723_dec, GST_TYPE_AUDIO_DECODER)
GST_ELEMENT_REGISTER_DEFINE (g723dec, "g723dec", GST_RANK_PRIMARY,
    GST_TYPE_G723_DEC)

static void gst_g723_dec_set_property (GObject * object, guint prop_id,
    const GValue * value, GParamSpec * pspec);
static void gst_g723_dec_get_property (GObject * object, guint prop_id,
    GValue * value, GParamSpec * pspec);
static gboolean gst_g723_dec_start (GstAudioDecoder * bdec);
static gboolean gst_g723_dec_stop (GstAudioDecoder * bdec);
static gboolean gst_g723_dec_set_format (GstAudioDecoder * bdec,
    GstCaps * caps);
static GstFlowReturn gst_g723_dec_handle_frame (GstAudioDecoder * bdec,
    GstBuffer * buffer);
static void gst_g723_dec_flush (GstAudioDecoder * bdec, gboolean hard);
static GstPadProbeReturn gst_g723_dec_find_gap (GstPad * pad,
    GstPadProbeInfo * info, gpointer user_data);
static gboolean gst_g723_dec_sink_event (GstAudioDecoder * bdec,
    GstEvent * event);

static void
gst_g723_dec_class_init (GstG723DecClass * klass)
{
  GObjectClass *gobject_class = G_OBJECT_CLASS (klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS (klass);
  GstAudioDecoderClass *base_class = GST_AUDIO_DECODER_CLASS (klass);

  gobject_class->set_property = gst_g723_dec_set_property;
  gobject_class->get_property = gst_g723_dec_get_property;

  g_object_class_install_property (gobject_class, PROP_POSTFILTER,
      g_param_spec_boolean ("postfilter", "Postfilter",
          "Apply the pitch and formant postfilters to the decoded speech",
          DEFAULT_POSTFILTER,
          G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
          GST_PARAM_MUTABLE_READY));
  g_object_class_install_property (gobject_class, PROP_LOST_FRAMES,
      g_param_spec_uint64 ("lost-frames", "Lost frames",
          "Frames of speech that never arrived and were concealed",
          0, G_MAXUINT64, 0, G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
  g_object_class_install_property (gobject_class, PROP_BAD_FRAMES,
      g_param_spec_uint64 ("bad-frames", "Bad frames",
          "Frames that could not be decoded (5.3 kbit/s, invalid or cut "
          "short) and were concealed", 0, G_MAXUINT64, 0,
          G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));

  gst_element_class_add_static_pad_template (element_class, &sink_factory);
  gst_element_class_add_static_pad_template (element_class, &src_factory);
  gst_element_class_set_static_metadata (element_class, "G.723.1 decoder",
      "Codec/Decoder/Audio",
      "Decodes G.723.1 speech with comfort noise and packet loss concealment",
      "The g723 developers");

  base_class->start = GST_DEBUG_FUNCPTR (gst_g723_dec_start);
  base_class->stop = GST_DEBUG_FUNCPTR (gst_g723_dec_stop);
  base_class->set_format = GST_DEBUG_FUNCPTR (gst_g723_dec_set_format);
  base_class->handle_frame = GST_DEBUG_FUNCPTR (gst_g723_dec_handle_frame);
  base_class->flush = GST_DEBUG_FUNCPTR (gst_g723_dec_flush);
  base_class->sink_event = GST_DEBUG_FUNCPTR (gst_g723_dec_sink_event);

  GST_DEBUG_CATEGORY_INIT (g723dec_debug, "g723dec", 0, "G.723.1 decoder");
}

static void
gst_g723_dec_init (GstG723Dec * dec)
{
  dec->postfilter = DEFAULT_POSTFILTER;
  dec->next_pts = GST_CLOCK_TIME_NONE;
  /* a gap in a G.723.1 stream is concealed or filled by default: lost
   * speech fades out, a left-out pause becomes comfort noise */
  gst_audio_decoder_set_plc (GST_AUDIO_DECODER (dec), TRUE);
  GST_PAD_SET_ACCEPT_TEMPLATE (GST_AUDIO_DECODER_SINK_PAD (dec));
  gst_pad_add_probe (GST_AUDIO_DECODER_SINK_PAD (dec),
      GST_PAD_PROBE_TYPE_BUFFER, gst_g723_dec_find_gap, dec, NULL);
}

static void
gst_g723_dec_set_property (GObject * object, guint prop_id,
    const GValue * value, GParamSpec * pspec)
{
  GstG723Dec *dec = GST_G723_DEC (object);

  switch (prop_id) {
    case PROP_POSTFILTER:
      GST_OBJECT_LOCK (dec);
      dec->postfilter = g_value_get_boolean (value);
      GST_OBJECT_UNLOCK (dec);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
  }
}

static void
gst_g723_dec_get_property (GObject * object, guint prop_id, GValue * value,
    GParamSpec * pspec)
{
  GstG723Dec *dec = GST_G723_DEC (object);

  GST_OBJECT_LOCK (dec);
  switch (prop_id) {
    case PROP_POSTFILTER:
      g_value_set_boolean (value, dec->postfilter);
      break;
    case PROP_LOST_FRAMES:
      g_value_set_uint64 (value, dec->lost_frames);
      break;
    case PROP_BAD_FRAMES:
      g_value_set_uint64 (value, dec->bad_frames);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK (dec);
}

static gboolean
gst_g723_dec_configure (GstG723Dec * dec)
{
  gboolean postfilter;

  GST_OBJECT_LOCK (dec);
  postfilter = dec->postfilter;
  GST_OBJECT_UNLOCK (dec);
  return g723_decoder_set_filter_mode (dec->decoder, postfilter ? 1 : 0)
      == g723_ok;
}

static void
gst_g723_dec_restart (GstG723Dec * dec)
{
  dec->next_pts = GST_CLOCK_TIME_NONE;
  dec->in_pause = FALSE;
}

static gboolean
gst_g723_dec_start (GstAudioDecoder * bdec)
{
  GstG723Dec *dec = GST_G723_DEC (bdec);

  if (g723_decoder_open (&dec->decoder) != g723_ok) {
    GST_ELEMENT_ERROR (dec, RESOURCE, FAILED, (NULL),
        ("could not open a G.723.1 decoder: out of memory"));
    return FALSE;
  }
  if (!gst_g723_dec_configure (dec)) {
    GST_ELEMENT_ERROR (dec, LIBRARY, SETTINGS, (NULL),
        ("the decoder refused its settings"));
    g723_decoder_close (&dec->decoder);
    return FALSE;
  }
  gst_g723_dec_restart (dec);
  /* the base class forgets this at every start */
  gst_audio_decoder_set_plc_aware (bdec, TRUE);
  GST_OBJECT_LOCK (dec);
  dec->lost_frames = 0;
  dec->bad_frames = 0;
  GST_OBJECT_UNLOCK (dec);
  return TRUE;
}

static gboolean
gst_g723_dec_stop (GstAudioDecoder * bdec)
{
  GstG723Dec *dec = GST_G723_DEC (bdec);

  if (dec->decoder != NULL)
    g723_decoder_close (&dec->decoder);
  return TRUE;
}

/* A hard flush (seek, new stream) starts afresh; the soft one that a
 * discontinuity causes keeps the decoder's past, so that the frames after
 * the gap continue from the concealment. */
static void
gst_g723_dec_flush (GstAudioDecoder * bdec, gboolean hard)
{
  GstG723Dec *dec = GST_G723_DEC (bdec);

  if (!hard || dec->decoder == NULL)
    return;
  g723_decoder_reset (dec->decoder);
  if (!gst_g723_dec_configure (dec))
    GST_WARNING_OBJECT (dec, "the decoder refused its settings after reset");
  gst_g723_dec_restart (dec);
}

static gboolean
gst_g723_dec_set_format (GstAudioDecoder * bdec, GstCaps * caps)
{
  GstAudioInfo info;

  GST_DEBUG_OBJECT (bdec, "input caps %" GST_PTR_FORMAT, (gpointer) caps);
  gst_audio_info_init (&info);
  gst_audio_info_set_format (&info, GST_AUDIO_FORMAT_S16, GST_G723_SAMPLE_RATE,
      1, NULL);
  return gst_audio_decoder_set_output_format (bdec, &info);
}

/* Decodes one frame, which the caller has checked to be whole. */
static gboolean
gst_g723_dec_decode (GstG723Dec * dec, const guint8 * frame, gint16 * out)
{
  guint8 slot[G723_SLOT_BYTES] = { 0 };
  const guint code = gst_g723_frame_code (frame[0]);
  int32_t count = 0;

  memcpy (slot, frame, gst_g723_frame_bytes (frame[0]));
  /* 5.3 kbit/s and invalid frames come back concealed */
  if (g723_decode_frame (dec->decoder, slot, out, 0, &count) != g723_ok)
    return FALSE;
  if (code == GST_G723_FRAME_SID || code == GST_G723_FRAME_UNTRANSMITTED)
    dec->in_pause = TRUE;
  else if (code == GST_G723_FRAME_SPEECH)
    dec->in_pause = FALSE;
  return TRUE;
}

/* Fills frames that never arrived: comfort noise in a pause, concealment
 * of lost speech otherwise. */
static void
gst_g723_dec_fill_gap (GstG723Dec * dec, guint frames, gint16 * out)
{
  static const guint8 untransmitted = GST_G723_FRAME_UNTRANSMITTED;
  int32_t count = 0;
  guint i;

  for (i = 0; i < frames; i++, out += G723_FRAME_SAMPLES) {
    if (dec->in_pause) {
      g723_decode_frame (dec->decoder, &untransmitted, out, 0, &count);
    } else {
      g723_decode_frame (dec->decoder, &untransmitted, out, 1, &count);
      GST_OBJECT_LOCK (dec);
      dec->lost_frames++;
      GST_OBJECT_UNLOCK (dec);
    }
  }
}

/* Whole frames that fit in the time from `from` to `to`, rounded. */
static guint
gst_g723_dec_frames_between (GstClockTime from, GstClockTime to)
{
  if (!GST_CLOCK_TIME_IS_VALID (from) || !GST_CLOCK_TIME_IS_VALID (to)
      || to <= from)
    return 0;
  return (guint) MIN ((to - from + GST_G723_FRAME_DURATION / 2) /
      GST_G723_FRAME_DURATION, G_MAXUINT);
}

/* Reports frames that could not be decoded. The stream goes on; the
 * warnings thin out (at 1, 2, 4, 8, ... bad frames) so that a broken
 * stream cannot flood the bus. */
static void
gst_g723_dec_report_bad (GstG723Dec * dec, guint bad, const gchar * what)
{
  guint64 before, after;

  GST_OBJECT_LOCK (dec);
  before = dec->bad_frames;
  dec->bad_frames += bad;
  after = dec->bad_frames;
  GST_OBJECT_UNLOCK (dec);
  if (before == 0 || g_bit_storage (after) > g_bit_storage (before)) {
    GST_ELEMENT_WARNING (dec, STREAM, DECODE,
        ("Could not decode %u G.723.1 frame%s; concealed instead", bad,
            bad == 1 ? "" : "s"),
        ("%s; %" G_GUINT64_FORMAT " bad frames so far", what, after));
  }
}

static GstFlowReturn
gst_g723_dec_handle_frame (GstAudioDecoder * bdec, GstBuffer * buffer)
{
  GstG723Dec *dec = GST_G723_DEC (bdec);
  GstMapInfo map, out_map;
  GstBuffer *out;
  guint gap = 0, frames = 0, invalid = 0, i;
  gsize offset, cut = 0, cut_needed = 0;
  gint16 *samples;

  /* nothing is held back, so there is nothing to drain */
  if (buffer == NULL)
    return GST_FLOW_OK;
  if (!gst_buffer_map (buffer, &map, GST_MAP_READ))
    return gst_audio_decoder_finish_frame (bdec, NULL, 1);

  if (map.size == 0) {
    /* the base class asks for a gap to be filled (a GAP event) */
    gap = GST_BUFFER_DURATION_IS_VALID (buffer) ?
        gst_g723_dec_frames_between (0, GST_BUFFER_DURATION (buffer)) : 1;
    gap = MIN (gap, MAX_GAP_FRAMES);
  }
  /* count the whole frames; a frame cut short is concealed in its place */
  for (offset = 0; offset < map.size; frames++) {
    const gsize bytes = gst_g723_frame_bytes (map.data[offset]);
    if (map.size - offset < bytes) {
      cut = map.size - offset;
      cut_needed = bytes;
      frames++;
      break;
    }
    offset += bytes;
  }

  if (gap + frames == 0) {
    gst_buffer_unmap (buffer, &map);
    return gst_audio_decoder_finish_frame (bdec, NULL, 1);
  }
  out = gst_buffer_new_allocate (NULL,
      (gsize) (gap + frames) * G723_FRAME_SAMPLES * sizeof (gint16), NULL);
  gst_buffer_map (out, &out_map, GST_MAP_WRITE);
  samples = (gint16 *) out_map.data;
  gst_g723_dec_fill_gap (dec, gap, samples);
  samples += (gsize) gap * G723_FRAME_SAMPLES;
  for (i = 0, offset = 0; i < frames; i++, samples += G723_FRAME_SAMPLES) {
    const gsize bytes = gst_g723_frame_bytes (map.data[offset]);
    if (map.size - offset < bytes) {
      int32_t count = 0;
      g723_decode_frame (dec->decoder, map.data + offset, samples, 1, &count);
    } else {
      if (!gst_g723_dec_decode (dec, map.data + offset, samples))
        invalid++;
      offset += bytes;
    }
  }
  gst_buffer_unmap (out, &out_map);
  gst_buffer_unmap (buffer, &map);

  if (invalid > 0)
    gst_g723_dec_report_bad (dec, invalid,
        "5.3 kbit/s frames or frames with out-of-range codes");
  if (cut > 0) {
    gchar *what = g_strdup_printf ("the buffer ends inside a frame: %"
        G_GSIZE_FORMAT " of its %" G_GSIZE_FORMAT " bytes present", cut,
        cut_needed);
    gst_g723_dec_report_bad (dec, 1, what);
    g_free (what);
  }

  if (GST_BUFFER_PTS_IS_VALID (buffer))
    dec->next_pts = GST_BUFFER_PTS (buffer) +
        (gap + frames) * GST_G723_FRAME_DURATION;
  else if (GST_CLOCK_TIME_IS_VALID (dec->next_pts))
    dec->next_pts += (gap + frames) * GST_G723_FRAME_DURATION;

  return gst_audio_decoder_finish_frame (bdec, out, 1);
}

/* A buffer that starts whole frames after the end of the previous one
 * follows a gap: a GAP event for it goes ahead of the buffer, and the base
 * class has it filled, with timestamps of its own. */
static GstPadProbeReturn
gst_g723_dec_find_gap (GstPad * pad, GstPadProbeInfo * info,
    gpointer user_data)
{
  GstG723Dec *dec = GST_G723_DEC (user_data);
  const GstClockTime pts = GST_BUFFER_PTS (GST_PAD_PROBE_INFO_BUFFER (info));
  guint missing;

  /* without concealment the base class just follows the timestamps */
  if (!gst_audio_decoder_get_plc (GST_AUDIO_DECODER (dec)))
    return GST_PAD_PROBE_OK;
  missing = gst_g723_dec_frames_between (dec->next_pts, pts);
  if (missing > MAX_GAP_FRAMES) {
    GST_INFO_OBJECT (dec, "timestamps jump by %u frames, resuming there",
        missing);
  } else if (missing > 0) {
    GST_DEBUG_OBJECT (dec, "%u frames missing before %" GST_TIME_FORMAT,
        missing, GST_TIME_ARGS (pts));
    gst_pad_send_event (pad, gst_event_new_gap (dec->next_pts,
            missing * GST_G723_FRAME_DURATION));
  }
  return GST_PAD_PROBE_OK;
}

/* A GAP event that starts whole frames after the end of the stream so far
 * (the frame before it was lost too) is widened back to that end. */
static gboolean
gst_g723_dec_sink_event (GstAudioDecoder * bdec, GstEvent * event)
{
  GstG723Dec *dec = GST_G723_DEC (bdec);

  if (GST_EVENT_TYPE (event) == GST_EVENT_GAP
      && gst_audio_decoder_get_plc (bdec)) {
    GstClockTime pts, duration;
    guint missing;

    gst_event_parse_gap (event, &pts, &duration);
    missing = gst_g723_dec_frames_between (dec->next_pts, pts);
    if (missing > 0 && missing <= MAX_GAP_FRAMES
        && GST_CLOCK_TIME_IS_VALID (duration)) {
      GST_DEBUG_OBJECT (dec, "%u frames missing before the gap at %"
          GST_TIME_FORMAT, missing, GST_TIME_ARGS (pts));
      gst_event_unref (event);
      event = gst_event_new_gap (dec->next_pts, pts + duration - dec->next_pts);
    }
  }
  return GST_AUDIO_DECODER_CLASS (gst_g723_dec_parent_class)->sink_event (bdec,
      event);
}
