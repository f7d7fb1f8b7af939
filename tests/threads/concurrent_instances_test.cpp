// SPDX-License-Identifier: BSD-2-Clause
// Many instances on many threads: 16 encoders and 16 decoders, each with its
// own input and settings, handed from thread to thread at random by 8 worker
// threads. Each instance is owned by whichever worker holds its lock, so calls
// on one instance never overlap while calls on different instances run side by
// side. Every instance must produce bit for bit what it produces alone on one
// thread: no instance may see another's state, nor anything shared that
// changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "g723/g723.h"
#include "tests/support/codec_test_support.h"
#include "tests/codec/silence_test_signals.h"

namespace {

constexpr int kEncoders = 16;
constexpr int kDecoders = 16;
constexpr int kThreads = 8;
constexpr int kFrames = 40;

using slot = std::array<uint8_t, G723_SLOT_BYTES>;
using samples = std::array<int16_t, G723_FRAME_SAMPLES>;

// One instance's whole job: its settings, its input frames, and its outputs
// (coded slots for an encoder, samples and results for a decoder).
struct job {
    bool is_encoder = true;
    int32_t filter_mode = 1, vad_mode = 1, single_sid = 1;
    std::vector<samples> pcm;           // encoder input
    std::vector<slot> coded;            // decoder input, encoder output
    std::vector<int32_t> lost;          // decoder erasure flags
    std::vector<samples> decoded;       // decoder output
    std::vector<int32_t> results;       // decoder results
    g723_encoder* encoder = nullptr;
    g723_decoder* decoder = nullptr;
    int next = 0;                       // the next frame to process
    int last_thread = -1, thread_changes = 0;
    std::mutex owner;
};

void open(job& j) {
    if (j.is_encoder) {
        ASSERT_EQ(g723_encoder_open(&j.encoder), g723_ok);
        ASSERT_EQ(g723_encoder_set_filter_mode(j.encoder, j.filter_mode), g723_ok);
        ASSERT_EQ(g723_encoder_set_vad_mode(j.encoder, j.vad_mode, j.single_sid), g723_ok);
        j.coded.assign(kFrames, slot{});
    } else {
        ASSERT_EQ(g723_decoder_open(&j.decoder), g723_ok);
        ASSERT_EQ(g723_decoder_set_filter_mode(j.decoder, j.filter_mode), g723_ok);
        j.decoded.assign(kFrames, samples{});
        j.results.assign(kFrames, -1);
    }
    j.next = 0;
}

void close(job& j) {
    if (j.is_encoder) g723_encoder_close(&j.encoder);
    else g723_decoder_close(&j.decoder);
}

// The next frame of one instance, by whoever owns it at the moment.
void step(job& j) {
    const int f = j.next++;
    int32_t n = 0;
    if (j.is_encoder) {
        g723_encode_frame(j.encoder, j.pcm[f].data(), j.coded[f].data(), &n);
    } else {
        j.results[f] = g723_decode_frame(j.decoder, j.coded[f].data(), j.decoded[f].data(), j.lost[f], &n);
    }
}

// Different signals for every encoder: stretches of the sample from
// different places, at different levels, some with noise behind them.
std::vector<samples> encoder_input(const std::vector<int16_t>& speech, int k) {
    std::vector<int16_t> x(speech.begin() + 240 * 7 * k, speech.begin() + 240 * (7 * k + kFrames));
    for (int16_t& s : x) s = static_cast<int16_t>(s >> (k % 3));
    if (k % 4 == 1) x = g723::test::add_noise(x, 30.0 * (k + 1), static_cast<uint32_t>(k));
    std::vector<samples> frames(kFrames);
    for (int f = 0; f < kFrames; ++f) std::copy_n(&x[240 * f], 240, frames[f].begin());
    return frames;
}

TEST(ConcurrentInstances, RandomInterleavingOnEightThreadsMatchesOneThread) {
    const std::vector<int16_t> speech = g723::test::speech_sample();
    ASSERT_GE(speech.size(), 240u * (7 * kEncoders + kFrames)) << "speech sample missing";

    std::vector<job> jobs(kEncoders + kDecoders);
    std::mt19937 rng(7);
    for (int k = 0; k < kEncoders; ++k) {
        job& j = jobs[k];
        j.filter_mode = k % 2;
        j.vad_mode = (k / 2) % 2;
        j.single_sid = (k / 4) % 2;
        j.pcm = encoder_input(speech, k);
    }
    // The reference: every encoder alone, one after the other.
    for (int k = 0; k < kEncoders; ++k) {
        open(jobs[k]);
        while (jobs[k].next < kFrames) step(jobs[k]);
        close(jobs[k]);
    }
    // Decoders take the encoders' streams, some with a few bytes garbled or
    // frames marked lost, with and without postfilter.
    for (int k = 0; k < kDecoders; ++k) {
        job& j = jobs[kEncoders + k];
        j.is_encoder = false;
        j.filter_mode = k % 2;
        j.coded = jobs[k].coded;
        j.lost.assign(kFrames, 0);
        for (int f = 0; f < kFrames; ++f) {
            if (k % 3 == 1 && rng() % 8 == 0) j.lost[f] = 1;
            if (k % 3 == 2 && rng() % 4 == 0) j.coded[f][rng() % G723_SLOT_BYTES] ^= static_cast<uint8_t>(rng());
        }
    }
    std::vector<std::vector<samples>> reference_decoded;
    std::vector<std::vector<int32_t>> reference_results;
    for (int k = 0; k < kDecoders; ++k) {
        job& j = jobs[kEncoders + k];
        open(j);
        while (j.next < kFrames) step(j);
        close(j);
        reference_decoded.push_back(j.decoded);
        reference_results.push_back(j.results);
    }
    std::vector<std::vector<slot>> reference_coded;
    for (int k = 0; k < kEncoders; ++k) reference_coded.push_back(jobs[k].coded);

    // The same jobs again, every instance fresh, on eight threads at random.
    for (job& j : jobs) open(j);
    std::atomic<int> frames_left(static_cast<int>(jobs.size()) * kFrames);
    auto worker = [&](int id) {
        std::mt19937 pick(static_cast<uint32_t>(100 + id));
        while (frames_left.load() > 0) {
            job& j = jobs[pick() % jobs.size()];
            std::unique_lock<std::mutex> own(j.owner, std::try_to_lock);
            if (!own.owns_lock() || j.next == kFrames) continue;
            if (j.last_thread != id) ++j.thread_changes;
            j.last_thread = id;
            step(j);
            --frames_left;
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) threads.emplace_back(worker, id);
    for (std::thread& t : threads) t.join();

    int migrated = 0;
    for (int k = 0; k < kEncoders; ++k) {
        EXPECT_EQ(jobs[k].coded, reference_coded[k]) << "encoder " << k;
        migrated += jobs[k].thread_changes > 1;
    }
    for (int k = 0; k < kDecoders; ++k) {
        const job& j = jobs[kEncoders + k];
        EXPECT_EQ(j.decoded, reference_decoded[k]) << "decoder " << k;
        EXPECT_EQ(j.results, reference_results[k]) << "decoder " << k;
        migrated += j.thread_changes > 1;
    }
    for (job& j : jobs) close(j);
    // The instances really did move between threads mid-stream.
    EXPECT_GT(migrated, kEncoders);

    // The streams are not all alike: silence compression, settings and
    // damage made them differ.
    std::sort(reference_coded.begin(), reference_coded.end());
    EXPECT_EQ(std::unique(reference_coded.begin(), reference_coded.end()), reference_coded.end());
}

}  // namespace
