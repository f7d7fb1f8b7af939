// SPDX-License-Identifier: BSD-2-Clause
#include "g723/dsp/kernel_paths.h"

#include <cstdlib>
#include <cstring>

#include "g723/dsp/autocorrelation.h"
#include "g723/dsp/even_lag_correlations.h"
#include "g723/dsp/lag_correlations.h"
#include "g723/dsp/pcm_rounding.h"
#include "g723/dsp/postfilter_sections.h"
#include "g723/dsp/response_filter.h"
#include "g723/dsp/weighted_synthesis.h"

namespace g723 {

const char* kernel_path_name(kernel_path path) {
    switch (path) {
        case kernel_path::plain: return "plain";
        case kernel_path::sse2: return "sse2";
        case kernel_path::avx2: return "avx2";
        case kernel_path::avx512: return "avx512";
    }
    return "plain";
}

bool kernel_path_supported(kernel_path path) {
    switch (path) {
        case kernel_path::plain: return true;
#if G723_SSE2_KERNELS
        case kernel_path::sse2: return true;
#endif
#if G723_X86_KERNELS
        case kernel_path::avx2:
            // May run before the C library's own constructors have
            // filled in the processor's features.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
        case kernel_path::avx512:
            // The path uses AVX2 kernels beside its own.
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f");
#endif
        default: return false;
    }
}

kernel_table kernels_for([[maybe_unused]] kernel_path path) {
    using namespace paths;
    kernel_table t{kernel_path::plain,
                   lag_correlations_plain,
                   even_lag_correlations_plain,
                   postfilter_zero_part_plain,
                   postfilter_pole_part_plain,
                   postfilter_pole_part_and_gain_scaling_plain,
                   filter_by_response_plain,
                   autocorrelation_plain,
                   round_to_pcm_plain,
                   weighted_synthesis_narrow};
#if G723_SSE2_KERNELS
    const bool from_sse2 = path == kernel_path::sse2 || path == kernel_path::avx2 || path == kernel_path::avx512;
    if (from_sse2) {
        t.path = kernel_path::sse2;
        t.lag_correlations = lag_correlations_sse2;
        t.even_lag_correlations = even_lag_correlations_sse2;
        t.postfilter_zero_part = postfilter_zero_part_sse2;
        t.postfilter_pole_part = postfilter_pole_part_sse2;
        t.postfilter_pole_part_and_gain_scaling = postfilter_pole_part_and_gain_scaling_sse2;
        t.filter_by_response = filter_by_response_sse2;
        t.autocorrelation = autocorrelation_sse2;
        t.round_to_pcm = round_to_pcm_sse2;
    }
#endif
#if G723_X86_KERNELS
    if (path == kernel_path::avx2 || path == kernel_path::avx512) {
        // The pole recursion is bound by its chain of sums, not by width: it
        // keeps the SSE2 kernel.
        t.path = kernel_path::avx2;
        t.lag_correlations = lag_correlations_avx2;
        t.even_lag_correlations = even_lag_correlations_avx2;
        t.postfilter_zero_part = postfilter_zero_part_avx2;
        t.filter_by_response = filter_by_response_avx2;
        t.autocorrelation = autocorrelation_avx2;
        t.round_to_pcm = round_to_pcm_avx2;
    }
    if (path == kernel_path::avx512) {
        // The even-lag correlations and the rounding keep their AVX2
        // kernels, the formant pole recursion its SSE2 kernel. The synthesis
        // and pole-zero filters alone keep the narrow window too: their
        // recursions are bound by one chain of sums, which the wide
        // window's lane moves (three cycles against one) make longer; the
        // weighted synthesis, with two recursions side by side, gains.
        t.path = kernel_path::avx512;
        t.lag_correlations = lag_correlations_avx512;
        t.postfilter_zero_part = postfilter_zero_part_avx512;
        t.filter_by_response = filter_by_response_avx512;
        t.autocorrelation = autocorrelation_avx512;
        t.weighted_synthesis = weighted_synthesis_avx512;
    }
#endif
    return t;
}

namespace {

kernel_path chosen_path() {
    kernel_path widest = kernel_path::plain;
    for (kernel_path p : kAllKernelPaths)
        if (kernel_path_supported(p)) widest = p;
    const char* asked = std::getenv("G723_KERNELS");
    if (asked == nullptr) return widest;
    for (kernel_path p : kAllKernelPaths)
        if (std::strcmp(asked, kernel_path_name(p)) == 0 && kernel_path_supported(p)) return p;
    return widest;
}

}  // namespace

const kernel_table& kernels() {
    // Initialised once, thread-safely, whichever caller comes first; never
    // changed afterwards.
    static const kernel_table chosen = kernels_for(chosen_path());
    return chosen;
}

namespace {
// The choice is made when the library is loaded, before any instance exists.
[[maybe_unused]] const kernel_table& chosen_at_load = kernels();
}  // namespace

}  // namespace g723
