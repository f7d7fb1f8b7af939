// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/net/udp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

namespace g723::rtp::net {

namespace {

[[noreturn]] void fail(std::string_view url, const std::string& reason) {
    throw network_error(std::string(url) + ": " + reason);
}

// Large enough that a burst of packets (a sender faster than real time, a
// receiver busy writing) waits in the kernel rather than being dropped.
constexpr int receive_buffer_bytes = 1 << 20;

struct address_list_deleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using address_list = std::unique_ptr<addrinfo, address_list_deleter>;

address_list resolve(const udp_url& url, bool passive) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const std::string port = std::to_string(url.port);
    addrinfo* list = nullptr;
    const int error =
        ::getaddrinfo(url.host.empty() ? nullptr : url.host.c_str(), port.c_str(), &hints, &list);
    if (error != 0) {
        fail(url.text, std::string("cannot resolve '") + url.host + "': " + ::gai_strerror(error));
    }
    return address_list(list);
}

std::string numeric_name(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (::getnameinfo(address, length, host, sizeof host, port, sizeof port,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "?";
    }
    // An IPv6 address goes in brackets before its port; an IPv4 sender
    // heard on a socket of both families keeps its IPv4 name.
    bool v6 = address->sa_family == AF_INET6;
    if (v6 && std::string_view(host).starts_with("::ffff:") && std::strchr(host, '.') != nullptr) {
        std::memmove(host, host + 7, std::strlen(host + 7) + 1);
        v6 = false;
    }
    std::string name;
    name.append(v6 ? "[" : "").append(host).append(v6 ? "]:" : ":").append(port);
    return name;
}

}  // namespace

udp_socket udp_socket::connect_to(const udp_url& url) { return connect_from(url, 0); }

udp_socket udp_socket::connect_from(const udp_url& url, std::uint16_t local_port) {
    const address_list list = resolve(url, false);
    int last_error = 0;
    for (const addrinfo* at = list.get(); at != nullptr; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0) {
            last_error = errno;
            continue;
        }
        sockaddr_storage local{};
        socklen_t length = 0;
        if (at->ai_family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&local);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(local_port);
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&local);
            v4->sin_family = AF_INET;
            v4->sin_port = htons(local_port);
            length = sizeof *v4;
        }
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), length) == 0 &&
            ::connect(fd, at->ai_addr, at->ai_addrlen) == 0) {
            return udp_socket(fd, url.text);
        }
        last_error = errno;
        ::close(fd);
    }
    fail(url.text, std::string("cannot send there: ") + std::strerror(last_error));
}

std::pair<udp_socket, udp_socket> udp_socket::connect_pair(const udp_url& first, const udp_url& second) {
    // Ports the system hands out are not paired: try a few until the next
    // one up is free too.
    for (int attempt = 0;; ++attempt) {
        udp_socket one = connect_from(first, 0);
        const std::uint16_t port = one.local_port();
        if (port < 65535) {
            try {
                return {std::move(one), connect_from(second, static_cast<std::uint16_t>(port + 1))};
            } catch (const network_error&) {
                if (attempt >= 32) throw;
            }
        }
    }
}

std::string udp_socket::endpoint_name(const udp_url& url) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(url.port);
    if (::getaddrinfo(url.host.c_str(), port.c_str(), &hints, &list) != 0) {
        fail(url.text, "not a numeric address and port");
    }
    const address_list owned(list);
    return numeric_name(list->ai_addr, list->ai_addrlen);
}

bool udp_socket::send_to(std::span<const std::uint8_t> datagram, const std::string& endpoint) {
    // Back from "HOST:PORT" or "[HOST]:PORT" to an address of this
    // socket's family.
    const std::size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = endpoint.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    sockaddr_storage local{};
    socklen_t local_length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &local_length) != 0) return false;
    addrinfo hints{};
    hints.ai_family = local.ss_family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | (local.ss_family == AF_INET6 ? AI_V4MAPPED : 0);
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), endpoint.c_str() + colon + 1, &hints, &list) != 0) return false;
    const address_list owned(list);
    for (;;) {
        if (::sendto(fd_, datagram.data(), datagram.size(), 0, list->ai_addr, list->ai_addrlen) >= 0) {
            return true;
        }
        if (errno != EINTR) return false;
    }
}

udp_socket udp_socket::bind_to(const udp_url& url) {
    const address_list list = resolve(url, true);
    // Without a host, prefer the IPv6 wildcard taking IPv4 as well.
    const addrinfo* chosen = list.get();
    if (url.host.empty()) {
        for (const addrinfo* at = list.get(); at != nullptr; at = at->ai_next) {
            if (at->ai_family == AF_INET6) chosen = at;
        }
    }
    int last_error = 0;
    for (const addrinfo* at = chosen; at != nullptr; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0) {
            last_error = errno;
            continue;
        }
        if (at->ai_family == AF_INET6 && url.host.empty()) {
            const int off = 0;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        }
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) == 0) return udp_socket(fd, url.text);
        last_error = errno;
        ::close(fd);
    }
    fail(url.text, std::string("cannot listen there: ") + std::strerror(last_error));
}

udp_socket::~udp_socket() {
    if (fd_ >= 0) ::close(fd_);
}

udp_socket::udp_socket(udp_socket&& other) noexcept : fd_(other.fd_), url_(std::move(other.url_)) {
    other.fd_ = -1;
}

bool udp_socket::send(std::span<const std::uint8_t> datagram) {
    bool refused = false;
    for (;;) {
        if (::send(fd_, datagram.data(), datagram.size(), 0) >= 0) return !refused;
        if (errno == EINTR) continue;
        // The refusal of an earlier datagram is reported by this call, which
        // then has not sent its own: send it again, once.
        if (errno == ECONNREFUSED && !refused) {
            refused = true;
            continue;
        }
        if (errno == ECONNREFUSED) return false;
        fail(url_, std::string("send failed: ") + std::strerror(errno));
    }
}

wait_result udp_socket::wait(steady_time deadline, const sigset_t* signal_mask) const {
    return wait_either(*this, *this, deadline, signal_mask);
}

wait_result udp_socket::wait_either(const udp_socket& one, const udp_socket& other, steady_time deadline,
                                    const sigset_t* signal_mask) {
    const std::array<const udp_socket*, 2> both{&one, &other};
    return wait_any(both, deadline, signal_mask);
}

wait_result udp_socket::wait_any(std::span<const udp_socket* const> sockets, steady_time deadline,
                                 const sigset_t* signal_mask) {
    const auto left = deadline - std::chrono::steady_clock::now();
    const auto nanoseconds =
        std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    const timespec timeout{static_cast<time_t>(nanoseconds / 1'000'000'000),
                           static_cast<long>(nanoseconds % 1'000'000'000)};
    std::array<pollfd, 8> readable{};
    nfds_t count = 0;
    for (const udp_socket* socket : sockets) {
        const bool listed = std::any_of(readable.begin(), readable.begin() + count,
                                        [&](const pollfd& entry) { return entry.fd == socket->fd_; });
        if (!listed && count < readable.size()) readable[count++] = {socket->fd_, POLLIN, 0};
    }
    const int ready = ::ppoll(readable.data(), count, &timeout, signal_mask);
    if (ready < 0) {
        if (errno == EINTR) return wait_result::interrupted;
        fail(sockets.empty() ? std::string() : sockets[0]->url_, std::string("cannot wait for packets: ") + std::strerror(errno));
    }
    return ready == 0 ? wait_result::timed_out : wait_result::readable;
}

std::optional<received_datagram> udp_socket::receive(std::span<std::uint8_t> buffer) {
    sockaddr_storage source{};
    socklen_t source_length = sizeof source;
    for (;;) {
        const ssize_t size = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&source), &source_length);
        if (size >= 0) {
            return received_datagram{static_cast<std::size_t>(size),
                                     numeric_name(reinterpret_cast<sockaddr*>(&source), source_length)};
        }
        if (errno == EINTR) continue;
        // ECONNREFUSED and the like are left over from datagrams this socket
        // never sent; nothing to read is the usual end of a drain.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) return std::nullopt;
        fail(url_, std::string("receive failed: ") + std::strerror(errno));
    }
}

std::string udp_socket::local_address() const {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return "?";
    return numeric_name(reinterpret_cast<sockaddr*>(&local), length);
}

std::uint16_t udp_socket::local_port() const {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    // The port sits at the same place in both families.
    return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

std::string udp_socket::peer_address() const {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "?";
    return numeric_name(reinterpret_cast<sockaddr*>(&peer), length);
}

}  // namespace g723::rtp::net
