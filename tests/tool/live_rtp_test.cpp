// SPDX-License-Identifier: BSD-2-Clause
// send and receive over loopback UDP: the received audio equals the decoded
// bit-stream sample for sample, lost packets are concealed where they were
// lost, a new sender starts a new segment, and every way of stopping leaves
// a valid WAV. GStreamer's RTP stack receives what send sends.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "g723/g723.h"
#include "rtp/srtp/srtp_key.h"
#include "rtp/srtp/srtp_session.h"
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

// A UDP socket bound to `host`:`port` (0: any free port), or -1.
int bind_udp(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = ::socket(found->ai_family, SOCK_DGRAM, 0);
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

int port_of(int fd) {
    sockaddr_in6 address{};  // the port sits where IPv4's does
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin6_port);
}

int free_port(const std::string& host) {
    const int fd = bind_udp(host, 0);
    const int port = port_of(fd);
    ::close(fd);
    return port;
}

// Whether a socket of this machine is bound to UDP `port`, from the kernel's
// tables of UDP sockets. Reading them leaves the port alone: a trial bind
// would hold it for an instant, in which the program's own bind fails.
bool udp_port_bound(int port) {
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream in(table);
        std::string line, slot, local;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            fields >> slot >> local;
            if (local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0) return true;
        }
    }
    return false;
}

// Waits (up to 30 s) until another program has bound the port.
void wait_until_bound(int port) {
    for (int i = 0; i < 3000 && !udp_port_bound(port); ++i) ::usleep(10000);
}

std::string udp_url(const std::string& host, int port) {
    return "udp://" + (host == "::1" ? "[::1]" : host) + ":" + std::to_string(port);
}

// The frames of a compact bit-stream, each its meaningful bytes.
std::vector<std::string> split_frames(const std::string& stream) {
    std::vector<std::string> frames;
    const std::size_t lengths[4] = {24, 20, 4, 1};
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t length = lengths[static_cast<unsigned char>(stream[at]) & 3];
        frames.push_back(stream.substr(at, length));
        at += length;
    }
    return frames;
}

bool untransmitted(const std::string& frame) { return (frame[0] & 3) == 3; }

// The frames RTP carries, back to back.
std::string transmitted(const std::string& stream) {
    std::string sent;
    for (const auto& frame : split_frames(stream)) sent += untransmitted(frame) ? "" : frame;
    return sent;
}

// What a receiver can know of a stream: from its first sent frame to its last.
std::string known_part(const std::string& stream) {
    auto frames = split_frames(stream);
    while (!frames.empty() && untransmitted(frames.back())) frames.pop_back();
    std::string known;
    bool started = false;
    for (const auto& frame : frames) {
        started = started || !untransmitted(frame);
        if (started) known += frame;
    }
    return known;
}

// The report holds this member, e.g. "\"lost_frames\": 0,".
bool reports(const std::string& json, const std::string& member, std::size_t value) {
    return json.find("\"" + member + "\": " + std::to_string(value) + ",") != std::string::npos;
}

class live_rtp : public tool_test {
protected:
    // Starts a receiver on a free port of `host`, stopped by a signal after
    // the senders have finished: every datagram is then queued at the
    // receiver, so nothing depends on timing. The playout delay is long
    // enough that a sender stalled by a busy machine is not late, and that
    // the receiver, which never writes more audio than the time it ran
    // plus that delay, keeps a call sent twenty times faster than real time.
    tool_result call(const std::string& host, const std::vector<std::vector<std::string>>& sends,
                     std::vector<std::string> receive_options = {}, int stop_signal = SIGINT) {
        const int port = free_port(host);
        // Options given later win over these defaults.
        receive_options.insert(receive_options.begin(), {"receive", "--timeout", "60", "--min-delay",
                                                         "10000", "--max-delay", "10000"});
        receive_options.insert(receive_options.end(), {udp_url(host, port), path("received.wav")});
        background_program receiver("", receive_options, path("receiver"));
        wait_until_bound(port);
        for (auto send : sends) {
            send.insert(send.begin(), "send");
            // One sender after another: the first one's BYE would end the call.
            if (sends.size() > 1) send.insert(send.end(), "--no-rtcp");
            send.insert(send.end(), {"--speed", "20", udp_url(host, port)});
            const auto sent = run_tool(send);
            EXPECT_EQ(sent.exit_status, 0) << sent.err;
            EXPECT_EQ(sent.err, "");
        }
        if (stop_signal != 0) receiver.signal(stop_signal);
        return receiver.finish(60);
    }

    std::vector<std::int16_t> decoded(const std::string& stream) {
        write_file(path("expected.bit"), stream);
        EXPECT_EQ(run_tool({"decode", path("expected.bit"), path("expected.wav")}).exit_status, 0);
        return read_audio(path("expected.wav")).samples;
    }

    std::string encoded(const std::string& input, const std::vector<std::string>& options,
                        const std::string& name = "sent.bit") {
        std::vector<std::string> line{"encode"};
        line.insert(line.end(), options.begin(), options.end());
        line.insert(line.end(), {input, path(name)});
        EXPECT_EQ(run_tool(line).exit_status, 0);
        return read_file(path(name));
    }
};

struct call_case {
    std::string host;
    int frames_per_packet;
    bool silence_compression;
    bool from_bitstream;
};

void PrintTo(const call_case& c, std::ostream* out) {
    *out << c.host << ", " << c.frames_per_packet << " frames per packet";
}

class live_rtp_call : public live_rtp, public ::testing::WithParamInterface<call_case> {};

TEST_P(live_rtp_call, ReceivedAudioEqualsTheDecodedStream) {
    const call_case c = GetParam();
    std::vector<std::string> coding = c.silence_compression ? std::vector<std::string>{}
                                                            : std::vector<std::string>{"--no-vad"};
    const std::string stream = encoded(speech_sample, coding);
    std::vector<std::string> send{"--frames-per-packet", std::to_string(c.frames_per_packet)};
    if (c.from_bitstream) {
        send.insert(send.end(), {"--bitstream", path("sent.bit")});
    } else {
        send.insert(send.end(), coding.begin(), coding.end());
        send.push_back(speech_sample);
    }
    const auto received =
        call(c.host, {send}, {"--json"}, c.frames_per_packet % 2 ? SIGINT : SIGTERM);
    ASSERT_EQ(received.exit_status, 0) << received.err;
    const audio audio = read_audio(path("received.wav"));
    EXPECT_EQ(audio.sample_rate, 8000);
    EXPECT_EQ(audio.samples, decoded(known_part(stream)));
    // Every transmitted frame arrived, none was lost.
    EXPECT_TRUE(reports(received.out, "frames", split_frames(transmitted(stream)).size()))
        << received.out;
    EXPECT_TRUE(reports(received.out, "lost_frames", 0)) << received.out;
}

INSTANTIATE_TEST_SUITE_P(Loopback, live_rtp_call,
                         ::testing::Values(call_case{"127.0.0.1", 1, true, false},
                                           call_case{"::1", 2, false, true},
                                           call_case{"::1", 3, true, true},
                                           call_case{"127.0.0.1", 4, false, false}),
                         [](const ::testing::TestParamInfo<call_case>& info) {
                             const call_case& c = info.param;
                             return std::string(c.host == "::1" ? "Ipv6" : "Ipv4") +
                                    "Frames" + std::to_string(c.frames_per_packet) +
                                    (c.silence_compression ? "Vad" : "NoVad") +
                                    (c.from_bitstream ? "BitStream" : "Audio");
                         });

TEST_F(live_rtp, LostPacketsAreConcealedWhereTheyWereLost) {
    const auto frames = split_frames(encoded(speech_sample, {"--no-vad"}));
    const auto received = call("127.0.0.1", {{"--frames-per-packet", "2", "--loss", "20", "--seed",
                                              "7", "--bitstream", path("sent.bit")}},
                               {"--json"});
    ASSERT_EQ(received.exit_status, 0) << received.err;

    // The sender's drops, one draw per packet of the documented generator.
    std::mt19937_64 random(7);
    std::vector<bool> lost(frames.size());
    for (std::size_t first = 0; first < frames.size(); first += 2) {
        const bool drop = static_cast<double>(random() >> 11) * 0x1.0p-53 < 0.20;
        for (std::size_t i = first; i < std::min(first + 2, frames.size()); ++i) lost[i] = drop;
    }
    // The receiver knows the frames from the first packet that came to the last.
    std::size_t begin = 0, end = frames.size();
    while (begin < end && lost[begin]) ++begin;
    while (end > begin && lost[end - 1]) --end;
    ASSERT_GT(std::count(lost.begin() + begin, lost.begin() + end, true), 10);

    g723_decoder* decoder = nullptr;
    ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);
    std::vector<std::int16_t> expected;
    for (std::size_t i = begin; i < end; ++i) {
        std::uint8_t slot[G723_SLOT_BYTES] = {};
        std::copy(frames[i].begin(), frames[i].end(), slot);
        std::int16_t samples[G723_FRAME_SAMPLES];
        std::int32_t count = 0;
        g723_decode_frame(decoder, slot, samples, lost[i] ? 1 : 0, &count);
        expected.insert(expected.end(), samples, samples + count);
    }
    g723_decoder_close(&decoder);
    EXPECT_EQ(read_audio(path("received.wav")).samples, expected);
    const auto lost_frames = std::count(lost.begin() + begin, lost.begin() + end, true);
    EXPECT_TRUE(reports(received.out, "lost_frames", static_cast<std::size_t>(lost_frames)))
        << received.out;
}

TEST_F(live_rtp, ANewSenderStartsANewSegmentAndTheTimeOutEndsTheCall) {
    const std::string first = encoded(speech_sample, {}, "first.bit");
    const std::string second = encoded(path("mono.wav"), {"--no-vad"}, "second.bit");
    const auto received = call("::1", {{"--bitstream", path("first.bit")},
                                       {"--frames-per-packet", "3", "--bitstream", path("second.bit")}},
                               {"--timeout", "3", "--json"}, 0);
    ASSERT_EQ(received.exit_status, 0) << received.err;
    // Each segment decoded afresh, one after the other in the same file.
    std::vector<std::int16_t> expected = decoded(known_part(first));
    const auto then = decoded(known_part(second));
    expected.insert(expected.end(), then.begin(), then.end());
    EXPECT_EQ(read_audio(path("received.wav")).samples, expected);
    EXPECT_NE(received.out.find("\"stream\": 2,"), std::string::npos) << received.out;
    EXPECT_EQ(received.out.find("\"stream\": 3,"), std::string::npos) << received.out;
    EXPECT_EQ(received.out.find("\"lost_frames\": 1"), std::string::npos) << received.out;
}

TEST_F(live_rtp, WaitingInVainLeavesTheOutputAsItWas) {
    const std::string to = udp_url("127.0.0.1", free_port("127.0.0.1"));
    write_file(path("keep.wav"), read_file(speech_sample));
    for (const std::string name : {"keep.wav", "none.wav"}) {
        const auto result = run_tool({"receive", "--timeout", "0.5", to, path(name)});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_TRUE(is_single_line(result.err)) << result.err;
        EXPECT_NE(result.err.find("not written"), std::string::npos) << result.err;
    }
    EXPECT_TRUE(read_file(path("keep.wav")) == read_file(speech_sample));
    EXPECT_FALSE(std::filesystem::exists(path("none.wav")));
}

// At real time with the receiver's default options, on loopback: packets
// of several frames, the last of each talkspurt shorter, all come in time.
// (A machine too loaded to send on time can make a packet late; the report
// says so.)
TEST_F(live_rtp, RealTimeCallsWithDefaultOptionsLoseNoPacket) {
    const std::string stream = encoded(speech_sample, {});
    const std::vector<std::int16_t> expected = decoded(known_part(stream));
    std::vector<std::unique_ptr<background_program>> receivers, senders;
    const std::vector<int> packet_sizes{2, 3, 8};
    for (const int frames : packet_sizes) {
        const int port = free_port("127.0.0.1");
        const std::string name = "received" + std::to_string(frames);
        receivers.push_back(std::make_unique<background_program>(
            "", std::vector<std::string>{"receive", udp_url("127.0.0.1", port), path(name + ".wav")},
            path(name)));
        wait_until_bound(port);
        senders.push_back(std::make_unique<background_program>(
            "", std::vector<std::string>{"send", "--frames-per-packet", std::to_string(frames),
                                         "--bitstream", path("sent.bit"), udp_url("127.0.0.1", port)},
            path("sender" + std::to_string(frames))));
    }
    for (std::size_t i = 0; i < packet_sizes.size(); ++i) {
        EXPECT_EQ(senders[i]->finish(60).exit_status, 0);
        receivers[i]->signal(SIGINT);
        const auto received = receivers[i]->finish(30);
        ASSERT_EQ(received.exit_status, 0) << received.err;
        EXPECT_EQ(report_line(received.out, "late packets dropped"), "0")
            << packet_sizes[i] << " frames per packet\n" << received.out;
        EXPECT_EQ(read_audio(path("received" + std::to_string(packet_sizes[i]) + ".wav")).samples,
                  expected) << packet_sizes[i] << " frames per packet";
    }
}

// Stands between `g723 send` and the receiver: forwards each datagram from
// its own socket, keeps the last one forwarded, and sends hostile traffic
// beside the call from other sockets.
class relay {
public:
    relay(int to_port) : in_(bind_udp("127.0.0.1", 0)), out_(bind_udp("127.0.0.1", 0)) {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(static_cast<std::uint16_t>(to_port));
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        worker_ = std::thread([this] { forward(); });
    }
    ~relay() {
        stop_ = true;
        worker_.join();
        ::close(in_);
        ::close(out_);
    }
    int port() const { return port_of(in_); }
    std::size_t forwarded() const { return forwarded_; }
    // The last RTP header forwarded: sequence number, timestamp, SSRC.
    std::array<std::uint32_t, 3> last_header() {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }
    void send_from(int socket, const std::string& datagram) {
        ::sendto(socket, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to_),
                 sizeof to_);
    }

private:
    void forward() {
        char datagram[2048];
        while (!stop_) {
            const ssize_t size = ::recv(in_, datagram, sizeof datagram, MSG_DONTWAIT);
            if (size < 12) {
                ::usleep(200);
                continue;
            }
            send_from(out_, std::string(datagram, static_cast<std::size_t>(size)));
            std::lock_guard<std::mutex> lock(mutex_);
            auto field = [&](int at, int bytes) {
                std::uint32_t value = 0;
                for (int i = 0; i < bytes; ++i) value = value << 8 | static_cast<unsigned char>(datagram[at + i]);
                return value;
            };
            last_ = {field(2, 2), field(4, 4), field(8, 4)};
            ++forwarded_;
        }
    }

    int in_, out_;
    sockaddr_in to_{};
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> forwarded_{0};
    std::mutex mutex_;
    std::array<std::uint32_t, 3> last_{};
};

// An RTP packet of payload type 4 holding `frames` speech frames of noise.
std::string rtp_datagram(std::uint32_t sequence, std::uint32_t timestamp, std::uint32_t ssrc,
                         int frames, std::mt19937& random) {
    std::string bytes(12 + 24 * frames, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    const std::uint32_t fields[3] = {sequence, timestamp, ssrc};
    bytes[0] = '\x80';
    bytes[1] = 4;
    for (int f = 0, at = 2; f < 3; at += f == 0 ? 2 : 4, ++f) {
        for (int i = (f == 0 ? 2 : 4) - 1, shift = 0; i >= 0; --i, shift += 8) {
            bytes[at + i] = static_cast<char>(fields[f] >> shift);
        }
    }
    for (int f = 0; f < frames; ++f) bytes[12 + 24 * f] = static_cast<char>(bytes[12 + 24 * f] & ~3);
    return bytes;
}

TEST_F(live_rtp, HostileTrafficBesideACallIsNotPlayed) {
    const std::string stream = encoded(speech_sample, {});
    const int port = free_port("127.0.0.1");
    // A delay long enough for a busy machine, and for the receiver, which
    // never writes more audio than the time it ran plus that delay, to keep
    // a call sent at twice real time.
    background_program receiver("", {"receive", "--json", "--min-delay", "5000", "--max-delay", "5000",
                                     udp_url("127.0.0.1", port), path("received.wav")},
                                path("receiver"));
    wait_until_bound(port);
    relay middle(port);
    background_program sender("", {"send", "--frames-per-packet", "2", "--speed", "2", "--bitstream",
                                   path("sent.bit"), udp_url("127.0.0.1", middle.port())},
                              path("sender"));
    for (int i = 0; i < 3000 && middle.forwarded() < 10; ++i) ::usleep(1000);
    ASSERT_GE(middle.forwarded(), 10u);

    // From other ports while the call goes on: garbage, random SSRCs, two
    // packets of a new SSRC that follow on, a second sender, and the
    // genuine SSRC with wild numbers and with a chain of timestamps 1.9 s
    // apart. About 2400 datagrams over 2 s.
    std::mt19937 random(11);
    const int hostile = bind_udp("127.0.0.1", 0), second = bind_udp("127.0.0.1", 0);
    auto [sequence, timestamp, ssrc] = middle.last_header();
    middle.send_from(hostile, rtp_datagram(100, 0, 0xbadc0de, 1, random));
    middle.send_from(hostile, rtp_datagram(101, 240, 0xbadc0de, 1, random));
    for (std::uint32_t round = 0; round < 200; ++round) {
        std::string garbage(1 + random() % 300, '\0');
        for (char& byte : garbage) byte = static_cast<char>(random());
        middle.send_from(hostile, garbage);
        middle.send_from(hostile, rtp_datagram(random(), random(), random(), 1 + random() % 3, random));
        middle.send_from(second, rtp_datagram(500 + round, 240 * round, 0x5ec0d, 2, random));
        middle.send_from(hostile, rtp_datagram(random(), random(), ssrc, 1, random));
        for (std::uint32_t k = 0; k < 8; ++k) {
            ++sequence;
            timestamp += 15200;
            middle.send_from(hostile, rtp_datagram(sequence, timestamp, ssrc, 1, random));
        }
        ::usleep(10000);
    }
    ::close(hostile);
    ::close(second);
    EXPECT_EQ(sender.finish(60).exit_status, 0);
    receiver.signal(SIGINT);
    const auto received = receiver.finish(30);
    ASSERT_EQ(received.exit_status, 0) << received.err;
    EXPECT_EQ(read_audio(path("received.wav")).samples, decoded(known_part(stream)));
    EXPECT_EQ(received.out.find("\"stream\": 2,"), std::string::npos) << received.out;
    // Every hostile datagram is accounted for and none was played.
    auto count = [&](const std::string& label) {
        const std::size_t at = received.out.find("\"" + label + "\": ");
        return at == std::string::npos ? -1L : std::stol(received.out.substr(at + label.size() + 4));
    };
    EXPECT_EQ(count("other sources' packets") + count("not RTP") + count("other payload types"), 2402)
        << received.out;
}

// The source itself (or someone forging its address) sends a chain of
// packets whose timestamps leap 1.9 s each: the receiver never writes more
// audio than the time it ran plus its greatest playout delay.
TEST_F(live_rtp, TimestampsRunningAheadAreHeldToTheTimeReceived) {
    const int port = free_port("127.0.0.1");
    const auto started = std::chrono::steady_clock::now();
    background_program receiver("", {"receive", udp_url("127.0.0.1", port), path("received.wav")},
                                path("receiver"));
    wait_until_bound(port);
    relay source(port);
    std::mt19937 random(5);
    const int own = bind_udp("127.0.0.1", 0);
    for (std::uint32_t n = 0; n < 20; ++n) {
        source.send_from(own, rtp_datagram(n, 240 * n, 77, 1, random));
        ::usleep(30000);
    }
    for (std::uint32_t n = 20; n < 4020; ++n) {
        source.send_from(own, rtp_datagram(n, 240 * 20 + 15200 * (n - 19), 77, 1, random));
        if (n % 40 == 0) ::usleep(10000);
    }
    ::close(own);
    receiver.signal(SIGINT);
    const auto received = receiver.finish(60);
    const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(received.exit_status, 0) << received.err;
    const double seconds = static_cast<double>(read_audio(path("received.wav")).samples.size()) / 8000;
    EXPECT_GT(seconds, 0.6);
    EXPECT_LE(seconds, ran + 0.3 + 0.24) << received.out;
    EXPECT_NE(received.out.find("frames dropped beyond the time"), std::string::npos) << received.out;
}

TEST_F(live_rtp, SendFailuresSayWhatWentWrong) {
    // Nothing listens on the port: the host refuses the packets.
    const auto refused = run_tool({"send", "--speed", "1000", path("mono.wav"),
                                   udp_url("127.0.0.1", free_port("127.0.0.1"))});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_NE(refused.err.find("packets refused"), std::string::npos) << refused.err;
    // A bit-stream sent as audio: the message names the option.
    encoded(path("mono.wav"), {});
    const auto bitstream = run_tool({"send", path("sent.bit"), "udp://127.0.0.1:9"});
    EXPECT_EQ(bitstream.exit_status, 1);
    EXPECT_NE(bitstream.err.find("--bitstream"), std::string::npos) << bitstream.err;
}

TEST_F(live_rtp, BadAddressesAndOptionsAreRefused) {
    const std::string out = path("out.wav");
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"send", path("mono.wav"), "udp://127.0.0.1"},
             {"send", path("mono.wav"), "udp://[::1:5004"},
             {"send", path("mono.wav"), "udp://::1:5004"},
             {"send", path("mono.wav"), "udp://127.0.0.1:65536"},
             {"send", "--frames-per-packet", "9", path("mono.wav"), "udp://127.0.0.1:5004"},
             {"send", "--pt", "50", path("mono.wav"), "udp://127.0.0.1:5004"},
             {"send", "--bitstream", "--no-vad", path("mono.wav"), "udp://127.0.0.1:5004"},
             {"receive", "tcp://127.0.0.1:5004", out},
             {"receive", "--min-delay", "400", "--max-delay", "300", "udp://127.0.0.1:5004", out}}) {
        const auto result = run_tool(line);
        EXPECT_EQ(result.exit_status, 2) << line[line.size() - 2] << ": " << result.err;
        EXPECT_TRUE(is_single_line(result.err)) << result.err;
    }
    // An address in use is a failure of the address, not of the command line.
    const int holder = bind_udp("127.0.0.1", 0);
    const std::string taken = udp_url("127.0.0.1", port_of(holder));
    const auto result = run_tool({"receive", "--timeout", "1", taken, out});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find(taken), std::string::npos) << result.err;

    // A bit-stream cut inside a frame fails after every whole frame is sent,
    // also those of the packet being gathered.
    const std::string stream = encoded(path("mono.wav"), {});
    write_file(path("cut.bit"), stream.substr(0, stream.size() - 1));
    const auto cut = run_tool({"send", "--bitstream", "--frames-per-packet", "8", "--speed", "1000",
                               path("cut.bit"), taken});
    EXPECT_EQ(cut.exit_status, 1);
    EXPECT_NE(cut.err.find("ends inside a frame"), std::string::npos) << cut.err;
    std::size_t received_bytes = 0;
    char datagram[2048];
    for (ssize_t size; (size = ::recv(holder, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;) {
        received_bytes += static_cast<std::size_t>(size) - 12;
    }
    ::close(holder);
    EXPECT_EQ(received_bytes, transmitted(stream.substr(0, stream.size() - 24)).size());
}

TEST_F(live_rtp, PacketsOnTheWireCarryTalkspurtsWithMarkersAndTimestamps) {
    const auto frames = split_frames(encoded(speech_sample, {}));
    const int holder = bind_udp("::1", 0);
    const auto send = run_tool({"send", "--pt", "97", "--frames-per-packet", "3", "--speed", "1000",
                                "--bitstream", path("sent.bit"), udp_url("::1", port_of(holder))});
    ASSERT_EQ(send.exit_status, 0) << send.err;
    // Expected: up to three frames a packet, a silence ending a packet, the
    // marker on the first packet after silence. Header byte 1 is marker and
    // type, then the sequence number and the timestamp.
    std::vector<std::pair<std::size_t, std::string>> expected;  // first frame, header + payload
    for (std::size_t i = 0, in_packet = 0; i < frames.size(); ++i) {
        if (untransmitted(frames[i])) {
            in_packet = 0;
            continue;
        }
        if (in_packet == 0 || in_packet == 3) {
            const bool talkspurt = i == 0 || untransmitted(frames[i - 1]);
            expected.emplace_back(i, std::string(1, static_cast<char>((talkspurt ? 0x80 : 0) | 97)));
            in_packet = 0;
        }
        expected.back().second += frames[i];
        ++in_packet;
    }
    std::vector<std::string> received;
    char datagram[2048];
    for (ssize_t size; (size = ::recv(holder, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;) {
        received.emplace_back(datagram, static_cast<std::size_t>(size));
    }
    ::close(holder);
    ASSERT_EQ(received.size(), expected.size());
    auto number = [](const std::string& bytes, std::size_t at, int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    for (std::size_t p = 0; p < received.size(); ++p) {
        const std::string& packet = received[p];
        EXPECT_EQ(packet[0], '\x80');
        EXPECT_EQ(packet.substr(1, 1) + packet.substr(12), expected[p].second) << p;
        // Both wrap: the sequence number at 2^16, the timestamp at 2^32.
        EXPECT_EQ((number(packet, 2, 2) - number(received[0], 2, 2)) & 0xffff, p & 0xffff) << p;
        EXPECT_EQ(number(packet, 4, 4) - number(received[0], 4, 4),
                  static_cast<std::uint32_t>(240 * expected[p].first)) << p;
        EXPECT_EQ(number(packet, 8, 4), number(received[0], 8, 4));
    }
}

TEST_F(live_rtp, GStreamerDepayloaderWritesBackTheFramesSent) {
    if (std::system("gst-inspect-1.0 rtpg723depay > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "GStreamer's rtpg723depay is not installed";
    }
    const std::string sent = transmitted(encoded(speech_sample, {}));
    const int port = free_port("127.0.0.1");
    background_program pipeline(
        "gst-launch-1.0",
        {"-e", "udpsrc", "address=127.0.0.1", "port=" + std::to_string(port),
         "caps=application/x-rtp,media=audio,clock-rate=8000,encoding-name=G723,payload=4", "!",
         "rtpjitterbuffer", "!", "rtpg723depay", "!", "filesink", "location=" + path("gst.bit")},
        path("gst"));
    wait_until_bound(port);
    const auto send = run_tool({"send", "--frames-per-packet", "3", "--speed", "20", "--bitstream",
                                path("sent.bit"), udp_url("127.0.0.1", port)});
    ASSERT_EQ(send.exit_status, 0) << send.err;
    pipeline.signal(SIGINT);  // -e: end of stream, the file sink finishes
    const auto ended = pipeline.finish(60);
    EXPECT_EQ(ended.exit_status, 0) << ended.out << ended.err;
    EXPECT_EQ(read_file(path("gst.bit")), sent);
}

TEST_F(live_rtp, ACapturedCallDecodesLikeTheBitStream) {
    const std::string stream = encoded(speech_sample, {});
    // A socket takes the packets, so that the sender is not refused.
    const int holder = bind_udp("127.0.0.1", 0);
    const int port = port_of(holder);
    // -Z root: the capture file goes into this test's private directory.
    background_program dump("tcpdump",
                            {"-i", "lo", "-U", "--immediate-mode", "-Z", "root", "-w",
                             path("call.pcap"), "udp", "port", std::to_string(port)},
                            path("tcpdump"));
    bool listening = false;
    for (int i = 0; i < 1000 && !listening; ++i) {
        ::usleep(10000);
        listening = read_file(path("tcpdump.err")).find("listening on") != std::string::npos;
    }
    if (!listening) GTEST_SKIP() << "tcpdump cannot capture here: " << dump.finish(5).err;
    // At real time: the capture's times bound the audio decoded from it.
    const auto send = run_tool({"send", "--frames-per-packet", "4", "--bitstream",
                                path("sent.bit"), udp_url("127.0.0.1", port)});
    ASSERT_EQ(send.exit_status, 0) << send.err;
    // A busy tcpdump may still be reading: stop it once the file holds every
    // packet (a record header, Ethernet, IPv4, UDP and RTP headers each),
    // waiting up to a minute on a loaded machine.
    const auto packets = std::stoul(report_line(send.out, "packets"));
    const std::size_t whole = 24 + packets * (16 + 14 + 20 + 8 + 12) + transmitted(stream).size();
    for (int i = 0; i < 6000 && read_file(path("call.pcap")).size() < whole; ++i) ::usleep(10000);
    dump.signal(SIGINT);
    dump.finish(30);
    ::close(holder);

    const auto report = run_tool({"pcap", path("call.pcap"), path("streams")});
    ASSERT_EQ(report.exit_status, 0) << report.err;
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(path("streams"))) {
        written.push_back(entry.path().string());
    }
    ASSERT_EQ(written.size(), 1u) << report.out;
    EXPECT_EQ(read_audio(written[0]).samples, decoded(known_part(stream)));
}


// SRTP: send --srtp into receive --srtp plays what the clear call plays.
// Then through a man in the middle: a packet damaged on the way, one sent
// again, and packets forged under another key that would continue the
// stream are each refused, counted and never played.
TEST_F(live_rtp, SrtpCallsPlayOnlyWhatAuthenticates) {
    const std::string key = "AES_CM_128_HMAC_SHA1_32 inline:UR46zfKsGEjSb5ZBJXrX313A9dL+VdSm5Jny8jAQ";
    const auto frames = split_frames(encoded(speech_sample, {"--no-vad"}));
    write_file(path("key.txt"), "# the call's key\n\n" + key + "\n");
    const auto straight = call("127.0.0.1", {{"--srtp", key, "--bitstream", path("sent.bit")}},
                               {"--json", "--srtp-key-file", path("key.txt")});
    ASSERT_EQ(straight.exit_status, 0) << straight.err;
    EXPECT_EQ(read_audio(path("received.wav")).samples, decoded(read_file(path("sent.bit"))));
    EXPECT_NE(straight.out.find("\"encrypted\": true, \"srtp_suite\": \"AES_CM_128_HMAC_SHA1_32\", "
                                "\"key_source\": \"given\", \"authentication_failures\": 0, \"replayed\": 0"),
              std::string::npos)
        << straight.out;
    EXPECT_EQ(straight.out.find("UR46zfKs"), std::string::npos);

    // The sender's packets, caught before they reach the receiver, read as
    // they come (a socket's queue holds only so many).
    const int caught = bind_udp("127.0.0.1", 0);
    std::vector<std::string> packets;
    std::atomic<bool> sending{true};
    std::thread catcher([&] {
        char datagram[2048];
        for (;;) {
            const ssize_t size = ::recv(caught, datagram, sizeof datagram, MSG_DONTWAIT);
            if (size > 0) {
                packets.emplace_back(datagram, static_cast<std::size_t>(size));
            } else if (!sending) {
                break;
            } else {
                ::usleep(200);
            }
        }
    });
    const auto sent = run_tool({"send", "--srtp", key, "--speed", "20", "--bitstream", path("sent.bit"),
                                udp_url("127.0.0.1", port_of(caught))});
    sending = false;
    catcher.join();
    ::close(caught);
    ASSERT_EQ(sent.exit_status, 0) << sent.err;
    ASSERT_EQ(packets.size(), frames.size());

    const int port = free_port("127.0.0.1");
    background_program receiver("", {"receive", "--json", "--srtp", key, "--min-delay", "10000", "--max-delay",
                                     "10000", udp_url("127.0.0.1", port), path("received.wav")},
                                path("receiver"));
    wait_until_bound(port);
    const int middle = bind_udp("127.0.0.1", 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto forward = [&](const std::string& bytes) {
        ::sendto(middle, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    };
    const std::size_t damaged = 20, repeated = 30;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        std::string packet = packets[i];
        if (i == damaged) packet[14] = static_cast<char>(packet[14] ^ 0x10);
        forward(packet);
        ::usleep(500);  // within what the receiver's socket queues
        if (i == repeated + 10) forward(packets[repeated]);
    }
    // Three packets that would carry the stream on, under another key.
    rtp::srtp::srtp_session forger(
        rtp::srtp::parse_srtp_key("AES_CM_128_HMAC_SHA1_32 inline:QYH2iQEeAJ4o8rKOzU3vjbK52Fv9/Fdjt2SiqtC5"),
        rtp::srtp::session_direction::outbound);
    std::string last = packets.back().substr(0, 12 + 24);
    for (int k = 1; k <= 3; ++k) {
        const auto sequence = static_cast<std::uint16_t>((static_cast<unsigned char>(last[2]) << 8 |
                                                           static_cast<unsigned char>(last[3])) + 1);
        last[2] = static_cast<char>(sequence >> 8);
        last[3] = static_cast<char>(sequence);
        std::uint32_t timestamp = 0;
        for (int i = 4; i < 8; ++i) timestamp = timestamp << 8 | static_cast<unsigned char>(last[i]);
        timestamp += 240;
        for (int i = 7; i >= 4; --i, timestamp >>= 8) last[i] = static_cast<char>(timestamp);
        std::vector<std::uint8_t> forged(last.begin(), last.end());
        ASSERT_TRUE(forger.protect_rtp(forged));
        forward(std::string(forged.begin(), forged.end()));
    }
    ::close(middle);
    ::usleep(200000);
    receiver.signal(SIGINT);
    const auto received = receiver.finish(60);
    ASSERT_EQ(received.exit_status, 0) << received.err;

    // The damaged packet's frame concealed as lost; nothing else changed.
    g723_decoder* decoder = nullptr;
    ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);
    std::vector<std::int16_t> expected;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::uint8_t slot[G723_SLOT_BYTES] = {};
        std::copy(frames[i].begin(), frames[i].end(), slot);
        std::int16_t samples[G723_FRAME_SAMPLES];
        std::int32_t count = 0;
        g723_decode_frame(decoder, slot, samples, i == damaged ? 1 : 0, &count);
        expected.insert(expected.end(), samples, samples + count);
    }
    g723_decoder_close(&decoder);
    EXPECT_EQ(read_audio(path("received.wav")).samples, expected);
    EXPECT_NE(received.out.find("\"authentication_failures\": 4, \"replayed\": 1}"), std::string::npos)
        << received.out;
    EXPECT_NE(received.out.find("\"failed authentication\": 4, \"replayed\": 1"), std::string::npos) << received.out;
    EXPECT_TRUE(reports(received.out, "lost_frames", 1)) << received.out;
    EXPECT_TRUE(reports(received.out, "duplicated", 0)) << received.out;
}

}  // namespace
}  // namespace g723::tool_test
