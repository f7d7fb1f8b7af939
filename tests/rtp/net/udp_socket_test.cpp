// SPDX-License-Identifier: BSD-2-Clause
// UDP sockets over the loopback address: a datagram sent arrives whole or
// cut to the buffer with its sender's address, a wait ends at its deadline
// (not before it, not long after) when nothing arrives and at once when a
// datagram waits, and a refused port is reported, not thrown.
#include "rtp/net/udp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace g723::rtp::net {
namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

// The port the system chose, from "127.0.0.1:PORT".
std::uint16_t port_of(const std::string& address) {
    return static_cast<std::uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)));
}

TEST(udp_socket, DatagramsArriveWithTheirSenderAndWaitsEndAtTheirDeadline) {
    udp_socket receiver = udp_socket::bind_to({"127.0.0.1", 0, "udp://127.0.0.1:0"});
    const std::uint16_t port = port_of(receiver.local_address());
    ASSERT_NE(port, 0);
    udp_socket sender = udp_socket::connect_to({"127.0.0.1", port, "udp://127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(sender.peer_address(), "127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(receiver.peer_address(), "?");

    // Nothing waiting: the wait lasts until its deadline, a second and a
    // fifth here (both parts of the time count), and not much longer.
    std::vector<std::uint8_t> buffer(8);
    EXPECT_FALSE(receiver.receive(buffer));
    const auto started = clock_type::now();
    EXPECT_EQ(receiver.wait(started + 1200ms, nullptr), wait_result::timed_out);
    const auto waited = clock_type::now() - started;
    EXPECT_GE(waited, 1200ms);
    EXPECT_LT(waited, 2200ms);
    // A deadline already passed returns at once.
    EXPECT_EQ(receiver.wait(started, nullptr), wait_result::timed_out);

    const std::vector<std::uint8_t> datagram = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(sender.send(datagram));
    EXPECT_EQ(receiver.wait(clock_type::now() + 10s, nullptr), wait_result::readable);
    const auto received = receiver.receive(buffer);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->size, 8u);  // cut to the buffer
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(datagram.begin(), datagram.begin() + 8));
    EXPECT_EQ(received->source, sender.local_address());
    EXPECT_FALSE(receiver.receive(buffer));
}

TEST(udp_socket, ARefusedPortIsReportedBySendNotThrown) {
    // A port nothing listens on: bound, then closed.
    std::uint16_t port = 0;
    {
        udp_socket closed = udp_socket::bind_to({"127.0.0.1", 0, "udp://127.0.0.1:0"});
        port = port_of(closed.local_address());
    }
    udp_socket sender = udp_socket::connect_to({"127.0.0.1", port, "udp://127.0.0.1:" + std::to_string(port)});
    const std::vector<std::uint8_t> datagram = {1};
    bool refused = false;
    for (int attempt = 0; attempt < 20 && !refused; ++attempt) refused = !sender.send(datagram);
    EXPECT_TRUE(refused);
}

// The sender a receiver is told to hear is named by number: a name to look
// up is refused, not resolved.
TEST(udp_socket, EndpointNamesAreNumericAddresses) {
    EXPECT_EQ(udp_socket::endpoint_name({"127.0.0.1", 5004, "udp://127.0.0.1:5004"}), "127.0.0.1:5004");
    EXPECT_EQ(udp_socket::endpoint_name({"::1", 5004, "udp://[::1]:5004"}), "[::1]:5004");
    EXPECT_THROW(udp_socket::endpoint_name({"localhost", 5004, "udp://localhost:5004"}), network_error);
}

}  // namespace
}  // namespace g723::rtp::net
