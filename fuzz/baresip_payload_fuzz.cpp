// SPDX-License-Identifier: BSD-2-Clause
// The baresip module's payload path, through the handlers in the order
// baresip calls them: encoder and decoder updates with the peer's format
// parameters (the input's first byte gives their length, the text follows),
// then steps of a control byte, a length byte and that many bytes (the last
// step cut by the end of the input). The control byte's low two bits pick
// the call: decode the bytes as a received payload, conceal a gap with them
// as the payload after it, encode them (as samples, one to three frames a
// packet) and decode what the encoder sent, or update the encoder and
// decoder again as a re-INVITE does. Payloads lie alone on the heap and the
// sample buffers hold exactly the room the call is told of, so that a read
// or write beyond either is caught.
// Checks that every call succeeds; that decoding gives 240 samples for each
// frame the payload holds, as many as the room takes; that a gap conceals
// at least one frame; that sent payloads hold whole frames, at most one per
// 30 ms and never an untransmitted one, and SID frames only when the
// parameters allow annexa.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "g723/g723.h"

extern "C" {
#include "baresip/payload_codec.h"
#include "media/codec/payload_frames.h"
}

namespace {

constexpr std::size_t kFrames = G723_FRAME_SAMPLES;
constexpr std::size_t kFrameBytes[4] = {24, 20, 4, 1};

// The frames of a sent payload: whole, never untransmitted; -1 otherwise.
int sent_frames(const uint8_t* payload, std::size_t length, bool* sid) {
    int count = 0;
    for (std::size_t at = 0; at < length; ++count) {
        const unsigned code = payload[at] & 3;
        if (code == 1 || code == 3 || at + kFrameBytes[code] > length) return -1;
        *sid |= code == 2;
        at += kFrameBytes[code];
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t fmtp_length = std::min<std::size_t>(data[0] & 63, size - 1);
    const std::string fmtp(reinterpret_cast<const char*>(data + 1), fmtp_length);
    const bool annexa = g723_fmtp_allows_annexa(fmtp.c_str());

    aucodec codec{};
    codec.pt = "4";
    codec.name = "G723";
    codec.srate = codec.crate = 8000;
    codec.ch = codec.pch = 1;
    codec.ptime = 30;
    codec.fmtp = "annexa=yes";
    auenc_param parameters{30, 0};
    auenc_state* encoder = nullptr;
    audec_state* decoder = nullptr;
    G723_FUZZ_CHECK(g723_call_encoder_update(&encoder, &codec, &parameters, fmtp.c_str()) == 0);
    G723_FUZZ_CHECK(g723_call_decoder_update(&decoder, &codec, fmtp.c_str()) == 0);
    G723_FUZZ_CHECK(encoder != nullptr && decoder != nullptr);

    for (std::size_t at = 1 + fmtp_length; at + 1 < size;) {
        const uint8_t control = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const auto payload = std::make_unique<uint8_t[]>(length > 0 ? length : 1);
        std::memcpy(payload.get(), data + at + 2, length);
        at += 2 + length;
        // Room for 1 to 8 frames, or baresip's own.
        const std::size_t room_frames = (control >> 2 & 7) == 0 ? 24 : control >> 2 & 7;
        std::size_t room = room_frames * kFrames;
        auto samples = std::make_unique<int16_t[]>(room);
        const std::size_t held = g723_payload_frame_count(payload.get(), length);

        switch (control & 3) {
        case 0:
            G723_FUZZ_CHECK(g723_call_decode(decoder, AUFMT_S16LE, samples.get(), &room, control & 32,
                                             payload.get(), length) == 0);
            G723_FUZZ_CHECK(room == std::min(held, room_frames) * kFrames);
            break;
        case 1:
            G723_FUZZ_CHECK(g723_call_conceal(decoder, AUFMT_S16LE, samples.get(), &room,
                                              payload.get(), length) == 0);
            G723_FUZZ_CHECK(room == std::min(std::max<std::size_t>(held, 1), room_frames) * kFrames);
            break;
        case 2: {
            // The bytes as speech samples, repeated over one to three frames.
            const std::size_t frames = 1 + (control >> 2) % 3;
            auto input = std::make_unique<int16_t[]>(frames * kFrames);
            for (std::size_t i = 0; i < frames * kFrames; ++i)
                input[i] = length ? static_cast<int16_t>(payload[i % length] << 8 |
                                                         payload[(i * 7) % length])
                                  : 0;
            uint8_t sent[3 * 24];
            std::size_t sent_length = sizeof sent;
            bool marker = false, sid = false;
            G723_FUZZ_CHECK(g723_call_encode(encoder, &marker, sent, &sent_length, AUFMT_S16LE,
                                             input.get(), frames * kFrames) == 0);
            const int count = sent_frames(sent, sent_length, &sid);
            G723_FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= frames);
            G723_FUZZ_CHECK(annexa || !sid);
            G723_FUZZ_CHECK(!marker || sent_length > 0);
            if (sent_length > 0) {
                auto copy = std::make_unique<uint8_t[]>(sent_length);
                std::memcpy(copy.get(), sent, sent_length);
                std::size_t decoded = 24 * kFrames;
                auto out = std::make_unique<int16_t[]>(decoded);
                G723_FUZZ_CHECK(g723_call_decode(decoder, AUFMT_S16LE, out.get(), &decoded, marker,
                                                 copy.get(), sent_length) == 0);
                G723_FUZZ_CHECK(decoded == static_cast<std::size_t>(count) * kFrames);
            }
            break;
        }
        default:
            G723_FUZZ_CHECK(g723_call_encoder_update(&encoder, &codec, &parameters, fmtp.c_str()) == 0);
            G723_FUZZ_CHECK(g723_call_decoder_update(&decoder, &codec, fmtp.c_str()) == 0);
            break;
        }
    }
    mem_deref(encoder);
    mem_deref(decoder);
    return 0;
}
