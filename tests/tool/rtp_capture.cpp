// SPDX-License-Identifier: BSD-2-Clause
#include "rtp_capture.h"

#include <arpa/inet.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <stdexcept>

#include "g723/g723.h"
#include "test_audio.h"
#include "tool_fixture.h"

namespace g723::tool_test {

namespace {

using namespace std::string_literals;

void put16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value);
}

void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    put16(bytes, at, value >> 16);
    put16(bytes, at + 2, value & 0xffff);
}

std::string address_bytes(const std::string& text) {
    std::string bytes(text.find(':') == std::string::npos ? 4 : 16, '\0');
    if (inet_pton(bytes.size() == 4 ? AF_INET : AF_INET6, text.c_str(), bytes.data()) != 1) {
        throw std::invalid_argument("bad address " + text);
    }
    return bytes;
}

}  // namespace

std::vector<slot> encode_sample(bool silence_compression) {
    const audio sample = read_audio(speech_sample);
    g723_encoder* encoder = nullptr;
    g723_encoder_open(&encoder);
    g723_encoder_set_vad_mode(encoder, silence_compression ? 1 : 0, 1);
    std::vector<slot> frames;
    for (std::size_t at = 0; at + 240 <= sample.samples.size(); at += 240) {
        slot& frame = frames.emplace_back();
        std::int32_t length = 0;
        g723_encode_frame(encoder, sample.samples.data() + at, frame.data(), &length);
    }
    g723_encoder_close(&encoder);
    return frames;
}

std::vector<std::int16_t> decode_frames(const std::vector<slot>& frames, std::size_t first,
                                        std::size_t last, const std::set<std::size_t>& lost) {
    g723_decoder* decoder = nullptr;
    g723_decoder_open(&decoder);
    std::vector<std::int16_t> samples((last - first + 1) * 240);
    for (std::size_t i = first; i <= last; ++i) {
        std::int32_t count = 0;
        g723_decode_frame(decoder, frames[i].data(), samples.data() + (i - first) * 240,
                          lost.contains(i) ? 1 : 0, &count);
    }
    g723_decoder_close(&decoder);
    return samples;
}

std::vector<rtp_packet_made> packetize(const std::vector<slot>& frames, const rtp_sender& sender) {
    constexpr std::size_t lengths[4] = {24, 20, 4, 0};
    std::vector<rtp_packet_made> packets;
    std::uint16_t sequence = sender.sequence;
    bool talkspurt = true;
    for (std::size_t i = 0; i < frames.size();) {
        if ((frames[i][0] & 3) == 3) {
            talkspurt = true;
            ++i;
            continue;
        }
        rtp_packet_made& packet = packets.emplace_back();
        packet.first_frame = i;
        packet.seconds = sender.start_seconds + 0.03 * static_cast<double>(i);
        packet.bytes.assign(12, '\0');
        packet.bytes[0] = static_cast<char>(0x80);
        packet.bytes[1] = static_cast<char>((talkspurt ? 0x80 : 0) | sender.payload_type);
        put16(packet.bytes, 2, sequence++);
        put32(packet.bytes, 4, sender.timestamp + 240u * static_cast<std::uint32_t>(i));
        put32(packet.bytes, 8, sender.ssrc);
        talkspurt = false;
        while (i < frames.size() && packet.frames < sender.frames_per_packet &&
               (frames[i][0] & 3) != 3) {
            packet.bytes.append(reinterpret_cast<const char*>(frames[i].data()),
                                lengths[frames[i][0] & 3]);
            ++packet.frames;
            ++i;
        }
    }
    return packets;
}

capture_file::capture_file(const std::string& path, link_kind kind) : kind_(kind) {
    const int type = kind == link_kind::cooked_v2 ? DLT_LINUX_SLL2
                     : kind == link_kind::raw_ip  ? DLT_RAW
                                                  : DLT_EN10MB;
    handle_ = pcap_open_dead_with_tstamp_precision(type, 65535, PCAP_TSTAMP_PRECISION_MICRO);
    dumper_ = pcap_dump_open(handle_, path.c_str());
    if (dumper_ == nullptr) throw std::runtime_error("cannot write " + path);
}

capture_file::~capture_file() {
    pcap_dump_close(dumper_);
    pcap_close(handle_);
}

std::string capture_file::frame(const udp_flow& flow, const std::string& payload) const {
    const std::string source = address_bytes(flow.source);
    const std::string destination = address_bytes(flow.destination);
    const bool ipv6 = source.size() == 16;
    std::string udp(8, '\0');
    put16(udp, 0, flow.source_port);
    put16(udp, 2, flow.destination_port);
    put16(udp, 4, static_cast<unsigned>(8 + payload.size()));
    udp += payload;

    std::string ip(ipv6 ? 40 : 20, '\0');
    if (ipv6) {
        ip[0] = 0x60;
        put16(ip, 4, static_cast<unsigned>(udp.size()));
        ip[6] = 17;
        ip[7] = 64;
        ip.replace(8, 16, source);
        ip.replace(24, 16, destination);
    } else {
        ip[0] = 0x45;
        put16(ip, 2, static_cast<unsigned>(20 + udp.size()));
        ip[8] = 64;
        ip[9] = 17;
        ip.replace(12, 4, source);
        ip.replace(16, 4, destination);
    }
    const unsigned ethertype = ipv6 ? 0x86dd : 0x0800;
    std::string link;
    switch (kind_) {
        case link_kind::ethernet:
        case link_kind::ethernet_vlan:
            link.assign(12, '\2');
            if (kind_ == link_kind::ethernet_vlan) {
                link += std::string("\x88\xa8\x00\x07\x81\x00\x00\x2a", 8);  // QinQ, then 802.1Q
            }
            link += "\0\0"s;
            put16(link, link.size() - 2, ethertype);
            break;
        case link_kind::cooked_v2:
            link.assign(20, '\0');
            put16(link, 0, ethertype);
            break;
        case link_kind::raw_ip: break;
    }
    return link + ip + udp;
}

void capture_file::add(double seconds, const std::string& frame, std::size_t wire_length) {
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(seconds);
    header.ts.tv_usec =
        static_cast<suseconds_t>((seconds - static_cast<double>(header.ts.tv_sec)) * 1e6 + 0.5);
    header.caplen = static_cast<bpf_u_int32>(frame.size());
    header.len = static_cast<bpf_u_int32>(std::max(frame.size(), wire_length));
    pcap_dump(reinterpret_cast<u_char*>(dumper_), &header,
              reinterpret_cast<const u_char*>(frame.data()));
}

std::string sip_with_sdp(const std::string& start_line, const std::string& call_id,
                         const std::string& address, std::uint16_t port, unsigned payload_type,
                         const std::string& transport, const std::string& attributes) {
    const std::string family = address.find(':') == std::string::npos ? "IP4" : "IP6";
    const std::string type = std::to_string(payload_type);
    const std::string body = "v=0\r\no=- 1 1 IN " + family + " " + address + "\r\ns=call\r\nc=IN " +
                             family + " " + address + "\r\nt=0 0\r\nm=audio " +
                             std::to_string(port) + " " + transport + " " + type +
                             " 101\r\na=rtpmap:" + type + " G723/8000\r\na=fmtp:" + type +
                             " annexa=yes\r\n"
                             "a=rtpmap:101 telephone-event/8000\r\n" + attributes;
    return start_line + "\r\nVia: SIP/2.0/UDP host\r\nCall-ID: " + call_id +
           "\r\nCSeq: 1 INVITE\r\nContent-Type: application/sdp\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace g723::tool_test
