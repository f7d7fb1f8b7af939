// SPDX-License-Identifier: BSD-2-Clause
// The kernel table of each path the processor supports is that path's own:
// the tests that hold the wide kernels to the plain ones compare the wide
// kernels only if the table hands them out. A path that quietly hands out
// the next narrower path's kernel in place of its own (as the AVX-512 path
// once did with all five of its kernels, while one of them was unsound in
// unoptimised builds) fails here, not silently in those comparisons.
#include "g723/dsp/kernel_paths.h"

#include <gtest/gtest.h>

namespace g723 {
namespace {

// The kernels a path has of its own, each against the next narrower path's
// table; the others it takes from that path.
void expect_own_kernels(kernel_path path, kernel_path narrower) {
    if (!kernel_path_supported(path)) GTEST_SKIP() << kernel_path_name(path) << ": not on this processor";
    SCOPED_TRACE(kernel_path_name(path));
    const kernel_table own = kernels_for(path);
    const kernel_table base = kernels_for(narrower);
    EXPECT_EQ(own.path, path);
    const bool plain_base = narrower == kernel_path::plain;
    const bool avx2_base = narrower == kernel_path::avx2;
    // Every path has its own correlations, response filtering and LPC
    // autocorrelation.
    EXPECT_NE(own.lag_correlations, base.lag_correlations);
    EXPECT_NE(own.filter_by_response, base.filter_by_response);
    EXPECT_NE(own.autocorrelation, base.autocorrelation);
    EXPECT_NE(own.postfilter_zero_part, base.postfilter_zero_part);
    // The even-lag correlations and the rounding stop at AVX2, the pole
    // recursion at SSE2; the weighted synthesis changes only at AVX-512.
    EXPECT_EQ(own.even_lag_correlations != base.even_lag_correlations, !avx2_base);
    EXPECT_EQ(own.round_to_pcm != base.round_to_pcm, !avx2_base);
    EXPECT_EQ(own.postfilter_pole_part != base.postfilter_pole_part, plain_base);
    EXPECT_EQ(own.postfilter_pole_part_and_gain_scaling != base.postfilter_pole_part_and_gain_scaling, plain_base);
    EXPECT_EQ(own.weighted_synthesis != base.weighted_synthesis, avx2_base);
}

TEST(kernel_paths, Sse2HandsOutItsOwnKernels) { expect_own_kernels(kernel_path::sse2, kernel_path::plain); }
TEST(kernel_paths, Avx2HandsOutItsOwnKernels) { expect_own_kernels(kernel_path::avx2, kernel_path::sse2); }
TEST(kernel_paths, Avx512HandsOutItsOwnKernels) { expect_own_kernels(kernel_path::avx512, kernel_path::avx2); }

TEST(kernel_paths, PlainIsAlwaysThereAndNamed) {
    EXPECT_TRUE(kernel_path_supported(kernel_path::plain));
    EXPECT_EQ(kernels_for(kernel_path::plain).path, kernel_path::plain);
    EXPECT_STREQ(kernel_path_name(kernel_path::avx512), "avx512");
}

}  // namespace
}  // namespace g723
