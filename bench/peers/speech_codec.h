// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_SPEECH_CODEC_H
#define G723_BENCH_PEERS_SPEECH_CODEC_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace g723::bench {

// The memory one encoder or decoder instance holds, and how it was found:
// the library's own size call where it has one, else the heap its create
// call keeps (heap_counter.h).
struct state_size {
    std::size_t bytes = 0;
    std::string method;
};

// One open encoder of a codec at one setting. Opening and closing happen
// outside the timed region; encode() is what is timed.
class frame_encoder {
public:
    virtual ~frame_encoder() = default;
    // Codes one frame of frame_samples() samples into `out` (slot_bytes()
    // long) and returns the bytes the decoder needs.
    virtual std::size_t encode(std::span<const std::int16_t> frame, std::span<std::uint8_t> out) = 0;
    virtual state_size state() const = 0;
};

class frame_decoder {
public:
    virtual ~frame_decoder() = default;
    // Decodes the bytes one encode() call returned into frame_samples()
    // samples.
    virtual void decode(std::span<const std::uint8_t> frame, std::span<std::int16_t> out) = 0;
    virtual state_size state() const = 0;
};

// A codec at one setting: 8 kHz, mono, 16-bit samples.
class speech_codec {
public:
    virtual ~speech_codec() = default;
    // The row's name in the table.
    virtual std::string name() const = 0;
    // The settings chosen, as the library reports them where it can.
    virtual std::string settings() const = 0;
    virtual std::size_t frame_samples() const = 0;
    // Room for one coded frame.
    virtual std::size_t slot_bytes() const = 0;
    virtual std::unique_ptr<frame_encoder> open_encoder() const = 0;
    virtual std::unique_ptr<frame_decoder> open_decoder() const = 0;
    // Bytes a channel carries for one coded frame, for the bit rate: the
    // whole frame unless the codec's stored form holds more than it sends.
    virtual std::size_t transmitted_bytes(std::span<const std::uint8_t> frame) const {
        return frame.size();
    }
};

// The codecs of the comparison, one module each.
std::unique_ptr<speech_codec> make_g723_codec(bool silence_compression);
std::unique_ptr<speech_codec> make_opus_codec(int bit_rate);
std::unique_ptr<speech_codec> make_speex_codec(int bit_rate);
std::unique_ptr<speech_codec> make_amr_nb_codec(int bit_rate);
std::unique_ptr<speech_codec> make_gsm_codec();
std::unique_ptr<speech_codec> make_codec2_codec();

// Every codec of the comparison in the table's order; the first one is the
// reference that ratios are taken against.
std::vector<std::unique_ptr<speech_codec>> all_codecs();

}  // namespace g723::bench

#endif
