// SPDX-License-Identifier: BSD-2-Clause
// The roundtrip command: its decoded file and the figures it prints.
#include <filesystem>

#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using roundtrip_command = tool_test;

TEST_F(roundtrip_command, BundledSpeechSample) {
    ASSERT_TRUE(std::filesystem::exists(speech_sample)) << speech_sample;
    const auto result = run_tool({"roundtrip", speech_sample, path("decoded.wav")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const char* label : {"input", "frames", "bit rate", "SNR", "segmental SNR",
                              "real-time factor", "decoded"}) {
        EXPECT_NE(report_line(result.out, label), "") << label << " missing in\n" << result.out;
    }
    const audio input = read_audio(speech_sample);
    ASSERT_EQ(input.sample_rate, 8000);
    ASSERT_EQ(input.channels, 1);
    const audio decoded = read_audio(path("decoded.wav"));
    ASSERT_EQ(decoded.frames(), (input.frames() + 60 + 239) / 240 * 240);

    // The printed SNR is the input against the output 60 samples later, and
    // that alignment fits the codec better than one sample either way.
    const auto snr = report_value(result.out, "SNR");
    ASSERT_TRUE(snr) << result.out;
    const double measured = snr_db(input.samples, decoded.samples, 60);
    EXPECT_NEAR(*snr, measured, 0.01);
    EXPECT_GT(measured, snr_db(input.samples, decoded.samples, 59));
    EXPECT_GT(measured, snr_db(input.samples, decoded.samples, 61));
    EXPECT_GT(measured, 3.0) << "the decoded speech does not follow the input";

    const auto realtime = report_value(result.out, "real-time factor");
    ASSERT_TRUE(realtime);
    EXPECT_GT(*realtime, 0.0);
}

TEST_F(roundtrip_command, MatchesEncodeThenDecode) {
    const auto result = run_tool({"roundtrip", path("mono.wav"), path("roundtrip.wav")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("coded.bit")}).exit_status, 0);
    ASSERT_EQ(run_tool({"decode", path("coded.bit"), path("decoded.wav")}).exit_status, 0);
    EXPECT_EQ(read_file(path("roundtrip.wav")), read_file(path("decoded.wav")));

    // The bit rate is that of the compact stream over its duration.
    const std::string stream = read_file(path("coded.bit"));
    const auto frames = report_value(result.out, "frames");
    const auto bit_rate = report_value(result.out, "bit rate");
    ASSERT_TRUE(frames && bit_rate) << result.out;
    EXPECT_NEAR(*bit_rate, static_cast<double>(stream.size()) * 8.0 / (*frames * 0.03), 0.5);

    // The frame counts by type agree with what info reads from the stream.
    const auto info = run_tool({"info", path("coded.bit")});
    ASSERT_EQ(info.exit_status, 0) << info.err;
    const std::string counted = report_line(result.out, "frames");
    const std::string kinds = counted.substr(counted.find(": ") + 2);
    EXPECT_EQ(report_line(info.out, "frames"), kinds);
}

TEST_F(roundtrip_command, SilentInputHasNoSnr) {
    write_audio(path("silence.wav"), SF_FORMAT_WAV, {8000, 1, std::vector<std::int16_t>(4000, 0)});
    const auto result = run_tool({"roundtrip", path("silence.wav"), path("silence_out.wav")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.out.find("n/a"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace g723::tool_test
