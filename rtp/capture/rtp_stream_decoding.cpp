// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/rtp_stream_decoding.h"

#include <algorithm>
#include <array>
#include <set>

#include "media/codec/codec_handles.h"
#include "rtp/packet/sequence_extender.h"
#include "rtp/stream/stream_timeline.h"
#include "rtp/stream/timeline_decoding.h"

namespace g723::rtp {

// Frame layout and codec handles come from the media library.
using namespace g723::media;

decoded_stream decode_rtp_stream(std::span<const captured_rtp_packet> packets, std::uint32_t ssrc,
                                 unsigned payload_type, bool postfilter) {
    decoded_stream stream;
    rtp::stream_statistics& statistics = stream.statistics;

    // In arrival order: extended numbers, duplicates, reordering, jitter.
    struct placed {
        std::int64_t sequence;
        const captured_rtp_packet* packet;
    };
    std::vector<placed> unique;
    std::set<std::int64_t> seen;
    rtp::sequence_extender extender;
    rtp::arrival_statistics arrivals;
    for (const captured_rtp_packet& packet : packets) {
        const auto highest = extender.highest();
        const std::int64_t sequence = extender.extend(packet.sequence);
        const bool ours = packet.payload_type == payload_type;
        if (!seen.insert(sequence).second) {
            if (ours) ++statistics.duplicated;
            continue;
        }
        unique.push_back({sequence, &packet});
        if (!ours) continue;
        if (highest && sequence < *highest) ++statistics.reordered;
        arrivals.add(packet.arrival_seconds, packet.timestamp);
    }
    statistics.jitter_ms = arrivals.jitter_ms();
    statistics.largest_gap_ms = arrivals.largest_gap_ms();
    std::sort(unique.begin(), unique.end(),
              [](const placed& a, const placed& b) { return a.sequence < b.sequence; });

    // In sequence order: the timeline. Numbers taken by packets of other
    // types are closed up so that they do not look lost.
    rtp::stream_timeline timeline;
    std::vector<rtp::timeline_frame> frames;
    std::int64_t others = 0;
    bool started = false;
    for (const placed& entry : unique) {
        const captured_rtp_packet& packet = *entry.packet;
        if (packet.payload_type != payload_type) {
            ++others;
            continue;
        }
        if (!started) stream.start_seconds = packet.arrival_seconds;
        started = true;
        statistics.add(timeline.add({entry.sequence - others, packet.timestamp, ssrc,
                                     packet.payload, packet.arrival_seconds},
                                    frames));
        if (frames.size() > max_stream_frames) {
            frames.resize(max_stream_frames);
            stream.cut = true;
            break;
        }
    }

    decoder_settings settings;
    settings.postfilter = postfilter;
    decoder_handle decoder(settings);
    stream.samples.resize(frames.size() * frame_samples);
    stream.frames.resize(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].starts_segment) stream.segment_starts.push_back(i);
        stream.frames[i] = rtp::decode_timeline_frame(decoder.get(), frames[i],
                                   std::span<std::int16_t, frame_samples>(
                                       stream.samples.data() + i * frame_samples, frame_samples),
                                   statistics);
    }
    return stream;
}

}  // namespace g723::rtp
