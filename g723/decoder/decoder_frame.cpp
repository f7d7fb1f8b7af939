// SPDX-License-Identifier: BSD-2-Clause
#include "g723/decoder/decoder_frame.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "g723/bitstream/frame_packing.h"
#include "g723/decoder/fixed_vector.h"
#include "g723/decoder/formant_postfilter.h"
#include "g723/decoder/frame_concealment.h"
#include "g723/decoder/gain_scaling.h"
#include "g723/dsp/pcm_rounding.h"
#include "g723/decoder/pitch_postfilter.h"
#include "g723/dsp/acb_vector.h"
#include "g723/dsp/lsp_decode.h"
#include "g723/dsp/synthesis_filter.h"
#include "g723/silence/decoder_comfort_noise.h"
#include "g723/tables/pulse_tables.h"

namespace g723 {
namespace {

using filter_array = std::array<float, kFilterArraySize>;
using subframe_span = std::span<float, kSubframeSamples>;

// A stored memory (most recent first) in front of a frame-local array, in
// time order.
void lay_memory(filter_array& array, const std::array<float, kLpcOrder>& memory) {
    for (int i = 0; i < kLpcOrder; ++i) array[kLpcOrder - 1 - i] = memory[i];
}

void store_memory(std::array<float, kLpcOrder>& memory, const filter_array& array) {
    for (int i = 0; i < kLpcOrder; ++i) memory[i] = array[kFilterArraySize - 1 - i];
}

// Excitation of a received speech frame, subframe by subframe, so that each
// subframe's adaptive-codebook vector sees the total excitation of the
// subframes before it.
void decode_speech_excitation(const frame_params& params, float* excitation, const float* history) {
    for (int k = 0; k < kSubframes; ++k) {
        const subframe_params& sub = params.subframes[k];
        const int32_t open_loop_lag = params.open_loop_lag[k / 2];
        const subframe_span slot(excitation + kSubframeSamples * k, kSubframeSamples);
        decode_fixed_vector(slot, sub, open_loop_lag, k);
        std::array<float, kSubframeSamples> adaptive;
        decode_acb_vector(adaptive, history + kSubframeSamples * k, open_loop_lag, sub.lag_offset,
                          sub.acb_gain_index);
        for (int n = 0; n < kSubframeSamples; ++n) slot[n] += adaptive[n];
    }
}

template <typename Range>
bool all_finite(const Range& values) {
    bool finite = true;
    for (float v : values) finite = finite && std::isfinite(v);
    return finite;
}

// A stream of valid but hostile frames (the largest adaptive-codebook gains
// at a short lag, frame after frame) can grow the excitation until it
// overflows; infinities then turn into NaN in every recursive state and the
// decoder would stay silent-at-the-rail for good. Values that are not finite
// never arise from a sound stream, so clearing exactly those states changes
// nothing else and lets the decoder recover with the next frames.
void clear_overflowed_state(g723_decoder& decoder, const float* excitation) {
    if (!all_finite(std::span<const float, kFrameSamples>(excitation, kFrameSamples)))
        decoder.excitation_buffer.fill(0.0f);
    if (!all_finite(decoder.synthesis_memory)) decoder.synthesis_memory.fill(0.0f);
    if (!all_finite(decoder.postfilter_input_memory) || !all_finite(decoder.postfilter_output_memory) ||
        !std::isfinite(decoder.tilt_memory) || !std::isfinite(decoder.gain_scale_state)) {
        decoder.postfilter_input_memory.fill(0.0f);
        decoder.postfilter_output_memory.fill(0.0f);
        decoder.tilt_memory = 0.0f;
        decoder.gain_scale_state = 1.0f;
    }
    if (!std::isfinite(decoder.decoder_cng_state.noise_gain)) decoder.decoder_cng_state.noise_gain = 0.0f;
}

}  // namespace

int32_t decode_frame(g723_decoder& decoder, const uint8_t* in, std::span<int16_t, kFrameSamples> out,
                     int32_t lost) {
    // The frame's slot in the excitation buffer; its 145 predecessors are
    // the excitation history, moved to the front once every four frames.
    auto& buffer = decoder.excitation_buffer;
    if (decoder.frame_position == 0) {
        decoder.frame_counter = 0;
        std::copy(buffer.end() - kExcitationPast, buffer.end(), buffer.begin());
    }
    float* const excitation = buffer.data() + kExcitationPast + kFrameSamples * decoder.frame_position;
    float* const history = excitation - kExcitationPast;
    decoder.frame_counter += 1;
    decoder.frame_position = decoder.frame_counter % kSlotsPerBuffer;

    filter_array synthesis, postfilter_input, postfilter_output;
    lay_memory(synthesis, decoder.synthesis_memory);
    lay_memory(postfilter_input, decoder.postfilter_input_memory);
    lay_memory(postfilter_output, decoder.postfilter_output_memory);

    frame_params params{};
    const unpacked_frame unpacked = unpack_frame(params, in, lost, decoder.comp_rate);
    decoder_cng_state& cng = decoder.decoder_cng_state;
    int32_t frame_type = unpacked.frame_type;
    // A lost or refused frame continues what came before: speech is
    // concealed as speech, silence goes on as comfort noise.
    if (params.lost != 0)
        frame_type = cng.previous_frame_type == kFrameSpeech ? kFrameSpeech : kFrameUntransmitted;

    std::array<lpc_vector, kSubframes> lpc;
    std::array<float, kFrameSamples> working;

    if (frame_type != kFrameSpeech) {
        // SID, untransmitted, or lost during silence: comfort noise fills the
        // slot and supplies the four filters.
        decode_silence_frame(frame_type, params, excitation, history, lpc, cng, decoder.previous_lsp);
        std::copy(excitation, excitation + kFrameSamples, working.begin());
    } else {
        decoder.erasure_count =
            params.lost != 0 ? std::min(decoder.erasure_count + 1, kMutedErasureCount) : 0;
        const lsp_vector lsp = lsp_inverse_quantize(params.lsp_index, decoder.previous_lsp, params.lost);
        lsp_interpolate(lpc, lsp, decoder.previous_lsp);

        if (decoder.erasure_count != 0) {
            decoder.concealment_gain *= kConcealmentAttenuation;
            conceal_lost_frame(working, history, decoder.concealment_lag, decoder.concealment_gain,
                               decoder.erasure_count, decoder.concealment_seed);
        } else {
            // Noise level for a later loss: the pulse amplitude of the frame's end.
            const int32_t level =
                (params.subframes[2].fixed_gain_index + params.subframes[3].fixed_gain_index) / 2;
            decoder.concealment_gain = fixed_gain_table[level];
            decode_speech_excitation(params, excitation, history);
            std::copy(excitation, excitation + kFrameSamples, working.begin());
            decoder.concealment_lag = find_concealment_lag(history, params.open_loop_lag[1], cng);

            if (decoder.filter_mode == 1) {
                // All four searches see the unfiltered excitation; only the
                // working signal receives the filtered subframes.
                std::array<pitch_postfilter_params, kSubframes> pitch;
                for (int k = 0; k < kSubframes; ++k)
                    pitch[k] = find_pitch_postfilter(history, params.open_loop_lag[k / 2], k,
                                                     decoder.comp_rate);
                for (int k = 0; k < kSubframes; ++k) apply_pitch_postfilter(working, history, pitch[k], k);
            }
            cng.sid_lsp = decoder.previous_lsp;
        }
        cng.noise_seed = kCngSeedStart;
    }
    cng.previous_frame_type = frame_type;

    // The gain scaling of each postfiltered subframe runs alongside the
    // formant postfilter of the next one; the last is scaled on its own.
    float ratio = 1.0f;
    for (int k = 0; k < kSubframes; ++k) {
        const subframe_span speech(working.data() + kSubframeSamples * k, kSubframeSamples);
        const int past = kLpcOrder - 1 + kSubframeSamples * k;  // most recent value before subframe k
        synthesis_filter(speech, lpc[k], synthesis.data() + past);
        std::copy_n(synthesis.data() + past + 1, kSubframeSamples, speech.begin());
        if (decoder.filter_mode == 1) {
            float* const input = postfilter_input.data() + past;
            float* const output = postfilter_output.data() + past;
            if (k == 0) {
                ratio = formant_postfilter(speech, lpc[k], input, output, decoder.tilt_memory);
            } else {
                const subframe_span earlier(speech.data() - kSubframeSamples, kSubframeSamples);
                ratio = formant_postfilter(speech, lpc[k], input, output, decoder.tilt_memory, earlier,
                                           ratio, decoder.gain_scale_state);
            }
        }
    }
    if (decoder.filter_mode == 1)
        scale_postfilter_gain(subframe_span(working.data() + kFrameSamples - kSubframeSamples, kSubframeSamples),
                              ratio, decoder.gain_scale_state);

    store_memory(decoder.synthesis_memory, synthesis);
    if (decoder.filter_mode == 1) {
        store_memory(decoder.postfilter_input_memory, postfilter_input);
        store_memory(decoder.postfilter_output_memory, postfilter_output);
    }

    clear_overflowed_state(decoder, excitation);
    round_to_pcm(working, out);
    return unpacked.result;
}

}  // namespace g723
