// SPDX-License-Identifier: BSD-2-Clause
// The encode command: audio of any layout in, the same bit-stream out.
#include <sndfile.h>

#include <cmath>

#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using encode_command = tool_test;

TEST_F(encode_command, WritesWholeCompactFramesCoveringTheLookAhead) {
    const auto result = run_tool({"encode", path("mono.wav"), path("out.bit")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");

    // Walk the compact layout frame by frame by the header codes.
    const std::string stream = read_file(path("out.bit"));
    std::size_t frames = 0;
    std::size_t position = 0;
    const std::size_t lengths[4] = {24, 20, 4, 1};
    while (position < stream.size()) {
        const int code = static_cast<unsigned char>(stream[position]) & 3;
        EXPECT_NE(code, 1) << "the encoder never writes 5.3 kbit/s frames";
        position += lengths[code];
        ++frames;
    }
    EXPECT_EQ(position, stream.size()) << "the last frame is cut";
    // Enough frames that the 60-sample look-ahead reaches past the last sample.
    EXPECT_EQ(frames, (reference_.size() + 60 + 239) / 240);
}

TEST_F(encode_command, SlotLayoutHoldsTheSameFramesZeroPadded) {
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("compact.bit")}).exit_status, 0);
    ASSERT_EQ(run_tool({"encode", "--slots", path("mono.wav"), path("slots.bit")}).exit_status, 0);
    const std::string compact = read_file(path("compact.bit"));
    const std::string slots = read_file(path("slots.bit"));
    ASSERT_EQ(slots.size() % 24, 0u);
    std::string rebuilt;
    const std::size_t lengths[4] = {24, 20, 4, 1};
    for (std::size_t at = 0; at < slots.size(); at += 24) {
        const std::size_t length = lengths[static_cast<unsigned char>(slots[at]) & 3];
        rebuilt += slots.substr(at, length);
        EXPECT_EQ(slots.substr(at + length, 24 - length), std::string(24 - length, '\0'));
    }
    EXPECT_EQ(rebuilt, compact);
}

TEST_F(encode_command, FlacAndRawInputsCodeLikeTheWavFile) {
    write_audio(path("mono.flac"), SF_FORMAT_FLAC, {8000, 1, reference_});
    write_file(path("mono.pcm"), raw_bytes(reference_));
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("wav.bit")}).exit_status, 0);
    const auto flac = run_tool({"encode", path("mono.flac"), path("flac.bit")});
    ASSERT_EQ(flac.exit_status, 0) << flac.err;
    // A .pcm name means headerless samples without --raw.
    const auto raw = run_tool({"encode", path("mono.pcm"), path("raw.bit")});
    ASSERT_EQ(raw.exit_status, 0) << raw.err;
    const std::string expected = read_file(path("wav.bit"));
    EXPECT_EQ(read_file(path("flac.bit")), expected);
    EXPECT_EQ(read_file(path("raw.bit")), expected);
}

TEST_F(encode_command, StandardInputAndOutputCarryTheSameStream) {
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("file.bit")}).exit_status, 0);
    const std::string expected = read_file(path("file.bit"));

    const auto piped = run_tool({"encode", "-", "-"}, read_file(path("mono.wav")));
    ASSERT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.out, expected);

    const auto raw = run_tool({"encode", "--raw", "-", "-"}, raw_bytes(reference_));
    ASSERT_EQ(raw.exit_status, 0) << raw.err;
    EXPECT_EQ(raw.out, expected);
}

TEST_F(encode_command, StereoInputIsMixedDownAndResampled) {
    // Same signal at 44.1 kHz in both channels: close to the 8 kHz coding.
    const auto high = to_pcm(speech_like(44100, 2.0));
    audio stereo{44100, 2, {}};
    for (const auto sample : high) {
        stereo.samples.push_back(sample);
        stereo.samples.push_back(sample);
    }
    write_audio(path("stereo.wav"), SF_FORMAT_WAV, stereo);
    const auto result = run_tool({"roundtrip", "--no-vad", path("stereo.wav"), path("stereo_out.wav")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    const auto mono = run_tool({"roundtrip", "--no-vad", path("mono.wav"), path("mono_out.wav")});
    ASSERT_EQ(mono.exit_status, 0) << mono.err;

    const audio decoded = read_audio(path("stereo_out.wav"));
    EXPECT_EQ(decoded.sample_rate, 8000);
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_EQ(decoded.frames(), (reference_.size() + 60 + 239) / 240 * 240);
    // The decoded speech matches the 8 kHz original as well as when the
    // original itself is coded: mix-down and rate conversion lost nothing.
    const double stereo_snr = snr_db(reference_, decoded.samples, 60);
    const double mono_snr = *report_value(mono.out, "SNR");
    EXPECT_GT(stereo_snr, mono_snr - 1.5) << result.out;

    // Channels in opposite phase mix down to silence, whichever is read.
    for (std::size_t i = 0; i < stereo.samples.size(); i += 2) {
        stereo.samples[i + 1] = static_cast<std::int16_t>(-stereo.samples[i]);
    }
    write_audio(path("opposed.wav"), SF_FORMAT_WAV, stereo);
    ASSERT_EQ(run_tool({"roundtrip", "--no-vad", path("opposed.wav"), path("opposed_out.wav")}).exit_status, 0);
    const audio silent = read_audio(path("opposed_out.wav"));
    double energy = 0.0;
    for (const auto sample : silent.samples) energy += static_cast<double>(sample) * sample;
    EXPECT_LT(std::sqrt(energy / static_cast<double>(silent.samples.size())), 20.0);
}

TEST_F(encode_command, SilenceCompressionOptionsChangeTheFrames) {
    // Speech followed by 1.5 s of silence gives SID or untransmitted frames
    // by default and only speech frames without silence compression.
    auto with_pause = reference_;
    with_pause.resize(reference_.size() + 12000, 0);
    write_audio(path("pause.wav"), SF_FORMAT_WAV, {8000, 1, with_pause});
    ASSERT_EQ(run_tool({"encode", path("pause.wav"), path("vad.bit")}).exit_status, 0);
    ASSERT_EQ(run_tool({"encode", "--no-vad", path("pause.wav"), path("novad.bit")}).exit_status, 0);
    const std::string novad = read_file(path("novad.bit"));
    EXPECT_EQ(novad.size() % 24, 0u);
    for (std::size_t at = 0; at < novad.size(); at += 24) {
        EXPECT_EQ(static_cast<unsigned char>(novad[at]) & 3, 0) << "frame at byte " << at;
    }
    EXPECT_LT(read_file(path("vad.bit")).size(), novad.size());
    ASSERT_EQ(run_tool({"encode", "--no-highpass", "--no-vad", path("pause.wav"), path("nohp.bit")}).exit_status, 0);
    EXPECT_NE(read_file(path("nohp.bit")), novad);
}

}  // namespace
}  // namespace g723::tool_test
