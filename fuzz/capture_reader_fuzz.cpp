// SPDX-License-Identifier: BSD-2-Clause
// A whole capture file, held in memory, through libpcap and the pcap
// command's pipeline: every record read and decoded down to UDP, RTP and
// SIP/SDP sorted out, every G.723.1 stream ordered, laid on its timeline and
// decoded (when its timeline is short enough for a fuzzing run), the two
// directions of calls paired. Checks: the record counts add up, a decoded
// stream holds 240 samples and a frame kind for each timeline frame and the
// same samples when decoded twice, its figures are finite, and each stream
// belongs to at most one call.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <optional>
#include <set>
#include <vector>

#include "rtp/capture/call_pairing.h"
#include "rtp/capture/capture_reader.h"
#include "rtp/capture/link_layer.h"
#include "rtp/capture/capture_scan.h"
#include "fuzz/fuzz_check.h"
#include "rtp/stream/stream_timeline.h"
#include "rtp/capture/rtp_stream_decoding.h"

namespace {

using namespace g723::rtp;

// Decoding is what costs: a stream whose timeline could exceed this many
// frames is only scanned.
constexpr double kMostDecodedFrames = 3000.0;

// The most frames the timeline may lay out for these packets: each gap is
// bounded by the time between arrivals (plus the timeline's slack) and by
// its one-minute limit, each packet brings at most a frame per 4 bytes.
double timeline_bound(const std::vector<captured_rtp_packet>& packets) {
    double first = packets.front().arrival_seconds, last = first, carried = 0.0;
    for (const captured_rtp_packet& p : packets) {
        first = std::min(first, p.arrival_seconds);
        last = std::max(last, p.arrival_seconds);
        carried += static_cast<double>(p.payload.size() / 4);
    }
    const double per_gap = std::min((last - first + stream_timeline::arrival_slack_seconds) / 0.03 + 1.0,
                                    stream_timeline::max_gap_units / 240.0 + 1.0);
    return carried + static_cast<double>(packets.size()) * per_gap;
}

void check_stream(const std::vector<captured_rtp_packet>& packets, std::uint32_t ssrc, unsigned type) {
    const std::size_t ours = static_cast<std::size_t>(
        std::ranges::count_if(packets, [&](const captured_rtp_packet& p) { return p.payload_type == type; }));
    if (ours == 0) return;
    const double bound = timeline_bound(packets);
    if (!std::isfinite(bound) || bound > kMostDecodedFrames) return;

    const decoded_stream stream = decode_rtp_stream(packets, ssrc, type, true);
    const stream_statistics& s = stream.statistics;
    G723_FUZZ_CHECK(!stream.cut);
    G723_FUZZ_CHECK(stream.samples.size() == s.timeline_frames() * 240);
    // A kind for every frame, agreeing with the counts; a segment start for
    // every segment, the first at frame 0.
    G723_FUZZ_CHECK(stream.frames.size() == s.timeline_frames());
    G723_FUZZ_CHECK(static_cast<std::uint64_t>(std::ranges::count(stream.frames, decoded_frame::lost)) ==
                    s.lost_frames);
    G723_FUZZ_CHECK(static_cast<std::uint64_t>(std::ranges::count(stream.frames, decoded_frame::sid)) <=
                    s.sid_frames);
    G723_FUZZ_CHECK(stream.segment_starts.size() == s.segments);
    G723_FUZZ_CHECK(stream.segment_starts.empty() || stream.segment_starts.front() == 0);
    G723_FUZZ_CHECK(static_cast<double>(s.timeline_frames()) <= bound);
    G723_FUZZ_CHECK(s.packets + s.duplicated <= ours);
    G723_FUZZ_CHECK(s.sid_frames <= s.frames);
    G723_FUZZ_CHECK(s.not_supported_frames + s.invalid_frames <= s.frames);
    G723_FUZZ_CHECK(std::isfinite(s.jitter_ms) && s.jitter_ms >= 0.0);
    G723_FUZZ_CHECK(std::isfinite(s.largest_gap_ms) && s.largest_gap_ms >= 0.0);
    const decoded_stream again = decode_rtp_stream(packets, ssrc, type, true);
    G723_FUZZ_CHECK(again.samples == stream.samples);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The capture alone on the heap, so that a read beyond it is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::optional<capture::capture_reader> reader;
    try {
        reader.emplace(capture::capture_reader::open_memory(bytes));
    } catch (const capture::capture_error&) {
        return 0;
    }
    if (!capture::is_supported_link_type(reader->link_type())) return 0;
    const capture_scan scan = scan_capture(*reader, {});

    const std::uint64_t sorted = std::accumulate(scan.verdicts.begin(), scan.verdicts.end(), std::uint64_t{0});
    G723_FUZZ_CHECK(sorted == scan.records);
    std::uint64_t kept = 0;
    std::vector<stream_key> keys;
    for (const auto& [key, packets] : scan.streams) {
        G723_FUZZ_CHECK(!packets.empty());
        kept += packets.size();
        keys.push_back(key);
        std::set<unsigned> types;
        for (const captured_rtp_packet& p : packets) types.insert(p.payload_type);
        for (const unsigned type : types) {
            G723_FUZZ_CHECK(type == 4 || (type >= 96 && type <= 127));
            check_stream(packets, key.ssrc, type);
        }
    }
    G723_FUZZ_CHECK(kept + scan.sip_messages + scan.not_rtp + scan.other_payload_types <=
                    scan.verdicts[static_cast<std::size_t>(capture::packet_verdict::udp)]);

    std::vector<int> calls(keys.size(), 0);
    for (const call_directions& call : pair_calls(keys, scan.announced)) {
        G723_FUZZ_CHECK(!call.first.empty() && !call.second.empty());
        for (const auto* side : {&call.first, &call.second}) {
            for (const std::size_t i : *side) {
                G723_FUZZ_CHECK(i < keys.size());
                G723_FUZZ_CHECK(++calls[i] == 1);
            }
        }
    }
    return 0;
}
