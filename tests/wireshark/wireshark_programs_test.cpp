// SPDX-License-Identifier: BSD-2-Clause
// The codec plugin inside Wireshark's own programs: tshark lists it, and
// sharkd's RTP download (the RTP Player's decoding) of every stream of a
// capture equals the library's decode of the frames that stream carried,
// sample for sample. The capture holds 16 streams: 1 to 4 frames per
// packet, silence compression on and off, payload type 4 (found by the RTP
// heuristic, codec name "g723") and payload type 96 announced as G723/8000
// in SIP/SDP (codec name "G723"). The same download runs once more with the
// plugin taken from a `cmake --install` tree.
//
// Wireshark reads personal plugins and settings only for unprivileged
// users: as root the programs run as `nobody`, in a home of their own.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../tool/rtp_capture.h"
#include "../tool/tool_runner.h"

namespace g723::tool_test {
namespace {

namespace fs = std::filesystem;

struct program_result {
    int status = -1;
    std::string out, err;
};

struct stream_plan {
    unsigned payload_type;
    bool silence_compression;
    std::size_t frames_per_packet;
    udp_flow flow;
    std::uint32_t ssrc;
    std::vector<slot> sent;  // the frames its packets carry, in order

    std::string token() const {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(ssrc));
        return "rtp:" + flow.source + "_" + std::to_string(flow.source_port) + "_" +
               flow.destination + "_" + std::to_string(flow.destination_port) + "_0x" + hex;
    }
};

class wireshark_programs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = new scratch_directory;
        fs::permissions(home_->path(""), fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
        const fs::path codecs = home_->path(".local/lib/wireshark/plugins/" G723_WIRESHARK_API "/codecs");
        fs::create_directories(codecs);
        fs::copy_file(G723_WIRESHARK_PLUGIN, codecs / "g723.so");
        // The library beside it, found through LD_LIBRARY_PATH: the user may
        // not be able to read the build tree the plugin was linked in.
        fs::create_directories(home_->path("lib"));
        fs::copy_file(G723_LIBRARY, home_->path("lib/" G723_LIBRARY_SONAME));
        // RTP without SDP is found by the heuristic, as a user enables it.
        fs::create_directories(home_->path(".config/wireshark"));
        write_file(home_->path(".config/wireshark/heuristic_protos"), "rtp_udp,1\n");
        write_capture();
        if (::geteuid() == 0) {
            const std::string own = "chown -R nobody '" + home_->path("") + "'";
            ASSERT_EQ(std::system(own.c_str()), 0);
        }
    }
    static void TearDownTestSuite() {
        delete home_;
        home_ = nullptr;
    }

    // Runs a Wireshark program as the unprivileged user, standard input
    // from `input`; `environment` holds extra NAME=value words.
    static program_result run(const std::string& command, const std::string& input = {},
                              const std::string& environment = {}) {
        write_file(home_->path("in.txt"), input);
        const std::string user = ::geteuid() == 0 ? "runuser -u nobody -- " : "";
        const std::string line = "cd '" + home_->path("") + "' && " + user + "env HOME='" +
                                 home_->path("") + "' LD_LIBRARY_PATH='" + home_->path("lib") +
                                 "' " + environment + " " + command +
                                 " < in.txt > out.txt 2> err.txt";
        program_result result;
        const int status = std::system(line.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = read_file(home_->path("out.txt"));
        result.err = read_file(home_->path("err.txt"));
        return result;
    }

    // The samples of each stream's sharkd download, in the order given.
    static std::vector<std::vector<std::int16_t>> download(const std::vector<std::string>& tokens,
                                                           const std::string& environment = {},
                                                           const std::string& capture = "call.pcap") {
        std::string requests = R"({"jsonrpc":"2.0","id":1,"method":"load","params":{"file":")" +
                               capture + "\"}}\n";
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            requests += R"({"jsonrpc":"2.0","id":)" + std::to_string(i + 2) +
                        R"(,"method":"download","params":{"token":")" + tokens[i] + "\"}}\n";
        }
        const program_result result = run("sharkd -", requests, environment);
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<std::vector<std::int16_t>> streams(tokens.size());
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const std::string id = R"("id":)" + std::to_string(i + 2) + ",";
            const std::size_t line = result.out.find(id);
            const std::size_t data = result.out.find(R"("data":")", line);
            if (line == std::string::npos || data == std::string::npos) {
                ADD_FAILURE() << "no download for " << tokens[i] << ":\n" << result.out.substr(0, 2000);
                continue;
            }
            const std::size_t start = data + 8;
            const std::string base64 = result.out.substr(start, result.out.find('"', start) - start);
            gsize length = 0;
            guchar* wav = g_base64_decode(base64.c_str(), &length);
            // RIFF/WAVE, 16-bit mono at 8000 Hz, the samples after 44 bytes.
            const auto field = [&](std::size_t at, std::size_t bytes) {
                unsigned value = 0;
                for (std::size_t b = 0; b < bytes; ++b) value |= unsigned(wav[at + b]) << (8 * b);
                return value;
            };
            if (length >= 44 && std::string(reinterpret_cast<char*>(wav), 4) == "RIFF") {
                EXPECT_EQ(field(22, 2), 1u);
                EXPECT_EQ(field(24, 4), 8000u);
                EXPECT_EQ(field(34, 2), 16u);
                for (std::size_t at = 44; at + 1 < length; at += 2) {
                    streams[i].push_back(static_cast<std::int16_t>(field(at, 2)));
                }
            } else {
                ADD_FAILURE() << tokens[i] << ": not a WAV file";
            }
            g_free(wav);
        }
        return streams;
    }

    // The capture: SIP/SDP first, then the 16 streams' packets merged in
    // time order, as a capture on one link would hold them.
    static void write_capture() {
        const std::vector<slot> coded[2] = {encode_sample(false), encode_sample(true)};
        capture_file capture(home_->path("call.pcap"), link_kind::ethernet);
        std::vector<std::pair<double, std::pair<udp_flow, std::string>>> records;
        std::uint16_t port = 40000;
        for (unsigned payload_type : {4u, 96u}) {
            for (bool silence_compression : {false, true}) {
                for (std::size_t per_packet = 1; per_packet <= 4; ++per_packet) {
                    stream_plan plan{payload_type, silence_compression, per_packet,
                                     {"192.0.2.1", "198.51.100.7", port, std::uint16_t(port + 1)},
                                     0x5eed0000u + port, {}};
                    port = std::uint16_t(port + 2);
                    rtp_sender sender;
                    sender.ssrc = plan.ssrc;
                    sender.payload_type = payload_type;
                    sender.frames_per_packet = per_packet;
                    sender.start_seconds = 1000.0 + 0.001 * static_cast<double>(plans_.size());
                    const std::vector<slot>& frames = coded[silence_compression ? 1 : 0];
                    for (const rtp_packet_made& packet : packetize(frames, sender)) {
                        records.push_back({packet.seconds, {plan.flow, packet.bytes}});
                        for (std::size_t f = 0; f < packet.frames; ++f) {
                            plan.sent.push_back(frames[packet.first_frame + f]);
                        }
                    }
                    if (payload_type != 4) {
                        const udp_flow sip{"192.0.2.1", "198.51.100.7", 5060, 5060};
                        capture.add_udp(990.0 + 0.01 * static_cast<double>(plans_.size()), sip,
                                        sip_with_sdp("INVITE sip:b@198.51.100.7 SIP/2.0",
                                                     "call" + std::to_string(port) + "@192.0.2.1",
                                                     plan.flow.destination,
                                                     plan.flow.destination_port, payload_type));
                    }
                    plans_.push_back(std::move(plan));
                }
            }
        }
        std::stable_sort(records.begin(), records.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [seconds, datagram] : records) {
            capture.add_udp(seconds, datagram.first, datagram.second);
        }
    }

    static std::vector<std::int16_t> library_decode(const stream_plan& plan) {
        return decode_frames(plan.sent, 0, plan.sent.size() - 1);
    }

    static std::string describe(const stream_plan& plan) {
        return "payload type " + std::to_string(plan.payload_type) + ", " +
               std::to_string(plan.frames_per_packet) + " frame(s) per packet, silence compression " +
               (plan.silence_compression ? "on" : "off");
    }

    static scratch_directory* home_;
    static std::vector<stream_plan> plans_;
};

scratch_directory* wireshark_programs::home_ = nullptr;
std::vector<stream_plan> wireshark_programs::plans_;

TEST_F(wireshark_programs, TsharkListsThePluginFromThePersonalFolder) {
    const program_result result = run("tshark -G plugins");
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string folder = home_->path(".local/lib/wireshark/plugins/" G723_WIRESHARK_API "/codecs/g723.so");
    bool listed = false;
    for (std::size_t start = 0; start < result.out.size();) {
        const std::size_t end = std::min(result.out.find('\n', start), result.out.size());
        const std::string line = result.out.substr(start, end - start);
        listed = listed || (line.starts_with("g723.so") &&
                            line.find("\t" G723_VERSION "\tcodec\t" + folder) != std::string::npos);
        start = end + 1;
    }
    EXPECT_TRUE(listed) << result.out;
}

TEST_F(wireshark_programs, SharkdDownloadsEqualTheLibrarysDecode) {
    std::vector<std::string> tokens;
    for (const stream_plan& plan : plans_) tokens.push_back(plan.token());
    const auto streams = download(tokens);
    for (std::size_t i = 0; i < plans_.size(); ++i) {
        const auto expected = library_decode(plans_[i]);
        EXPECT_EQ(streams[i].size(), expected.size()) << describe(plans_[i]);
        EXPECT_TRUE(streams[i] == expected) << describe(plans_[i]);
    }
}

// The sample capture that `g723 send` wrote under tcpdump (two frames per
// packet, silence compression on): its one stream, as sharkd's RTP tap
// finds it, downloads as the library decodes the frames that were sent.
TEST_F(wireshark_programs, SampleCaptureDownloadsAsTheLibraryDecodesItsFrames) {
    fs::copy_file(G723_SAMPLE_DIR "/rtp-stream.pcap", home_->path("sample.pcap"),
                  fs::copy_options::overwrite_existing);
    fs::permissions(home_->path("sample.pcap"), fs::perms::others_read, fs::perm_options::add);
    const program_result tap = run(
        "sharkd -",
        R"({"jsonrpc":"2.0","id":1,"method":"load","params":{"file":"sample.pcap"}})"
        "\n"
        R"({"jsonrpc":"2.0","id":2,"method":"tap","params":{"tap0":"rtp-streams"}})"
        "\n");
    const auto number = [&](const std::string& key) -> std::string {
        const std::size_t at = tap.out.find("\"" + key + "\":");
        if (at == std::string::npos) return "";
        const std::size_t start = tap.out.find_first_not_of('"', at + key.size() + 3);
        return tap.out.substr(start, tap.out.find_first_of(",\"}", start) - start);
    };
    ASSERT_EQ(number("payload"), "g723") << tap.out;
    stream_plan sample{4, true, 2, {number("saddr"), number("daddr"),
                       std::uint16_t(std::stoul(number("sport"))), std::uint16_t(std::stoul(number("dport")))},
                       std::uint32_t(std::stoul(number("ssrc"))), {}};
    for (const slot& frame : encode_sample(true)) {
        if ((frame[0] & 3) != 3) sample.sent.push_back(frame);
    }
    const auto streams = download({sample.token()}, {}, "sample.pcap");
    ASSERT_EQ(streams[0].size() % 240, 0u);
    // Every frame the sample's sender sent, none of the pause at its end.
    ASSERT_LE(streams[0].size() / 240, sample.sent.size());
    sample.sent.resize(streams[0].size() / 240);
    EXPECT_GT(sample.sent.size(), 250u);
    EXPECT_TRUE(streams[0] == library_decode(sample));
}

TEST_F(wireshark_programs, InstalledPluginDecodesTheSame) {
    const std::string prefix = home_->path("prefix");
    // The two install components a packaged plugin needs: the library and
    // the plugin.
    for (const char* component : {"library", "wireshark"}) {
        const std::string install = "'" G723_CMAKE "' --install '" G723_BUILD_DIR "' --prefix '" +
                                    prefix + "' --component " + component + " > '" +
                                    home_->path("install.txt") + "' 2>&1";
        ASSERT_EQ(std::system(install.c_str()), 0) << read_file(home_->path("install.txt"));
    }
    // WIRESHARK_PLUGIN_DIR names the folder above VERSION/codecs.
    const fs::path plugins = (fs::path(prefix) / G723_WIRESHARK_CODECS_DIR).parent_path().parent_path();
    ASSERT_TRUE(fs::exists(fs::path(prefix) / G723_WIRESHARK_CODECS_DIR / "g723.so"));
    if (::geteuid() == 0) {
        const std::string own = "chmod -R a+rX '" + prefix + "'";
        ASSERT_EQ(std::system(own.c_str()), 0);
    }
    // Only the installed plugin folder and library: the personal folder is
    // set aside for this run.
    const std::string personal = home_->path(".local/lib/wireshark");
    fs::rename(personal, personal + ".aside");
    const std::string environment = "WIRESHARK_PLUGIN_DIR='" + plugins.string() +
                                    "' LD_LIBRARY_PATH='" + prefix + "/" G723_LIBDIR "'";
    const program_result listed = run("tshark -G plugins", {}, environment);
    const stream_plan& plan = plans_.back();
    const auto streams = download({plan.token()}, environment);
    fs::rename(personal + ".aside", personal);
    EXPECT_NE(listed.out.find(prefix), std::string::npos) << listed.out;
    EXPECT_TRUE(streams[0] == library_decode(plan)) << describe(plan);
}

}  // namespace
}  // namespace g723::tool_test
