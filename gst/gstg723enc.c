// SPDX-License-Identifier: BSD-2-Clause
/**
 * SECTION:element-g723enc
 *
 * Codes 8 kHz mono speech into G.723.1 frames at 6.3 kbit/s, with silence
 * compression. Each output buffer holds one 30 ms frame, only its
 * meaningful bytes: 24 for speech, 4 for a silence descriptor (SID). An
 * untransmitted frame (silence after a SID) produces no buffer; a GAP event
 * covers its 30 ms instead, so that timestamps stay exact and a decoder
 * downstream fills the pause with comfort noise.
 *
 * The encoder looks 60 samples (7.5 ms) ahead, so the frame it codes ends
 * 7.5 ms before the end of the input it has been given. At the end of the
 * stream the input is padded with zeros far enough that the last input
 * sample gets coded.
 *
 * ## Example pipeline
 * |[
 * gst-launch-1.0 filesrc location=speech.wav ! wavparse ! audioconvert ! audioresample ! g723enc ! rtpg723pay ! udpsink host=127.0.0.1 port=5004
 * ]|
 */

#include "gstg723enc.h"

#include <string.h>

#include <gst/audio/audio.h>

#include "gstg723frame.h"

GST_DEBUG_CATEGORY_STATIC (g723enc_debug);
#define GST_CAT_DEFAULT g723enc_debug

/* Samples the encoder codes behind the end of the input it has been given. */
#define LOOKAHEAD_SAMPLES 60

#define DEFAULT_VAD TRUE
#define DEFAULT_MULTIPLE_SID FALSE
#define DEFAULT_HIGHPASS TRUE

enum
{
  PROP_0,
  PROP_VAD,
  PROP_MULTIPLE_SID,
  PROP_HIGHPASS
};

static GstStaticPadTemplate sink_factory = GST_STATIC_PAD_TEMPLATE ("sink",
    GST_PAD_SINK,
    GST_PAD_ALWAYS,
    GST_STATIC_CAPS ("audio/x-raw, format = (string) " GST_AUDIO_NE (S16) ", "
        "rate = (int) 8000, channels = (int) 1, layout = (string) interleaved"));

static GstStaticPadTemplate src_factory = GST_STATIC_PAD_TEMPLATE ("src",
    GST_PAD_SRC,
    GST_PAD_ALWAYS,
    GST_STATIC_CAPS ("audio/G723, rate = (int) 8000, channels = (int) 1"));

G_DEFINE_TYPE (GstG723Enc, gst_g723_enc, GST_TYPE_AUDIO_ENCODER)
GST_ELEMENT_REGISTER_DEFINE (g723enc, "g723enc", GST_RANK_PRIMARY,
    GST_TYPE_G723_ENC)

static void gst_g723_enc_set_property (GObject * object, guint prop_id,
    const GValue * value, GParamSpec * pspec);
static void gst_g723_enc_get_property (GObject * object, guint prop_id,
    GValue * value, GParamSpec * pspec);
static gboolean gst_g723_enc_start (GstAudioEncoder * benc);
static gboolean gst_g723_enc_stop (GstAudioEncoder * benc);
static gboolean gst_g723_enc_set_format (GstAudioEncoder * benc,
    GstAudioInfo * info);
static GstFlowReturn gst_g723_enc_handle_frame (GstAudioEncoder * benc,
    GstBuffer * buffer);
static GstFlowReturn gst_g723_enc_pre_push (GstAudioEncoder * benc,
    GstBuffer ** buffer);
static gboolean gst_g723_enc_sink_event (GstAudioEncoder * benc,
    GstEvent * event);
static void gst_g723_enc_flush (GstAudioEncoder * benc);

static void
gst_g723_enc_class_init (GstG723EncClass * klass)
{
  GObjectClass *gobject_class = G_OBJECT_CLASS (klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS (klass);
  GstAudioEncoderClass *base_class = GST_AUDIO_ENCODER_CLASS (klass);

  gobject_class->set_property = gst_g723_enc_set_property;
  gobject_class->get_property = gst_g723_enc_get_property;

  g_object_class_install_property (gobject_class, PROP_VAD,
      g_param_spec_boolean ("vad", "VAD",
          "Silence compression: detect voice activity and send SID frames "
          "instead of speech frames in pauses", DEFAULT_VAD,
          G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
          GST_PARAM_MUTABLE_READY));
  g_object_class_install_property (gobject_class, PROP_MULTIPLE_SID,
      g_param_spec_boolean ("multiple-sid", "Multiple SID",
          "Send a new SID frame whenever the background noise changes, "
          "not only one per pause", DEFAULT_MULTIPLE_SID,
          G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
          GST_PARAM_MUTABLE_READY));
  g_object_class_install_property (gobject_class, PROP_HIGHPASS,
      g_param_spec_boolean ("highpass", "High-pass filter",
          "Remove DC and low-frequency hum from the input before coding",
          DEFAULT_HIGHPASS,
          G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
          GST_PARAM_MUTABLE_READY));

  gst_element_class_add_static_pad_template (element_class, &sink_factory);
  gst_element_class_add_static_pad_template (element_class, &src_factory);
  gst_element_class_set_static_metadata (element_class, "G.723.1 encoder",
      "Codec/Encoder/Audio",
      "Codes 8 kHz speech as G.723.1 at 6.3 kbit/s with silence compression",
      "The g723 developers");

  base_class->start = GST_DEBUG_FUNCPTR (gst_g723_enc_start);
  base_class->stop = GST_DEBUG_FUNCPTR (gst_g723_enc_stop);
  base_class->set_format = GST_DEBUG_FUNCPTR (gst_g723_enc_set_format);
  base_class->handle_frame = GST_DEBUG_FUNCPTR (gst_g723_enc_handle_frame);
  base_class->pre_push = GST_DEBUG_FUNCPTR (gst_g723_enc_pre_push);
  base_class->sink_event = GST_DEBUG_FUNCPTR (gst_g723_enc_sink_event);
  base_class->flush = GST_DEBUG_FUNCPTR (gst_g723_enc_flush);

  GST_DEBUG_CATEGORY_INIT (g723enc_debug, "g723enc", 0, "G.723.1 encoder");
}

/* Counts the samples that arrive, before the base class queues them. */
static GstPadProbeReturn
gst_g723_enc_count_input (G_GNUC_UNUSED GstPad * pad, GstPadProbeInfo * info,
    gpointer user_data)
{
  GstG723Enc *enc = GST_G723_ENC (user_data);

  enc->samples_in += gst_buffer_get_size (GST_PAD_PROBE_INFO_BUFFER (info)) /
      sizeof (gint16);
  return GST_PAD_PROBE_OK;
}

static void
gst_g723_enc_init (GstG723Enc * enc)
{
  enc->vad = DEFAULT_VAD;
  enc->multiple_sid = DEFAULT_MULTIPLE_SID;
  enc->highpass = DEFAULT_HIGHPASS;
  enc->next_pts = GST_CLOCK_TIME_NONE;
  GST_PAD_SET_ACCEPT_TEMPLATE (GST_AUDIO_ENCODER_SINK_PAD (enc));
  gst_pad_add_probe (GST_AUDIO_ENCODER_SINK_PAD (enc),
      GST_PAD_PROBE_TYPE_BUFFER, gst_g723_enc_count_input, enc, NULL);
}

static void
gst_g723_enc_set_property (GObject * object, guint prop_id,
    const GValue * value, GParamSpec * pspec)
{
  GstG723Enc *enc = GST_G723_ENC (object);

  GST_OBJECT_LOCK (enc);
  switch (prop_id) {
    case PROP_VAD:
      enc->vad = g_value_get_boolean (value);
      break;
    case PROP_MULTIPLE_SID:
      enc->multiple_sid = g_value_get_boolean (value);
      break;
    case PROP_HIGHPASS:
      enc->highpass = g_value_get_boolean (value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK (enc);
}

static void
gst_g723_enc_get_property (GObject * object, guint prop_id, GValue * value,
    GParamSpec * pspec)
{
  GstG723Enc *enc = GST_G723_ENC (object);

  GST_OBJECT_LOCK (enc);
  switch (prop_id) {
    case PROP_VAD:
      g_value_set_boolean (value, enc->vad);
      break;
    case PROP_MULTIPLE_SID:
      g_value_set_boolean (value, enc->multiple_sid);
      break;
    case PROP_HIGHPASS:
      g_value_set_boolean (value, enc->highpass);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID (object, prop_id, pspec);
      break;
  }
  GST_OBJECT_UNLOCK (enc);
}

/* Applies the properties to the open encoder instance. */
static gboolean
gst_g723_enc_configure (GstG723Enc * enc)
{
  gboolean vad, multiple_sid, highpass;

  GST_OBJECT_LOCK (enc);
  vad = enc->vad;
  multiple_sid = enc->multiple_sid;
  highpass = enc->highpass;
  GST_OBJECT_UNLOCK (enc);

  return g723_encoder_set_vad_mode (enc->encoder, vad ? 1 : 0,
      multiple_sid ? 0 : 1) == g723_ok
      && g723_encoder_set_filter_mode (enc->encoder, highpass ? 1 : 0)
      == g723_ok;
}

static gboolean
gst_g723_enc_start (GstAudioEncoder * benc)
{
  GstG723Enc *enc = GST_G723_ENC (benc);

  if (g723_encoder_open (&enc->encoder) != g723_ok) {
    GST_ELEMENT_ERROR (enc, RESOURCE, FAILED, (NULL),
        ("could not open a G.723.1 encoder: out of memory"));
    return FALSE;
  }
  if (!gst_g723_enc_configure (enc)) {
    GST_ELEMENT_ERROR (enc, LIBRARY, SETTINGS, (NULL),
        ("the encoder refused its settings"));
    g723_encoder_close (&enc->encoder);
    return FALSE;
  }
  enc->samples_in = 0;
  enc->next_pts = GST_CLOCK_TIME_NONE;
  return TRUE;
}

static gboolean
gst_g723_enc_stop (GstAudioEncoder * benc)
{
  GstG723Enc *enc = GST_G723_ENC (benc);

  if (enc->encoder != NULL)
    g723_encoder_close (&enc->encoder);
  return TRUE;
}

/* After a flush the stream starts afresh: the coder forgets its past. */
static void
gst_g723_enc_flush (GstAudioEncoder * benc)
{
  GstG723Enc *enc = GST_G723_ENC (benc);

  if (enc->encoder != NULL)
    g723_encoder_reset (enc->encoder);
  if (enc->encoder != NULL && !gst_g723_enc_configure (enc))
    GST_WARNING_OBJECT (enc, "the encoder refused its settings after reset");
  enc->samples_in = 0;
  enc->next_pts = GST_CLOCK_TIME_NONE;
}

static gboolean
gst_g723_enc_set_format (GstAudioEncoder * benc, GstAudioInfo * info)
{
  GstG723Enc *enc = GST_G723_ENC (benc);
  GstCaps *caps;
  gboolean negotiated;
  /* a frame has to be complete before it is coded, and its last 7.5 ms
   * come out only with the next frame */
  const GstClockTime latency = GST_G723_FRAME_DURATION +
      gst_util_uint64_scale_int (LOOKAHEAD_SAMPLES, GST_SECOND,
      GST_G723_SAMPLE_RATE);

  if (GST_AUDIO_INFO_RATE (info) != GST_G723_SAMPLE_RATE
      || GST_AUDIO_INFO_CHANNELS (info) != 1) {
    GST_ELEMENT_ERROR (enc, CORE, NEGOTIATION, (NULL),
        ("G.723.1 codes 8000 Hz mono only, not %d Hz with %d channels",
            GST_AUDIO_INFO_RATE (info), GST_AUDIO_INFO_CHANNELS (info)));
    return FALSE;
  }

  gst_audio_encoder_set_frame_samples_min (benc, G723_FRAME_SAMPLES);
  gst_audio_encoder_set_frame_samples_max (benc, G723_FRAME_SAMPLES);
  gst_audio_encoder_set_frame_max (benc, 1);
  gst_audio_encoder_set_latency (benc, latency, latency);

  caps = gst_caps_new_simple ("audio/G723", "rate", G_TYPE_INT,
      GST_G723_SAMPLE_RATE, "channels", G_TYPE_INT, 1, NULL);
  negotiated = gst_audio_encoder_set_output_format (benc, caps);
  gst_caps_unref (caps);
  return negotiated;
}

/* Pads the end of the stream with zeros so that the frames cover every
 * input sample despite the look-ahead, the way `g723 encode` does; the
 * padding goes through the base class like any input, so the last frames
 * get whole 30 ms timestamps. */
static void
gst_g723_enc_pad_end (GstG723Enc * enc)
{
  const guint64 frames = (enc->samples_in + LOOKAHEAD_SAMPLES +
      G723_FRAME_SAMPLES - 1) / G723_FRAME_SAMPLES;
  const guint64 padding = frames * G723_FRAME_SAMPLES - enc->samples_in;
  GstBuffer *zeros;

  if (enc->encoder == NULL || enc->samples_in == 0)
    return;
  zeros = gst_buffer_new_allocate (NULL, padding * sizeof (gint16), NULL);
  gst_buffer_memset (zeros, 0, 0, padding * sizeof (gint16));
  GST_DEBUG_OBJECT (enc, "padding %" G_GUINT64_FORMAT " samples at the end",
      padding);
  if (gst_pad_chain (GST_AUDIO_ENCODER_SINK_PAD (enc), zeros) != GST_FLOW_OK)
    GST_DEBUG_OBJECT (enc, "the padding was not coded");
  /* a second EOS pads nothing more */
  enc->samples_in = 0;
}

static gboolean
gst_g723_enc_sink_event (GstAudioEncoder * benc, GstEvent * event)
{
  GstG723Enc *enc = GST_G723_ENC (benc);

  if (GST_EVENT_TYPE (event) == GST_EVENT_EOS)
    gst_g723_enc_pad_end (enc);
  return GST_AUDIO_ENCODER_CLASS (gst_g723_enc_parent_class)->sink_event (benc,
      event);
}

static GstFlowReturn
gst_g723_enc_handle_frame (GstAudioEncoder * benc, GstBuffer * buffer)
{
  GstG723Enc *enc = GST_G723_ENC (benc);
  gint16 samples[G723_FRAME_SAMPLES] = { 0 };
  guint8 slot[G723_SLOT_BYTES];
  int32_t length = 0;
  gint taken;
  GstBuffer *frame;
  GstFlowReturn ret;

  /* the end of the stream was padded to whole frames: nothing is left */
  if (buffer == NULL)
    return GST_FLOW_OK;

  /* whole frames, except where a clipped stream end leaves a part of one,
   * which the zeros complete */
  taken = gst_buffer_extract (buffer, 0, samples, sizeof samples) /
      sizeof (gint16);
  g723_encode_frame (enc->encoder, samples, slot, &length);

  if (gst_g723_frame_code (slot[0]) == GST_G723_FRAME_UNTRANSMITTED) {
    /* nothing is sent: the frame's 30 ms become a gap downstream */
    const GstClockTime pts = GST_CLOCK_TIME_IS_VALID (enc->next_pts) ?
        enc->next_pts : benc->output_segment.start;

    ret = gst_audio_encoder_finish_frame (benc, NULL, taken);
    if (ret == GST_FLOW_OK && GST_CLOCK_TIME_IS_VALID (pts)) {
      gst_pad_push_event (GST_AUDIO_ENCODER_SRC_PAD (enc),
          gst_event_new_gap (pts, GST_G723_FRAME_DURATION));
      enc->next_pts = pts + GST_G723_FRAME_DURATION;
    }
    return ret;
  }

  frame = gst_buffer_new_memdup (slot, gst_g723_frame_bytes (slot[0]));
  return gst_audio_encoder_finish_frame (benc, frame, taken);
}

/* Remembers where the stream goes on after each coded frame. */
static GstFlowReturn
gst_g723_enc_pre_push (GstAudioEncoder * benc, GstBuffer ** buffer)
{
  GstG723Enc *enc = GST_G723_ENC (benc);

  if (GST_BUFFER_PTS_IS_VALID (*buffer))
    enc->next_pts = GST_BUFFER_PTS (*buffer) + GST_G723_FRAME_DURATION;
  return GST_FLOW_OK;
}
