// SPDX-License-Identifier: BSD-2-Clause
// Opus in its VoIP application at 8 kHz, 20 ms frames.
#include <opus.h>

#include <stdexcept>
#include <string>

#include "heap_counter.h"

#include "speech_codec.h"

namespace g723::bench {

namespace {

constexpr int sample_rate = 8000;
constexpr int frame_length = 160;  // 20 ms
// The largest packet Opus writes for one frame.
constexpr int packet_bytes = 1275;

void check(int error, const char* call) {
    if (error < 0) throw std::runtime_error(std::string("opus: ") + call + ": " + opus_strerror(error));
}

class opus_frame_encoder final : public frame_encoder {
public:
    explicit opus_frame_encoder(int bit_rate) {
        int error = OPUS_OK;
        {
            heap_count count;
            encoder_ = opus_encoder_create(sample_rate, 1, OPUS_APPLICATION_VOIP, &error);
            heap_bytes_ = count.bytes();
        }
        check(error, "opus_encoder_create");
        error = opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(bit_rate));
        if (error < 0) opus_encoder_destroy(encoder_);
        check(error, "OPUS_SET_BITRATE");
    }
    ~opus_frame_encoder() override { opus_encoder_destroy(encoder_); }
    opus_frame_encoder(const opus_frame_encoder&) = delete;
    opus_frame_encoder& operator=(const opus_frame_encoder&) = delete;

    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        const opus_int32 bytes = opus_encode(encoder_, frame.data(), frame_length, out.data(),
                                             static_cast<opus_int32>(out.size()));
        check(bytes, "opus_encode");
        return static_cast<std::size_t>(bytes);
    }
    state_size state() const override {
        return {static_cast<std::size_t>(opus_encoder_get_size(1)), "opus_encoder_get_size"};
    }

    OpusEncoder* get() const { return encoder_; }
    // The heap the create call kept, to check the heap count against.
    std::size_t heap_bytes() const { return heap_bytes_; }

private:
    OpusEncoder* encoder_ = nullptr;
    std::size_t heap_bytes_ = 0;
};

class opus_frame_decoder final : public frame_decoder {
public:
    opus_frame_decoder() {
        int error = OPUS_OK;
        {
            heap_count count;
            decoder_ = opus_decoder_create(sample_rate, 1, &error);
            heap_bytes_ = count.bytes();
        }
        check(error, "opus_decoder_create");
    }
    ~opus_frame_decoder() override { opus_decoder_destroy(decoder_); }
    opus_frame_decoder(const opus_frame_decoder&) = delete;
    opus_frame_decoder& operator=(const opus_frame_decoder&) = delete;

    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        const int samples = opus_decode(decoder_, frame.data(), static_cast<opus_int32>(frame.size()),
                                        out.data(), static_cast<int>(out.size()), 0);
        check(samples, "opus_decode");
    }
    state_size state() const override {
        return {static_cast<std::size_t>(opus_decoder_get_size(1)), "opus_decoder_get_size"};
    }

    std::size_t heap_bytes() const { return heap_bytes_; }

private:
    OpusDecoder* decoder_ = nullptr;
    std::size_t heap_bytes_ = 0;
};

// Opus tells its state sizes; the heap its create calls keep, counted as
// for the codecs that do not, should be the same.
std::string heap_check(std::size_t encoder_heap, std::size_t decoder_heap) {
    const auto encoder_size = static_cast<std::size_t>(opus_encoder_get_size(1));
    const auto decoder_size = static_cast<std::size_t>(opus_decoder_get_size(1));
    const bool same = encoder_heap == encoder_size && decoder_heap == decoder_size;
    return "the create calls keep " + std::to_string(encoder_heap) + " and " +
           std::to_string(decoder_heap) + " bytes of heap, " +
           (same ? "the same as" : "NOT the same as") + " the library's size calls";
}

class opus_speech_codec final : public speech_codec {
public:
    explicit opus_speech_codec(int bit_rate) : bit_rate_(bit_rate) {}

    std::string name() const override { return "Opus " + std::to_string(bit_rate_ / 1000) + "k"; }
    std::string settings() const override {
        // The settings the library actually runs with, read back.
        opus_frame_encoder encoder(bit_rate_);
        const opus_frame_decoder decoder;
        opus_int32 bit_rate = 0;
        opus_int32 complexity = 0;
        opus_int32 vbr = 0;
        opus_int32 dtx = 0;
        opus_int32 fec = 0;
        opus_encoder_ctl(encoder.get(), OPUS_GET_BITRATE(&bit_rate));
        opus_encoder_ctl(encoder.get(), OPUS_GET_COMPLEXITY(&complexity));
        opus_encoder_ctl(encoder.get(), OPUS_GET_VBR(&vbr));
        opus_encoder_ctl(encoder.get(), OPUS_GET_DTX(&dtx));
        opus_encoder_ctl(encoder.get(), OPUS_GET_INBAND_FEC(&fec));
        return std::string(opus_get_version_string()) + ", OPUS_APPLICATION_VOIP, 8 kHz mono, 20 ms frames, " +
               "OPUS_SET_BITRATE " + std::to_string(bit_rate) + ", " + (vbr ? "VBR" : "CBR") +
               ", complexity " + std::to_string(complexity) + ", DTX " + (dtx ? "on" : "off") +
               ", in-band FEC " + (fec ? "on" : "off") + " (library defaults); " +
               heap_check(encoder.heap_bytes(), decoder.heap_bytes());
    }
    std::size_t frame_samples() const override { return frame_length; }
    std::size_t slot_bytes() const override { return packet_bytes; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<opus_frame_encoder>(bit_rate_);
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<opus_frame_decoder>();
    }

private:
    int bit_rate_;
};

}  // namespace

std::unique_ptr<speech_codec> make_opus_codec(int bit_rate) {
    return std::make_unique<opus_speech_codec>(bit_rate);
}

}  // namespace g723::bench
