// SPDX-License-Identifier: BSD-2-Clause
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "g723/decoder/decoder_state.h"
#include "g723/encoder/encoder_state.h"
#include "g723/g723.h"
#include "g723/tables/lsp_tables.h"

// The open calls allocate with the non-throwing operator new. This test
// program replaces every form of operator new and delete so that a test can
// make any one allocation fail and can count the blocks alive.
namespace {
long allocations = 0;        // allocations so far
long fail_allocation = -1;   // the allocation number that fails, or -1
long live_blocks = 0;

void* allocate(std::size_t size) {
    if (allocations++ == fail_allocation) return nullptr;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++live_blocks;
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    --live_blocks;
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }

namespace g723 {
namespace {

// Puts recognisable non-reset values into every kind of encoder state.
void disturb(g723_encoder& e) {
    e.vad_state.hangover = 0;
    e.vad_state.noise_level = 5.0f;
    e.vad_state.lag_history = {40, 41, 42, 43};
    e.encoder_cng_state.noise_gain = 3.0f;
    e.encoder_cng_state.previous_frame_type = kFrameSid;
    e.encoder_cng_state.acf_history[2][4] = 7.0f;
    e.encoder_cng_state.noise_seed = 99;
    e.hp_previous_input = 1.0f;
    e.previous_lsp.fill(9.0f);
    e.excitation_buffer[500] = 2.0f;
    e.weighted_speech[3] = 2.0f;
    e.synthesis_memory[0] = 2.0f;
    e.frame_position = 2;
    e.frame_counter = 6;
}

void expect_detector_and_noise_reset(const g723_encoder& e) {
    EXPECT_EQ(e.vad_state.hangover, 3);
    EXPECT_EQ(e.vad_state.noise_level, 1024.0f);
    EXPECT_EQ(e.vad_state.lag_history, (std::array<int32_t, 4>{1, 1, 60, 60}));
    EXPECT_EQ(e.encoder_cng_state.noise_gain, 0.0f);
    EXPECT_EQ(e.encoder_cng_state.previous_frame_type, kFrameSpeech);
    EXPECT_EQ(e.encoder_cng_state.acf_history[2][4], 0.0f);
    EXPECT_EQ(e.encoder_cng_state.noise_seed, 12345);
}

class EncoderControl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(g723_encoder_open(&handle), g723_ok); }
    void TearDown() override { EXPECT_EQ(g723_encoder_close(&handle), g723_ok); }

    void expect_vad(int32_t mode, int32_t single_sid) {
        int32_t m = -1, s = -1;
        EXPECT_EQ(g723_encoder_get_vad_mode(handle, &m, &s), g723_ok);
        EXPECT_EQ(m, mode);
        EXPECT_EQ(s, single_sid);
    }
    int32_t filter_mode() {
        int32_t m = -1;
        EXPECT_EQ(g723_encoder_get_filter_mode(handle, &m), g723_ok);
        return m;
    }

    g723_encoder* handle = nullptr;
};

TEST(ControlCalls, VersionString) {
    const char* version = nullptr;
    EXPECT_EQ(g723_get_version(&version), g723_ok);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(version), "orm.tessivo.1.1");
}

TEST_F(EncoderControl, SettingsAfterOpen) {
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(filter_mode(), 1);
    expect_vad(1, 1);
    int32_t value = -1;
    EXPECT_EQ(g723_encoder_get_output_length(handle, &value), g723_ok);
    EXPECT_EQ(value, 24);
    // The rate cannot be changed; its getter reports 1 and still delivers it.
    for (int32_t rate : {0, 1, 7}) EXPECT_EQ(g723_encoder_set_comp_rate(handle, rate), g723_not_supported);
    value = -1;
    EXPECT_EQ(g723_encoder_get_comp_rate(handle, &value), g723_not_supported);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(g723_encoder_get_output_length(handle, &value), g723_ok);
    EXPECT_EQ(value, 24);
    // The record is open and reset.
    EXPECT_EQ(handle->previous_lsp, lsp_dc_vector);
    EXPECT_EQ(handle->frame_position, 0);
    expect_detector_and_noise_reset(*handle);
}

TEST_F(EncoderControl, FilterModeTakesOnlyZeroOrOne) {
    const float hp_in = handle->hp_previous_input = 3.5f;
    const float hp_out = handle->hp_previous_output = -2.5f;
    EXPECT_EQ(g723_encoder_set_filter_mode(handle, 0), g723_ok);
    EXPECT_EQ(filter_mode(), 0);
    for (int32_t bad : {2, -1, 256}) {
        EXPECT_EQ(g723_encoder_set_filter_mode(handle, bad), g723_invalid_mode);
        EXPECT_EQ(filter_mode(), 0);
    }
    EXPECT_EQ(g723_encoder_set_filter_mode(handle, 1), g723_ok);
    EXPECT_EQ(filter_mode(), 1);
    // The high-pass filter's state is neither cleared nor touched.
    EXPECT_EQ(handle->hp_previous_input, hp_in);
    EXPECT_EQ(handle->hp_previous_output, hp_out);
}

TEST_F(EncoderControl, VadModeOffKeepsSingleSidAndState) {
    disturb(*handle);
    EXPECT_EQ(g723_encoder_set_vad_mode(handle, 0, 7), g723_ok);
    expect_vad(0, 1);
    EXPECT_EQ(handle->vad_state.hangover, 0);
    EXPECT_EQ(handle->encoder_cng_state.noise_seed, 99);
}

TEST_F(EncoderControl, VadModeOnResetsDetectorAndNoiseEvenWhenAlreadyOn) {
    disturb(*handle);
    EXPECT_EQ(g723_encoder_set_vad_mode(handle, 1, 0), g723_ok);
    expect_vad(1, 0);
    expect_detector_and_noise_reset(*handle);
    // Nothing else of the coder is reset.
    EXPECT_EQ(handle->previous_lsp[0], 9.0f);
    EXPECT_EQ(handle->excitation_buffer[500], 2.0f);
    EXPECT_EQ(handle->frame_position, 2);
    // single_sid takes any integer.
    EXPECT_EQ(g723_encoder_set_vad_mode(handle, 1, -5), g723_ok);
    expect_vad(1, -5);
}

TEST_F(EncoderControl, InvalidVadModeChangesNothing) {
    ASSERT_EQ(g723_encoder_set_vad_mode(handle, 0, 0), g723_ok);
    disturb(*handle);
    for (int32_t bad : {2, -1}) {
        EXPECT_EQ(g723_encoder_set_vad_mode(handle, bad, 0), g723_invalid_mode);
        expect_vad(0, 1);
        EXPECT_EQ(handle->vad_state.hangover, 0);
        EXPECT_EQ(handle->encoder_cng_state.noise_seed, 99);
    }
}

TEST_F(EncoderControl, ResetRestoresStateAndVadModeOnly) {
    ASSERT_EQ(g723_encoder_set_vad_mode(handle, 1, 0), g723_ok);
    ASSERT_EQ(g723_encoder_set_vad_mode(handle, 0, 0), g723_ok);
    ASSERT_EQ(g723_encoder_set_filter_mode(handle, 0), g723_ok);
    disturb(*handle);
    EXPECT_EQ(g723_encoder_reset(handle), g723_ok);
    expect_vad(1, 0);
    EXPECT_EQ(filter_mode(), 0);
    expect_detector_and_noise_reset(*handle);
    EXPECT_EQ(handle->previous_lsp, lsp_dc_vector);
    EXPECT_EQ(handle->hp_previous_input, 0.0f);
    EXPECT_EQ(handle->excitation_buffer[500], 0.0f);
    EXPECT_EQ(handle->weighted_speech[3], 0.0f);
    EXPECT_EQ(handle->synthesis_memory[0], 0.0f);
    EXPECT_EQ(handle->frame_position, 0);
    EXPECT_EQ(handle->frame_counter, 0);
    int32_t length = -1;
    EXPECT_EQ(g723_encoder_get_output_length(handle, &length), g723_ok);
    EXPECT_EQ(length, 24);
}

TEST_F(EncoderControl, InstancesAreIndependent) {
    g723_encoder* other = nullptr;
    ASSERT_EQ(g723_encoder_open(&other), g723_ok);
    ASSERT_NE(other, handle);
    EXPECT_EQ(g723_encoder_set_filter_mode(other, 0), g723_ok);
    EXPECT_EQ(g723_encoder_set_vad_mode(other, 0, 0), g723_ok);
    EXPECT_EQ(filter_mode(), 1);
    expect_vad(1, 1);
    EXPECT_EQ(g723_encoder_close(&other), g723_ok);
}

class DecoderControl : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(g723_decoder_open(&handle), g723_ok); }
    void TearDown() override { EXPECT_EQ(g723_decoder_close(&handle), g723_ok); }

    int32_t filter_mode() {
        int32_t m = -1;
        EXPECT_EQ(g723_decoder_get_filter_mode(handle, &m), g723_ok);
        return m;
    }
    void disturb_postfilter() {
        handle->postfilter_output_memory.fill(4.0f);
        handle->postfilter_input_memory.fill(5.0f);
        handle->tilt_memory = 6.0f;
    }

    g723_decoder* handle = nullptr;
};

TEST_F(DecoderControl, SettingsAfterOpen) {
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(filter_mode(), 1);
    int32_t value = -1;
    EXPECT_EQ(g723_decoder_get_input_length(handle, &value), g723_ok);
    EXPECT_EQ(value, 24);
    value = -1;
    EXPECT_EQ(g723_decoder_get_comp_rate(handle, &value), g723_not_supported);
    EXPECT_EQ(value, 0);
    for (int32_t rate : {0, 1}) EXPECT_EQ(g723_decoder_set_comp_rate(handle, rate), g723_not_supported);
    EXPECT_EQ(g723_decoder_get_input_length(handle, &value), g723_ok);
    EXPECT_EQ(value, 24);
    EXPECT_EQ(handle->previous_lsp, lsp_dc_vector);
    EXPECT_EQ(handle->gain_scale_state, 1.0f);
    EXPECT_EQ(handle->decoder_cng_state.noise_seed, 12345);
}

TEST_F(DecoderControl, FilterModeOnClearsPostfilterOutputSide) {
    // Already on: switching on again still clears output and tilt memories,
    // not the input memory.
    disturb_postfilter();
    EXPECT_EQ(g723_decoder_set_filter_mode(handle, 1), g723_ok);
    EXPECT_EQ(filter_mode(), 1);
    for (float v : handle->postfilter_output_memory) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(handle->tilt_memory, 0.0f);
    for (float v : handle->postfilter_input_memory) EXPECT_EQ(v, 5.0f);

    // Switching off clears nothing; an invalid mode changes nothing.
    disturb_postfilter();
    EXPECT_EQ(g723_decoder_set_filter_mode(handle, 0), g723_ok);
    EXPECT_EQ(filter_mode(), 0);
    EXPECT_EQ(handle->tilt_memory, 6.0f);
    EXPECT_EQ(handle->postfilter_output_memory[9], 4.0f);
    for (int32_t bad : {2, -1}) {
        EXPECT_EQ(g723_decoder_set_filter_mode(handle, bad), g723_invalid_mode);
        EXPECT_EQ(filter_mode(), 0);
        EXPECT_EQ(handle->tilt_memory, 6.0f);
        EXPECT_EQ(handle->postfilter_output_memory[9], 4.0f);
    }
}

TEST_F(DecoderControl, ResetKeepsSettings) {
    ASSERT_EQ(g723_decoder_set_filter_mode(handle, 0), g723_ok);
    disturb_postfilter();
    handle->previous_lsp.fill(1.0f);
    handle->excitation_buffer[1000] = 3.0f;
    handle->erasure_count = 2;
    handle->gain_scale_state = 0.5f;
    handle->decoder_cng_state.noise_seed = 7;
    handle->decoder_cng_state.previous_frame_type = kFrameSid;
    handle->frame_position = 3;
    EXPECT_EQ(g723_decoder_reset(handle), g723_ok);
    EXPECT_EQ(filter_mode(), 0);
    EXPECT_EQ(handle->previous_lsp, lsp_dc_vector);
    EXPECT_EQ(handle->excitation_buffer[1000], 0.0f);
    EXPECT_EQ(handle->erasure_count, 0);
    EXPECT_EQ(handle->gain_scale_state, 1.0f);
    EXPECT_EQ(handle->tilt_memory, 0.0f);
    EXPECT_EQ(handle->postfilter_input_memory[0], 0.0f);
    EXPECT_EQ(handle->decoder_cng_state.noise_seed, 12345);
    EXPECT_EQ(handle->decoder_cng_state.previous_frame_type, kFrameSpeech);
    EXPECT_EQ(handle->frame_position, 0);
    int32_t length = -1;
    EXPECT_EQ(g723_decoder_get_input_length(handle, &length), g723_ok);
    EXPECT_EQ(length, 24);
}

TEST(ControlCalls, ClosingANullHandleReleasesNothing) {
    g723_encoder* encoder = nullptr;
    g723_decoder* decoder = nullptr;
    EXPECT_EQ(g723_encoder_close(&encoder), g723_not_supported);
    EXPECT_EQ(g723_decoder_close(&decoder), g723_not_supported);

    // Closing a live handle releases it but leaves the host's variable alone.
    ASSERT_EQ(g723_encoder_open(&encoder), g723_ok);
    ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);
    g723_encoder* const encoder_before = encoder;
    g723_decoder* const decoder_before = decoder;
    EXPECT_EQ(g723_encoder_close(&encoder), g723_ok);
    EXPECT_EQ(g723_decoder_close(&decoder), g723_ok);
    EXPECT_EQ(encoder, encoder_before);
    EXPECT_EQ(decoder, decoder_before);
}

// Opening fails cleanly at whichever allocation runs out: the call says so,
// the handle is null, and nothing of the instance stays allocated.
template <typename Handle>
void expect_every_allocation_failure_handled(g723_result (*open)(Handle**), g723_result (*close)(Handle**)) {
    const long before = live_blocks;
    const long first = allocations;
    Handle* handle = nullptr;
    ASSERT_EQ(open(&handle), g723_ok);
    const long made = allocations - first;
    ASSERT_GE(made, 1);
    ASSERT_EQ(close(&handle), g723_ok);
    EXPECT_EQ(live_blocks, before);
    for (long k = 0; k < made; ++k) {
        handle = reinterpret_cast<Handle*>(&fail_allocation);
        fail_allocation = allocations + k;
        EXPECT_EQ(open(&handle), g723_out_of_memory) << "allocation " << k;
        fail_allocation = -1;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(close(&handle), g723_not_supported);
        EXPECT_EQ(live_blocks, before) << "a partial instance is left after allocation " << k << " failed";
    }
}

TEST(ControlCalls, AllocationFailureGivesNullHandle) {
    expect_every_allocation_failure_handled(g723_encoder_open, g723_encoder_close);
    expect_every_allocation_failure_handled(g723_decoder_open, g723_decoder_close);
}

// Ten thousand open/close cycles of each kind, with a frame in between,
// leave not one block more allocated than before.
TEST(ControlCalls, OpenCloseCyclesDoNotGrow) {
    const long before = live_blocks;
    int16_t pcm[G723_FRAME_SAMPLES] = {};
    uint8_t slot[G723_SLOT_BYTES] = {};
    int32_t n = 0;
    for (int cycle = 0; cycle < 10000; ++cycle) {
        g723_encoder* encoder = nullptr;
        g723_decoder* decoder = nullptr;
        ASSERT_EQ(g723_encoder_open(&encoder), g723_ok);
        ASSERT_EQ(g723_decoder_open(&decoder), g723_ok);
        if (cycle % 100 == 0) {
            pcm[cycle % G723_FRAME_SAMPLES] = 1000;
            g723_encode_frame(encoder, pcm, slot, &n);
            g723_decode_frame(decoder, slot, pcm, 0, &n);
        }
        ASSERT_EQ(g723_encoder_close(&encoder), g723_ok);
        ASSERT_EQ(g723_decoder_close(&decoder), g723_ok);
    }
    EXPECT_EQ(live_blocks, before);
}

}  // namespace
}  // namespace g723
