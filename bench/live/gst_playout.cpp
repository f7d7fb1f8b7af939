// SPDX-License-Identifier: BSD-2-Clause
// GStreamer's RTP receiving as a user would set it up, timed for the live
// playout comparison (scripts/bench-live.sh): udpsrc, rtpjitterbuffer at its
// default latency, rtpg723depay, g723dec, into a WAV file and a sink that
// plays in time. Prints, as JSON, the jitter buffer's and the decoder's
// counts and, for every frame played that came in a packet, its RTP
// timestamp and when it played (wall clock, seconds).
//
// usage: gst_playout PORT OUTPUT.wav
// Ends 3 s after the last packet.
#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct timing {
    std::mutex lock;
    std::map<GstClockTime, std::uint32_t> packet_timestamps;  // PTS -> RTP timestamp
    std::vector<std::pair<std::uint32_t, double>> played;      // RTP timestamp, wall clock
};

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

GstPadProbeReturn note_packet(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* times = static_cast<timing*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer) && gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp)) {
        std::lock_guard<std::mutex> guard(times->lock);
        times->packet_timestamps[GST_BUFFER_PTS(buffer)] = gst_rtp_buffer_get_timestamp(&rtp);
        gst_rtp_buffer_unmap(&rtp);
    }
    return GST_PAD_PROBE_OK;
}

// A buffer of decoded frames plays now: each 30 ms frame that a packet
// carried (its time is a packet's, or follows one within the packet).
void note_playout(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* times = static_cast<timing*>(data);
    const double now = wall_seconds();
    if (!GST_BUFFER_PTS_IS_VALID(buffer)) return;
    const GstClockTime frame = 30 * GST_MSECOND;
    const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : frame;
    std::lock_guard<std::mutex> guard(times->lock);
    for (GstClockTime at = 0; at + frame / 2 < duration; at += frame) {
        const GstClockTime pts = GST_BUFFER_PTS(buffer) + at;
        auto packet = times->packet_timestamps.upper_bound(pts + GST_MSECOND);
        if (packet == times->packet_timestamps.begin()) continue;
        --packet;
        const GstClockTime into = pts - packet->first;
        // Frames of the packet itself only: a concealed gap is not timed.
        if (into + GST_MSECOND >= 8 * frame) continue;
        const auto units = static_cast<std::uint32_t>((into + frame / 2) / frame * 240);
        if (into % frame > GST_MSECOND && frame - into % frame > GST_MSECOND) continue;
        times->played.emplace_back(packet->second + units, now + static_cast<double>(at) / GST_SECOND);
    }
}

guint64 stat(const GstStructure* stats, const char* name) {
    guint64 value = 0;
    if (stats != nullptr) gst_structure_get_uint64(stats, name, &value);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: gst_playout PORT OUTPUT.wav\n");
        return 2;
    }
    const std::string description =
        std::string("udpsrc address=127.0.0.1 port=") + argv[1] +
        " timeout=3000000000 caps=\"application/x-rtp,media=audio,clock-rate=8000,encoding-name=G723,"
        "payload=4\" ! rtpjitterbuffer name=buffer ! rtpg723depay ! g723dec name=decoder ! tee name=split "
        "split. ! queue ! wavenc ! filesink location=\"" + argv[2] + "\" "
        "split. ! queue ! fakesink name=player sync=true signal-handoffs=true";
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (pipeline == nullptr) {
        std::fprintf(stderr, "gst_playout: %s\n", error->message);
        return 1;
    }
    timing times;
    GstElement* buffer = gst_bin_get_by_name(GST_BIN(pipeline), "buffer");
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "decoder");
    GstElement* player = gst_bin_get_by_name(GST_BIN(pipeline), "player");
    GstPad* pushed = gst_element_get_static_pad(buffer, "src");
    gst_pad_add_probe(pushed, GST_PAD_PROBE_TYPE_BUFFER, note_packet, &times, nullptr);
    g_signal_connect(player, "handoff", G_CALLBACK(note_playout), &times);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    bool heard = false, ending = false;
    for (;;) {
        GstMessage* message = gst_bus_timed_pop(bus, 120 * GST_SECOND);
        if (message == nullptr) break;
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_ELEMENT && gst_message_has_name(message, "GstUDPSrcTimeout")) {
            // Quiet for 3 s: once packets came, that is the end of the call.
            if (heard && !ending) {
                ending = true;
                gst_element_send_event(pipeline, gst_event_new_eos());
            }
        } else if (type == GST_MESSAGE_STREAM_START || type == GST_MESSAGE_ASYNC_DONE ||
                   type == GST_MESSAGE_LATENCY) {
            heard = heard || type == GST_MESSAGE_STREAM_START;
            if (type == GST_MESSAGE_LATENCY) gst_bin_recalculate_latency(GST_BIN(pipeline));
        } else if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
            gst_message_unref(message);
            break;
        }
        gst_message_unref(message);
        std::lock_guard<std::mutex> guard(times.lock);
        heard = heard || !times.packet_timestamps.empty();
    }
    GstStructure* stats = nullptr;
    g_object_get(buffer, "stats", &stats, nullptr);
    guint64 lost_frames = 0, latency = 0;
    g_object_get(decoder, "lost-frames", &lost_frames, nullptr);
    guint latency_ms = 0;
    g_object_get(buffer, "latency", &latency_ms, nullptr);
    latency = latency_ms;
    gst_element_set_state(pipeline, GST_STATE_NULL);

    std::printf("{\"pushed\": %llu, \"lost\": %llu, \"late\": %llu, \"duplicates\": %llu, "
                "\"concealed_frames\": %llu, \"latency_ms\": %llu, \"played\": [",
                static_cast<unsigned long long>(stat(stats, "num-pushed")),
                static_cast<unsigned long long>(stat(stats, "num-lost")),
                static_cast<unsigned long long>(stat(stats, "num-late")),
                static_cast<unsigned long long>(stat(stats, "num-duplicates")),
                static_cast<unsigned long long>(lost_frames), static_cast<unsigned long long>(latency));
    for (std::size_t i = 0; i < times.played.size(); ++i) {
        std::printf("%s[%u, %.6f]", i == 0 ? "" : ", ", times.played[i].first, times.played[i].second);
    }
    std::printf("]}\n");
    if (stats != nullptr) gst_structure_free(stats);
    gst_object_unref(pushed);
    gst_object_unref(buffer);
    gst_object_unref(decoder);
    gst_object_unref(player);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return 0;
}
