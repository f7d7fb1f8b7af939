#ifndef G723_TOOLS_NET_UDP_URL_H
#define G723_TOOLS_NET_UDP_URL_H

#include <cstdint>
#include <string>
#include <string_view>

namespace g723::tool::net {

// A UDP endpoint named on the command line: udp://HOST:PORT, with an IPv6
// address in brackets (udp://[::1]:5004). A receiver may leave the host out
// (udp://5004): it then listens on every local address.
struct udp_url {
    std::string host;  // without brackets; empty when left out
    std::uint16_t port = 0;
    std::string text;  // as given, for messages
};

enum class host_part { required, optional };

// Throws a usage error naming `command` when `text` is not such a URL or
// its port is not 1..65535.
udp_url parse_udp_url(std::string_view command, std::string_view text, host_part host);

}  // namespace g723::tool::net

#endif
