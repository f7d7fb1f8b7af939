// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/srtp/srtp_session.h"

#include <srtp2/srtp.h>

#include <iterator>
#include <limits>
#include <mutex>

namespace g723::rtp::srtp {

static_assert(srtp_session::most_overhead == SRTP_MAX_TRAILER_LEN + 4);

namespace {

// libsrtp's crypto kernel is set up once for the process, before the first
// session; it runs its own self-tests then.
void initialise_libsrtp() {
    static std::once_flag once;
    static srtp_err_status_t status = srtp_err_status_ok;
    std::call_once(once, [] { status = srtp_init(); });
    if (status != srtp_err_status_ok) throw srtp_key_error("libsrtp cannot start (its self-test failed)");
}

// The crypto policies of each suite for SRTP and for SRTCP, in the order
// of srtp_suite. The _32 suites keep an 80-bit tag on SRTCP (RFC 4568,
// 6.2); AES_CM_128_HMAC_SHA1_80 is libsrtp's default.
struct suite_policies {
    void (*rtp)(srtp_crypto_policy_t*);
    void (*rtcp)(srtp_crypto_policy_t*);
};
constexpr suite_policies policies[] = {
    {srtp_crypto_policy_set_rtp_default, srtp_crypto_policy_set_rtcp_default},
    {srtp_crypto_policy_set_aes_cm_128_hmac_sha1_32, srtp_crypto_policy_set_rtcp_default},
    {srtp_crypto_policy_set_aes_cm_192_hmac_sha1_80, srtp_crypto_policy_set_aes_cm_192_hmac_sha1_80},
    {srtp_crypto_policy_set_aes_cm_192_hmac_sha1_32, srtp_crypto_policy_set_aes_cm_192_hmac_sha1_80},
    {srtp_crypto_policy_set_aes_cm_256_hmac_sha1_80, srtp_crypto_policy_set_aes_cm_256_hmac_sha1_80},
    {srtp_crypto_policy_set_aes_cm_256_hmac_sha1_32, srtp_crypto_policy_set_aes_cm_256_hmac_sha1_80},
    {srtp_crypto_policy_set_aes_gcm_128_16_auth, srtp_crypto_policy_set_aes_gcm_128_16_auth},
    {srtp_crypto_policy_set_aes_gcm_256_16_auth, srtp_crypto_policy_set_aes_gcm_256_16_auth},
};
static_assert(std::size(policies) == static_cast<std::size_t>(srtp_suite::aead_aes_256_gcm) + 1);

unprotect_result result_of(srtp_err_status_t status) {
    switch (status) {
        case srtp_err_status_ok: return unprotect_result::ok;
        case srtp_err_status_replay_fail:
        case srtp_err_status_replay_old: return unprotect_result::replayed;
        case srtp_err_status_auth_fail:
        case srtp_err_status_cipher_fail:
        case srtp_err_status_bad_mki: return unprotect_result::failed;
        default: return unprotect_result::malformed;
    }
}

}  // namespace

std::string_view describe(unprotect_result result) {
    switch (result) {
        case unprotect_result::ok: return "authenticated";
        case unprotect_result::failed: return "failed authentication";
        case unprotect_result::replayed: return "replayed";
        case unprotect_result::malformed: return "malformed";
    }
    return "";
}

srtp_session::srtp_session(const srtp_key& key, session_direction direction, unsigned replay_window) {
    initialise_libsrtp();
    if (key.keys.empty()) throw srtp_key_error("no SRTP key given");
    srtp_policy_t policy{};
    const suite_policies& suite = policies[static_cast<std::size_t>(key.suite)];
    suite.rtp(&policy.rtp);
    suite.rtcp(&policy.rtcp);
    policy.ssrc.type = direction == session_direction::inbound ? ssrc_any_inbound : ssrc_any_outbound;
    policy.window_size = replay_window;
    policy.allow_repeat_tx = 0;
    // libsrtp reads the keys through non-const pointers but does not
    // change them; its session keeps its own derived keys.
    std::vector<srtp_master_key_t> masters(key.keys.size());
    std::vector<srtp_master_key_t*> pointers;
    mki_ = key.keys.front().mki.size() > 0;
    if (mki_) {
        for (std::size_t i = 0; i < key.keys.size(); ++i) {
            masters[i].key = const_cast<unsigned char*>(key.keys[i].key_and_salt.view().data());
            masters[i].mki_id = const_cast<unsigned char*>(key.keys[i].mki.view().data());
            masters[i].mki_size = static_cast<unsigned>(key.keys[i].mki.size());
            pointers.push_back(&masters[i]);
        }
        policy.keys = pointers.data();
        policy.num_master_keys = pointers.size();
    } else {
        policy.key = const_cast<unsigned char*>(key.keys.front().key_and_salt.view().data());
    }
    const srtp_err_status_t status = srtp_create(&context_, &policy);
    if (status != srtp_err_status_ok) {
        context_ = nullptr;
        throw srtp_key_error(std::string("libsrtp refuses the ") + std::string(describe(key.suite).name) +
                             " key (error " + std::to_string(static_cast<int>(status)) + ")");
    }
}

srtp_session::~srtp_session() {
    if (context_ != nullptr) srtp_dealloc(context_);
}

srtp_session::srtp_session(srtp_session&& other) noexcept : context_(other.context_), mki_(other.mki_) {
    other.context_ = nullptr;
}

bool srtp_session::protect_rtp(std::vector<std::uint8_t>& packet) {
    if (packet.size() < 12 || packet.size() > std::numeric_limits<int>::max() - most_overhead) return false;
    int length = static_cast<int>(packet.size());
    packet.resize(packet.size() + most_overhead);
    const srtp_err_status_t status = srtp_protect_mki(context_, packet.data(), &length, mki_ ? 1 : 0, 0);
    packet.resize(status == srtp_err_status_ok ? static_cast<std::size_t>(length) : packet.size() - most_overhead);
    return status == srtp_err_status_ok;
}

bool srtp_session::protect_rtcp(std::vector<std::uint8_t>& packet) {
    if (packet.size() < 8 || packet.size() > std::numeric_limits<int>::max() - most_overhead) return false;
    int length = static_cast<int>(packet.size());
    packet.resize(packet.size() + most_overhead);
    const srtp_err_status_t status = srtp_protect_rtcp_mki(context_, packet.data(), &length, mki_ ? 1 : 0, 0);
    packet.resize(status == srtp_err_status_ok ? static_cast<std::size_t>(length) : packet.size() - most_overhead);
    return status == srtp_err_status_ok;
}

unprotect_result srtp_session::unprotect_rtp(std::span<std::uint8_t> packet, std::size_t& length) {
    if (packet.size() < 12 || packet.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return unprotect_result::malformed;
    }
    int size = static_cast<int>(packet.size());
    const unprotect_result result = result_of(srtp_unprotect_mki(context_, packet.data(), &size, mki_ ? 1 : 0));
    if (result == unprotect_result::ok) length = static_cast<std::size_t>(size);
    return result;
}

unprotect_result srtp_session::unprotect_rtcp(std::span<std::uint8_t> packet, std::size_t& length) {
    if (packet.size() < 8 || packet.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return unprotect_result::malformed;
    }
    int size = static_cast<int>(packet.size());
    const unprotect_result result =
        result_of(srtp_unprotect_rtcp_mki(context_, packet.data(), &size, mki_ ? 1 : 0));
    if (result == unprotect_result::ok) length = static_cast<std::size_t>(size);
    return result;
}

}  // namespace g723::rtp::srtp
