// SPDX-License-Identifier: BSD-2-Clause
// The info command on whole and truncated streams in both layouts.
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using info_command = tool_test;

TEST_F(info_command, DescribesAWholeStream) {
    ASSERT_EQ(run_tool({"encode", path("mono.wav"), path("speech.bit")}).exit_status, 0);
    const std::string stream = read_file(path("speech.bit"));
    std::size_t counts[4] = {};
    const std::size_t lengths[4] = {24, 20, 4, 1};
    for (std::size_t at = 0; at < stream.size(); at += lengths[static_cast<unsigned char>(stream[at]) & 3]) {
        ++counts[static_cast<unsigned char>(stream[at]) & 3];
    }
    const std::size_t frames = counts[0] + counts[1] + counts[2] + counts[3];

    const auto result = run_tool({"info", path("speech.bit")});
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NEAR(*report_value(result.out, "duration"), frames * 0.03, 0.005) << result.out;
    const std::string expected_kinds = std::to_string(counts[0]) + " speech, " +
                                       std::to_string(counts[2]) + " SID, " +
                                       std::to_string(counts[3]) + " untransmitted";
    EXPECT_NE(result.out.find(expected_kinds), std::string::npos) << result.out;
    EXPECT_NEAR(*report_value(result.out, "bit rate"), stream.size() * 8.0 / (frames * 0.03), 0.5);
    EXPECT_NE(result.out.find("not clean        none"), std::string::npos) << result.out;

    // The same stream in slots reads the same from standard input.
    ASSERT_EQ(run_tool({"encode", "--slots", path("mono.wav"), path("slots.bit")}).exit_status, 0);
    const auto slots = run_tool({"info", "--slots", "-"}, read_file(path("slots.bit")));
    ASSERT_EQ(slots.exit_status, 0) << slots.err;
    EXPECT_NE(slots.out.find(expected_kinds), std::string::npos) << slots.out;
}

TEST_F(info_command, ReportsTruncationWithItsOffset) {
    ASSERT_EQ(run_tool({"encode", "--slots", path("mono.wav"), path("slots.bit")}).exit_status, 0);
    const std::string stream = read_file(path("slots.bit"));
    write_file(path("cut.bit"), stream.substr(0, 24 * 5 + 10));
    const auto result = run_tool({"info", "--slots", path("cut.bit")});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.out.find("byte 120 "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("truncated: 10 of 24 bytes"), std::string::npos) << result.out;
    EXPECT_TRUE(is_single_line(result.err)) << result.err;
    EXPECT_NE(result.err.find("at byte 120"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace g723::tool_test
