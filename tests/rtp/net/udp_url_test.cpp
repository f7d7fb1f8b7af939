// SPDX-License-Identifier: BSD-2-Clause
// UDP endpoints as the command line names them: hosts, bracketed IPv6,
// the receiver's bare port, and every malformed form refused with a
// message that says what to write instead.
#include "rtp/net/udp_url.h"

#include <gtest/gtest.h>

#include <string>

namespace g723::rtp::net {
namespace {

std::string refusal(const char* text, host_part host) {
    try {
        const udp_url url = parse_udp_url(text, host);
        return "accepted " + url.host + " " + std::to_string(url.port);
    } catch (const address_error& error) {
        return error.what();
    }
}

TEST(udp_url, HostsPortsAndWhatIsRefused) {
    struct accepted {
        const char* text;
        host_part host;
        const char* want_host;
        std::uint16_t port;
    };
    for (const accepted& a : {accepted{"udp://127.0.0.1:5004", host_part::required, "127.0.0.1", 5004},
                              accepted{"udp://[::1]:65535", host_part::required, "::1", 65535},
                              accepted{"udp://example.org:1", host_part::optional, "example.org", 1},
                              accepted{"udp://5004", host_part::optional, "", 5004}}) {
        const udp_url url = parse_udp_url(a.text, a.host);
        EXPECT_EQ(url.host, a.want_host) << a.text;
        EXPECT_EQ(url.port, a.port) << a.text;
        EXPECT_EQ(url.text, a.text);
    }
    const std::string brackets = "an IPv6 address goes in brackets: udp://[::1]:PORT";
    const std::string port = "the port must be a number from 1 to 65535";
    struct refused {
        const char* text;
        host_part host;
        std::string why;
    };
    for (const refused& r : {refused{"127.0.0.1:5004", host_part::required, "expected udp://HOST:PORT"},
                             refused{"rtp://127.0.0.1:5004", host_part::optional, "expected udp://[HOST:]PORT"},
                             refused{"udp://5004", host_part::required, "expected udp://HOST:PORT"},
                             refused{"udp://:5004", host_part::required, "expected udp://HOST:PORT"},
                             refused{"udp://::1:5004", host_part::required, brackets},
                             refused{"udp://[::1]", host_part::required, brackets},
                             refused{"udp://[::1]5004", host_part::required, brackets},
                             refused{"udp://[]:5004", host_part::required, brackets},
                             refused{"udp://[::1:5004", host_part::required, brackets},
                             refused{"udp://[::1]:", host_part::required, port},
                             refused{"udp://127.0.0.1:0", host_part::required, port},
                             refused{"udp://127.0.0.1:65536", host_part::required, port},
                             refused{"udp://127.0.0.1:50x", host_part::required, port},
                             refused{"udp://127.0.0.1:-1", host_part::required, port},
                             refused{"udp://", host_part::optional, port}}) {
        EXPECT_EQ(refusal(r.text, r.host), r.why) << r.text;
    }
}

}  // namespace
}  // namespace g723::rtp::net
