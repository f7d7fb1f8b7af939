// SPDX-License-Identifier: BSD-2-Clause
#include "degradation.h"

#include <algorithm>

#include "media/audio/pcm_conversion.h"
#include "media/audio/resampler.h"
#include "media/codec/codec_handles.h"
#include "streaming_decoder.h"

namespace g723::python {

std::vector<std::int16_t> to_speech_input(std::span<const double> audio, int rate) {
    std::vector<double> resampled;
    if (rate != sample_rate) {
        resampled = resample(audio, rate, sample_rate);
        audio = resampled;
    }
    std::vector<std::int16_t> speech(audio.size());
    std::transform(audio.begin(), audio.end(), speech.begin(), to_pcm16);
    return speech;
}

std::vector<std::uint8_t> encode_all(std::span<const std::int16_t> speech, const encoder_settings& settings) {
    streaming_encoder encoder(settings);
    std::vector<std::uint8_t> coded;
    encoder.encode(speech, coded);
    encoder.flush(coded);
    return coded;
}

std::vector<std::int16_t> code_and_decode(std::span<const std::int16_t> speech,
                                          const degradation_settings& settings) {
    const std::vector<std::uint8_t> coded = encode_all(speech, settings.encoding);
    streaming_decoder decoder(settings.postfilter);
    const std::size_t frames = decoder.frames_in(coded);
    loss_pattern losses(settings.loss_percent, settings.seed);
    std::vector<std::uint8_t> lost(frames);
    std::generate(lost.begin(), lost.end(), [&] { return losses.next_lost() ? 1 : 0; });
    std::vector<std::int16_t> decoded;
    decoder.decode(coded, std::span<const std::uint8_t>(lost), decoded);
    // Decoded sample i + encoder_delay belongs with input sample i.
    decoded.resize(std::max(decoded.size(), speech.size() + encoder_delay));
    return {decoded.begin() + encoder_delay,
            decoded.begin() + static_cast<std::ptrdiff_t>(encoder_delay + speech.size())};
}

std::vector<double> degrade(std::span<const double> audio, int rate, const degradation_settings& settings) {
    const std::vector<std::int16_t> decoded = code_and_decode(to_speech_input(audio, rate), settings);
    std::vector<double> output(decoded.begin(), decoded.end());
    if (rate != sample_rate) output = resample(output, sample_rate, rate);
    // soxr's lengths follow the rate ratio to within a sample or so: the
    // result takes exactly the input's length, zeros past the end.
    output.resize(audio.size(), 0.0);
    return output;
}

}  // namespace g723::python
