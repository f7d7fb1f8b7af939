// SPDX-License-Identifier: BSD-2-Clause
// --help on every command and --version.
#include "g723/g723.h"
#include "tool_fixture.h"

namespace g723::tool_test {
namespace {

TEST(help_and_version, EveryCommandAndTheLibraryVersion) {
    for (const char* command : {"encode", "decode", "roundtrip", "info", "pcap", "send", "receive", "relay"}) {
        const auto result = run_tool({command, "--help"});
        EXPECT_EQ(result.exit_status, 0) << command;
        EXPECT_EQ(result.out.rfind(std::string("usage: g723 ") + command, 0), 0u) << result.out;
        EXPECT_EQ(result.err, "");
        // Help wins over the missing file names.
        EXPECT_EQ(run_tool({command, "-h"}).exit_status, 0) << command;
    }
    const auto general = run_tool({"--help"});
    EXPECT_EQ(general.exit_status, 0);
    EXPECT_NE(general.out.find("roundtrip"), std::string::npos);
    EXPECT_NE(general.out.find("pcap CAPTURE"), std::string::npos);
    EXPECT_NE(general.out.find("send INPUT udp://HOST:PORT"), std::string::npos);
    EXPECT_NE(general.out.find("receive udp://[HOST:]PORT OUTPUT"), std::string::npos);

    const char* version = nullptr;
    g723_get_version(&version);
    const auto result = run_tool({"--version"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, std::string("g723 ") + G723_VERSION + " (library " + version + ")\n");
}

}  // namespace
}  // namespace g723::tool_test
