// SPDX-License-Identifier: BSD-2-Clause
#include "g723/encoder/encode_frame.h"

#include <algorithm>
#include <array>

#include "g723/bitstream/frame_packing.h"
#include "g723/dsp/lpc_to_lsp.h"
#include "g723/dsp/lsp_decode.h"
#include "g723/dsp/lsp_quantize.h"
#include "g723/encoder/adaptive_codebook_search.h"
#include "g723/encoder/fixed_codebook_search.h"
#include "g723/encoder/harmonic_shaping.h"
#include "g723/encoder/impulse_response.h"
#include "g723/encoder/lpc_analysis.h"
#include "g723/encoder/open_loop_pitch.h"
#include "g723/encoder/perceptual_weighting.h"
#include "g723/encoder/subtract_ringing.h"
#include "g723/encoder/update_filter_memories.h"
#include "g723/silence/encoder_comfort_noise.h"
#include "g723/silence/voice_activity.h"

namespace g723 {

namespace {

constexpr int N = kSubframeSamples;

// Pole of the input high-pass filter, 127/128.
constexpr float kHighPassPole = 0.9921875f;

// At slot 0 each multi-frame buffer keeps its newest past samples in front.
template <std::size_t Size>
void move_history(std::array<float, Size>& buffer, int past) {
    std::copy(buffer.end() - past, buffer.end(), buffer.begin());
}

void encode_frame_impl(g723_encoder& encoder, std::span<const int16_t, kFrameSamples> in,
                       std::span<uint8_t, kSlotBytes> out, float* synthesized) {
    frame_params params{};

    if (encoder.frame_position == 0) {
        encoder.frame_counter = 0;
        move_history(encoder.input_buffer, kInputPast);
        move_history(encoder.excitation_buffer, kExcitationPast);
        move_history(encoder.weighted_speech, kWeightedPast);
        move_history(encoder.weighted_synthesis_history, kWeightedPast);
    }
    encoder.comp_rate = 0;
    const int slot = encoder.frame_position * kFrameSamples;

    float* input = &encoder.input_buffer[kInputPast + slot];
    std::copy(in.begin(), in.end(), input);
    encoder.frame_counter += 1;
    encoder.frame_position = encoder.frame_counter % kSlotsPerBuffer;

    // The frame's synthesized speech, behind the ten last samples of the
    // previous frame in time order.
    std::array<float, kFilterArraySize> synthesis;
    for (int i = 0; i < kLpcOrder; ++i) synthesis[kLpcOrder - 1 - i] = encoder.synthesis_memory[i];

    if (encoder.filter_mode == 1) {
        float previous_input = encoder.hp_previous_input;
        float previous_output = encoder.hp_previous_output;
        for (int n = 0; n < kFrameSamples; ++n) {
            const float x = input[n];
            const float y = x - previous_input + kHighPassPole * previous_output;
            previous_input = x;
            previous_output = y;
            input[n] = y;
        }
        encoder.hp_previous_input = previous_input;
        encoder.hp_previous_output = previous_output;
    }

    // Speech or silence (always speech with silence compression off).
    int32_t frame_type = detect_voice_activity(input, encoder.vad_mode, encoder.tone_history, encoder.vad_state);

    // The frame being coded starts 60 samples (the look-ahead) before the
    // newest input; the analysis windows reach 120 samples further back.
    std::array<lpc_vector, kSubframes> lpc;
    analyze_lpc(lpc, input - 2 * N, encoder);
    std::array<weighting_coefficients, kSubframes> weights;
    compute_weighting_coefficients(weights, lpc);

    float* excitation = &encoder.excitation_buffer[kExcitationPast + slot];
    float* weighted = &encoder.weighted_speech[kWeightedPast + slot];
    apply_weighting_filter(input - N, std::span<float, kFrameSamples>(excitation, kFrameSamples),
                           weights, encoder.weighting_memory);
    std::copy(excitation, excitation + kFrameSamples, weighted);

    params.open_loop_lag[0] = estimate_open_loop_pitch(weighted);
    params.open_loop_lag[1] = estimate_open_loop_pitch(weighted + 2 * N);
    encoder.vad_state.lag_history[2] = params.open_loop_lag[0];
    encoder.vad_state.lag_history[3] = params.open_loop_lag[1];

    float* weighted_synthesis = &encoder.weighted_synthesis_history[kWeightedPast + slot];

    if (frame_type != kFrameSpeech) {
        // A SID or untransmitted frame: the comfort noise that a decoder will
        // generate replaces the weighted speech in the slot and, through the
        // comfort-noise filters, carries the synthesis and weighted-synthesis
        // memories through the frame as the decoder's are carried.
        std::array<lpc_vector, kSubframes> noise_lpc;
        frame_type = encode_silence_frame(excitation, excitation - kExcitationPast, params, noise_lpc,
                                              encoder.encoder_cng_state, encoder.vad_state,
                                              encoder.single_sid, encoder.previous_lsp);
        for (int k = 0; k < kSubframes; ++k)
            update_filter_memories(std::span<const float, N>(excitation + k * N, N), noise_lpc[k], weights[k],
                                   &synthesis[kLpcOrder - 1 + k * N], weighted_synthesis + k * N - 1);
    } else {
        std::array<lpc_vector, kSubframes> synthesis_lpc;
        {
            lsp_vector lsp = lpc_to_lsp(lpc[3], encoder.previous_lsp);
            params.lsp_index = lsp_quantize(lsp, encoder.previous_lsp);
            // Decoded exactly as a decoder will, so both synthesize with the
            // same quantized, interpolated filters.
            const lsp_vector quantized = lsp_inverse_quantize(params.lsp_index, encoder.previous_lsp, 0);
            lsp_interpolate(synthesis_lpc, quantized, encoder.previous_lsp);
        }

        std::array<harmonic_shaping, kSubframes> shaping;
        for (int k = 0; k < kSubframes; ++k)
            shaping[k] = find_harmonic_shaping(weighted + k * N, params.open_loop_lag[k / 2]);
        for (int k = 0; k < kSubframes; ++k)
            apply_harmonic_shaping(excitation, weighted, k * N, shaping[k].lag, shaping[k].gain);

        // The combined filters' responses depend on no memory: all four at once.
        std::array<impulse_response, kSubframes> responses;
        compute_impulse_responses(responses, synthesis_lpc, weights, shaping);

        for (int k = 0; k < kSubframes; ++k) {
            // The subframe's slot holds the shaped weighted speech, then the
            // target, then the fixed excitation and finally the total
            // excitation, which later subframes read as past excitation.
            const std::span<float, N> target(excitation + k * N, N);
            float* s_mem = &synthesis[kLpcOrder - 1 + k * N];
            float* u_mem = weighted_synthesis + k * N - 1;

            const impulse_response& h = responses[k];
            subtract_ringing(target, synthesis_lpc[k], weights[k], shaping[k].lag, shaping[k].gain,
                             s_mem, u_mem);
            std::array<float, N> acb;
            search_adaptive_codebook(target, h, excitation + k * N - kExcitationPast, params, k, acb);
            search_fixed_codebook(target, h, params, k);
            for (int n = 0; n < N; ++n) target[n] += acb[n];
            update_filter_memories(target, synthesis_lpc[k], weights[k], s_mem, u_mem);
        }

        encoder.encoder_cng_state.previous_frame_type = kFrameSpeech;
        encoder.encoder_cng_state.noise_seed = kCngSeedStart;
    }

    pack_frame(params, out, frame_type, encoder.comp_rate);

    for (int i = 0; i < kLpcOrder; ++i) encoder.synthesis_memory[i] = synthesis[kFilterArraySize - 1 - i];
    if (synthesized != nullptr) std::copy(synthesis.begin() + kLpcOrder, synthesis.end(), synthesized);
}

}  // namespace

void encode_frame(g723_encoder& encoder, std::span<const int16_t, kFrameSamples> in,
                  std::span<uint8_t, kSlotBytes> out) {
    encode_frame_impl(encoder, in, out, nullptr);
}

void encode_frame(g723_encoder& encoder, std::span<const int16_t, kFrameSamples> in,
                  std::span<uint8_t, kSlotBytes> out, std::span<float, kFrameSamples> synthesized) {
    encode_frame_impl(encoder, in, out, synthesized.data());
}

}  // namespace g723
