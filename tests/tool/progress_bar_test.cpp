// SPDX-License-Identifier: BSD-2-Clause
// The progress bar: on standard error when it is a terminal and the run is
// long enough to watch, never otherwise.
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

using progress_bar = tool_test;

TEST_F(progress_bar, DrawnOnATerminalDuringALongRunAndErasedAtTheEnd) {
    // Standard input stalls for 0.8 s in the middle, so the run outlasts the
    // quiet start.
    const std::string half = raw_bytes(reference_);
    const auto result = run_tool_paced({"encode", "--raw", "-", path("out.bit")}, half, half, 800, true);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.err.find("encoding"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("s of audio"), std::string::npos) << result.err;
    // The bar is redrawn in place and its line cleared before the tool ends.
    EXPECT_EQ(result.err.find('\n'), std::string::npos) << result.err;
    EXPECT_NE(result.err.rfind("\r\033[K"), std::string::npos) << result.err;
}

TEST_F(progress_bar, NeverOnAPipeNorForAShortRun) {
    const std::string half = raw_bytes(reference_);
    const auto piped = run_tool_paced({"encode", "--raw", "-", path("piped.bit")}, half, half, 800, false);
    EXPECT_EQ(piped.exit_status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    // Half a second of audio codes in a few milliseconds: no bar.
    const std::string short_input = half.substr(0, 8000);
    const auto quick =
        run_tool_paced({"encode", "--raw", "-", path("quick.bit")}, short_input, "", 0, true);
    EXPECT_EQ(quick.exit_status, 0) << quick.err;
    EXPECT_EQ(quick.err, "");
    EXPECT_FALSE(read_file(path("quick.bit")).empty());
}

}  // namespace
}  // namespace g723::tool_test
