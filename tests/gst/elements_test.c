/* End-to-end checks of g723enc and g723dec in GStreamer pipelines: the
 * encoder's frames against the g723 tool's, RTP with dropped packets in one
 * pipeline and over UDP on loopback, hostile input, negotiation failures and
 * state changes. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>

#include <glib/gstdio.h>
#include <gst/check/gstcheck.h>
#include <gst/check/gstharness.h>
#include <gio/gio.h>

#define FRAME_NS (30 * GST_MSECOND)
#define FRAME_BYTES (240 * 2)
#define RTP_CAPS "application/x-rtp, media=audio, clock-rate=8000, " \
    "encoding-name=G723, payload=4"

/* What reached a fakesink: the bytes, and each buffer's timing and size. */
typedef struct
{
  GMutex lock;
  GByteArray *bytes;
  GArray *pts;
  GArray *durations;
  GArray *sizes;
} Collected;

static void
collected_init (Collected * c)
{
  g_mutex_init (&c->lock);
  c->bytes = g_byte_array_new ();
  c->pts = g_array_new (FALSE, FALSE, sizeof (GstClockTime));
  c->durations = g_array_new (FALSE, FALSE, sizeof (GstClockTime));
  c->sizes = g_array_new (FALSE, FALSE, sizeof (gsize));
}

static void
collected_clear (Collected * c)
{
  g_byte_array_unref (c->bytes);
  g_array_unref (c->pts);
  g_array_unref (c->durations);
  g_array_unref (c->sizes);
  g_mutex_clear (&c->lock);
}

static gsize
collected_size (Collected * c)
{
  gsize size;
  g_mutex_lock (&c->lock);
  size = c->bytes->len;
  g_mutex_unlock (&c->lock);
  return size;
}

static void
on_handoff (GstElement * sink, GstBuffer * buffer, GstPad * pad, gpointer data)
{
  Collected *c = data;
  GstMapInfo map;
  GstClockTime pts = GST_BUFFER_PTS (buffer), duration =
      GST_BUFFER_DURATION (buffer);
  (void) sink;
  (void) pad;
  gst_buffer_map (buffer, &map, GST_MAP_READ);
  g_mutex_lock (&c->lock);
  g_byte_array_append (c->bytes, map.data, map.size);
  g_array_append_val (c->pts, pts);
  g_array_append_val (c->durations, duration);
  g_array_append_val (c->sizes, map.size);
  g_mutex_unlock (&c->lock);
  gst_buffer_unmap (buffer, &map);
}

/* Drops RTP packets 3, 4 and 30 (counting from 0), and counts them all. */
static GstPadProbeReturn
drop_packets (GstPad * pad, GstPadProbeInfo * info, gpointer data)
{
  guint *count = data;
  const guint index = (*count)++;
  (void) pad;
  (void) info;
  return index == 3 || index == 4 || index == 30 ? GST_PAD_PROBE_DROP :
      GST_PAD_PROBE_OK;
}

/* Builds a pipeline; with c, its fakesink named "sink" collects into c;
 * with `drop`, RTP packets leave the element named "pay" through it. */
static GstElement *
build_pipeline (const gchar * description, Collected * c, guint * drop)
{
  GError *error = NULL;
  GstElement *pipeline = gst_parse_launch (description, &error);
  GstElement *sink;

  fail_unless (pipeline != NULL, "%s: %s", description,
      error ? error->message : "");
  g_clear_error (&error);
  if (c != NULL) {
    sink = gst_bin_get_by_name (GST_BIN (pipeline), "sink");
    g_object_set (sink, "signal-handoffs", TRUE, "sync", FALSE, NULL);
    g_signal_connect (sink, "handoff", G_CALLBACK (on_handoff), c);
    gst_object_unref (sink);
  }
  if (drop != NULL) {
    GstElement *pay = gst_bin_get_by_name (GST_BIN (pipeline), "pay");
    GstPad *src = gst_element_get_static_pad (pay, "src");
    gst_pad_add_probe (src, GST_PAD_PROBE_TYPE_BUFFER, drop_packets, drop,
        NULL);
    gst_object_unref (src);
    gst_object_unref (pay);
  }
  return pipeline;
}

/* Plays a pipeline to its end, counting warnings; returns the error that
 * ended it, or NULL. */
static GstMessage *
play_to_end (GstElement * pipeline, guint * warnings)
{
  GstBus *bus = gst_element_get_bus (pipeline);
  GstMessage *message;

  gst_element_set_state (pipeline, GST_STATE_PLAYING);
  while ((message = gst_bus_timed_pop_filtered (bus, 20 * GST_SECOND,
              GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING))
      && GST_MESSAGE_TYPE (message) == GST_MESSAGE_WARNING) {
    if (warnings != NULL)
      (*warnings)++;
    gst_message_unref (message);
  }
  fail_unless (message != NULL, "the pipeline did not finish in 20 s");
  gst_element_set_state (pipeline, GST_STATE_NULL);
  gst_object_unref (bus);
  if (GST_MESSAGE_TYPE (message) == GST_MESSAGE_EOS) {
    gst_message_unref (message);
    return NULL;
  }
  return message;
}

static void
run_pipeline (const gchar * description, Collected * c, guint * drop,
    guint64 * lost_frames)
{
  GstElement *pipeline = build_pipeline (description, c, drop);
  GstMessage *error = play_to_end (pipeline, NULL);

  fail_unless (error == NULL, "%s: %" GST_PTR_FORMAT, description, error);
  if (lost_frames != NULL) {
    GstElement *dec = gst_bin_get_by_name (GST_BIN (pipeline), "dec");
    g_object_get (dec, "lost-frames", lost_frames, NULL);
    gst_object_unref (dec);
  }
  gst_object_unref (pipeline);
}

/* Decoded output is whole frames, each buffer starting where the last one
 * ended. */
static void
assert_contiguous (Collected * c)
{
  guint i;

  fail_unless_equals_int (c->bytes->len % FRAME_BYTES, 0);
  for (i = 1; i < c->pts->len; i++) {
    const GstClockTime end = g_array_index (c->pts, GstClockTime, i - 1) +
        g_array_index (c->durations, GstClockTime, i - 1);
    fail_unless_equals_uint64 (g_array_index (c->pts, GstClockTime, i), end);
  }
}

/* The first byte at which two byte arrays differ. */
static guint
first_difference (GByteArray * a, GByteArray * b)
{
  guint i;
  for (i = 0; i < a->len && i < b->len && a->data[i] == b->data[i]; i++);
  return i;
}

/* The encoder gives the tool's frames, one per buffer with its meaningful
 * bytes, stamped 30 ms apart; an untransmitted frame leaves a gap. */
GST_START_TEST (test_encoder_frames_match_tool)
{
  static const gchar *settings[][2] = {
    {"", NULL}, {"vad=false", "--no-vad"},
    {"multiple-sid=true", "--multiple-sid"},
    {"highpass=false", "--no-highpass"},
  };
  GstHarness *h = gst_harness_new ("g723enc");
  guint s;

  /* a frame has to be complete, and its last 7.5 ms come out only with the
   * next frame */
  gst_harness_set_src_caps_str (h, "audio/x-raw, format=S16LE, rate=8000, "
      "channels=1, layout=interleaved");
  gst_harness_push (h, gst_buffer_new_allocate (NULL, 480, NULL));
  fail_unless_equals_uint64 (gst_harness_query_latency (h),
      30 * GST_MSECOND + 7500 * GST_USECOND);
  gst_harness_teardown (h);

  for (s = 0; s < G_N_ELEMENTS (settings); s++) {
    gchar *dir = g_dir_make_tmp ("g723-gst-XXXXXX", NULL);
    gchar *coded = g_build_filename (dir, "speech.g723", NULL);
    const gchar *argv[] = { G723_TOOL, "encode", G723_SAMPLE, coded,
      settings[s][1], NULL
    };
    gchar *description = g_strdup_printf ("filesrc location=%s ! wavparse ! "
        "g723enc %s ! fakesink name=sink", G723_SAMPLE, settings[s][0]);
    gint status = -1;
    gchar *contents;
    gsize length, offset, bytes;
    guint frame = 0, buffer = 0, untransmitted = 0;
    GByteArray *sent = g_byte_array_new ();
    Collected c;

    fail_unless (g_spawn_sync (NULL, (gchar **) argv, NULL, 0, NULL, NULL,
            NULL, NULL, &status, NULL) && status == 0);
    fail_unless (g_file_get_contents (coded, &contents, &length, NULL));
    collected_init (&c);
    run_pipeline (description, &c, NULL, NULL);

    for (offset = 0; offset < length; offset += bytes, frame++) {
      bytes = (gsize[]) { 24, 20, 4, 1 }[contents[offset] & 3];
      if ((contents[offset] & 3) == 3) {
        untransmitted++;
        continue;
      }
      g_byte_array_append (sent, (const guint8 *) contents + offset, bytes);
      fail_unless (buffer < c.sizes->len, "%s: frame %u missing",
          settings[s][0], frame);
      fail_unless_equals_uint64 (g_array_index (c.sizes, gsize, buffer),
          bytes);
      fail_unless_equals_uint64 (g_array_index (c.pts, GstClockTime, buffer),
          frame * FRAME_NS);
      fail_unless_equals_uint64 (g_array_index (c.durations, GstClockTime,
              buffer), FRAME_NS);
      buffer++;
    }
    fail_unless_equals_int (buffer, c.sizes->len);
    fail_unless_equals_int (c.bytes->len, sent->len);
    fail_unless (memcmp (c.bytes->data, sent->data, sent->len) == 0,
        "%s: the coded frames differ from the tool's", settings[s][0]);
    /* with silence compression the sample's pauses are left out */
    fail_unless ((untransmitted > 0) == (s != 1), "%s: %u untransmitted",
        settings[s][0], untransmitted);

    collected_clear (&c);
    g_byte_array_unref (sent);
    g_free (description);
    g_free (contents);
    g_unlink (coded);
    g_rmdir (dir);
    g_free (coded);
    g_free (dir);
  }
}

GST_END_TEST

static gchar *
describe (const gchar * format, guint port)
{
  return g_strdup_printf (format, G723_SAMPLE, port);
}

/* Through the RTP payloader and depayloader in one pipeline: dropped packets are concealed, and the decoded speech
 * keeps its length and timing, equal to the undisturbed run up to the first
 * loss. */
GST_START_TEST (test_rtp_conceals_dropped_packets)
{
  gchar *description = describe ("filesrc location=%s ! wavparse ! g723enc ! "
      "rtpg723pay name=pay ! rtpg723depay ! "
      "g723dec name=dec ! fakesink name=sink", 0);
  Collected clean, lossy;
  guint64 clean_lost = 1, lossy_lost = 0;
  guint packets = 0, same;

  collected_init (&clean);
  collected_init (&lossy);
  run_pipeline (description, &clean, NULL, &clean_lost);
  run_pipeline (description, &lossy, &packets, &lossy_lost);

  fail_unless_equals_uint64 (clean_lost, 0);
  fail_unless (lossy_lost > 0);
  fail_unless (packets > 100, "%u packets", packets);
  /* the sample's 289 frames, its trailing pause filled with comfort noise */
  fail_unless_equals_int (clean.bytes->len, 289 * FRAME_BYTES);
  fail_unless_equals_int (lossy.bytes->len, clean.bytes->len);
  assert_contiguous (&clean);
  assert_contiguous (&lossy);
  same = first_difference (clean.bytes, lossy.bytes);
  fail_unless (same >= 3 * FRAME_BYTES && same < clean.bytes->len,
      "the outputs agree up to byte %u", same);

  collected_clear (&clean);
  collected_clear (&lossy);
  g_free (description);
}

GST_END_TEST

/* Decodes the sample through the elements into clean; returns how much of
 * it a receiver of the RTP stream gets: everything up to the last frame
 * sent, since no packet tells it of the pause at the end. */
static gsize
decode_sample (Collected * clean)
{
  gchar *reference = describe ("filesrc location=%s ! wavparse ! g723enc ! "
      "g723dec ! fakesink name=sink", 0);
  gchar *coding = describe ("filesrc location=%s ! wavparse ! g723enc ! "
      "fakesink name=sink", 0);
  Collected coded;
  gsize sent;

  collected_init (&coded);
  run_pipeline (reference, clean, NULL, NULL);
  run_pipeline (coding, &coded, NULL, NULL);
  sent = (g_array_index (coded.pts, GstClockTime, coded.pts->len - 1) /
      FRAME_NS + 1) * FRAME_BYTES;
  fail_unless (sent < clean->bytes->len);
  collected_clear (&coded);
  g_free (reference);
  g_free (coding);
  return sent;
}

/* A receiving pipeline on a free loopback port, playing, its jitter buffer
 * timing packets by their RTP timestamps alone. */
static GstElement *
start_receiver (Collected * received, gint * port)
{
  GstElement *receiver = build_pipeline ("udpsrc name=src "
      "address=127.0.0.1 port=0 caps=\"" RTP_CAPS "\" ! "
      "rtpjitterbuffer mode=none latency=100 ! rtpg723depay ! "
      "g723dec name=dec ! fakesink name=sink", received, NULL);
  GstElement *src = gst_bin_get_by_name (GST_BIN (receiver), "src");

  fail_unless (gst_element_set_state (receiver, GST_STATE_PLAYING) !=
      GST_STATE_CHANGE_FAILURE);
  g_object_get (src, "port", port, NULL);
  gst_object_unref (src);
  fail_unless (*port > 0);
  return receiver;
}

/* Waits (up to 5 s) for `expected` bytes, and a little longer for any
 * more, then stops the receiver; returns its lost-frames count. */
static guint64
stop_receiver (GstElement * receiver, Collected * received, gsize expected)
{
  GstElement *dec = gst_bin_get_by_name (GST_BIN (receiver), "dec");
  guint64 lost = 0;
  guint waited;

  for (waited = 0; collected_size (received) < expected && waited < 100;
      waited++)
    g_usleep (50 * 1000);
  g_usleep (200 * 1000);
  gst_element_set_state (receiver, GST_STATE_NULL);
  g_object_get (dec, "lost-frames", &lost, NULL);
  gst_object_unref (dec);
  gst_object_unref (receiver);
  return lost;
}

/* Over UDP on loopback, with packets dropped before udpsink and a jitter
 * buffer in front of the depayloader: the receiver's speech runs without a
 * hole up to the last packet sent. */
GST_START_TEST (test_udp_conceals_dropped_packets)
{
  Collected clean, received;
  GstElement *receiver;
  gchar *send;
  gint port = 0;
  guint packets = 0;
  gsize expected;

  collected_init (&clean);
  collected_init (&received);
  expected = decode_sample (&clean);
  receiver = start_receiver (&received, &port);
  send = describe ("filesrc location=%s ! wavparse ! g723enc ! "
      "rtpg723pay name=pay ! udpsink host=127.0.0.1 port=%u sync=false", port);
  run_pipeline (send, NULL, &packets, NULL);

  fail_unless (stop_receiver (receiver, &received, expected) > 0);
  fail_unless_equals_int (received.bytes->len, expected);
  assert_contiguous (&received);
  fail_unless (first_difference (clean.bytes, received.bytes) >=
      3 * FRAME_BYTES);

  collected_clear (&clean);
  collected_clear (&received);
  g_free (send);
}

GST_END_TEST

/* `g723 send` into udpsrc ! rtpjitterbuffer ! rtpg723depay ! g723dec: the
 * same speech as through the elements alone, pauses filled with comfort
 * noise, up to the last packet. */
GST_START_TEST (test_tool_sender)
{
  Collected clean, received;
  GstElement *receiver;
  gint port = 0, status = -1;
  gchar *url;
  gsize expected;

  collected_init (&clean);
  collected_init (&received);
  expected = decode_sample (&clean);
  receiver = start_receiver (&received, &port);
  url = g_strdup_printf ("udp://127.0.0.1:%d", port);
  {
    const gchar *argv[] = { G723_TOOL, "send", "--speed", "10", G723_SAMPLE,
      url, NULL
    };
    fail_unless (g_spawn_sync (NULL, (gchar **) argv, NULL,
            G_SPAWN_STDOUT_TO_DEV_NULL, NULL, NULL, NULL, NULL, &status, NULL)
        && status == 0);
  }

  fail_unless_equals_uint64 (stop_receiver (receiver, &received, expected), 0);
  fail_unless_equals_int (received.bytes->len, expected);
  fail_unless (memcmp (received.bytes->data, clean.bytes->data, expected) == 0,
      "the speech differs from byte %u", first_difference (received.bytes,
          clean.bytes));

  collected_clear (&clean);
  collected_clear (&received);
  g_free (url);
}

GST_END_TEST

/* Whether something listens on UDP port `port` of 127.0.0.1. */
static gboolean
udp_port_bound (gint port)
{
  gchar *table = NULL, *entry = g_strdup_printf (" 0100007F:%04X ", port);
  gboolean bound = g_file_get_contents ("/proc/net/udp", &table, NULL, NULL)
      && strstr (table, entry) != NULL;

  g_free (table);
  g_free (entry);
  return bound;
}

/* g723enc ! rtpg723pay ! udpsink into `g723 receive`: the tool's file holds
 * the same speech as the elements decode, up to the last packet. */
GST_START_TEST (test_tool_receiver)
{
  GSocket *probe = g_socket_new (G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_DATAGRAM,
      G_SOCKET_PROTOCOL_UDP, NULL);
  GInetAddress *loopback = g_inet_address_new_loopback (G_SOCKET_FAMILY_IPV4);
  GSocketAddress *any_port = g_inet_socket_address_new (loopback, 0), *bound;
  gchar *dir = g_dir_make_tmp ("g723-gst-XXXXXX", NULL);
  gchar *wav = g_build_filename (dir, "received.wav", NULL);
  gchar *url, *send, *read_back;
  Collected clean, received;
  GPid pid;
  gint port, status = -1;
  guint waited;
  gsize expected;

  collected_init (&clean);
  collected_init (&received);
  expected = decode_sample (&clean);

  /* a port that is free now, for the tool to listen on */
  fail_unless (g_socket_bind (probe, any_port, FALSE, NULL));
  bound = g_socket_get_local_address (probe, NULL);
  port = g_inet_socket_address_get_port (G_INET_SOCKET_ADDRESS (bound));
  g_object_unref (bound);
  g_object_unref (probe);
  url = g_strdup_printf ("udp://127.0.0.1:%d", port);
  {
    const gchar *argv[] = { G723_TOOL, "receive", "--timeout", "1", url, wav,
      NULL
    };
    fail_unless (g_spawn_async (NULL, (gchar **) argv, NULL,
            G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL, NULL, NULL,
            &pid, NULL));
  }
  for (waited = 0; !udp_port_bound (port) && waited < 500; waited++)
    g_usleep (10 * 1000);
  fail_unless (udp_port_bound (port), "g723 receive does not listen");

  send = describe ("filesrc location=%s ! wavparse ! g723enc ! rtpg723pay ! "
      "udpsink host=127.0.0.1 port=%u sync=false", port);
  run_pipeline (send, NULL, NULL, NULL);
  for (waited = 0; waitpid (pid, &status, WNOHANG) == 0 && waited < 200;
      waited++)
    g_usleep (50 * 1000);
  if (waited == 200) {
    kill (pid, SIGKILL);
    waitpid (pid, &status, 0);
    fail ("g723 receive did not stop");
  }
  g_spawn_close_pid (pid);
  fail_unless (WIFEXITED (status) && WEXITSTATUS (status) == 0);

  read_back = g_strdup_printf ("filesrc location=%s ! wavparse ! "
      "fakesink name=sink", wav);
  run_pipeline (read_back, &received, NULL, NULL);
  fail_unless_equals_int (received.bytes->len, expected);
  fail_unless (memcmp (received.bytes->data, clean.bytes->data, expected) == 0,
      "the speech differs from byte %u", first_difference (received.bytes,
          clean.bytes));

  collected_clear (&clean);
  collected_clear (&received);
  g_unlink (wav);
  g_rmdir (dir);
  g_free (wav);
  g_free (dir);
  g_free (url);
  g_free (send);
  g_free (read_back);
  g_object_unref (any_port);
  g_object_unref (loopback);
}

GST_END_TEST

/* Hostile and broken input to the decoder: 5.3 kbit/s frames, a frame cut
 * short, gaps in speech and in a pause, then random bytes. Every frame
 * position gives 30 ms of output, timestamps run on, and problems are
 * warnings. */
GST_START_TEST (test_decoder_conceals_bad_input)
{
  GstHarness *h = gst_harness_new ("g723dec");
  GstBus *bus = gst_bus_new ();
  guint8 speech_and_sid[28] = { 0 };
  guint8 speech[24] = { 0 };
  guint8 broken[30] = { 0 };
  GstClockTime expected_pts = 0;
  guint64 lost = 0, bad = 0;
  guint warnings = 0, outputs = 0;
  GRand *random = g_rand_new_with_seed (723);
  GstMessage *message;
  GstBuffer *out;
  struct
  {
    guint8 *bytes;
    gsize size;
    GstClockTime pts;
  } input[] = {
    {speech_and_sid, sizeof speech_and_sid, 0},
    {NULL, 0, 60 * GST_MSECOND},        /* a 90 ms GAP event in the pause */
    {speech, sizeof speech, 150 * GST_MSECOND},
    /* 60 ms of speech missing, then a 5.3 kbit/s frame and a cut one */
    {broken, sizeof broken, 240 * GST_MSECOND},
  };
  guint i;

  speech_and_sid[24] = 2;       /* SID header code */
  broken[0] = 1;                /* 5.3 kbit/s header code; 20 bytes */
  broken[20] = 0;               /* speech, 10 of its 24 bytes present */
  gst_element_set_bus (h->element, bus);
  gst_harness_set_src_caps_str (h, "audio/G723, rate=8000, channels=1");

  for (i = 0; i < G_N_ELEMENTS (input); i++) {
    if (input[i].bytes == NULL) {
      fail_unless (gst_harness_push_event (h,
              gst_event_new_gap (input[i].pts, 90 * GST_MSECOND)));
    } else {
      GstBuffer *buffer = gst_buffer_new_memdup (input[i].bytes,
          input[i].size);
      GST_BUFFER_PTS (buffer) = input[i].pts;
      fail_unless_equals_int (gst_harness_push (h, buffer), GST_FLOW_OK);
    }
  }
  while ((out = gst_harness_try_pull (h)) != NULL) {
    fail_unless_equals_uint64 (GST_BUFFER_PTS (out), expected_pts);
    expected_pts += GST_BUFFER_DURATION (out);
    gst_buffer_unref (out);
  }
  /* 2 + 3 + 1 + (2 lost + 2 bad) frames */
  fail_unless_equals_uint64 (expected_pts, 10 * FRAME_NS);
  g_object_get (h->element, "lost-frames", &lost, "bad-frames", &bad, NULL);
  fail_unless_equals_uint64 (lost, 2);
  fail_unless_equals_uint64 (bad, 2);

  /* then bytes at random in buffers of 1 to 100 bytes without timestamps,
   * which the output continues */
  for (i = 0; i < 200; i++) {
    const gsize size = g_rand_int_range (random, 1, 101);
    guint8 *bytes = g_malloc (size);
    GstBuffer *buffer;
    gsize k;

    for (k = 0; k < size; k++)
      bytes[k] = g_rand_int_range (random, 0, 256);
    buffer = gst_buffer_new_wrapped (bytes, size);
    fail_unless_equals_int (gst_harness_push (h, buffer), GST_FLOW_OK);
  }
  while ((out = gst_harness_try_pull (h)) != NULL) {
    fail_unless_equals_uint64 (GST_BUFFER_PTS (out), expected_pts);
    expected_pts += GST_BUFFER_DURATION (out);
    fail_unless_equals_uint64 (gst_buffer_get_size (out) / FRAME_BYTES * FRAME_NS,
        GST_BUFFER_DURATION (out));
    gst_buffer_unref (out);
    outputs++;
  }
  fail_unless_equals_int (outputs, 200);
  g_object_get (h->element, "bad-frames", &bad, NULL);
  fail_unless (bad > 2);
  while ((message = gst_bus_pop_filtered (bus,
              GST_MESSAGE_WARNING | GST_MESSAGE_ERROR)) != NULL) {
    fail_unless_equals_int (GST_MESSAGE_TYPE (message), GST_MESSAGE_WARNING);
    warnings++;
    gst_message_unref (message);
  }
  fail_unless (warnings >= 1);

  gst_element_set_bus (h->element, NULL);
  gst_object_unref (bus);
  g_rand_free (random);
  gst_harness_teardown (h);
}

GST_END_TEST

/* Caps the elements cannot take end in an error message. */
GST_START_TEST (test_negotiation_failures)
{
  static const gchar *refused[] = {
    "audiotestsrc num-buffers=2 ! audio/x-raw,rate=16000,channels=1 ! "
        "g723enc ! fakesink",
    "audiotestsrc num-buffers=2 ! audio/x-raw,rate=8000,channels=2 ! "
        "g723enc ! fakesink",
    "audiotestsrc num-buffers=2 ! audio/x-raw,rate=8000,channels=1 ! "
        "g723enc ! audio/G723,rate=16000 ! fakesink",
    "audiotestsrc num-buffers=2 ! audio/x-raw,rate=8000,channels=1 ! "
        "g723dec ! fakesink",
  };
  GstElement *pipeline;
  GstMessage *error;
  guint i;

  for (i = 0; i < G_N_ELEMENTS (refused); i++) {
    pipeline = gst_parse_launch (refused[i], NULL);
    fail_unless (pipeline != NULL);
    error = play_to_end (pipeline, NULL);
    fail_unless (error != NULL, "accepted: %s", refused[i]);
    gst_message_unref (error);
    gst_object_unref (pipeline);
  }

}

GST_END_TEST

static void
count_buffer (GstElement * sink, GstBuffer * buffer, GstPad * pad,
    gpointer data)
{
  (void) sink;
  (void) buffer;
  (void) pad;
  g_atomic_int_inc ((gint *) data);
}

/* Starting and stopping a coding pipeline over and over, each time once
 * decoded speech has come out; under valgrind this shows that the elements
 * leak nothing. The source is live so that its thread leaves the others
 * time to run under valgrind. */
GST_START_TEST (test_state_changes)
{
  GstElement *pipeline = gst_parse_launch ("audiotestsrc is-live=true "
      "wave=pink-noise samplesperbuffer=240 ! "
      "audio/x-raw,rate=8000,channels=1 ! g723enc ! g723dec ! "
      "fakesink name=sink signal-handoffs=true sync=false", NULL);
  GstElement *sink;
  gint buffers = 0;
  guint i, waited;

  fail_unless (pipeline != NULL);
  sink = gst_bin_get_by_name (GST_BIN (pipeline), "sink");
  g_signal_connect (sink, "handoff", G_CALLBACK (count_buffer), &buffers);
  gst_object_unref (sink);
  for (i = 0; i < 100; i++) {
    g_atomic_int_set (&buffers, 0);
    fail_unless (gst_element_set_state (pipeline, GST_STATE_PLAYING) !=
        GST_STATE_CHANGE_FAILURE);
    for (waited = 0; g_atomic_int_get (&buffers) == 0 && waited < 1000;
        waited++)
      g_usleep (5000);
    fail_unless (g_atomic_int_get (&buffers) > 0, "no output in round %u", i);
    fail_unless (gst_element_set_state (pipeline, GST_STATE_NULL) ==
        GST_STATE_CHANGE_SUCCESS);
  }
  gst_object_unref (pipeline);
}

GST_END_TEST

static Suite *
g723_elements_suite (void)
{
  Suite *s = suite_create ("g723 elements");
  TCase *tc = tcase_create ("pipelines");

  tcase_set_timeout (tc, 120);
  suite_add_tcase (s, tc);
  tcase_add_test (tc, test_encoder_frames_match_tool);
  tcase_add_test (tc, test_rtp_conceals_dropped_packets);
  tcase_add_test (tc, test_udp_conceals_dropped_packets);
  tcase_add_test (tc, test_tool_sender);
  tcase_add_test (tc, test_tool_receiver);
  tcase_add_test (tc, test_decoder_conceals_bad_input);
  tcase_add_test (tc, test_negotiation_failures);
  tcase_add_test (tc, test_state_changes);
  return s;
}

GST_CHECK_MAIN (g723_elements)
