// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/net/udp_url.h"

#include <charconv>

namespace g723::rtp::net {

namespace {

constexpr std::string_view scheme = "udp://";

[[noreturn]] void fail_url(std::string_view why) {
    throw address_error(std::string(why));
}

std::uint16_t parse_port(std::string_view port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc{} || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
        fail_url("the port must be a number from 1 to 65535");
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

udp_url parse_udp_url(std::string_view text, host_part host) {
    const std::string usage = host == host_part::required ? "expected udp://HOST:PORT"
                                                          : "expected udp://[HOST:]PORT";
    if (!text.starts_with(scheme)) fail_url(usage);
    std::string_view rest = text.substr(scheme.size());
    udp_url url;
    url.text = std::string(text);
    if (rest.starts_with('[')) {
        // An IPv6 address: its colons are inside the brackets.
        const auto close = rest.find(']');
        if (close == std::string_view::npos || close == 1 || close + 1 >= rest.size() ||
            rest[close + 1] != ':') {
            fail_url("an IPv6 address goes in brackets: udp://[::1]:PORT");
        }
        url.host = std::string(rest.substr(1, close - 1));
        url.port = parse_port(rest.substr(close + 2));
        return url;
    }
    const auto colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
        if (host == host_part::required) fail_url(usage);
        url.port = parse_port(rest);
        return url;
    }
    url.host = std::string(rest.substr(0, colon));
    if (url.host.empty() || url.host.find(':') != std::string::npos) {
        fail_url(url.host.empty() ? usage
                                                 : "an IPv6 address goes in brackets: udp://[::1]:PORT");
    }
    url.port = parse_port(rest.substr(colon + 1));
    return url;
}

}  // namespace g723::rtp::net
