// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_NET_UDP_SOCKET_H
#define G723_RTP_NET_UDP_SOCKET_H

#include <signal.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "rtp/net/udp_url.h"

namespace g723::rtp::net {

using steady_time = std::chrono::steady_clock::time_point;

struct received_datagram {
    std::size_t size = 0;
    std::string source;  // "127.0.0.1:40000", "[::1]:40000"
};

enum class wait_result { readable, timed_out, interrupted };

// A failure to resolve, bind, send or receive; what() names the URL and
// the reason ("udp://host:5004: cannot listen there: ...").
class network_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One UDP socket, IPv4 or IPv6 as the host name resolves (getaddrinfo).
// Failures to resolve, bind or send throw network_error.
class udp_socket {
public:
    // A socket connected to the URL's host and port, for sending.
    static udp_socket connect_to(const udp_url& url);
    // A socket bound to the URL's address and port, for receiving; without
    // a host it listens on every local address, IPv6 and IPv4 alike.
    static udp_socket bind_to(const udp_url& url);

    ~udp_socket();
    udp_socket(udp_socket&& other) noexcept;
    udp_socket& operator=(udp_socket&&) = delete;
    udp_socket(const udp_socket&) = delete;
    udp_socket& operator=(const udp_socket&) = delete;

    // A socket connected to `url` and bound to `local_port` (0: any), for
    // sending and for hearing back from that peer alone.
    static udp_socket connect_from(const udp_url& url, std::uint16_t local_port);
    // Two sockets connected to `first` and `second`, bound to neighbouring
    // local ports P and P + 1 (RTP and RTCP, as receivers expect).
    static std::pair<udp_socket, udp_socket> connect_pair(const udp_url& first, const udp_url& second);
    // `url`'s host, which must be a numeric address, and port as datagrams
    // from there are named ("127.0.0.1:5004", "[::1]:5004").
    static std::string endpoint_name(const udp_url& url);

    // Sends one datagram. False when the peer's host has refused an
    // earlier one (nothing listened on that port then): UDP senders carry
    // on regardless, and this datagram is sent all the same.
    bool send(std::span<const std::uint8_t> datagram);

    // Waits until a datagram can be read, `deadline` passes, or a signal
    // arrives. `signal_mask` is the mask in force while waiting, so that a
    // signal blocked elsewhere can only arrive here (ppoll).
    wait_result wait(steady_time deadline, const sigset_t* signal_mask) const;
    // The same for two sockets: readable when either is.
    static wait_result wait_either(const udp_socket& one, const udp_socket& other, steady_time deadline,
                                   const sigset_t* signal_mask);
    // The same for any number of sockets (at most 8).
    static wait_result wait_any(std::span<const udp_socket* const> sockets, steady_time deadline,
                                const sigset_t* signal_mask);
    // Reads one waiting datagram without blocking; none when the queue is
    // empty. A datagram longer than `buffer` is cut to its size.
    std::optional<received_datagram> receive(std::span<std::uint8_t> buffer);
    // Sends one datagram to an endpoint named as receive() names them, from
    // an unconnected socket; false when it cannot be sent there.
    bool send_to(std::span<const std::uint8_t> datagram, const std::string& endpoint);

    // The address the socket is bound to, and the one it is connected to,
    // as "HOST:PORT".
    std::string local_address() const;
    std::string peer_address() const;
    std::uint16_t local_port() const;
    const std::string& url() const { return url_; }

private:
    udp_socket(int fd, std::string url) : fd_(fd), url_(std::move(url)) {}

    int fd_ = -1;
    std::string url_;
};

}  // namespace g723::rtp::net

#endif
