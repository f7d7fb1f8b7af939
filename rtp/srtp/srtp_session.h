// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_RTP_SRTP_SRTP_SESSION_H
#define G723_RTP_SRTP_SRTP_SESSION_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "rtp/srtp/srtp_key.h"

struct srtp_ctx_t_;

namespace g723::rtp::srtp {

enum class session_direction { inbound, outbound };

// What became of a protected packet on its way in.
enum class unprotect_result {
    ok,              // authenticated and decrypted
    failed,          // failed authentication: forged, damaged or another key
    replayed,        // a packet already taken, or older than the replay window
    malformed,       // too short or not RTP/RTCP as the session reads it
};

std::string_view describe(unprotect_result result);

// One SRTP session with one master key (libsrtp): every SSRC that sends
// (outbound) or arrives (inbound) under that key, each with its own
// rollover counter and replay window, so that sequence numbers that wrap
// past 65535 go on decrypting. RTCP goes through the same session as SRTCP.
class srtp_session {
public:
    // Throws srtp_key_error when libsrtp refuses the key or does not have
    // the suite. `replay_window` is in packets (64 to 32767); a capture,
    // reordered by its paths, wants a wider one than a live receiver.
    srtp_session(const srtp_key& key, session_direction direction, unsigned replay_window = 128);
    ~srtp_session();
    srtp_session(srtp_session&& other) noexcept;
    srtp_session& operator=(srtp_session&&) = delete;
    srtp_session(const srtp_session&) = delete;
    srtp_session& operator=(const srtp_session&) = delete;

    // Protects an RTP (or RTCP) packet in place: it grows by the
    // authentication tag (and index). False when libsrtp refuses it.
    bool protect_rtp(std::vector<std::uint8_t>& packet);
    bool protect_rtcp(std::vector<std::uint8_t>& packet);

    // Authenticates and decrypts an SRTP (or SRTCP) packet in place; on
    // `ok`, `length` is that of the clear packet. On anything else the
    // bytes are not to be used.
    unprotect_result unprotect_rtp(std::span<std::uint8_t> packet, std::size_t& length);
    unprotect_result unprotect_rtcp(std::span<std::uint8_t> packet, std::size_t& length);

    // The most a packet grows by when protected.
    static constexpr std::size_t most_overhead = 16 + 128 + 4;

private:
    srtp_ctx_t_* context_ = nullptr;
    bool mki_ = false;
};

}  // namespace g723::rtp::srtp

#endif
