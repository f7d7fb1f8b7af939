// SPDX-License-Identifier: BSD-2-Clause
// UDP sockets over IPv6 and IPv4 loopback: senders named as receivers
// name them (an IPv4 sender heard on an IPv6 socket keeps its IPv4 name),
// replies sent back to those names, RTP/RTCP port pairs, ports already in
// use refused with the URL, waits on several sockets, and a wait that a
// signal ends.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "rtp/net/udp_socket.h"

namespace g723::rtp::net {
namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

udp_url url_of(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return {host, port, "udp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port)};
}

// One datagram, waited for at most two seconds.
std::optional<std::pair<std::vector<std::uint8_t>, std::string>> next(udp_socket& socket) {
    if (socket.wait(clock_type::now() + 2s, nullptr) != wait_result::readable) return std::nullopt;
    std::vector<std::uint8_t> buffer(64);
    const auto received = socket.receive(buffer);
    if (!received) return std::nullopt;
    buffer.resize(received->size);
    return std::pair{buffer, received->source};
}

TEST(udp_socket, SendersAreNamedAsTheyAreAndRepliesFindThem) {
    const std::vector<std::uint8_t> hello = {1, 2, 3}, reply = {4, 5};

    udp_socket v6 = udp_socket::bind_to(url_of("::1", 0));
    EXPECT_EQ(v6.local_address(), "[::1]:" + std::to_string(v6.local_port()));
    udp_socket v6_sender = udp_socket::connect_to(url_of("::1", v6.local_port()));
    EXPECT_EQ(v6_sender.peer_address(), v6.local_address());
    ASSERT_TRUE(v6_sender.send(hello));
    auto heard = next(v6);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->first, hello);
    EXPECT_EQ(heard->second.substr(0, 6), "[::1]:");
    EXPECT_EQ(heard->second, "[::1]:" + std::to_string(v6_sender.local_port()));
    ASSERT_TRUE(v6.send_to(reply, heard->second));
    auto back = next(v6_sender);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->first, reply);

    // An IPv6 socket on the IPv4-mapped loopback hears IPv4 senders, and
    // names them as IPv4.
    udp_socket mapped = udp_socket::bind_to(url_of("::ffff:127.0.0.1", 0));
    udp_socket v4_sender = udp_socket::connect_to(url_of("127.0.0.1", mapped.local_port()));
    ASSERT_TRUE(v4_sender.send(hello));
    heard = next(mapped);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->second, v4_sender.local_address());
    EXPECT_EQ(heard->second, "127.0.0.1:" + std::to_string(v4_sender.local_port()));
    ASSERT_TRUE(mapped.send_to(reply, heard->second));
    back = next(v4_sender);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->first, reply);

    // Names that are not "HOST:PORT" of a number are not sent to.
    EXPECT_FALSE(mapped.send_to(reply, "127.0.0.1"));
    EXPECT_FALSE(mapped.send_to(reply, "host.example:5004"));
    EXPECT_FALSE(mapped.send_to(reply, "127.0.0.1:port"));

    // A moved socket goes on working; the one moved from closes nothing.
    udp_socket moved(std::move(v6));
    ASSERT_TRUE(v6_sender.send(hello));
    EXPECT_TRUE(next(moved));
}

TEST(udp_socket, PortPairsAndPortsInUse) {
    udp_socket rtp = udp_socket::bind_to(url_of("127.0.0.1", 0));
    udp_socket rtcp = udp_socket::bind_to(url_of("127.0.0.1", 0));
    auto [media, control] =
        udp_socket::connect_pair(url_of("127.0.0.1", rtp.local_port()), url_of("127.0.0.1", rtcp.local_port()));
    EXPECT_EQ(control.local_port(), media.local_port() + 1);
    ASSERT_TRUE(media.send(std::vector<std::uint8_t>{1}));
    ASSERT_TRUE(control.send(std::vector<std::uint8_t>{2}));
    const auto from_media = next(rtp);
    const auto from_control = next(rtcp);
    ASSERT_TRUE(from_media && from_control);
    EXPECT_EQ(from_media->second, "127.0.0.1:" + std::to_string(media.local_port()));
    EXPECT_EQ(from_control->second, "127.0.0.1:" + std::to_string(media.local_port() + 1));

    // A port already taken: refused, with the URL and the reason.
    const udp_url taken = url_of("127.0.0.1", rtp.local_port());
    try {
        udp_socket::bind_to(taken);
        FAIL() << "a port in use was bound twice";
    } catch (const network_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind(taken.text + ": cannot listen there: ", 0), 0u) << error.what();
    }
    try {
        udp_socket::connect_from(url_of("127.0.0.1", rtcp.local_port()), rtp.local_port());
        FAIL() << "a sender took a port in use";
    } catch (const network_error& error) {
        EXPECT_NE(std::string(error.what()).find(": cannot send there: "), std::string::npos) << error.what();
    }
}

void on_signal(int) {}

TEST(udp_socket, WaitsOnSeveralSocketsAndEndWhenASignalComes) {
    udp_socket a = udp_socket::bind_to(url_of("127.0.0.1", 0));
    udp_socket b = udp_socket::bind_to(url_of("::1", 0));
    udp_socket c = udp_socket::bind_to(url_of("127.0.0.1", 0));
    const std::vector<const udp_socket*> all = {&a, &b, &a, &c};  // one listed twice
    EXPECT_EQ(udp_socket::wait_any(all, clock_type::now() + 50ms, nullptr), wait_result::timed_out);
    udp_socket to_c = udp_socket::connect_to(url_of("127.0.0.1", c.local_port()));
    ASSERT_TRUE(to_c.send(std::vector<std::uint8_t>{7}));
    EXPECT_EQ(udp_socket::wait_any(all, clock_type::now() + 2s, nullptr), wait_result::readable);
    EXPECT_EQ(udp_socket::wait_either(a, b, clock_type::now() + 50ms, nullptr), wait_result::timed_out);
    EXPECT_EQ(udp_socket::wait_either(a, c, clock_type::now() + 2s, nullptr), wait_result::readable);

    // The signal is blocked but for the wait, as a live receiver does it:
    // it ends the wait at once, not at its deadline.
    struct sigaction action {}, previous {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    sigset_t blocked, during_wait;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &during_wait), 0);
    sigdelset(&during_wait, SIGUSR1);
    const pthread_t waiter = ::pthread_self();
    std::thread signaller([waiter] {
        std::this_thread::sleep_for(100ms);
        ::pthread_kill(waiter, SIGUSR1);
    });
    const auto started = clock_type::now();
    const wait_result result = a.wait(started + 5s, &during_wait);
    const auto waited = clock_type::now() - started;
    signaller.join();
    ::pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(result, wait_result::interrupted);
    EXPECT_LT(waited, 4s);
}

}  // namespace
}  // namespace g723::rtp::net
