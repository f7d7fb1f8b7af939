// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_CAPTURE_CAPTURE_SCAN_H
#define G723_RTP_CAPTURE_CAPTURE_SCAN_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "rtp/capture/capture_reader.h"
#include "rtp/capture/given_srtp_key.h"
#include "rtp/capture/ip_packet.h"
#include "rtp/capture/packet_decoding.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/sdp/crypto_attribute.h"
#include "rtp/stream/stream_report.h"

namespace g723::rtp {

// Where a UDP flow goes or comes from.
struct endpoint {
    capture::ip_address address;
    std::uint16_t port = 0;
    auto operator<=>(const endpoint&) const = default;
};

// "192.0.2.1:5004", "[2001:db8::1]:5004".
std::string to_string(const endpoint& point);

// One RTP stream: a sender's SSRC between two endpoints.
struct stream_key {
    endpoint source;
    endpoint destination;
    std::uint32_t ssrc = 0;
    auto operator<=>(const stream_key&) const = default;
};

// One RTP packet as captured, its payload copied out of the capture.
struct captured_rtp_packet {
    double arrival_seconds = 0.0;
    bool marker = false;
    std::uint8_t payload_type = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::vector<std::uint8_t> payload;
};

// A packet's fields and payload, copied out of the capture.
captured_rtp_packet captured(double seconds, const rtp::rtp_packet& packet);

// A receiving endpoint that SIP/SDP announced with G.723.1 payload types.
struct announced_media {
    std::string call_id;
    std::vector<unsigned> payload_types;
    std::optional<bool> annex_a;
    bool secure = false;  // RTP/SAVP or RTP/SAVPF: its media comes as SRTP
    // The SDES keys the endpoint's owner sends with (a=crypto).
    std::vector<sdp::crypto_attribute> crypto;
};

// A stream's packets of one payload type, counted as they pass: enough to
// tell whether two of them followed on in sequence (see
// read_capture_contents) without keeping them.
struct payload_type_tally {
    unsigned payload_type = 0;
    std::uint64_t packets = 0;
    bool followed_on = false;
    std::uint16_t last_sequence = 0;
    std::uint32_t last_timestamp = 0;
};

// What the scan learns of one stream, whether or not its packets are kept.
struct stream_tally {
    double first_arrival = 0.0;
    std::uint64_t packets = 0;
    std::uint64_t last_record = 0;           // the capture record of its last packet, from 1
    std::vector<payload_type_tally> types;  // in the order they first came
};

// What a source's RTCP sender reports said: the last report's counts of
// packets and payload bytes sent, and how many reports came.
struct sender_report_tally {
    std::uint64_t reports = 0;
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
};

// What a capture holds for G.723.1: its RTP streams, with their packets in
// capture order when kept, the media SDP announced, and counts of
// everything passed over.
struct capture_scan {
    std::map<stream_key, stream_tally> tallies;
    std::map<stream_key, std::vector<captured_rtp_packet>> streams;  // empty unless kept
    std::map<endpoint, announced_media> announced;
    std::uint64_t records = 0;
    std::array<std::uint64_t, capture::packet_verdict_count> verdicts{};  // by packet_verdict
    std::uint64_t sip_messages = 0;
    std::uint64_t not_rtp = 0;              // UDP that is neither RTP version 2 nor SIP
    std::uint64_t other_payload_types = 0;  // RTP that cannot be G.723.1
    std::uint64_t srtcp_packets = 0;        // RTCP to or from media announced as SRTP
    std::uint64_t rtcp_packets = 0;         // valid RTCP compound packets in the clear
    // Sender reports by the address and SSRC that sent them: a stream's
    // reports come from its own address, at its port or the one above.
    std::map<std::pair<capture::ip_address, std::uint32_t>, sender_report_tally> sender_reports;
    // What became of each SRTP stream's packets as they were kept; empty
    // unless kept.
    std::map<stream_key, stream_encryption> encryption;
    std::string damage;                     // libpcap's reason when the capture ends damaged
};

// Reads every record. RTP packets are kept when their payload type is 4,
// one of `forced_types`, or a dynamic type (96-127) that SDP may name later; which
// of them are G.723.1 is decided once the whole capture has been seen.
// SIP messages with SDP bodies (on port 5060 or anywhere they parse) fill
// `announced`. Without `keep_packets`, only the tallies are made. Kept
// packets of SRTP streams are decrypted, with `keys` or the keys of SDP
// read before them (see stream_decryption); those that fail are dropped.
capture_scan scan_capture(capture::capture_reader& reader,
                          std::span<const unsigned> forced_types, bool keep_packets = true,
                          std::span<const given_srtp_key> keys = {});

// Called by scan_records for each RTP packet the scan would keep, with its
// record number (from 1); returns false to stop reading.
using rtp_packet_visitor = std::function<bool(const stream_key& key, std::uint64_t record,
                                              double seconds, const rtp::rtp_packet& packet)>;

// The scan of scan_capture, into `scan`, showing each RTP packet it keeps
// to `visit` rather than keeping it.
void scan_records(capture::capture_reader& reader, std::span<const unsigned> forced_types,
                  capture_scan& scan, const rtp_packet_visitor& visit);

}  // namespace g723::rtp

#endif
