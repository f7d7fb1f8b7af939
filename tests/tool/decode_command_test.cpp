// SPDX-License-Identifier: BSD-2-Clause
// The decode command: either layout in, audio out; concealment and
// truncation handled without losing decoded frames.
#include <sndfile.h>

#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

class decode_command : public tool_test {
protected:
    void SetUp() override {
        tool_test::SetUp();
        ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("speech.bit")}).exit_status, 0);
        stream_ = read_file(path("speech.bit"));
        ASSERT_EQ(run_tool({"decode", path("speech.bit"), path("speech.wav")}).exit_status, 0);
        decoded_ = read_audio(path("speech.wav"));
    }

    // Byte offsets of the frames of the compact stream.
    std::vector<std::size_t> frame_offsets() const {
        std::vector<std::size_t> offsets;
        const std::size_t lengths[4] = {24, 20, 4, 1};
        for (std::size_t at = 0; at < stream_.size();
             at += lengths[static_cast<unsigned char>(stream_[at]) & 3]) {
            offsets.push_back(at);
        }
        return offsets;
    }

    std::string stream_;
    audio decoded_;
};

TEST_F(decode_command, WritesOneFrameOfSamplesPerCodedFrame) {
    EXPECT_EQ(decoded_.sample_rate, 8000);
    EXPECT_EQ(decoded_.channels, 1);
    EXPECT_EQ(decoded_.frames(), frame_offsets().size() * 240);
    EXPECT_GT(snr_db(reference_, decoded_.samples, 60), 0.0);
}

TEST_F(decode_command, OutputFormatFollowsTheNameAndStandardStreamsWork) {
    ASSERT_EQ(run_tool({"decode", path("speech.bit"), path("speech.raw")}).exit_status, 0);
    EXPECT_EQ(read_file(path("speech.raw")), raw_bytes(decoded_.samples));
    ASSERT_EQ(run_tool({"decode", path("speech.bit"), path("speech.flac")}).exit_status, 0);
    const audio flac = read_audio(path("speech.flac"));
    EXPECT_EQ(flac.samples, decoded_.samples);
    {
        SF_INFO info{};
        SNDFILE* file = sf_open(path("speech.flac").c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
        sf_close(file);
    }

    const auto piped = run_tool({"decode", "-", "-"}, stream_);
    ASSERT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out, read_file(path("speech.wav")));
    const auto raw = run_tool({"decode", "--raw", "-", "-"}, stream_);
    ASSERT_EQ(raw.exit_status, 0) << raw.err;
    EXPECT_EQ(raw.out, raw_bytes(decoded_.samples));
}

TEST_F(decode_command, ReadsTheSlotLayout) {
    ASSERT_EQ(run_tool({"encode", "--slots", path("mono.wav"), path("slots.bit")}).exit_status, 0);
    ASSERT_EQ(run_tool({"decode", "--slots", path("slots.bit"), path("slots.wav")}).exit_status, 0);
    EXPECT_EQ(read_audio(path("slots.wav")).samples, decoded_.samples);
}

TEST_F(decode_command, TruncatedStreamKeepsEveryWholeFrameAndFails) {
    const auto offsets = frame_offsets();
    ASSERT_GT(offsets.size(), 10u);
    // Cut the last speech frame in the middle.
    std::size_t cut_frame = offsets.size() - 1;
    while (cut_frame > 0 && (static_cast<unsigned char>(stream_[offsets[cut_frame]]) & 3) != 0) {
        --cut_frame;
    }
    ASSERT_GT(cut_frame, 0u);
    const std::size_t cut = offsets[cut_frame] + 7;
    write_file(path("cut.bit"), stream_.substr(0, cut));

    const auto result = run_tool({"decode", path("cut.bit"), path("cut.wav")});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(is_single_line(result.err)) << result.err;
    EXPECT_NE(result.err.find(path("cut.bit")), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("at byte " + std::to_string(offsets[cut_frame])), std::string::npos)
        << result.err;
    // The frames before the cut are decoded exactly as from the whole stream.
    const audio kept = read_audio(path("cut.wav"));
    ASSERT_EQ(kept.frames(), cut_frame * 240);
    EXPECT_TRUE(std::equal(kept.samples.begin(), kept.samples.end(), decoded_.samples.begin()));
}

TEST_F(decode_command, ConcealsUnsupportedAndInvalidFramesAndCountsThem) {
    const auto offsets = frame_offsets();
    // Replace the first speech frame by a 5.3 kbit/s frame (20 bytes) and
    // corrupt the pitch lag of the next speech frame (lag code 127 > 123).
    std::size_t first = 0;
    while ((static_cast<unsigned char>(stream_[offsets[first]]) & 3) != 0) ++first;
    std::size_t second = first + 1;
    while ((static_cast<unsigned char>(stream_[offsets[second]]) & 3) != 0) ++second;
    std::string damaged = stream_.substr(0, offsets[first]);
    damaged += std::string(1, '\x01') + std::string(19, '\0');
    const std::size_t shift = 4;  // the 5.3 kbit/s frame is 4 bytes shorter
    damaged += stream_.substr(offsets[first] + 24);
    // Lag code of half frame 0: frame bits 26..32, bytes 3 and 4.
    const std::size_t invalid_at = offsets[second] - shift;
    damaged[invalid_at + 3] = static_cast<char>(damaged[invalid_at + 3] | 0xfc);
    damaged[invalid_at + 4] = static_cast<char>(damaged[invalid_at + 4] | 0x01);
    write_file(path("damaged.bit"), damaged);

    const auto result = run_tool({"decode", path("damaged.bit"), path("damaged.wav")});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.err.find("2 of " + std::to_string(offsets.size()) + " frames concealed (1 invalid, 1 at 5.3 kbit/s)"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(read_audio(path("damaged.wav")).frames(), offsets.size() * 240);

    const auto info = run_tool({"info", path("damaged.bit")});
    EXPECT_EQ(info.exit_status, 0) << info.err;
    EXPECT_NE(info.out.find("byte " + std::to_string(offsets[first]) + " "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("byte " + std::to_string(invalid_at) + " "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("not clean        2 frames"), std::string::npos) << info.out;
}

TEST_F(decode_command, RandomLossesFollowTheSeed) {
    auto decode = [&](const std::vector<std::string>& options, const std::string& name) {
        std::vector<std::string> arguments{"decode"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(path("speech.bit"));
        arguments.push_back(path(name));
        EXPECT_EQ(run_tool(arguments).exit_status, 0);
        return read_audio(path(name)).samples;
    };
    const auto a = decode({"--loss", "30", "--seed", "7"}, "a.wav");
    const auto b = decode({"--loss=30", "--seed=7"}, "b.wav");
    const auto c = decode({"--loss", "30", "--seed", "8"}, "c.wav");
    const auto none = decode({"--loss", "0"}, "none.wav");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, decoded_.samples);
    EXPECT_EQ(none, decoded_.samples);
    EXPECT_EQ(a.size(), decoded_.samples.size());
}

TEST_F(decode_command, PostfilterCanBeSwitchedOff) {
    ASSERT_EQ(run_tool({"decode", "--no-postfilter", path("speech.bit"), path("plain.wav")}).exit_status, 0);
    const audio plain = read_audio(path("plain.wav"));
    EXPECT_EQ(plain.frames(), decoded_.frames());
    EXPECT_NE(plain.samples, decoded_.samples);
}

}  // namespace
}  // namespace g723::tool_test
