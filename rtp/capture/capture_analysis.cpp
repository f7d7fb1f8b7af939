// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/capture_analysis.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "rtp/capture/link_layer.h"
#include "rtp/capture/stream_decryption.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/stream/stream_timeline.h"

namespace g723::rtp {

namespace {

// One channel of a call: its streams placed by capture time from
// `call_start`, never overlapping the one before. Like a single stream, a
// channel holds at most two hours: capture times that lie cannot make it
// longer.
std::vector<std::int16_t> place_channel(
    std::span<const std::size_t> members,
    const std::function<const decoded_stream&(std::size_t)>& decoded, double call_start) {
    constexpr std::size_t longest = max_stream_frames * frame_samples;
    std::vector<std::int16_t> channel;
    for (const std::size_t index : members) {
        const decoded_stream& stream = decoded(index);
        const double offset =
            std::clamp(std::round((stream.start_seconds - call_start) * sample_rate), 0.0,
                       static_cast<double>(longest));
        const std::size_t at = std::max(channel.size(), static_cast<std::size_t>(offset));
        channel.resize(at, 0);
        channel.insert(channel.end(), stream.samples.begin(),
                       stream.samples.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(stream.samples.size(), longest - at)));
        if (channel.size() >= longest) break;
    }
    return channel;
}

}  // namespace

namespace {

capture::capture_reader supported(capture::capture_reader reader) {
    if (!capture::is_supported_link_type(reader.link_type())) {
        throw capture::capture_error("link type " + std::to_string(reader.link_type()) +
                                     " is not supported");
    }
    return reader;
}

}  // namespace

capture::capture_reader open_capture_memory(std::span<const std::uint8_t> bytes) {
    return supported(capture::capture_reader::open_memory(bytes));
}

capture::capture_reader open_capture_file(const std::string& path) {
    // libpcap says only that it could not read a file header.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0) {
        throw capture::capture_error("is empty");
    }
    try {
        return supported(capture::capture_reader::open_file(path));
    } catch (const capture::capture_error& error) {
        // libpcap names the file itself in some of its messages.
        std::string reason = error.what();
        if (reason.starts_with(path + ": ")) reason.erase(0, path.size() + 2);
        throw capture::capture_error(reason);
    }
}

capture_contents read_capture_contents(capture::capture_reader& reader,
                                       std::span<const unsigned> forced_types, bool keep_packets,
                                       std::vector<given_srtp_key> keys) {
    capture_contents contents;
    contents.keys = std::move(keys);
    contents.scan = scan_capture(reader, forced_types, keep_packets, contents.keys);
    const capture_scan& scan = contents.scan;
    std::vector<g723_stream>& found = contents.streams;
    for (const auto& [key, tally] : scan.tallies) {
        const auto announced = scan.announced.find(key.destination);
        // The G.723.1 type of this stream, and what says so.
        auto carries = [&](unsigned type) -> std::string {
            if (std::count(forced_types.begin(), forced_types.end(), type) > 0) return "--pt";
            if (announced != scan.announced.end() &&
                std::count(announced->second.payload_types.begin(),
                           announced->second.payload_types.end(), type) > 0) {
                return "SDP";
            }
            if (type == rtp::g723_payload_type) return "static";
            return "";
        };
        // The first type to come that carries G.723.1 decides.
        for (const payload_type_tally& type : tally.types) {
            std::string source = carries(type.payload_type);
            if (source.empty()) continue;
            if (!type.followed_on) {
                ++contents.unconfirmed_sources;
                contents.unconfirmed_packets += type.packets;
                break;
            }
            const auto kept = scan.streams.find(key);
            found.push_back({key, type.payload_type, std::move(source), tally.first_arrival,
                             kept == scan.streams.end() ? std::span<const captured_rtp_packet>{}
                                                        : std::span{kept->second},
                             type.packets, tally.last_record, {}});
            g723_stream& stream = found.back();
            stream.encryption = find_stream_key(key, scan.announced, contents.keys).encryption;
            if (const auto said = scan.sender_reports.find({key.source.address, key.ssrc});
                said != scan.sender_reports.end()) {
                stream.sender = said->second;
            }
            if (keep_packets) {
                // Read once: what the packets met as they were kept. A
                // stream kept as clear that the capture's SDP says is SRTP
                // (its SDP came later) is not decoded as ciphertext.
                const auto met = scan.encryption.find(key);
                if (met != scan.encryption.end()) {
                    stream.encryption = met->second;
                } else if (stream.encryption.encrypted) {
                    stream.packets = {};
                    stream.encryption.suite.clear();
                    stream.encryption.key_source.clear();
                }
            }
            break;
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const g723_stream& a, const g723_stream& b) {
        return a.first_arrival < b.first_arrival;
    });
    return contents;
}

bool read_stream_packets(capture::capture_reader& reader, capture_contents& contents,
                         std::span<const unsigned> forced_types,
                         const std::function<bool(std::size_t, std::vector<captured_rtp_packet>)>& complete) {
    std::map<stream_key, std::size_t> index;
    for (std::size_t i = 0; i < contents.streams.size(); ++i) index[contents.streams[i].key] = i;
    std::vector<std::vector<captured_rtp_packet>> held(contents.streams.size());
    std::vector<bool> handed(contents.streams.size(), false);
    capture_scan again;
    // Keys as the first reading met them: from the SDP read before each
    // stream's first packet (see read_capture_contents).
    stream_decryption decryption(again.announced, contents.keys);
    // A stream's packets as they are handed over, with what its packets met:
    // none when the capture's SDP says SRTP only after the stream's first
    // packet, which was kept as clear.
    const auto met = [&](std::size_t i, std::vector<captured_rtp_packet>& packets) {
        stream_encryption& encryption = contents.streams[i].encryption;
        const stream_encryption found = decryption.encryption(contents.streams[i].key);
        if (found.encrypted) {
            encryption = found;
        } else if (encryption.encrypted) {
            packets.clear();
            encryption.suite.clear();
            encryption.key_source.clear();
        }
        return std::move(packets);
    };
    bool going = true;
    scan_records(reader, forced_types, again,
                 [&](const stream_key& key, std::uint64_t record, double seconds,
                     const rtp::rtp_packet& packet) {
                     // Records past those of the first reading, should the
                     // file have grown since, are not the capture reported.
                     if (record > contents.scan.records) return false;
                     const auto found = index.find(key);
                     if (found == index.end()) return true;
                     const std::size_t i = found->second;
                     if (auto kept = decryption.keep(key, seconds, packet)) held[i].push_back(std::move(*kept));
                     if (record < contents.streams[i].last_record) return true;
                     handed[i] = true;
                     going = complete(i, met(i, held[i]));
                     held[i] = {};
                     return going;
                 });
    // A file cut short since the first reading: what is left, in order.
    for (std::size_t i = 0; going && i < held.size(); ++i) {
        if (!handed[i]) going = complete(i, met(i, held[i]));
    }
    return going;
}

std::string hex_ssrc(std::uint32_t ssrc) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", ssrc);
    return text;
}

std::string stream_name(const stream_key& key) {
    return to_string(key.source) + " > " + to_string(key.destination) + " ssrc 0x" +
           hex_ssrc(key.ssrc);
}

decoded_stream decode_g723_stream(const g723_stream& stream, bool postfilter) {
    decoded_stream decoded = decode_rtp_stream(stream.packets, stream.key.ssrc, stream.payload_type, postfilter);
    decoded.statistics.sender_reports = stream.sender.reports;
    decoded.statistics.sender_reported_packets = stream.sender.packets;
    decoded.statistics.sender_reported_bytes = stream.sender.bytes;
    return decoded;
}

std::vector<std::pair<std::string, std::uint64_t>> capture_counts(const capture_contents& contents,
                                                                  std::uint64_t cut_streams) {
    const capture_scan& scan = contents.scan;
    std::vector<std::pair<std::string, std::uint64_t>> counts;
    counts.emplace_back("capture records", scan.records);
    for (std::size_t v = 1; v < capture::packet_verdict_count; ++v) {
        if (scan.verdicts[v] > 0) {
            counts.emplace_back(
                std::string(capture::describe(static_cast<capture::packet_verdict>(v))),
                scan.verdicts[v]);
        }
    }
    counts.emplace_back("UDP datagrams", scan.verdicts[0]);
    counts.emplace_back("SIP messages", scan.sip_messages);
    if (scan.not_rtp > 0) counts.emplace_back("UDP not RTP", scan.not_rtp);
    if (scan.srtcp_packets > 0) counts.emplace_back("SRTCP packets", scan.srtcp_packets);
    if (scan.rtcp_packets > 0) counts.emplace_back("RTCP packets", scan.rtcp_packets);
    // RTP not taken as G.723.1: other static types, and dynamic types that
    // neither SDP nor --pt named.
    std::uint64_t kept = 0;
    for (const auto& [key, tally] : scan.tallies) kept += tally.packets;
    std::uint64_t g723_packets = 0;
    for (const g723_stream& stream : contents.streams) g723_packets += stream.g723_packets;
    if (const std::uint64_t others =
            scan.other_payload_types + kept - g723_packets - contents.unconfirmed_packets;
        others > 0) {
        counts.emplace_back("RTP of other types", others);
    }
    if (contents.unconfirmed_sources > 0) {
        counts.emplace_back("unconfirmed sources", contents.unconfirmed_sources);
        counts.emplace_back("  their packets", contents.unconfirmed_packets);
    }
    if (cut_streams > 0) counts.emplace_back("streams cut at 2 hours", cut_streams);
    return counts;
}

std::string damage_message(const capture_contents& contents) {
    if (contents.scan.damage.empty()) return "";
    return "ends in a damaged record (" + contents.scan.damage + "); the " +
           std::to_string(contents.scan.records) + " records before it were used";
}

std::vector<call_directions> capture_calls(const capture_contents& contents) {
    std::vector<stream_key> keys;
    for (const g723_stream& stream : contents.streams) keys.push_back(stream.key);
    return pair_calls(keys, contents.scan.announced);
}

call_audio place_call(const call_directions& call,
                      const std::function<const decoded_stream&(std::size_t)>& decoded) {
    call_audio audio;
    audio.start_seconds = decoded(call.first.front()).start_seconds;
    for (const std::size_t i : call.second) {
        audio.start_seconds = std::min(audio.start_seconds, decoded(i).start_seconds);
    }
    audio.first = place_channel(call.first, decoded, audio.start_seconds);
    audio.second = place_channel(call.second, decoded, audio.start_seconds);
    return audio;
}

std::vector<std::int16_t> interleave(const call_audio& call) {
    std::vector<std::int16_t> samples(2 * std::max(call.first.size(), call.second.size()), 0);
    for (std::size_t i = 0; i < call.first.size(); ++i) samples[2 * i] = call.first[i];
    for (std::size_t i = 0; i < call.second.size(); ++i) samples[2 * i + 1] = call.second[i];
    return samples;
}

}  // namespace g723::rtp
