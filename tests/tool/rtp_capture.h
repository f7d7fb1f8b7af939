// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_TESTS_TOOL_RTP_CAPTURE_H
#define G723_TESTS_TOOL_RTP_CAPTURE_H

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct pcap;
struct pcap_dumper;

namespace g723::tool_test {

using slot = std::array<std::uint8_t, 24>;

// The sample's coded frames, with silence compression on or off.
std::vector<slot> encode_sample(bool silence_compression);

// Decodes frames [first, last] through the library, the `lost` ones marked
// lost: what a receiver that knows those frames must produce.
std::vector<std::int16_t> decode_frames(const std::vector<slot>& frames, std::size_t first,
                                        std::size_t last, const std::set<std::size_t>& lost = {});

struct rtp_packet_made {
    double seconds = 0.0;         // capture time
    std::string bytes;            // the RTP datagram
    std::size_t first_frame = 0;  // frames it carries
    std::size_t frames = 0;
};

struct rtp_sender {
    std::uint32_t ssrc = 0x11223344;
    unsigned payload_type = 4;
    std::uint16_t sequence = 1000;
    std::uint32_t timestamp = 5000;
    std::size_t frames_per_packet = 1;
    double start_seconds = 1000.0;
};

// Packs frames as a sender does: up to `frames_per_packet` consecutive
// transmitted frames per packet, untransmitted frames not sent, the marker
// on each talkspurt's first packet, sent at the frames' real time.
std::vector<rtp_packet_made> packetize(const std::vector<slot>& frames, const rtp_sender& sender);

struct udp_flow {
    std::string source, destination;  // IPv4, or IPv6 when it holds ':'
    std::uint16_t source_port = 0, destination_port = 0;
};

enum class link_kind { ethernet, ethernet_vlan, cooked_v2, raw_ip };

// A capture written with libpcap's own writer.
class capture_file {
public:
    capture_file(const std::string& path, link_kind kind);
    ~capture_file();
    capture_file(const capture_file&) = delete;
    capture_file& operator=(const capture_file&) = delete;

    // The link-layer frame of a UDP datagram, for tests that damage it.
    std::string frame(const udp_flow& flow, const std::string& payload) const;
    void add_udp(double seconds, const udp_flow& flow, const std::string& payload) {
        add(seconds, frame(flow, payload));
    }
    // A record as is; `wire_length` above its size marks it cut short.
    void add(double seconds, const std::string& frame, std::size_t wire_length = 0);

private:
    link_kind kind_;
    pcap* handle_ = nullptr;
    pcap_dumper* dumper_ = nullptr;
};

// A SIP message carrying an SDP body that offers G.723.1 as `payload_type`
// at `address`:`port`, over `transport`, with `attributes` (whole "a="
// lines) added to the media.
std::string sip_with_sdp(const std::string& start_line, const std::string& call_id,
                         const std::string& address, std::uint16_t port, unsigned payload_type,
                         const std::string& transport = "RTP/AVP", const std::string& attributes = "");

}  // namespace g723::tool_test

#endif
