#include "capture/udp_datagram.h"

namespace g723::tool::capture {

udp_result parse_udp_datagram(std::span<const std::uint8_t> bytes, udp_datagram& datagram) {
    if (bytes.size() < 8) return udp_result::truncated;
    const auto read_u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
    };
    const std::size_t length = read_u16(4);
    if (length < 8) return udp_result::bad_length;
    if (length > bytes.size()) return udp_result::truncated;
    datagram.source_port = read_u16(0);
    datagram.destination_port = read_u16(2);
    datagram.payload = bytes.subspan(8, length - 8);
    return udp_result::ok;
}

}  // namespace g723::tool::capture
