// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_NET_UDP_URL_H
#define G723_RTP_NET_UDP_URL_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace g723::rtp::net {

// A UDP endpoint named on the command line: udp://HOST:PORT, with an IPv6
// address in brackets (udp://[::1]:5004). A receiver may leave the host out
// (udp://5004): it then listens on every local address.
struct udp_url {
    std::string host;  // without brackets; empty when left out
    std::uint16_t port = 0;
    std::string text;  // as given, for messages
};

enum class host_part { required, optional };

// A text that is not such a URL; what() says what is wrong with it.
class address_error : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Throws address_error when `text` is not such a URL or its port is not
// 1..65535.
udp_url parse_udp_url(std::string_view text, host_part host);

}  // namespace g723::rtp::net

#endif
