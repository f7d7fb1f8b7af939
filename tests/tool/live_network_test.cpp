// SPDX-License-Identifier: BSD-2-Clause
// Live calls over impaired paths: 'g723 send' through 'g723 relay' with
// each network profile into 'g723 receive', at real time, the four at
// once: the call is heard whole with few late frames, RTCP runs both ways
// and the sender's BYE ends the receiver at once. A captured call's RTP and
// RTCP pass Wireshark's dissectors and RTP analysis without a flag.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

// A UDP port P on loopback with P + 1 free as well (RTP and RTCP), or 0.
int free_port_pair() {
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int one = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(one, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(one, reinterpret_cast<sockaddr*>(&address), &length);
        const int port = ntohs(address.sin_port);
        const int two = ::socket(AF_INET, SOCK_DGRAM, 0);
        address.sin_port = htons(static_cast<std::uint16_t>(port + 1));
        const bool both = port < 65534 && ::bind(two, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(one);
        ::close(two);
        if (both) return port;
    }
    return 0;
}

std::string loopback(int port) { return "udp://127.0.0.1:" + std::to_string(port); }

// The number after "\"label\": " in a JSON report, or -1.
long json_number(const std::string& json, const std::string& label) {
    const std::size_t at = json.find("\"" + label + "\": ");
    return at == std::string::npos ? -1 : std::stol(json.substr(at + label.size() + 4));
}

// Frames of a compact bit-stream from the first transmitted one to the last.
std::size_t known_frames(const std::string& stream) {
    const std::size_t lengths[4] = {24, 20, 4, 1};
    std::size_t frames = 0, first = 0, last = 0;
    bool started = false;
    for (std::size_t at = 0; at < stream.size(); ++frames) {
        const int kind = static_cast<unsigned char>(stream[at]) & 3;
        if (kind != 3) {
            if (!started) first = frames;
            started = true;
            last = frames;
        }
        at += lengths[kind];
    }
    return started ? last - first + 1 : 0;
}

class live_network : public tool_test {};

TEST_F(live_network, EveryProfileThroughTheRelayIsHeardWithRtcpBothWays) {
    ASSERT_EQ(run_tool({"encode", speech_sample, path("sent.bit")}).exit_status, 0);
    const std::size_t known = known_frames(read_file(path("sent.bit")));
    struct profile_case {
        std::string name;
        long most_late;
    };
    const std::vector<profile_case> profiles{{"clean", 0}, {"wifi", 3}, {"mobile", 15}, {"congested", 25}};
    std::vector<std::unique_ptr<background_program>> receivers, relays, senders;
    for (const profile_case& profile : profiles) {
        const int receive_port = free_port_pair(), relay_port = free_port_pair();
        ASSERT_TRUE(receive_port != 0 && relay_port != 0);
        // A time-out far longer than the call: only the BYE ends it soon.
        receivers.push_back(std::make_unique<background_program>(
            "", std::vector<std::string>{"receive", "--json", "--timeout", "30", loopback(receive_port),
                                         path(profile.name + ".wav")},
            path(profile.name + ".receive")));
        relays.push_back(std::make_unique<background_program>(
            "", std::vector<std::string>{"relay", "--profile", profile.name, "--seed", "5", "--timeout", "3",
                                         loopback(relay_port), loopback(receive_port)},
            path(profile.name + ".relay")));
        ::usleep(200000);
        senders.push_back(std::make_unique<background_program>(
            "", std::vector<std::string>{"send", "--bitstream", path("sent.bit"), loopback(relay_port)},
            path(profile.name + ".send")));
    }
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        const std::string& name = profiles[i].name;
        const auto sent = senders[i]->finish(60);
        const auto done = std::chrono::steady_clock::now();
        ASSERT_EQ(sent.exit_status, 0) << name << ": " << sent.err;
        // The sender's BYE (after the relay's delay) ends the receiver.
        const auto received = receivers[i]->finish(20);
        const double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - done).count();
        ASSERT_EQ(received.exit_status, 0) << name << ": " << received.err;
        EXPECT_LT(after, 2.5) << name << ": the BYE did not end the receiver";
        const auto relayed = relays[i]->finish(30);
        EXPECT_EQ(relayed.exit_status, 0) << relayed.err;

        const std::string& json = received.out;
        EXPECT_LE(json_number(json, "late packets dropped"), profiles[i].most_late) << name << "\n" << json;
        EXPECT_EQ(json_number(json, "segments"), 1) << name << "\n" << json;
        // The whole call is placed, lost frames concealed where they were:
        // only a burst lost at the very start can shorten it.
        const long placed = json_number(json, "frames") + json_number(json, "lost_frames") +
                            json_number(json, "untransmitted_frames");
        EXPECT_LE(placed, static_cast<long>(known)) << name << "\n" << json;
        EXPECT_GE(placed, static_cast<long>(known) - 8) << name << "\n" << json;
        EXPECT_EQ(read_audio(path(name + ".wav")).samples.size(), static_cast<std::size_t>(placed) * 240) << name;
        // RTCP both ways: the source's reports heard, reports back at send.
        EXPECT_GE(json_number(json, "RTCP sender reports of the source"), 2) << name << "\n" << json;
        EXPECT_GE(json_number(json, "RTCP receiver reports sent"), 2) << name << "\n" << json;
        EXPECT_EQ(json_number(json, "RTCP packets ignored"), 0) << name << "\n" << json;
        const std::string reports = report_line(sent.out, "reports");
        EXPECT_EQ(reports.find(" 0 receiver reports back"), std::string::npos) << name << ": " << reports;
        EXPECT_NE(reports.find("receiver report"), std::string::npos) << name << ": " << sent.out;
        if (name == "clean") {
            EXPECT_LT(json_number(json, "playout delay/ms mean"), 40) << json;
            EXPECT_EQ(json_number(json, "lost_frames"), 0) << json;
        }
    }
}

// A call at twice real time, captured on loopback: every RTCP packet (sender
// reports, receiver reports, SDES, BYE) is decoded by tshark without a
// malformed or warning flag, its RTP analysis finds no problem, and 'g723
// pcap' sets what the sender reported beside what arrived.
TEST_F(live_network, WiresharkFlagsNothingInACapturedCall) {
    if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
    ASSERT_EQ(run_tool({"encode", speech_sample, path("sent.bit")}).exit_status, 0);
    const int port = free_port_pair();
    ASSERT_NE(port, 0);
    const std::string ports = std::to_string(port) + "-" + std::to_string(port + 1);
    background_program dump("tcpdump",
                            {"-i", "lo", "-U", "--immediate-mode", "-Z", "root", "-w", path("call.pcap"), "udp",
                             "portrange", ports},
                            path("tcpdump"));
    bool listening = false;
    for (int i = 0; i < 1000 && !listening; ++i) {
        ::usleep(10000);
        listening = read_file(path("tcpdump.err")).find("listening on") != std::string::npos;
    }
    if (!listening) GTEST_SKIP() << "tcpdump cannot capture here: " << dump.finish(5).err;
    background_program receiver("", {"receive", loopback(port), path("received.wav")}, path("receiver"));
    ::usleep(200000);
    const auto sent = run_tool({"send", "--speed", "2", "--bitstream", path("sent.bit"), loopback(port)});
    ASSERT_EQ(sent.exit_status, 0) << sent.err;
    EXPECT_EQ(receiver.finish(10).exit_status, 0);
    ::usleep(300000);
    dump.signal(SIGINT);
    dump.finish(30);

    const std::string decode_as = " -d udp.port==" + std::to_string(port) + ",rtp -d udp.port==" +
                                  std::to_string(port + 1) + ",rtcp ";
    auto tshark = [&](const std::string& arguments, const std::string& name) {
        const std::string command = "tshark -r " + path("call.pcap") + decode_as + arguments + " >" +
                                    path(name) + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return read_file(path(name));
    };
    const std::string rtcp = tshark("-Y rtcp", "rtcp.txt");
    EXPECT_NE(rtcp.find("Sender Report"), std::string::npos) << rtcp;
    EXPECT_NE(rtcp.find("Receiver Report"), std::string::npos) << rtcp;
    EXPECT_NE(rtcp.find("Goodbye"), std::string::npos) << rtcp;
    EXPECT_EQ(tshark("-Y \"_ws.malformed || _ws.expert.severity >= warning\"", "flagged.txt"), "");
    const std::string streams = tshark("-q -z rtp,streams", "streams.txt");
    // One stream, no packet lost, an empty "Problems?" column.
    const std::size_t row = streams.find("g723");
    ASSERT_NE(row, std::string::npos) << streams;
    const std::string line = streams.substr(row, streams.find('\n', row) - row);
    EXPECT_NE(line.find(" 0 (0.0%)"), std::string::npos) << line;
    EXPECT_EQ(line.find('X'), std::string::npos) << line;

    // g723 pcap pairs the RTCP with its stream: what the sender said it sent
    // beside what arrived, and the reports counted apart from other UDP.
    const auto read = run_tool({"pcap", "--json", path("call.pcap")});
    ASSERT_EQ(read.exit_status, 0) << read.err;
    const long packets = std::stol(report_line(sent.out, "packets"));
    EXPECT_EQ(json_number(read.out, "packets"), packets) << read.out;
    EXPECT_EQ(json_number(read.out, "sender_reported_packets"), packets) << read.out;
    EXPECT_EQ(json_number(read.out, "sender_reported_bytes"),
              std::stol(report_line(sent.out, "bytes"))) << read.out;
    EXPECT_GE(json_number(read.out, "sender_reports"), 2) << read.out;
    EXPECT_GE(json_number(read.out, "RTCP packets"), 4) << read.out;
    EXPECT_EQ(read.out.find("UDP not RTP"), std::string::npos) << read.out;
}

}  // namespace
}  // namespace g723::tool_test
