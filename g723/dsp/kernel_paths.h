// SPDX-License-Identifier: BSD-2-Clause
// The instruction-set paths of the vector kernels, and the one place where
// the library chooses among them.
//
// Every kernel of this folder that has vector code keeps a plain C++ loop
// beside it that defines its operations and their order; the SSE2 and AVX2
// paths perform exactly those operations in that order, lane by lane, so
// every path gives the same bits (no fused multiply-add, no reassociation).
// The path is chosen once, when the library is loaded, from the processor's
// features: the widest one it supports, or a narrower one named by the
// environment variable G723_KERNELS (plain, sse2, avx2 or avx512), which the
// tests use to run the whole codec on each path in turn. A name the
// processor cannot run, or does not know, leaves the widest supported path.
//
// The recursive filters (synthesis, pole-zero weighting, weighted synthesis)
// run on a window of partial sums (filter_window.h) that is SSE2 wherever the
// target has it, chosen when compiling (its plain lanes, with the same bits,
// serve other targets); only the weighted synthesis is in the table, its
// AVX-512 kernel holding the window in one register instead of three.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g723/tables/codec_constants.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
// Vector paths for x86: SSE2 is part of the target, AVX2 is compiled per
// function (target attribute) and used only where the processor has it.
#define G723_X86_KERNELS 1
#define G723_SSE2_KERNELS 1
#define G723_TARGET_AVX2 __attribute__((target("avx2")))
// AVX-512 (Foundation only) per function likewise. A kernel written once as
// a template over its lanes (filter_window.h) is compiled for AVX-512 by
// including its template between these two marks, which compile every
// function defined between them for AVX-512 (the template's instances
// included), whether or not the compiler inlines anything.
#define G723_TARGET_AVX512 __attribute__((target("avx512f")))
#if defined(__clang__)
#define G723_BEGIN_AVX512_REGION \
    _Pragma("clang attribute push(__attribute__((target(\"avx512f\"))), apply_to = function)")
#define G723_END_AVX512_REGION _Pragma("clang attribute pop")
#else
#define G723_BEGIN_AVX512_REGION _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f\")")
#define G723_END_AVX512_REGION _Pragma("GCC pop_options")
#endif
#elif defined(__wasm_simd128__) && defined(__SSE2__)
// WebAssembly with its 128-bit SIMD: the SSE2 kernels, compiled through the
// compiler's SSE2 headers, which turn each of their operations into the
// vector instruction with the same lane-wise IEEE result; SIMD is part of
// the target, so the SSE2 path is the widest.
#define G723_X86_KERNELS 0
#define G723_SSE2_KERNELS 1
#else
#define G723_X86_KERNELS 0
#define G723_SSE2_KERNELS 0
#endif

namespace g723 {

enum class kernel_path { plain, sse2, avx2, avx512 };

inline constexpr kernel_path kAllKernelPaths[] = {kernel_path::plain, kernel_path::sse2, kernel_path::avx2,
                                                  kernel_path::avx512};

const char* kernel_path_name(kernel_path path);
bool kernel_path_supported(kernel_path path);

// Fixed extents of the correlation kernels (see their headers).
inline constexpr int kCorrelationLags = 64;
inline constexpr int kCorrelationLength = 60;
inline constexpr int kEvenLags = kSubframeSamples / 2;
// The LPC analysis block: a subframe and 60 samples either side.
inline constexpr int kAnalysisLength = 3 * kSubframeSamples;

// The kernels of one path. Each entry's contract is that of the plain
// function in the kernel's own header.
struct kernel_table {
    kernel_path path;
    void (*lag_correlations)(std::span<float, kCorrelationLags> out, const float* x, int min_lag);
    void (*even_lag_correlations)(std::span<float, kEvenLags> out, const float* a, const float* h);
    void (*postfilter_zero_part)(std::span<float, kSubframeSamples> out, const float* s, const lpc_vector& b);
    void (*postfilter_pole_part)(float* u, std::span<const float, kSubframeSamples> zero_part,
                                 const lpc_vector& c);
    void (*postfilter_pole_part_and_gain_scaling)(float* u, std::span<const float, kSubframeSamples> zero_part,
                                                  const lpc_vector& c, std::span<float, kSubframeSamples> earlier,
                                                  float increment, float& gain_state);
    void (*filter_by_response)(std::span<float, kSubframeSamples> y, std::span<const float, kSubframeSamples> h,
                               const float* x, int count);
    void (*autocorrelation)(std::span<float, kLpcOrder + 1> r, std::span<const float, kAnalysisLength> s);
    void (*round_to_pcm)(std::span<const float, kFrameSamples> in, std::span<int16_t, kFrameSamples> out);
    void (*weighted_synthesis)(std::span<const float, kSubframeSamples> excitation, const lpc_vector& a,
                               const std::array<float, 2 * kLpcOrder>& w, float* s_mem, float* u_mem);
};

// The table of one path, for the tests that compare paths: call it only for
// a path the processor supports.
kernel_table kernels_for(kernel_path path);

// The table chosen at load.
const kernel_table& kernels();

}  // namespace g723
