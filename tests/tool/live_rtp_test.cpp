// send and receive over loopback UDP: the received audio equals the decoded
// bit-stream sample for sample, lost packets are concealed where they were
// lost, a new sender starts a new segment, and every way of stopping leaves
// a valid WAV. GStreamer's RTP stack receives what send sends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <random>
#include <set>
#include <sstream>

#include "g723/g723.h"
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

struct endpoint {
    std::string host;  // "127.0.0.1" or "::1"
    int port = 0;
    std::string url() const {
        return "udp://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
               std::to_string(port);
    }
};

// Binds `host`:`port` (0: any free port) and returns the port, or -1 when
// the address is taken; the socket is closed again.
int try_bind(const std::string& host, int port) {
    sockaddr_storage address{};
    socklen_t length = 0;
    const bool v6 = host.find(':') != std::string::npos;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET6, host.c_str(), &in6->sin6_addr);
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, host.c_str(), &in4->sin_addr);
        length = sizeof *in4;
    }
    const int fd = ::socket(address.ss_family, SOCK_DGRAM, 0);
    int bound = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        bound = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                         : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    ::close(fd);
    return bound;
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

// The numbers of stream `number`'s row in the report table.
std::vector<double> stream_row(const std::string& report, int number) {
    std::istringstream lines(report);
    std::string line;
    const std::string label = std::string(5, ' ') + std::to_string(number) + " ";
    while (std::getline(lines, line)) {
        if (!line.starts_with(label)) continue;
        std::istringstream fields(line);
        std::vector<double> numbers;
        double value = 0;
        while (fields >> value) numbers.push_back(value);
        return numbers;
    }
    return {};
}

class live_rtp : public tool_test {
protected:
    // Starts a receiver on a free port of `host`, stopped by a signal after
    // the senders have finished: every datagram is then queued at the
    // receiver, so nothing depends on timing. The playout delay is long
    // enough that a sender stalled by a busy machine is not late.
    tool_result call(const std::string& host, const std::vector<std::vector<std::string>>& sends,
                     std::vector<std::string> receive_options = {}, int stop_signal = SIGINT) {
        endpoint to{host, try_bind(host, 0)};
        // Options given later win over these defaults.
        receive_options.insert(receive_options.begin(), {"receive", "--timeout", "60", "--min-delay",
                                                         "3000", "--max-delay", "3000"});
        receive_options.insert(receive_options.end(), {to.url(), path("received.wav")});
        background_program receiver("", receive_options, path("receiver"));
        // Bound once the address is taken.
        for (int i = 0; i < 1000 && try_bind(host, to.port) >= 0; ++i) ::usleep(10000);
        for (auto send : sends) {
            send.insert(send.begin(), "send");
            send.insert(send.end(), {"--speed", "20", to.url()});
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
    const auto received = call(c.host, {send}, {}, c.frames_per_packet % 2 ? SIGINT : SIGTERM);
    ASSERT_EQ(received.exit_status, 0) << received.err;
    const audio audio = read_audio(path("received.wav"));
    EXPECT_EQ(audio.sample_rate, 8000);
    EXPECT_EQ(audio.samples, decoded(known_part(stream)));
    // The report's row: every transmitted frame arrived, none lost.
    const auto row = stream_row(received.out, 1);
    ASSERT_EQ(row.size(), 12u) << received.out;
    std::size_t sent_frames = 0;
    for (const auto& frame : split_frames(stream)) sent_frames += untransmitted(frame) ? 0 : 1;
    EXPECT_EQ(row[2], sent_frames);
    EXPECT_EQ(row[3], 0) << "lost frames";
}

INSTANTIATE_TEST_SUITE_P(Loopback, live_rtp_call,
                         ::testing::Values(call_case{"127.0.0.1", 1, true, false},
                                           call_case{"::1", 2, false, true},
                                           call_case{"::1", 3, true, true},
                                           call_case{"127.0.0.1", 4, false, false}));

TEST_F(live_rtp, LostPacketsAreConcealedWhereTheyWereLost) {
    const auto frames = split_frames(encoded(speech_sample, {"--no-vad"}));
    const auto received = call("127.0.0.1", {{"--frames-per-packet", "2", "--loss", "20", "--seed",
                                              "7", "--bitstream", path("sent.bit")}});
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
    const auto row = stream_row(received.out, 1);
    ASSERT_EQ(row.size(), 12u) << received.out;
    EXPECT_EQ(row[3], std::count(lost.begin() + begin, lost.begin() + end, true));
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

TEST_F(live_rtp, WaitingInVainEndsWithAnEmptyValidWav) {
    const endpoint to{"127.0.0.1", try_bind("127.0.0.1", 0)};
    const auto result = run_tool({"receive", "--timeout", "0.5", to.url(), path("empty.wav")});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(is_single_line(result.err)) << result.err;
    const audio empty = read_audio(path("empty.wav"));
    EXPECT_EQ(empty.sample_rate, 8000);
    EXPECT_EQ(empty.samples.size(), 0u);
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
    const endpoint taken{"127.0.0.1", try_bind("127.0.0.1", 0)};
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(taken.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto result = run_tool({"receive", "--timeout", "1", taken.url(), out});
    ::close(holder);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find(taken.url()), std::string::npos) << result.err;
}

TEST_F(live_rtp, GStreamerDepayloaderWritesBackTheFramesSent) {
    if (std::system("gst-inspect-1.0 rtpg723depay > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "GStreamer's rtpg723depay is not installed";
    }
    std::string sent;
    for (const auto& frame : split_frames(encoded(speech_sample, {}))) {
        if (!untransmitted(frame)) sent += frame;
    }
    const endpoint to{"127.0.0.1", try_bind("127.0.0.1", 0)};
    background_program pipeline(
        "gst-launch-1.0",
        {"-e", "udpsrc", "address=127.0.0.1", "port=" + std::to_string(to.port),
         "caps=application/x-rtp,media=audio,clock-rate=8000,encoding-name=G723,payload=4", "!",
         "rtpjitterbuffer", "!", "rtpg723depay", "!", "filesink", "location=" + path("gst.bit")},
        path("gst"));
    for (int i = 0; i < 3000 && try_bind(to.host, to.port) >= 0; ++i) ::usleep(10000);
    const auto send = run_tool({"send", "--frames-per-packet", "3", "--speed", "20", "--bitstream",
                                path("sent.bit"), to.url()});
    ASSERT_EQ(send.exit_status, 0) << send.err;
    pipeline.signal(SIGINT);  // -e: end of stream, the file sink finishes
    const auto ended = pipeline.finish(60);
    EXPECT_EQ(ended.exit_status, 0) << ended.out << ended.err;
    EXPECT_EQ(read_file(path("gst.bit")), sent);
}

TEST_F(live_rtp, ACapturedCallDecodesLikeTheBitStream) {
    const std::string stream = encoded(speech_sample, {});
    const endpoint to{"127.0.0.1", try_bind("127.0.0.1", 0)};
    // -Z root: the capture file goes into this test's private directory.
    background_program dump("tcpdump",
                            {"-i", "lo", "-U", "--immediate-mode", "-Z", "root", "-w",
                             path("call.pcap"), "udp", "port", std::to_string(to.port)},
                            path("tcpdump"));
    bool listening = false;
    for (int i = 0; i < 1000 && !listening; ++i) {
        ::usleep(10000);
        listening = read_file(path("tcpdump.err")).find("listening on") != std::string::npos;
    }
    if (!listening) GTEST_SKIP() << "tcpdump cannot capture here: " << dump.finish(5).err;
    // Nobody listens: every packet goes out all the same.
    const auto send = run_tool({"send", "--frames-per-packet", "4", "--speed", "20", "--bitstream",
                                path("sent.bit"), to.url()});
    ASSERT_EQ(send.exit_status, 0) << send.err;
    // A busy tcpdump may still be reading: stop it once the file holds every
    // packet (a record header, Ethernet, IPv4, UDP and RTP headers each).
    const auto packets = std::stoul(report_line(send.out, "packets"));
    std::size_t payload = 0;
    for (const auto& frame : split_frames(stream)) payload += untransmitted(frame) ? 0 : frame.size();
    const std::size_t whole = 24 + packets * (16 + 14 + 20 + 8 + 12) + payload;
    for (int i = 0; i < 1000 && read_file(path("call.pcap")).size() < whole; ++i) ::usleep(10000);
    dump.signal(SIGINT);
    dump.finish(30);

    const auto report = run_tool({"pcap", path("call.pcap"), path("streams")});
    ASSERT_EQ(report.exit_status, 0) << report.err;
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(path("streams"))) {
        written.push_back(entry.path().string());
    }
    ASSERT_EQ(written.size(), 1u) << report.out;
    EXPECT_EQ(read_audio(written[0]).samples, decoded(known_part(stream)));
}

}  // namespace
}  // namespace g723::tool_test
