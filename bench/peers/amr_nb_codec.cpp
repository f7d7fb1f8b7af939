// SPDX-License-Identifier: BSD-2-Clause
// AMR-NB (opencore) at one fixed mode, DTX off.
#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrnb/interf_enc.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "heap_counter.h"
#include "speech_codec.h"

namespace g723::bench {

namespace {

constexpr int frame_length = 160;  // 20 ms
// The storage form: a one-byte frame header, then up to 31 bytes of speech bits.
constexpr std::size_t frame_bytes = 32;

Mode mode_of(int bit_rate) {
    switch (bit_rate) {
        case 6700: return MR67;
        case 7400: return MR74;
        default: throw std::invalid_argument("AMR-NB: no mode at " + std::to_string(bit_rate) + " bit/s");
    }
}

class amr_nb_frame_encoder final : public frame_encoder {
public:
    explicit amr_nb_frame_encoder(Mode mode) : mode_(mode) {
        {
            heap_count count;
            encoder_ = Encoder_Interface_init(0);
            state_ = {count.bytes(), "heap"};
        }
        if (encoder_ == nullptr) throw std::runtime_error("AMR-NB: Encoder_Interface_init failed");
    }
    ~amr_nb_frame_encoder() override { Encoder_Interface_exit(encoder_); }
    amr_nb_frame_encoder(const amr_nb_frame_encoder&) = delete;
    amr_nb_frame_encoder& operator=(const amr_nb_frame_encoder&) = delete;

    std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) override {
        // The encoder rounds its input to 13 bits in place, although the
        // pointer is declared const: it gets a copy, so that the shared
        // signal stays untouched.
        std::copy(frame.begin(), frame.end(), input_);
        const int bytes = Encoder_Interface_Encode(encoder_, mode_, input_, out.data(), 0);
        if (bytes <= 0) throw std::runtime_error("AMR-NB: Encoder_Interface_Encode failed");
        return static_cast<std::size_t>(bytes);
    }
    state_size state() const override { return state_; }

private:
    Mode mode_;
    void* encoder_ = nullptr;
    short input_[frame_length]{};
    state_size state_;
};

class amr_nb_frame_decoder final : public frame_decoder {
public:
    amr_nb_frame_decoder() {
        {
            heap_count count;
            decoder_ = Decoder_Interface_init();
            state_ = {count.bytes(), "heap"};
        }
        if (decoder_ == nullptr) throw std::runtime_error("AMR-NB: Decoder_Interface_init failed");
    }
    ~amr_nb_frame_decoder() override { Decoder_Interface_exit(decoder_); }
    amr_nb_frame_decoder(const amr_nb_frame_decoder&) = delete;
    amr_nb_frame_decoder& operator=(const amr_nb_frame_decoder&) = delete;

    void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) override {
        Decoder_Interface_Decode(decoder_, frame.data(), out.data(), 0);
    }
    state_size state() const override { return state_; }

private:
    void* decoder_ = nullptr;
    state_size state_;
};

class amr_nb_speech_codec final : public speech_codec {
public:
    explicit amr_nb_speech_codec(int bit_rate) : bit_rate_(bit_rate), mode_(mode_of(bit_rate)) {}

    std::string name() const override {
        return "AMR-NB " + std::to_string(bit_rate_ / 1000) + "." + std::to_string(bit_rate_ / 100 % 10) + "k";
    }
    std::string settings() const override {
        return std::string("opencore-amrnb " G723_PEER_AMRNB_VERSION ", mode ") + (mode_ == MR67 ? "MR67" : "MR74") +
               ", DTX off; the bit rate counts the speech bits in whole bytes, without the "
               "one-byte frame header of the storage form";
    }
    std::size_t frame_samples() const override { return frame_length; }
    std::size_t slot_bytes() const override { return frame_bytes; }
    std::unique_ptr<frame_encoder> open_encoder() const override {
        return std::make_unique<amr_nb_frame_encoder>(mode_);
    }
    std::unique_ptr<frame_decoder> open_decoder() const override {
        return std::make_unique<amr_nb_frame_decoder>();
    }
    std::size_t transmitted_bytes(std::span<const std::uint8_t> frame) const override {
        return frame.empty() ? 0 : frame.size() - 1;
    }

private:
    int bit_rate_;
    Mode mode_;
};

}  // namespace

std::unique_ptr<speech_codec> make_amr_nb_codec(int bit_rate) {
    return std::make_unique<amr_nb_speech_codec>(bit_rate);
}

}  // namespace g723::bench
