// SPDX-License-Identifier: BSD-2-Clause
// g723 pcap end to end: captures written with libpcap from the sample's
// frames, decoded by the tool, compared sample for sample with the
// library's decode of the frames the capture carries.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "rtp_capture.h"
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using namespace std::string_literals;

class pcap_command : public ::testing::Test {
protected:
    // Runs `g723 pcap` on `capture` into `out/`, expecting success; returns
    // the one WAV written there (or the one whose name holds `part`).
    // Each capture is decoded on four threads and on one: the files and the
    // report must be the same.
    audio run(const std::string& capture, std::vector<std::string> options = {},
              const std::string& part = "") {
        options.insert(options.begin(), "pcap");
        options.push_back(capture);
        options.push_back(dir_.path("out"));
        std::filesystem::remove_all(dir_.path("out"));
        const auto on_four = with_jobs(options, 4);
        EXPECT_EQ(on_four.exit_status, 0) << on_four.err;
        const auto files_on_four = files(dir_.path("out"));
        std::filesystem::remove_all(dir_.path("out"));
        last_ = with_jobs(options, 1);
        EXPECT_EQ(last_.exit_status, 0) << last_.err;
        EXPECT_EQ(last_.out, on_four.out);
        EXPECT_TRUE(files(dir_.path("out")) == files_on_four) << "the files differ with --jobs 4";
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path("out"))) {
            if (entry.path().filename().string().find(part) != std::string::npos) {
                return read_audio(entry.path().string());
            }
        }
        ADD_FAILURE() << "no WAV with '" << part << "'";
        return {};
    }

    // The numeric fields of stream `stream` (1-based) of a JSON report, read
    // by Python's own parser; empty when the JSON does not parse.
    std::map<std::string, double> json_stream(const std::string& json, int stream) {
        write_file(dir_.path("report.json"), json);
        const std::string command =
            "python3 -c \"import json; s = json.load(open('" + dir_.path("report.json") +
            "'))['streams'][" + std::to_string(stream - 1) +
            "]; [print(k, v) for k, v in s.items() if type(v) in (int, float)]\"";
        std::map<std::string, double> fields;
        FILE* pipe = popen(command.c_str(), "r");
        char name[64];
        double value = 0;
        while (pipe != nullptr && std::fscanf(pipe, "%63s %lf", name, &value) == 2)
            fields[name] = value;
        if (pipe != nullptr) pclose(pipe);
        return fields;
    }

    static tool_result with_jobs(std::vector<std::string> options, int jobs) {
        options.insert(options.begin() + 1, {"--jobs", std::to_string(jobs)});
        return run_tool(options);
    }

    // Every file of a directory by name, with its bytes.
    static std::map<std::string, std::string> files(const std::string& directory) {
        return directory_files(directory);
    }

    scratch_directory dir_;
    tool_result last_;
    const udp_flow a_to_b_{"192.0.2.1", "192.0.2.2", 4000, 5004};
};

TEST_F(pcap_command, EveryFramesPerPacketWithAndWithoutSilenceCompression) {
    for (const bool vad : {false, true}) {
        const std::vector<slot> frames = encode_sample(vad);
        for (std::size_t per_packet = 1; per_packet <= 4; ++per_packet) {
            SCOPED_TRACE("vad " + std::to_string(vad) + ", frames per packet " +
                         std::to_string(per_packet));
            rtp_sender sender;
            sender.frames_per_packet = per_packet;
            const auto packets = packetize(frames, sender);
            {
                capture_file capture(dir_.path("call.pcap"), link_kind::ethernet);
                for (const auto& packet : packets)
                    capture.add_udp(packet.seconds, a_to_b_, packet.bytes);
            }
            std::filesystem::remove_all(dir_.path("out"));
            const audio wav =
                run(dir_.path("call.pcap"), {}, "192.0.2.1_4000-192.0.2.2_5004-11223344.wav");
            const auto& last = packets.back();
            EXPECT_EQ(wav.samples, decode_frames(frames, 0, last.first_frame + last.frames - 1));
            const std::string table = last_.out;
            EXPECT_NE(table.find("payload type 4 (static)"), std::string::npos) << table;
            if (per_packet == 4) {
                const auto json =
                    json_stream(run_tool({"pcap", "--json", dir_.path("call.pcap")}).out, 1);
                EXPECT_EQ(json.at("packets"), static_cast<double>(packets.size()));
            }
        }
    }
}

TEST_F(pcap_command, LossDuplicatesReorderingWrapsAndHeaderExtensionsOnAVlan) {
    const std::vector<slot> frames = encode_sample(true);
    rtp_sender sender;
    sender.frames_per_packet = 2;
    sender.sequence = 65530;                    // wraps after six packets
    sender.timestamp = 0xffffffffu - 240 * 20;  // wraps after twenty frames
    auto packets = packetize(frames, sender);
    ASSERT_GT(packets.size(), 60u);
    // Every fourth packet carries a CSRC, a header extension and padding.
    for (std::size_t i = 0; i < packets.size(); i += 4) {
        std::string& bytes = packets[i].bytes;
        bytes[0] = static_cast<char>(0x80 | 0x20 | 0x10 | 1);
        bytes.insert(12,
                     "CSRC"
                     "\xbe\xde\x00\x01"
                     "EXT1"s);
        bytes += "\0\0\3"s;
    }

    // Drop packets whose successor follows on in time, so that the capture
    // tells exactly which frames were lost; copy and swap others.
    std::set<std::size_t> lost_frames;
    std::set<std::size_t> dropped;
    for (std::size_t i = 3; i + 1 < packets.size() && dropped.size() < 6; i += 9) {
        if (packets[i + 1].first_frame != packets[i].first_frame + packets[i].frames ||
            packets[i].first_frame != packets[i - 1].first_frame + packets[i - 1].frames) {
            continue;
        }
        dropped.insert(i);
        for (std::size_t f = 0; f < packets[i].frames; ++f)
            lost_frames.insert(packets[i].first_frame + f);
    }
    ASSERT_GE(dropped.size(), 3u);
    {
        capture_file capture(dir_.path("lossy.pcap"), link_kind::ethernet_vlan);
        for (std::size_t i = 0; i < packets.size(); ++i) {
            if (dropped.contains(i)) continue;
            if (i % 10 == 5 && i + 1 < packets.size() && !dropped.contains(i + 1)) {
                capture.add_udp(packets[i].seconds, a_to_b_, packets[i + 1].bytes);  // swapped
                capture.add_udp(packets[i].seconds + 0.005, a_to_b_, packets[i].bytes);
                ++i;
                continue;
            }
            capture.add_udp(packets[i].seconds, a_to_b_, packets[i].bytes);
            if (i % 7 == 2) capture.add_udp(packets[i].seconds + 0.001, a_to_b_, packets[i].bytes);
        }
    }
    const audio wav = run(dir_.path("lossy.pcap"));
    const auto& last = packets.back();
    EXPECT_EQ(wav.samples,
              decode_frames(frames, 0, last.first_frame + last.frames - 1, lost_frames));

    auto json = json_stream(run_tool({"pcap", "--json", dir_.path("lossy.pcap")}).out, 1);
    EXPECT_EQ(json["lost_frames"], static_cast<double>(lost_frames.size()));
    EXPECT_EQ(json["lost_packets"], static_cast<double>(dropped.size()));
    EXPECT_GT(json["duplicated"], 5);
    EXPECT_GT(json["reordered"], 3);
    EXPECT_EQ(json["segments"], 1);
}

TEST_F(pcap_command, CallWithSdpDynamicTypeSsrcChangeAndStereo) {
    const std::vector<slot> a_frames = encode_sample(true);
    const std::vector<slot> b_frames = encode_sample(false);
    // Each side sends from another port than it receives on, so only the
    // SDP offer and answer tell that the two directions are one call.
    const udp_flow a_to_b{"192.0.2.1", "192.0.2.2", 4002, 5004};
    const udp_flow b_to_a{"192.0.2.2", "192.0.2.1", 5006, 4000};
    rtp_sender a;
    a.payload_type = 98;
    rtp_sender b1 = a;
    b1.ssrc = 0xb1;
    b1.start_seconds = 1000.5;
    rtp_sender b2 = b1;
    b2.ssrc = 0xb2;  // the sender restarts at frame 100
    b2.sequence = 7;
    b2.timestamp = 123;
    b2.start_seconds = 1000.5 + 3.0;
    const std::vector<slot> b_head(b_frames.begin(), b_frames.begin() + 100);
    const std::vector<slot> b_tail(b_frames.begin() + 100, b_frames.end());
    {
        capture_file capture(dir_.path("call.pcap"), link_kind::cooked_v2);
        const udp_flow sip{"192.0.2.1", "192.0.2.2", 5060, 5060};
        capture.add_udp(
            999.0, sip,
            sip_with_sdp("INVITE sip:b@example.com SIP/2.0", "c1", "192.0.2.1", 4000, 98));
        capture.add_udp(999.2, {sip.destination, sip.source, 5060, 5060},
                        sip_with_sdp("SIP/2.0 200 OK", "c1", "192.0.2.2", 5004, 98));
        for (const auto& p : packetize(a_frames, a)) capture.add_udp(p.seconds, a_to_b, p.bytes);
        for (const auto& p : packetize(b_head, b1)) capture.add_udp(p.seconds, b_to_a, p.bytes);
        for (const auto& p : packetize(b_tail, b2)) capture.add_udp(p.seconds, b_to_a, p.bytes);
    }
    const audio wav = run(dir_.path("call.pcap"), {"--stereo"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path("out")), {}), 1);
    ASSERT_EQ(wav.channels, 2);
    const auto last_a = packetize(a_frames, a).back();
    const auto left = decode_frames(a_frames, 0, last_a.first_frame + last_a.frames - 1);
    auto right = std::vector<std::int16_t>(4000, 0);
    for (const auto& part :
         {decode_frames(b_head, 0, 99), decode_frames(b_tail, 0, b_tail.size() - 1)}) {
        right.insert(right.end(), part.begin(), part.end());
    }
    ASSERT_EQ(wav.frames(), std::max(left.size(), right.size()));
    for (std::size_t i = 0; i < wav.frames(); ++i) {
        ASSERT_EQ(wav.samples[2 * i], i < left.size() ? left[i] : 0) << "left " << i;
        ASSERT_EQ(wav.samples[2 * i + 1], i < right.size() ? right[i] : 0) << "right " << i;
    }
    const std::string& table = last_.out;
    std::size_t from_sdp = 0;
    for (std::size_t at = 0; (at = table.find("payload type 98 (SDP)", at)) != std::string::npos;
         ++at)
        ++from_sdp;
    EXPECT_EQ(from_sdp, 3u) << table;
    EXPECT_NE(table.find("SIP messages             2"), std::string::npos) << table;
}

TEST_F(pcap_command, Ipv6RawCaptureWithTheTypeGivenAndAClockJump) {
    const std::vector<slot> frames = encode_sample(true);
    rtp_sender sender;
    sender.payload_type = 100;
    sender.frames_per_packet = 3;
    // Halfway, the sender's clock jumps three hours ahead: a new segment,
    // decoded afresh, not three hours of comfort noise.
    const std::size_t half = frames.size() / 2;
    auto packets = packetize({frames.begin(), frames.begin() + half}, sender);
    const std::size_t jump = packets.size();
    rtp_sender later = sender;
    later.sequence = static_cast<std::uint16_t>(sender.sequence + jump);
    later.timestamp = sender.timestamp + 240 * half + 3 * 3600 * 8000;
    later.start_seconds = sender.start_seconds + 0.03 * half;
    for (auto packet : packetize({frames.begin() + half, frames.end()}, later)) {
        packet.first_frame += half;
        packets.push_back(packet);
    }
    {
        capture_file capture(dir_.path("v6.pcap"), link_kind::raw_ip);
        for (const auto& p : packets)
            capture.add_udp(p.seconds, {"2001:db8::1", "2001:db8::2", 7000, 7002}, p.bytes);
    }
    const auto unknown = run_tool({"pcap", dir_.path("v6.pcap")});
    EXPECT_EQ(unknown.exit_status, 0);
    EXPECT_NE(unknown.out.find("no G.723.1 stream found"), std::string::npos) << unknown.out;
    const audio wav =
        run(dir_.path("v6.pcap"), {"--pt", "100"}, "2001.db8..1_7000-2001.db8..2_7002");
    const auto& before = packets[jump - 1];
    auto expected = decode_frames(frames, 0, before.first_frame + before.frames - 1);
    std::vector<slot> rest(frames.begin() + static_cast<std::ptrdiff_t>(packets[jump].first_frame),
                           frames.end());
    const auto after = decode_frames(
        rest, 0,
        packets.back().first_frame + packets.back().frames - 1 - packets[jump].first_frame);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(wav.samples, expected);
    EXPECT_NE(last_.out.find("[2001:db8::1]:7000 > [2001:db8::2]:7002 ssrc 0x11223344, payload "
                             "type 100 (--pt), 2 segments"),
              std::string::npos)
        << last_.out;
}

TEST_F(pcap_command, ManyStreamsAndCallsOnAnyNumberOfJobs) {
    // Ten streams at once, each with its own losses and reordering: three
    // calls announced by SDP, and two more that only their addresses pair.
    const std::vector<slot> frames = encode_sample(true);
    {
        capture_file capture(dir_.path("busy.pcap"), link_kind::ethernet);
        const udp_flow sip{"192.0.2.1", "192.0.2.2", 5060, 5060};
        for (int call = 0; call < 3; ++call) {
            const std::string id = "call" + std::to_string(call);
            const auto port = static_cast<std::uint16_t>(6000 + 10 * call);
            capture.add_udp(990.0 + call, sip,
                            sip_with_sdp("INVITE sip:b@example.com SIP/2.0", id, "192.0.2.1", port, 97));
            capture.add_udp(990.5 + call, {sip.destination, sip.source, 5060, 5060},
                            sip_with_sdp("SIP/2.0 200 OK", id, "192.0.2.2", port + 2, 97));
        }
        for (int k = 0; k < 10; ++k) {
            rtp_sender sender;
            sender.ssrc = 0x5000u + static_cast<std::uint32_t>(k);
            sender.payload_type = k < 6 ? 97 : 4;
            sender.frames_per_packet = 1 + k % 3;
            sender.start_seconds = 1000.0 + 0.37 * k;
            const auto port = static_cast<std::uint16_t>(6000 + 10 * (k / 2));
            const udp_flow flow = k % 2 == 0 ? udp_flow{"192.0.2.1", "192.0.2.2", port, static_cast<std::uint16_t>(port + 2)}
                                             : udp_flow{"192.0.2.2", "192.0.2.1", static_cast<std::uint16_t>(port + 2), port};
            const auto packets = packetize(frames, sender);
            for (std::size_t i = 0; i < packets.size(); ++i) {
                if (i % (5 + static_cast<std::size_t>(k)) == 3) continue;  // lost
                const double delay = i % 11 == 7 ? 0.09 : 0.0;              // behind its successor
                capture.add_udp(packets[i].seconds + delay, flow, packets[i].bytes);
            }
        }
    }
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--stereo"}, {"--json", "--no-postfilter"}}) {
        run(dir_.path("busy.pcap"), options);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path("out")), {}),
                  options.empty() || options[0] != "--stereo" ? 10 : 5);
        // The default, one job per processor, and more jobs than streams.
        const auto files_on_one = files(dir_.path("out"));
        for (const int jobs : {0, 16}) {
            std::filesystem::remove_all(dir_.path("out"));
            std::vector<std::string> command = {"pcap"};
            command.insert(command.end(), options.begin(), options.end());
            command.insert(command.end(), {dir_.path("busy.pcap"), dir_.path("out")});
            const auto result = jobs == 0 ? run_tool(command) : with_jobs(command, jobs);
            EXPECT_EQ(result.out, last_.out) << jobs << " jobs";
            EXPECT_TRUE(files(dir_.path("out")) == files_on_one) << jobs << " jobs";
        }
    }

    // An output that cannot be written stops the run with the error a
    // single job meets first, on any number of jobs.
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files(dir_.path("out"))) names.push_back(name);
    ASSERT_EQ(names.size(), 10u);
    for (const int jobs : {1, 4}) {
        std::filesystem::remove_all(dir_.path("out"));
        std::filesystem::create_directories(dir_.path("out/" + names[3]));
        std::filesystem::create_directories(dir_.path("out/" + names[8]));
        const auto failed = with_jobs({"pcap", dir_.path("busy.pcap"), dir_.path("out")}, jobs);
        EXPECT_EQ(failed.exit_status, 1) << jobs << " jobs";
        EXPECT_TRUE(is_single_line(failed.err)) << failed.err;
        EXPECT_NE(failed.err.find(names[3]), std::string::npos) << jobs << " jobs: " << failed.err;
        EXPECT_EQ(failed.out, "");
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path("out")))
            EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left behind";
    }
    EXPECT_EQ(run_tool({"pcap", "--jobs", "0", dir_.path("busy.pcap")}).exit_status, 2);
    EXPECT_EQ(run_tool({"pcap", "--jobs", "65", dir_.path("busy.pcap")}).exit_status, 2);
}

// Beside a genuine call: random SSRCs from random ports, the genuine SSRC
// with wild numbers from another port, two packets of a new SSRC, and
// eight chains whose timestamps leap 1.9 s a packet. The call decodes as if
// alone, the sources never two packets in sequence are one summary count,
// the chains are held to their time in the capture, and the table stays in
// its columns.
TEST_F(pcap_command, HostileSendersBesideACall) {
    const std::vector<slot> frames = encode_sample(true);
    const auto packets = packetize(frames, rtp_sender{});
    std::mt19937 random(9);
    auto datagram = [&](std::uint16_t sequence, std::uint32_t timestamp, std::uint32_t ssrc) {
        std::string bytes(12 + 24, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random() & 0xfc);
        const std::uint32_t fields[3] = {sequence, timestamp, ssrc};
        bytes[0] = '\x80';
        bytes[1] = 4;
        for (int i = 0; i < 2; ++i) bytes[2 + i] = static_cast<char>(sequence >> (8 - 8 * i));
        for (int f = 1; f < 3; ++f)
            for (int i = 0; i < 4; ++i) bytes[4 * f + i] = static_cast<char>(fields[f] >> (24 - 8 * i));
        return bytes;
    };
    const double start = packets.front().seconds, end = packets.back().seconds;
    constexpr int sprayed = 3000;
    {
        capture_file capture(dir_.path("hostile.pcap"), link_kind::ethernet);
        std::size_t next = 0;
        for (int k = 0; k < sprayed; ++k) {
            const double t = start + (end - start) * k / sprayed;
            for (; next < packets.size() && packets[next].seconds <= t; ++next) {
                capture.add_udp(packets[next].seconds, a_to_b_, packets[next].bytes);
            }
            const udp_flow stray{"192.0.2.9", "192.0.2.2", static_cast<std::uint16_t>(1024 + k), 5004};
            capture.add_udp(t, stray, datagram(random(), random(), random()));
            const udp_flow wild{"192.0.2.1", "192.0.2.2", 4001, 5004};
            if (k % 10 == 0) capture.add_udp(t, wild, datagram(random(), random(), 0x11223344));
            const udp_flow chain{"192.0.2.8", "192.0.2.2", static_cast<std::uint16_t>(6000 + k % 8), 5004};
            capture.add_udp(t, chain, datagram(k / 8, (k / 8) * 15200u, 0xc4a1));
        }
        const udp_flow hijack{"192.0.2.7", "192.0.2.2", 7000, 5004};
        capture.add_udp(start + 1, hijack, datagram(1, 0, 0xbadc0de));
        capture.add_udp(start + 1.001, hijack, datagram(2, 240, 0xbadc0de));
        for (; next < packets.size(); ++next) capture.add_udp(packets[next].seconds, a_to_b_, packets[next].bytes);
    }
    const audio genuine = run(dir_.path("hostile.pcap"), {}, "192.0.2.1_4000-192.0.2.2_5004-11223344.wav");
    const auto& last = packets.back();
    EXPECT_EQ(genuine.samples, decode_frames(frames, 0, last.first_frame + last.frames - 1));
    const std::string table = last_.out;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path("out"))) {
        ++files;
        const double seconds = static_cast<double>(read_audio(entry.path().string()).samples.size()) / 8000;
        EXPECT_LE(seconds, end - start + 2.0) << entry.path();
    }
    EXPECT_EQ(files, 1u + 8u + 1u) << table;
    EXPECT_EQ(report_value(table, "unconfirmed sources"), sprayed + 1) << table;
    EXPECT_EQ(report_value(table, "  their packets"), sprayed + sprayed / 10) << table;
    // Every line of the table as long as its header.
    const std::size_t width = table.find('\n');
    for (std::size_t at = width + 1; table.compare(at, 1, "\n") != 0; at = table.find('\n', at) + 1) {
        EXPECT_EQ(table.find('\n', at) - at, width) << table.substr(at, 100);
    }
}

// Ctrl-C while the files are written: the files under way are finished,
// no other is started, the command names those written and ends by the
// signal; an empty capture is called empty.
TEST_F(pcap_command, InterruptedRunSaysWhatItWroteAndAnEmptyCaptureIsNamed) {
    const std::vector<slot> frames = encode_sample(true);
    {
        capture_file capture(dir_.path("many.pcap"), link_kind::ethernet);
        for (std::uint16_t stream = 0; stream < 300; ++stream) {
            rtp_sender sender;
            sender.ssrc = 1000u + stream;
            const udp_flow flow{"192.0.2.1", "192.0.2.2", static_cast<std::uint16_t>(2000 + stream), 5004};
            for (const auto& packet : packetize(frames, sender)) capture.add_udp(packet.seconds, flow, packet.bytes);
        }
    }
    background_program pcap("", {"pcap", "--jobs", "1", dir_.path("many.pcap"), dir_.path("out")},
                            dir_.path("pcap"));
    const auto written = [&] {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path("out"), ignored))
            names.push_back(entry.path().string());
        return names;
    };
    for (int i = 0; i < 60000 && written().empty(); ++i) ::usleep(1000);
    pcap.signal(SIGINT);
    const tool_result interrupted = pcap.finish(60);
    EXPECT_EQ(interrupted.signal, SIGINT);
    EXPECT_TRUE(is_single_line(interrupted.err)) << interrupted.err;
    const auto files = written();
    EXPECT_LT(files.size(), 300u);
    EXPECT_NE(interrupted.err.find(std::to_string(files.size()) +
                                   (files.size() == 1 ? " file written" : " files written")),
              std::string::npos)
        << interrupted.err;
    for (const std::string& file : files) {
        EXPECT_NE(interrupted.err.find(file), std::string::npos) << file;
        EXPECT_EQ(read_audio(file).samples.size(), 275u * 240) << file;
    }

    write_file(dir_.path("empty.pcap"), "");
    const tool_result empty = run_tool({"pcap", dir_.path("empty.pcap")});
    EXPECT_EQ(empty.exit_status, 1);
    EXPECT_EQ(empty.err, "g723: " + dir_.path("empty.pcap") + ": is empty\n");
}

TEST_F(pcap_command, HostileRecordsAreCountedAndTheStreamGoesOn) {
    const std::vector<slot> frames = encode_sample(true);
    const auto packets = packetize(frames, rtp_sender{});
    std::uint32_t random = 12345;
    const auto next = [&random] {
        return random = random * 1103515245u + 12345u, static_cast<char>(random >> 16);
    };
    std::size_t junk_tails = 0;
    {
        capture_file capture(dir_.path("hostile.pcap"), link_kind::ethernet);
        for (std::size_t i = 0; i < packets.size(); ++i) {
            std::string bytes = packets[i].bytes;
            if (i % 9 == 4) {
                bytes += "\x00\x01\x02"s;  // a frame header whose frame never comes
                ++junk_tails;
            }
            capture.add_udp(packets[i].seconds, a_to_b_, bytes);
            const std::string frame = capture.frame(a_to_b_, packets[i].bytes);
            const double t = packets[i].seconds + 0.001;
            switch (i % 6) {
                case 0:
                    capture.add(t, frame.substr(0, 50), frame.size());
                    break;  // cut by the snap length
                case 1: {   // a UDP length beyond the datagram
                    std::string lying = frame;
                    lying[14 + 20 + 4] = '\x7f';
                    capture.add(t, lying);
                    break;
                }
                case 2: {  // an IPv4 fragment, then TCP
                    std::string fragment = frame;
                    fragment[14 + 6] = 0x20;
                    capture.add(t, fragment);
                    fragment[14 + 6] = 0;
                    fragment[14 + 9] = 6;
                    capture.add(t, fragment);
                    break;
                }
                case 3: {  // garbage of any length, also behind a real IPv4 header
                    std::string garbage(i % 40, '\0');
                    for (char& c : garbage) c = next();
                    capture.add(t, garbage);
                    capture.add(t, frame.substr(0, 14 + 10) + garbage);
                    break;
                }
                case 4: {  // an IP header length shorter than the header
                    std::string bad = frame;
                    bad[14] = 0x43;
                    capture.add(t, bad);
                    break;
                }
                default: break;
            }
        }
    }
    const audio wav = run(dir_.path("hostile.pcap"));
    const auto& last = packets.back();
    EXPECT_EQ(wav.samples, decode_frames(frames, 0, last.first_frame + last.frames - 1));
    for (const char* count : {"truncated", "IP fragment", "not UDP", "malformed header"}) {
        EXPECT_GT(report_value(last_.out, count).value_or(0), 10) << count << "\n" << last_.out;
    }
    auto json = json_stream(run_tool({"pcap", "--json", dir_.path("hostile.pcap")}).out, 1);
    EXPECT_EQ(json["malformed"], static_cast<double>(junk_tails));

    // A capture cut inside a record: what came before is still decoded.
    const std::string whole = read_file(dir_.path("hostile.pcap"));
    write_file(dir_.path("cut.pcap"), whole.substr(0, whole.size() / 2 + 7));
    std::filesystem::remove_all(dir_.path("out"));
    const auto cut = run_tool({"pcap", dir_.path("cut.pcap"), dir_.path("out")});
    EXPECT_EQ(cut.exit_status, 1);
    EXPECT_TRUE(is_single_line(cut.err)) << cut.err;
    EXPECT_GT(report_value(cut.out, "UDP datagrams").value_or(0), 50) << cut.out;
    EXPECT_FALSE(std::filesystem::is_empty(dir_.path("out")));

    write_file(dir_.path("not.pcap"), "not a capture at all");
    const auto refused = run_tool({"pcap", dir_.path("not.pcap")});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_TRUE(is_single_line(refused.err)) << refused.err;
}

}  // namespace
}  // namespace g723::tool_test
