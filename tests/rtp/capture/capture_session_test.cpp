// SPDX-License-Identifier: BSD-2-Clause
// A capture of a secure call and its neighbours, read as every host reads
// it: through memory, a regular file (read twice) and a pipe (read once),
// with the same streams, audio and report each way. SRTP streams keyed by
// SDP and by a given key decode exactly as their clear twins do; what does
// not authenticate, replays, a stream without its key, a spray source,
// other payload types, RTCP and SRTCP are counted, not decoded; a file
// that grows or shrinks between the readings is read as it was first.
#include "rtp/capture/capture_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "rtp/packet/rtcp_packet.h"
#include "rtp/packet/rtp_packet.h"
#include "rtp/packet/rtp_packetizer.h"
#include "rtp/srtp/srtp_session.h"

namespace g723::rtp {
namespace {

using bytes = std::vector<std::uint8_t>;

constexpr const char* key_a1 = "inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";
constexpr const char* key_a2 = "inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5";
constexpr const char* key_b = "inline:lE1zfTz4uUGhcL6VDM9uBKSCiZc4K+GdDsfjdTUA";
constexpr const char* key_e = "inline:TDfpCqnP0ZOmsDyfRNbp5KRiA4WidhYZNqfqrQ==";

struct record {
    double seconds;
    bytes frame;  // Ethernet
};

void put16(bytes& out, std::size_t at, std::size_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

// An Ethernet frame carrying `payload` over UDP (or another protocol)
// between two IPv4 or IPv6 addresses.
bytes frame_of(const std::string& from, std::uint16_t from_port, const std::string& to, std::uint16_t to_port,
               const bytes& payload, std::uint8_t protocol = 17) {
    const auto source = *capture::parse_ip_address(from);
    const auto destination = *capture::parse_ip_address(to);
    bytes frame(12, 0);
    bytes udp(8, 0);
    put16(udp, 0, from_port);
    put16(udp, 2, to_port);
    put16(udp, 4, 8 + payload.size());
    udp.insert(udp.end(), payload.begin(), payload.end());
    if (source.ipv6) {
        frame.insert(frame.end(), {0x86, 0xdd, 0x60, 0, 0, 0, 0, 0, protocol, 64});
        put16(frame, 18, udp.size());
        frame.insert(frame.end(), source.bytes.begin(), source.bytes.begin() + 16);
        frame.insert(frame.end(), destination.bytes.begin(), destination.bytes.begin() + 16);
    } else {
        frame.insert(frame.end(), {0x08, 0x00, 0x45, 0, 0, 0, 0, 0, 0, 0, 64, protocol, 0, 0});
        put16(frame, 16, 20 + udp.size());
        frame.insert(frame.end(), source.bytes.begin(), source.bytes.begin() + 4);
        frame.insert(frame.end(), destination.bytes.begin(), destination.bytes.begin() + 4);
    }
    frame.insert(frame.end(), udp.begin(), udp.end());
    return frame;
}

bytes sip(const std::string& first_line, const std::string& call_id, const std::string& sdp) {
    std::string text = first_line + "\r\nCall-ID: " + call_id + "\r\nCSeq: 1 INVITE\r\n";
    if (!sdp.empty()) text += "Content-Type: application/sdp\r\n";
    text += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return bytes(text.begin(), text.end());
}

bytes pcap_of(std::vector<record> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const record& a, const record& b) { return a.seconds < b.seconds; });
    std::FILE* file = std::tmpfile();
    pcap_t* dead = pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 65535, PCAP_TSTAMP_PRECISION_MICRO);
    pcap_dumper_t* dumper = pcap_dump_fopen(dead, file);
    for (const record& r : records) {
        pcap_pkthdr header{};
        const auto micro = static_cast<long>(std::llround(r.seconds * 1e6));
        header.ts.tv_sec = micro / 1000000;
        header.ts.tv_usec = micro % 1000000;
        header.caplen = header.len = static_cast<bpf_u_int32>(r.frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, r.frame.data());
    }
    pcap_dump_flush(dumper);
    bytes capture(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(capture.data(), 1, capture.size(), file), capture.size());
    pcap_dump_close(dumper);
    pcap_close(dead);
    return capture;
}

struct sent_stream {
    std::string from, to;
    std::uint16_t from_port, to_port;
    std::uint32_t ssrc;
    std::uint8_t payload_type;
    int packets;
    double start;
    std::string suite;  // SRTP, or empty
    std::string key;
};

// The capture of the call and its neighbours; `secure` false gives its
// clear twin: the same RTP unprotected and SDP without SRTP.
bytes call_capture(bool secure, std::size_t* records_out = nullptr) {
    std::vector<record> records;
    const std::string transport = secure ? "RTP/SAVP" : "RTP/AVP";
    const auto crypto = [&](const std::string& lines) { return secure ? lines : std::string(); };
    // The call: A offers two keys, B accepts the second (its own key under
    // the same tag and suite).
    records.push_back({1000.0, frame_of("192.0.2.1", 5060, "192.0.2.2", 5060,
                                        sip("INVITE sip:b@192.0.2.2 SIP/2.0", "call-1",
                                            "v=0\r\nc=IN IP4 192.0.2.1\r\nm=audio 4000 " + transport + " 4\r\n" +
                                                crypto(std::string("a=crypto:1 AES_CM_128_HMAC_SHA1_80 ") + key_a1 +
                                                       "\r\na=crypto:2 AES_CM_128_HMAC_SHA1_32 " + key_a2 + "\r\n")))});
    records.push_back({1000.1, frame_of("192.0.2.2", 5060, "192.0.2.1", 5060,
                                        sip("SIP/2.0 200 OK", "call-1",
                                            "v=0\r\nc=IN IP4 192.0.2.2\r\nm=audio 6000 " + transport + " 4\r\n" +
                                                crypto(std::string("a=crypto:2 AES_CM_128_HMAC_SHA1_32 ") + key_b +
                                                       "\r\n")))});
    // A dynamic type over IPv6, announced on another port; a secure medium
    // whose SDP gives no key; a message without a body.
    records.push_back({1000.2, frame_of("2001:db8::5", 5070, "2001:db8::4", 5070,
                                        sip("INVITE sip:d@[2001:db8::4] SIP/2.0", "call-2",
                                            "v=0\r\nc=IN IP6 2001:db8::4\r\nm=audio 8002 RTP/AVP 97\r\n"
                                            "a=rtpmap:97 G723/8000\r\n"))});
    records.push_back({1000.3, frame_of("192.0.2.8", 5060, "192.0.2.4", 5060,
                                        sip("INVITE sip:f@192.0.2.4 SIP/2.0", "call-3",
                                            "v=0\r\nc=IN IP4 192.0.2.4\r\nm=audio 8006 " + transport + " 4\r\n"))});
    records.push_back({1000.4, frame_of("192.0.2.8", 5060, "192.0.2.4", 5060,
                                        sip("OPTIONS sip:f@192.0.2.4 SIP/2.0", "call-4", ""))});

    const std::vector<sent_stream> streams = {
        {"192.0.2.1", "192.0.2.2", 4000, 6000, 0xa, 4, 30, 1001.000, "AES_CM_128_HMAC_SHA1_32", key_a2},
        {"192.0.2.2", "192.0.2.1", 6000, 4000, 0xb, 4, 30, 1001.001, "AES_CM_128_HMAC_SHA1_32", key_b},
        {"192.0.2.3", "192.0.2.4", 7000, 8000, 0xc, 4, 30, 1001.002, "", ""},
        {"2001:db8::5", "2001:db8::4", 7002, 8002, 0xd, 97, 30, 1001.003, "", ""},
        {"192.0.2.6", "192.0.2.4", 7004, 8004, 0xe, 4, 30, 1001.004, "AEAD_AES_128_GCM", key_e},
        {"192.0.2.8", "192.0.2.4", 7006, 8006, 0xf, 4, 30, 1001.005, "AES_CM_128_HMAC_SHA1_80", key_a1},
        {"192.0.2.9", "192.0.2.4", 7008, 8008, 0x9, 4, 1, 1001.006, "", ""},       // a lone packet
        {"192.0.2.3", "192.0.2.4", 7010, 8010, 0x10, 0, 10, 1001.007, "", ""},  // PCMU
    };
    std::mt19937 random(11);
    for (const sent_stream& s : streams) {
        packetizer_settings settings;
        settings.payload_type = s.payload_type;
        settings.ssrc = s.ssrc;
        settings.first_sequence = static_cast<std::uint16_t>(65530 + s.ssrc);  // wraps in the capture
        rtp_packetizer packetizer(settings);
        std::optional<srtp::srtp_session> session;
        if (secure && !s.suite.empty()) session.emplace(srtp::parse_srtp_key(s.suite, s.key), srtp::session_direction::outbound);
        for (int k = 0; k < s.packets; ++k) {
            frame_slot frame{};
            for (auto& byte : frame) byte = static_cast<std::uint8_t>(random());
            frame[0] &= 0xfc;  // 6.3 kbit/s
            auto packet = packetizer.add(frame);
            EXPECT_TRUE(packet);
            bytes datagram = packet->datagram;
            if (session) {
                EXPECT_TRUE(session->protect_rtp(datagram));
            }
            const double at = s.start + 0.03 * k;
            if (secure && s.ssrc == 0xb && k == 5) {
                // A damaged copy ahead of the real one, and a replay after.
                bytes damaged = datagram;
                damaged[20] ^= 0x10;
                records.push_back({at - 0.0001, frame_of(s.from, s.from_port, s.to, s.to_port, damaged)});
                records.push_back({at + 0.0001, frame_of(s.from, s.from_port, s.to, s.to_port, datagram)});
            }
            records.push_back({at, frame_of(s.from, s.from_port, s.to, s.to_port, datagram)});
        }
        if (s.ssrc == 0xa && secure) {
            // A's RTCP goes as SRTCP, one port up.
            rtcp_compound report;
            report.ssrc = 0xa;
            report.sender = sender_info{1, 2, 30, 720};
            bytes srtcp = write_rtcp_compound(report);
            EXPECT_TRUE(session->protect_rtcp(srtcp));
            records.push_back({1002.0, frame_of(s.from, 4001, s.to, 6001, srtcp)});
        }
        if (s.ssrc == 0xc) {
            rtcp_compound report;
            report.ssrc = 0xc;
            report.sender = sender_info{1, 2, 30, 720};
            report.cname = "c@192.0.2.3";
            records.push_back({1002.0, frame_of(s.from, 7001, s.to, 8001, write_rtcp_compound(report))});
        }
    }
    records.push_back({1002.1, frame_of("192.0.2.3", 9, "192.0.2.4", 9, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})});
    records.push_back({1002.2, frame_of("192.0.2.3", 80, "192.0.2.4", 80, {0, 0, 0, 0}, 6)});  // TCP
    records.push_back({1003.0, frame_of("192.0.2.3", 9, "192.0.2.4", 9, bytes(40, 0))});  // cut short below
    if (records_out != nullptr) *records_out = records.size();
    return pcap_of(records);
}

std::map<std::string, std::uint64_t> counts_of(const stream_report& report) {
    return {report.counts.begin(), report.counts.end()};
}

// Everything a host takes from one reading: each piece's streams and call,
// the audio of each stream, the report, the damage.
struct reading {
    std::vector<std::vector<std::size_t>> pieces;
    std::vector<bool> in_call;
    std::map<std::size_t, decoded_stream> decoded;
    std::map<std::size_t, bool> silent;
    std::vector<g723_stream> streams;
    std::string table, json, damage;
    std::vector<call_directions> calls;
};

reading read_all(capture_session session) {
    reading r;
    r.calls = session.calls();
    EXPECT_TRUE(session.run([&](std::shared_ptr<const capture_piece> piece) {
        r.pieces.push_back(piece->streams());
        r.in_call.push_back(piece->call() != nullptr);
        for (const std::size_t i : piece->streams()) {
            r.silent[i] = session.silent(*piece, i);
            r.decoded[i] = session.decode(*piece, i);
            session.set_output(i, "stream" + std::to_string(i) + ".wav");
        }
        EXPECT_TRUE(piece->packets(99).empty());
        return true;
    }));
    // Read twice, what the packets met is known once they are read.
    r.streams = session.streams();
    r.table = format_report_table(session.report());
    r.json = format_report_json(session.report());
    r.damage = session.damage();
    return r;
}

TEST(capture_session, ASecureCallReadsTheSameEveryWayAndDecodesAsItsClearTwin) {
    std::size_t records = 0;
    bytes capture = call_capture(true, &records);
    // The capture ends in a record cut short: what came before is used.
    capture.resize(capture.size() - 3);
    capture_options options;
    options.pair_calls = true;
    options.keys.push_back(parse_given_srtp_key(std::string("0x0000000e AEAD_AES_128_GCM ") + key_e));

    const reading memory = read_all(capture_session::open_memory(capture, options));
    const std::string path = testing::TempDir() + "capture_session_secure.pcap";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(capture.data()),
                                                static_cast<std::streamsize>(capture.size()));
    const reading file = read_all(capture_session::open_file(path, options));
    // A pipe is not read twice: its packets are held from the one reading.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    ASSERT_EQ(::write(ends[1], capture.data(), capture.size()), static_cast<ssize_t>(capture.size()));
    ::close(ends[1]);
    const reading piped = read_all(capture_session::open_file("/proc/self/fd/" + std::to_string(ends[0]), options));
    ::close(ends[0]);

    // The streams, in the order they started: the call's two directions,
    // the clear stream, the IPv6 one of a type SDP named, the one keyed by
    // its SSRC, the one SDP says is SRTP without a key. Not the lone packet's
    // source, nor PCMU.
    ASSERT_EQ(memory.streams.size(), 6u);
    const char* names[] = {"192.0.2.1:4000 > 192.0.2.2:6000 ssrc 0x0000000a",
                           "192.0.2.2:6000 > 192.0.2.1:4000 ssrc 0x0000000b",
                           "192.0.2.3:7000 > 192.0.2.4:8000 ssrc 0x0000000c",
                           "[2001:db8::5]:7002 > [2001:db8::4]:8002 ssrc 0x0000000d",
                           "192.0.2.6:7004 > 192.0.2.4:8004 ssrc 0x0000000e",
                           "192.0.2.8:7006 > 192.0.2.4:8006 ssrc 0x0000000f"};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(stream_name(memory.streams[i].key), names[i]);
    EXPECT_EQ(memory.streams[3].payload_type, 97u);
    EXPECT_EQ(memory.streams[3].payload_type_source, "SDP");
    EXPECT_EQ(memory.streams[0].payload_type_source, "SDP");
    EXPECT_EQ(memory.streams[2].payload_type_source, "static");
    ASSERT_EQ(memory.calls.size(), 1u);
    EXPECT_EQ(memory.calls[0].first, std::vector<std::size_t>{0});
    EXPECT_EQ(memory.calls[0].second, std::vector<std::size_t>{1});

    for (const reading* other : {&file, &piped}) {
        EXPECT_EQ(other->table, memory.table);
        EXPECT_EQ(other->json, memory.json);
        EXPECT_EQ(other->damage, memory.damage);
        ASSERT_EQ(other->decoded.size(), 6u);
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(other->decoded.at(i).samples, memory.decoded.at(i).samples) << i;
    }
    // Read once, the call comes first; read twice, each piece as it ends.
    EXPECT_EQ(piped.pieces.front(), (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(piped.in_call.front());
    EXPECT_EQ(std::count(memory.in_call.begin(), memory.in_call.end(), true), 1);
    EXPECT_EQ(memory.pieces.size(), 5u);
    EXPECT_EQ(memory.damage.substr(0, 26), "ends in a damaged record (");
    EXPECT_NE(memory.damage.find("; the " + std::to_string(records - 1) + " records before it were used"),
              std::string::npos)
        << memory.damage;

    // Each SRTP stream with its key decodes as its clear twin; the one
    // without a key is silent.
    const bytes twin = call_capture(false);
    const reading clear = read_all(capture_session::open_memory(twin, {}));
    ASSERT_EQ(clear.streams.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(clear.streams[i].key, memory.streams[i].key);
        EXPECT_FALSE(memory.silent.at(i)) << i;
        EXPECT_EQ(memory.decoded.at(i).samples.size(), 30u * 240) << i;
        EXPECT_EQ(memory.decoded.at(i).samples, clear.decoded.at(i).samples) << i;
        EXPECT_EQ(memory.decoded.at(i).statistics.packets, 30u) << i;
    }
    EXPECT_TRUE(memory.silent.at(5));
    EXPECT_TRUE(memory.decoded.at(5).samples.empty());
    EXPECT_FALSE(clear.silent.at(5));

    const auto& a = memory.streams[0].encryption;
    EXPECT_TRUE(a.encrypted);
    EXPECT_EQ(a.suite, "AES_CM_128_HMAC_SHA1_32");
    EXPECT_EQ(a.key_source, "SDP");
    const auto& b = memory.streams[1].encryption;
    EXPECT_EQ(b.authentication_failures, 1u);
    EXPECT_EQ(b.replayed, 1u);
    EXPECT_EQ(memory.streams[4].encryption.key_source, "given");
    EXPECT_EQ(memory.streams[4].encryption.suite, "AEAD_AES_128_GCM");
    EXPECT_TRUE(memory.streams[5].encryption.encrypted);
    EXPECT_EQ(memory.streams[5].encryption.suite, "");
    EXPECT_FALSE(memory.streams[2].encryption.encrypted);
    EXPECT_EQ(memory.streams[2].sender.reports, 1u);
    EXPECT_EQ(memory.streams[2].sender.packets, 30u);

    // The report says so.
    EXPECT_NE(memory.table.find("SRTP AES_CM_128_HMAC_SHA1_32 (key from SDP)"), std::string::npos) << memory.table;
    EXPECT_NE(memory.table.find("SRTP AEAD_AES_128_GCM (key given)"), std::string::npos) << memory.table;
    EXPECT_NE(memory.table.find("the sender reported 30 packets (720 bytes) sent"), std::string::npos) << memory.table;
    EXPECT_NE(memory.table.find("stream5.wav"), std::string::npos);
    EXPECT_NE(memory.json.find("\"srtp_suite\": \"AEAD_AES_128_GCM\", \"key_source\": \"given\""), std::string::npos)
        << memory.json;
    capture_session again = capture_session::open_memory(capture, options);
    EXPECT_TRUE(again.run([](std::shared_ptr<const capture_piece>) { return true; }));
    const auto counts = counts_of(again.report());
    EXPECT_EQ(counts.at("capture records"), records - 1);
    EXPECT_EQ(counts.at("SIP messages"), 5u);
    EXPECT_EQ(counts.at("SRTCP packets"), 1u);
    EXPECT_EQ(counts.at("RTCP packets"), 1u);
    EXPECT_EQ(counts.at("UDP not RTP"), 1u);
    EXPECT_EQ(counts.at("not UDP"), 1u);
    EXPECT_EQ(counts.at("RTP of other types"), 10u);
    EXPECT_EQ(counts.at("unconfirmed sources"), 1u);
    EXPECT_EQ(counts.at("  their packets"), 1u);

    // A host that stops after a piece: the reading ends there, whether
    // the capture is read twice or once, in a call or out of one.
    const auto from_pipe = [&](const capture_options& with) {
        int pipe_ends[2];
        EXPECT_EQ(::pipe(pipe_ends), 0);
        ::fcntl(pipe_ends[1], F_SETPIPE_SZ, 1 << 20);
        EXPECT_EQ(::write(pipe_ends[1], capture.data(), capture.size()), static_cast<ssize_t>(capture.size()));
        ::close(pipe_ends[1]);
        capture_session session = capture_session::open_file("/proc/self/fd/" + std::to_string(pipe_ends[0]), with);
        ::close(pipe_ends[0]);
        return session;
    };
    const auto stops_after = [](capture_session session, int wanted) {
        int pieces = 0;
        EXPECT_FALSE(session.run([&](std::shared_ptr<const capture_piece>) { return ++pieces < wanted; }));
        return pieces;
    };
    EXPECT_EQ(stops_after(capture_session::open_memory(capture, options), 2), 2);
    EXPECT_EQ(stops_after(capture_session::open_memory(capture, {}), 3), 3);
    EXPECT_EQ(stops_after(from_pipe(options), 1), 1);
    EXPECT_EQ(stops_after(from_pipe({}), 3), 3);
    std::remove(path.c_str());
}

// Keys found the ways calls give them: a sender off its announced port
// keyed by its call's SDP for its address, the first offer when the answer
// took none of them, an answer whose key does not parse leaving its stream
// without one, and a stream that SDP says is SRTP only after its first
// packet left undecoded rather than decoded as ciphertext; read once and
// twice alike.
TEST(capture_session, KeysComeFromTheCallAndLateSdpLeavesAStreamUndecoded) {
    std::vector<record> records;
    records.push_back({1000.0, frame_of("192.0.2.20", 5060, "192.0.2.21", 5060,
                                        sip("INVITE sip:b@192.0.2.21 SIP/2.0", "call-5",
                                            std::string("v=0\r\nc=IN IP4 192.0.2.20\r\nm=audio 4100 RTP/SAVP 4\r\n"
                                                        "a=crypto:1 AES_CM_128_HMAC_SHA1_80 ") + key_a1 +
                                                "\r\na=crypto:3 AES_CM_128_HMAC_SHA1_32 " + key_a2 + "\r\n"))});
    records.push_back({1000.1, frame_of("192.0.2.21", 5060, "192.0.2.20", 5060,
                                        sip("SIP/2.0 200 OK", "call-5",
                                            "v=0\r\nc=IN IP4 192.0.2.21\r\nm=audio 6100 RTP/SAVP 4\r\n"
                                            "a=crypto:5 AES_CM_128_HMAC_SHA1_80 inline:not*base64\r\n"))});
    records.push_back({1001.5, frame_of("192.0.2.31", 5060, "192.0.2.30", 5060,
                                        sip("INVITE sip:l@192.0.2.30 SIP/2.0", "call-6",
                                            std::string("v=0\r\nc=IN IP4 192.0.2.31\r\nm=audio 8100 RTP/SAVP 4\r\n"
                                                        "a=crypto:1 AES_CM_128_HMAC_SHA1_80 ") + key_a1 + "\r\n"))});
    struct sender {
        const char* from;
        std::uint16_t from_port;
        const char* to;
        std::uint16_t to_port;
        std::uint32_t ssrc;
        const char* key;
    };
    std::mt19937 random(5);
    std::vector<bytes> clear_a;
    for (const sender& s : {sender{"192.0.2.20", 4110, "192.0.2.21", 6100, 0x20, key_a1},
                            sender{"192.0.2.21", 6100, "192.0.2.20", 4100, 0x21, key_b},
                            sender{"192.0.2.30", 7100, "192.0.2.31", 8100, 0x30, key_a1}}) {
        packetizer_settings settings;
        settings.ssrc = s.ssrc;
        rtp_packetizer packetizer(settings);
        srtp::srtp_session session(srtp::parse_srtp_key("AES_CM_128_HMAC_SHA1_80", s.key),
                                   srtp::session_direction::outbound);
        for (int k = 0; k < 30; ++k) {
            frame_slot frame{};
            for (auto& byte : frame) byte = static_cast<std::uint8_t>(random());
            frame[0] &= 0xfc;
            bytes datagram = packetizer.add(frame)->datagram;
            if (s.ssrc == 0x20) clear_a.push_back(datagram);
            EXPECT_TRUE(session.protect_rtp(datagram));
            records.push_back({1001.0 + (s.ssrc & 0xf) * 0.001 + 0.03 * k,
                               frame_of(s.from, s.from_port, s.to, s.to_port, datagram)});
        }
    }
    const bytes capture = pcap_of(records);

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
    ASSERT_EQ(::write(ends[1], capture.data(), capture.size()), static_cast<ssize_t>(capture.size()));
    ::close(ends[1]);
    const reading once = read_all(capture_session::open_file("/proc/self/fd/" + std::to_string(ends[0]), {}));
    ::close(ends[0]);
    const reading twice = read_all(capture_session::open_memory(capture, {}));
    for (const reading* r : {&once, &twice}) {
        ASSERT_EQ(r->streams.size(), 3u);
        EXPECT_EQ(stream_name(r->streams[0].key), "192.0.2.20:4110 > 192.0.2.21:6100 ssrc 0x00000020");
        const stream_encryption& a = r->streams[0].encryption;
        EXPECT_EQ(a.suite, "AES_CM_128_HMAC_SHA1_80");
        EXPECT_EQ(a.key_source, "SDP");
        EXPECT_EQ(a.authentication_failures, 0u);
        EXPECT_FALSE(r->silent.at(0));
        EXPECT_EQ(r->decoded.at(0).statistics.packets, 30u);
        for (const std::size_t i : {1u, 2u}) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(r->streams[i].encryption.encrypted);
            EXPECT_EQ(r->streams[i].encryption.suite, "");
            EXPECT_EQ(r->streams[i].encryption.key_source, "");
            EXPECT_TRUE(r->silent.at(i));
            EXPECT_TRUE(r->decoded.at(i).samples.empty());
        }
        EXPECT_NE(r->table.find("no key"), std::string::npos) << r->table;
    }
    EXPECT_EQ(once.decoded.at(0).samples, twice.decoded.at(0).samples);

    // The first stream decrypted is its clear packets: decoded alone, the
    // same audio.
    std::vector<captured_rtp_packet> clear;
    for (std::size_t k = 0; k < clear_a.size(); ++k) {
        rtp_packet packet;
        ASSERT_EQ(parse_rtp_packet(clear_a[k], packet), rtp_parse_result::ok);
        clear.push_back(captured(1001.0 + 0.03 * static_cast<double>(k), packet));
    }
    EXPECT_EQ(decode_rtp_stream(clear, 0x20, 4, true).samples, twice.decoded.at(0).samples);
}

TEST(capture_session, AFileChangedBetweenItsReadingsIsReadAsItWasFirst) {
    const bytes capture = call_capture(false);
    const std::string path = testing::TempDir() + "capture_session_changing.pcap";
    const auto write = [&](const bytes& content) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                    static_cast<std::streamsize>(content.size()));
    };
    write(capture);
    const reading whole = read_all(capture_session::open_file(path, {}));
    ASSERT_EQ(whole.streams.size(), 6u);

    // Records added after the first reading are not the capture reported.
    capture_session growing = capture_session::open_file(path, {});
    bytes longer = capture;
    const bytes more = call_capture(false);
    longer.insert(longer.end(), more.begin() + 24, more.end());  // its records, without a second file header
    write(longer);
    std::map<std::size_t, std::size_t> packets;
    EXPECT_TRUE(growing.run([&](std::shared_ptr<const capture_piece> piece) {
        for (const std::size_t i : piece->streams()) packets[i] = piece->packets(i).size();
        return true;
    }));
    ASSERT_EQ(packets.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(packets[i], 30u) << i;

    // Cut short since: each stream is handed over with what is left, in
    // order, and a host that stops is heard.
    capture_session shrinking = capture_session::open_file(path, {});
    write(bytes(capture.begin(), capture.begin() + static_cast<std::ptrdiff_t>(capture.size() / 2)));
    std::vector<std::size_t> order;
    packets.clear();
    EXPECT_TRUE(shrinking.run([&](std::shared_ptr<const capture_piece> piece) {
        for (const std::size_t i : piece->streams()) {
            order.push_back(i);
            packets[i] = piece->packets(i).size();
        }
        return true;
    }));
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_GT(packets[i], 5u) << i;
        EXPECT_LT(packets[i], 30u) << i;
    }
    capture_session stopping = capture_session::open_file(path, {});
    write(bytes(capture.begin(), capture.begin() + static_cast<std::ptrdiff_t>(capture.size() / 2)));
    int pieces = 0;
    EXPECT_FALSE(stopping.run([&](std::shared_ptr<const capture_piece>) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
    std::remove(path.c_str());
}

TEST(capture_session, ACallsTwoDirectionsArePlacedOnOneTimeAxis) {
    capture_options options;
    options.pair_calls = true;
    const bytes capture = call_capture(false);
    capture_session session = capture_session::open_memory(capture, options);
    std::map<std::size_t, decoded_stream> decoded;
    const call_directions* call = nullptr;
    ASSERT_TRUE(session.run([&](std::shared_ptr<const capture_piece> piece) {
        for (const std::size_t i : piece->streams()) decoded[i] = session.decode(*piece, i);
        if (piece->call() != nullptr) call = piece->call();
        return true;
    }));
    ASSERT_NE(call, nullptr);
    const call_audio audio = place_call(*call, [&](std::size_t i) -> const decoded_stream& { return decoded.at(i); });
    // B started a millisecond after A: eight samples of silence first.
    EXPECT_DOUBLE_EQ(audio.start_seconds, decoded.at(0).start_seconds);
    EXPECT_EQ(audio.first, decoded.at(0).samples);
    ASSERT_EQ(audio.second.size(), decoded.at(1).samples.size() + 8);
    EXPECT_EQ(std::vector<std::int16_t>(audio.second.begin(), audio.second.begin() + 8), std::vector<std::int16_t>(8, 0));
    EXPECT_TRUE(std::equal(audio.second.begin() + 8, audio.second.end(), decoded.at(1).samples.begin()));
    const std::vector<std::int16_t> stereo = interleave(audio);
    ASSERT_EQ(stereo.size(), 2 * audio.second.size());
    for (std::size_t i = 0; i < audio.second.size(); ++i) {
        EXPECT_EQ(stereo[2 * i], i < audio.first.size() ? audio.first[i] : 0);
        EXPECT_EQ(stereo[2 * i + 1], audio.second[i]);
    }
    // Directions the other way round: the channel that started later still
    // starts at its own time.
    const call_directions reversed{call->second, call->first};
    const call_audio swapped = place_call(reversed, [&](std::size_t i) -> const decoded_stream& { return decoded.at(i); });
    EXPECT_EQ(swapped.first, audio.second);
    EXPECT_EQ(swapped.second, audio.first);
}

}  // namespace
}  // namespace g723::rtp
