// SPDX-License-Identifier: BSD-2-Clause
/* End-to-end checks of g723enc and g723dec in GStreamer pipelines: the
 * encoder's frames against `g723 encode`, RTP with dropped packets in one
 * pipeline and over UDP on loopback, streams from `g723 send` and to
 * `g723 receive`, hostile input, refused caps and state changes. */
#include <signal.h>
#include <string.h>
#include <sys/wait.h>

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gst/check/gstcheck.h>
#include <gst/check/gstharness.h>

#define FRAME_NS (30 * GST_MSECOND)
#define FRAME_BYTES (240 * 2)
#define SAMPLE_IN "filesrc location=" G723_SAMPLE " ! wavparse ! "

/* What reached the fakesink named "sink": the bytes and each buffer. */
typedef struct
{
  GstClockTime pts, duration;
  gsize size;
} Piece;

typedef struct
{
  GMutex lock;
  GByteArray *bytes;
  GArray *pieces;
} Collected;

static Collected *
collected_new (void)
{
  Collected *c = g_new0 (Collected, 1);
  g_mutex_init (&c->lock);
  c->bytes = g_byte_array_new ();
  c->pieces = g_array_new (FALSE, FALSE, sizeof (Piece));
  return c;
}

static void
collected_free (Collected * c)
{
  g_byte_array_unref (c->bytes);
  g_array_unref (c->pieces);
  g_mutex_clear (&c->lock);
  g_free (c);
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

#define PIECE(c, i) g_array_index ((c)->pieces, Piece, i)

static void
on_handoff (GstElement * sink, GstBuffer * buffer, GstPad * pad, Collected * c)
{
  Piece piece = { GST_BUFFER_PTS (buffer), GST_BUFFER_DURATION (buffer),
    gst_buffer_get_size (buffer)
  };
  GstMapInfo map;
  (void) sink;
  (void) pad;
  gst_buffer_map (buffer, &map, GST_MAP_READ);
  g_mutex_lock (&c->lock);
  g_byte_array_append (c->bytes, map.data, map.size);
  g_array_append_val (c->pieces, piece);
  g_mutex_unlock (&c->lock);
  gst_buffer_unmap (buffer, &map);
}

/* Drops RTP packets 3, 4 and 30 (counting from 0) leaving "pay". */
static GstPadProbeReturn
drop_packets (GstPad * pad, GstPadProbeInfo * info, guint * count)
{
  const guint index = (*count)++;
  (void) pad;
  (void) info;
  return index == 3 || index == 4 || index == 30 ? GST_PAD_PROBE_DROP :
      GST_PAD_PROBE_OK;
}

static GstElement *
launch (const gchar * description, Collected * c, guint * drop_count)
{
  GstElement *pipeline = gst_parse_launch (description, NULL), *element;
  GstPad *pad;

  fail_unless (pipeline != NULL, "cannot build %s", description);
  if (c != NULL) {
    element = gst_bin_get_by_name (GST_BIN (pipeline), "sink");
    g_object_set (element, "signal-handoffs", TRUE, "sync", FALSE, NULL);
    g_signal_connect (element, "handoff", G_CALLBACK (on_handoff), c);
    gst_object_unref (element);
  }
  if (drop_count != NULL) {
    element = gst_bin_get_by_name (GST_BIN (pipeline), "pay");
    pad = gst_element_get_static_pad (element, "src");
    gst_pad_add_probe (pad, GST_PAD_PROBE_TYPE_BUFFER,
        (GstPadProbeCallback) drop_packets, drop_count, NULL);
    gst_object_unref (pad);
    gst_object_unref (element);
  }
  return pipeline;
}

/* Plays a pipeline to its end; returns the error that ended it, or NULL. */
static GstMessage *
play_to_end (GstElement * pipeline)
{
  GstBus *bus = gst_element_get_bus (pipeline);
  GstMessage *message;

  gst_element_set_state (pipeline, GST_STATE_PLAYING);
  message = gst_bus_timed_pop_filtered (bus, 20 * GST_SECOND,
      GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
  fail_unless (message != NULL, "the pipeline did not finish in 20 s");
  gst_element_set_state (pipeline, GST_STATE_NULL);
  gst_object_unref (bus);
  if (GST_MESSAGE_TYPE (message) == GST_MESSAGE_ERROR)
    return message;
  gst_message_unref (message);
  return NULL;
}

/* Runs a pipeline to its end without error; returns the "lost-frames" of
 * its element "dec", if any. */
static guint64
run (const gchar * description, Collected * c, guint * drop_count)
{
  GstElement *pipeline = launch (description, c, drop_count);
  GstElement *dec = gst_bin_get_by_name (GST_BIN (pipeline), "dec");
  GstMessage *error = play_to_end (pipeline);
  guint64 lost = 0;

  fail_unless (error == NULL, "%s: %" GST_PTR_FORMAT, description, error);
  if (dec != NULL) {
    g_object_get (dec, "lost-frames", &lost, NULL);
    gst_object_unref (dec);
  }
  gst_object_unref (pipeline);
  return lost;
}

/* Decoded output is whole frames, each buffer starting where the last
 * ended. */
static void
assert_contiguous (Collected * c)
{
  guint i;
  fail_unless (c->bytes->len > 0 && c->bytes->len % FRAME_BYTES == 0);
  for (i = 1; i < c->pieces->len; i++)
    fail_unless_equals_uint64 (PIECE (c, i).pts,
        PIECE (c, i - 1).pts + PIECE (c, i - 1).duration);
}

static guint
first_difference (Collected * a, Collected * b)
{
  guint i;
  for (i = 0; i < a->bytes->len && i < b->bytes->len
      && a->bytes->data[i] == b->bytes->data[i]; i++);
  return i;
}

static void
run_tool (const gchar ** argv)
{
  gint status = -1;
  fail_unless (g_spawn_sync (NULL, (gchar **) argv, NULL,
          G_SPAWN_STDOUT_TO_DEV_NULL, NULL, NULL, NULL, NULL, &status, NULL)
      && status == 0, "%s %s failed", argv[0], argv[1]);
}

/* The encoder's buffers are `g723 encode`'s frames, each with its
 * meaningful bytes and stamped 30 ms apart; untransmitted frames leave gaps.
 * The latency is a frame and the 7.5 ms look-ahead. */
GST_START_TEST (test_encoder_matches_tool)
{
  static const gchar *settings[][2] = { {"", NULL}, {"vad=false", "--no-vad"},
  {"multiple-sid=true", "--multiple-sid"}, {"highpass=false", "--no-highpass"}
  };
  GstHarness *h = gst_harness_new_parse ("g723enc");
  gchar *dir = g_dir_make_tmp ("g723-gst-XXXXXX", NULL);
  gchar *coded = g_build_filename (dir, "speech.g723", NULL);
  guint s;

  gst_harness_set_src_caps_str (h, "audio/x-raw, format=S16LE, rate=8000, "
      "channels=1, layout=interleaved");
  gst_harness_push (h, gst_buffer_new_allocate (NULL, 480, NULL));
  fail_unless_equals_uint64 (gst_harness_query_latency (h), 37500000);
  gst_harness_teardown (h);

  for (s = 0; s < G_N_ELEMENTS (settings); s++) {
    const gchar *argv[] = { G723_TOOL, "encode", G723_SAMPLE, coded,
      settings[s][1], NULL
    };
    gchar *description = g_strdup_printf (SAMPLE_IN "g723enc %s ! "
        "fakesink name=sink", settings[s][0]);
    Collected *c = collected_new ();
    GByteArray *sent = g_byte_array_new ();
    guint frame = 0, untransmitted = 0;
    gsize length, offset, bytes;
    gchar *file;

    run_tool (argv);
    fail_unless (g_file_get_contents (coded, &file, &length, NULL));
    run (description, c, NULL);
    for (offset = 0; offset < length; offset += bytes, frame++) {
      bytes = (gsize[]) { 24, 20, 4, 1 }[file[offset] & 3];
      if (bytes == 1) {
        untransmitted++;
        continue;
      }
      fail_unless (frame - untransmitted < c->pieces->len);
      fail_unless_equals_uint64 (PIECE (c, frame - untransmitted).size, bytes);
      fail_unless_equals_uint64 (PIECE (c, frame - untransmitted).pts,
          frame * FRAME_NS);
      fail_unless_equals_uint64 (PIECE (c, frame - untransmitted).duration,
          FRAME_NS);
      g_byte_array_append (sent, (guint8 *) file + offset, bytes);
    }
    fail_unless_equals_int (c->pieces->len, frame - untransmitted);
    fail_unless (c->bytes->len == sent->len
        && memcmp (c->bytes->data, sent->data, sent->len) == 0,
        "%s: the frames differ from the tool's", settings[s][0]);
    /* the sample's pauses are left out unless silence compression is off */
    fail_unless ((untransmitted > 0) == (s != 1));
    collected_free (c);
    g_byte_array_unref (sent);
    g_free (description);
    g_free (file);
  }
  g_unlink (coded);
  g_rmdir (dir);
  g_free (coded);
  g_free (dir);
}

GST_END_TEST

/* Through the RTP payloader and depayloader in one pipeline: dropped
 * packets are concealed, the speech keeps its length and timing, and equals
 * the undisturbed run up to the first loss. */
GST_START_TEST (test_rtp_conceals_dropped_packets)
{
  const gchar *description = SAMPLE_IN "g723enc ! rtpg723pay name=pay ! "
      "rtpg723depay ! g723dec name=dec ! fakesink name=sink";
  Collected *clean = collected_new (), *lossy = collected_new ();
  guint packets = 0, same;

  fail_unless_equals_uint64 (run (description, clean, NULL), 0);
  fail_unless (run (description, lossy, &packets) > 0);
  fail_unless (packets > 100);
  /* the sample's 289 frames, the pause at its end in comfort noise */
  fail_unless_equals_int (clean->bytes->len, 289 * FRAME_BYTES);
  fail_unless_equals_int (lossy->bytes->len, clean->bytes->len);
  assert_contiguous (clean);
  assert_contiguous (lossy);
  same = first_difference (clean, lossy);
  fail_unless (same >= 3 * FRAME_BYTES && same < clean->bytes->len);
  collected_free (clean);
  collected_free (lossy);
}

GST_END_TEST

/* Decodes the sample through the elements; returns how much of it a
 * receiver of its RTP stream gets: up to the last frame sent, as no packet
 * tells of the pause at the end. */
static gsize
decode_sample (Collected * clean)
{
  Collected *coded = collected_new ();
  gsize sent;

  run (SAMPLE_IN "g723enc ! g723dec ! fakesink name=sink", clean, NULL);
  run (SAMPLE_IN "g723enc ! fakesink name=sink", coded, NULL);
  sent = (PIECE (coded, coded->pieces->len - 1).pts / FRAME_NS + 1) *
      FRAME_BYTES;
  fail_unless (sent < clean->bytes->len);
  collected_free (coded);
  return sent;
}

/* A receiving pipeline on a free loopback port, its jitter buffer timing
 * packets by their RTP timestamps alone and waiting a second for a missing
 * one, so that a stall of a busy machine loses nothing. */
static GstElement *
start_receiver (Collected * received, gint * port)
{
  GstElement *receiver = launch ("udpsrc name=src address=127.0.0.1 port=0 "
      "caps=\"application/x-rtp, media=audio, clock-rate=8000, "
      "encoding-name=G723, payload=4\" ! rtpjitterbuffer mode=none "
      "latency=1000 ! rtpg723depay ! g723dec name=dec ! fakesink name=sink",
      received, NULL);
  GstElement *src = gst_bin_get_by_name (GST_BIN (receiver), "src");

  gst_element_set_state (receiver, GST_STATE_PLAYING);
  g_object_get (src, "port", port, NULL);
  gst_object_unref (src);
  fail_unless (*port > 0);
  return receiver;
}

/* Waits up to 5 s for `expected` bytes, and a little for any more, then
 * stops the receiver; returns its lost-frames count. */
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

/* Over UDP on loopback, packets dropped before udpsink: the receiver's
 * speech runs without a hole up to the last packet sent. With `g723 send`
 * as the sender (three frames per packet, nothing dropped) it is the same
 * speech as from the elements alone. */
GST_START_TEST (test_udp_receiver)
{
  Collected *clean = collected_new (), *received = collected_new (),
      *from_tool = collected_new ();
  const gsize expected = decode_sample (clean);
  GstElement *receiver;
  gchar *send, *url;
  gint port = 0;
  guint packets = 0;

  receiver = start_receiver (received, &port);
  send = g_strdup_printf (SAMPLE_IN "g723enc ! rtpg723pay name=pay ! "
      "udpsink host=127.0.0.1 port=%d sync=false", port);
  run (send, NULL, &packets);
  fail_unless (stop_receiver (receiver, received, expected) > 0);
  fail_unless_equals_int (received->bytes->len, expected);
  assert_contiguous (received);
  fail_unless (first_difference (clean, received) >= 3 * FRAME_BYTES);

  receiver = start_receiver (from_tool, &port);
  url = g_strdup_printf ("udp://127.0.0.1:%d", port);
  run_tool ((const gchar *[]) { G723_TOOL, "send", "--speed", "10",
          "--frames-per-packet", "3",
          G723_SAMPLE, url, NULL });
  fail_unless_equals_uint64 (stop_receiver (receiver, from_tool, expected), 0);
  fail_unless_equals_int (from_tool->bytes->len, expected);
  fail_unless_equals_int (first_difference (clean, from_tool), expected);

  collected_free (clean);
  collected_free (received);
  collected_free (from_tool);
  g_free (send);
  g_free (url);
}

GST_END_TEST

/* g723enc ! rtpg723pay ! udpsink into `g723 receive`: the tool's file holds
 * the same speech as the elements decode, up to the last packet. */
GST_START_TEST (test_tool_receiver)
{
  GSocket *socket = g_socket_new (G_SOCKET_FAMILY_IPV4,
      G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, NULL);
  GInetAddress *loopback = g_inet_address_new_loopback (G_SOCKET_FAMILY_IPV4);
  GSocketAddress *address = g_inet_socket_address_new (loopback, 0);
  gchar *dir = g_dir_make_tmp ("g723-gst-XXXXXX", NULL);
  gchar *wav = g_build_filename (dir, "received.wav", NULL);
  Collected *clean = collected_new (), *received = collected_new ();
  const gsize expected = decode_sample (clean);
  gchar *url, *send, *read_back, *table = NULL, *entry;
  gint port, status = -1;
  guint waited;
  GPid pid;

  /* a port free now, for the tool to listen on */
  fail_unless (g_socket_bind (socket, address, FALSE, NULL));
  g_object_unref (address);
  address = g_socket_get_local_address (socket, NULL);
  port = g_inet_socket_address_get_port (G_INET_SOCKET_ADDRESS (address));
  g_object_unref (socket);
  url = g_strdup_printf ("udp://127.0.0.1:%d", port);
  /* a second of playout delay: no packet is late on a busy machine; the
   * receiver writes no more audio than the time it ran plus its greatest
   * delay, so that delay covers the sample, which comes all at once */
  fail_unless (g_spawn_async (NULL, (gchar **) (const gchar *[]) {
            G723_TOOL, "receive", "--timeout", "2", "--min-delay", "1000",
            "--max-delay", "10000", url, wav, NULL}, NULL,
          G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL, NULL, NULL,
          &pid, NULL));
  /* wait until it listens */
  entry = g_strdup_printf (" 0100007F:%04X ", port);
  for (waited = 0; waited < 500 && (table == NULL || !strstr (table, entry));
      waited++) {
    g_free (table);
    g_usleep (10 * 1000);
    g_file_get_contents ("/proc/net/udp", &table, NULL, NULL);
  }

  send = g_strdup_printf (SAMPLE_IN "g723enc ! rtpg723pay ! "
      "udpsink host=127.0.0.1 port=%d sync=false", port);
  run (send, NULL, NULL);
  /* the receiver plays what came early at its time before it counts the
   * source as silent: the sample's length, the delay and the time-out */
  for (waited = 0; waitpid (pid, &status, WNOHANG) == 0 && waited < 600;
      waited++)
    g_usleep (50 * 1000);
  if (waited == 600)
    kill (pid, SIGKILL);
  fail_unless (waited < 600 && WIFEXITED (status) && WEXITSTATUS (status) == 0);
  read_back = g_strdup_printf ("filesrc location=%s ! wavparse ! "
      "fakesink name=sink", wav);
  run (read_back, received, NULL);
  fail_unless_equals_int (received->bytes->len, expected);
  fail_unless_equals_int (first_difference (clean, received), expected);

  collected_free (clean);
  collected_free (received);
  g_unlink (wav);
  g_rmdir (dir);
  g_free (wav);
  g_free (dir);
  g_free (url);
  g_free (send);
  g_free (read_back);
  g_free (table);
  g_free (entry);
  g_object_unref (address);
  g_object_unref (loopback);
}

GST_END_TEST

/* Hostile and broken input to the decoder: a gap in a pause and in speech,
 * a 5.3 kbit/s frame and one cut short, then random bytes. Every frame
 * position gives 30 ms, timestamps run on, problems are warnings. */
GST_START_TEST (test_decoder_bad_input)
{
  GstHarness *h = gst_harness_new ("g723dec");
  GstBus *bus = gst_bus_new ();
  GRand *random = g_rand_new_with_seed (723);
  /* speech + SID, at 0 ms; speech at 150 ms; 5.3 kbit/s + 10 bytes of a
   * speech frame at 240 ms */
  guint8 first[28] = { [24] = 2 }, second[24] = { 0 }, third[30] = { 1 };
  GstBuffer *buffer;
  GstClockTime end = 0;
  guint64 lost = 0, bad = 0;
  guint i, outputs = 0;
  GstMessage *warning;

  gst_element_set_bus (h->element, bus);
  gst_harness_set_src_caps_str (h, "audio/G723, rate=8000, channels=1");
  buffer = gst_buffer_new_memdup (first, sizeof first);
  GST_BUFFER_PTS (buffer) = 0;
  gst_harness_push (h, buffer);
  gst_harness_push_event (h, gst_event_new_gap (60 * GST_MSECOND,
          90 * GST_MSECOND));
  buffer = gst_buffer_new_memdup (second, sizeof second);
  GST_BUFFER_PTS (buffer) = 150 * GST_MSECOND;
  gst_harness_push (h, buffer);
  buffer = gst_buffer_new_memdup (third, sizeof third);
  GST_BUFFER_PTS (buffer) = 240 * GST_MSECOND;
  gst_harness_push (h, buffer);
  g_object_get (h->element, "lost-frames", &lost, "bad-frames", &bad, NULL);
  /* 2 + 3 in comfort noise + 1 + (2 lost + 2 bad) frames */
  fail_unless_equals_uint64 (lost, 2);
  fail_unless_equals_uint64 (bad, 2);

  for (i = 0; i < 200; i++) {
    const gsize size = g_rand_int_range (random, 1, 101);
    guint8 *bytes = g_malloc (size);
    gsize k;
    for (k = 0; k < size; k++)
      bytes[k] = g_rand_int_range (random, 0, 256);
    fail_unless_equals_int (gst_harness_push (h,
            gst_buffer_new_wrapped (bytes, size)), GST_FLOW_OK);
  }
  while ((buffer = gst_harness_try_pull (h)) != NULL) {
    fail_unless_equals_uint64 (GST_BUFFER_PTS (buffer), end);
    fail_unless_equals_uint64 (GST_BUFFER_DURATION (buffer),
        gst_buffer_get_size (buffer) / FRAME_BYTES * FRAME_NS);
    end += GST_BUFFER_DURATION (buffer);
    gst_buffer_unref (buffer);
    if (++outputs == 5)
      fail_unless_equals_uint64 (end, 10 * FRAME_NS);
  }
  fail_unless_equals_int (outputs, 5 + 200);
  g_object_get (h->element, "bad-frames", &bad, NULL);
  fail_unless (bad > 2);
  warning = gst_bus_pop_filtered (bus, GST_MESSAGE_WARNING);
  fail_unless (warning != NULL);
  gst_message_unref (warning);
  fail_if (gst_bus_pop_filtered (bus, GST_MESSAGE_ERROR) != NULL);

  gst_element_set_bus (h->element, NULL);
  gst_object_unref (bus);
  g_rand_free (random);
  gst_harness_teardown (h);
}

GST_END_TEST

/* Caps the elements cannot take end in an error message. */
GST_START_TEST (test_refused_caps)
{
  static const gchar *refused[] = {
    "audio/x-raw,rate=16000,channels=1 ! g723enc",
    "audio/x-raw,rate=8000,channels=2 ! g723enc",
    "audio/x-raw,rate=8000,channels=1 ! g723enc ! audio/G723,rate=16000",
    "audio/x-raw,rate=8000,channels=1 ! g723dec",
  };
  guint i;

  for (i = 0; i < G_N_ELEMENTS (refused); i++) {
    gchar *description = g_strdup_printf ("audiotestsrc num-buffers=2 ! %s ! "
        "fakesink", refused[i]);
    GstElement *pipeline = launch (description, NULL, NULL);
    GstMessage *error = play_to_end (pipeline);

    fail_unless (error != NULL, "accepted: %s", refused[i]);
    gst_message_unref (error);
    gst_object_unref (pipeline);
    g_free (description);
  }
}

GST_END_TEST

/* Starting and stopping a coding pipeline 100 times, each time once
 * decoded speech came out; under valgrind this shows that the elements
 * leak nothing. A live source leaves the other threads time to run. */
GST_START_TEST (test_state_changes)
{
  Collected *c = collected_new ();
  GstElement *pipeline = launch ("audiotestsrc is-live=true wave=pink-noise "
      "samplesperbuffer=240 ! audio/x-raw,rate=8000,channels=1 ! g723enc ! "
      "g723dec ! fakesink name=sink", c, NULL);
  guint i, waited;

  for (i = 0; i < 100; i++) {
    const gsize before = collected_size (c);
    fail_unless (gst_element_set_state (pipeline, GST_STATE_PLAYING) !=
        GST_STATE_CHANGE_FAILURE);
    for (waited = 0; collected_size (c) == before && waited < 1000; waited++)
      g_usleep (5000);
    fail_unless (collected_size (c) > before, "no output in round %u", i);
    fail_unless (gst_element_set_state (pipeline, GST_STATE_NULL) ==
        GST_STATE_CHANGE_SUCCESS);
  }
  gst_object_unref (pipeline);
  collected_free (c);
}

GST_END_TEST

static Suite *
g723_elements_suite (void)
{
  Suite *s = suite_create ("g723 elements");
  TCase *tc = tcase_create ("pipelines");

  tcase_set_timeout (tc, 120);
  suite_add_tcase (s, tc);
  tcase_add_test (tc, test_encoder_matches_tool);
  tcase_add_test (tc, test_rtp_conceals_dropped_packets);
  tcase_add_test (tc, test_udp_receiver);
  tcase_add_test (tc, test_tool_receiver);
  tcase_add_test (tc, test_decoder_bad_input);
  tcase_add_test (tc, test_refused_caps);
  tcase_add_test (tc, test_state_changes);
  return s;
}

GST_CHECK_MAIN (g723_elements)
