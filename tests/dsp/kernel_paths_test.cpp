// SPDX-License-Identifier: BSD-2-Clause
// The kernel table of each path the processor supports is that path's own:
// the tests that hold the wide kernels to the plain ones compare the wide
// kernels only if the table hands them out.
#include "g723/dsp/kernel_paths.h"

#include <gtest/gtest.h>

namespace g723 {
namespace {

TEST(kernel_paths, EachSupportedPathHandsOutItsOwnKernels) {
    const kernel_table plain = kernels_for(kernel_path::plain);
    EXPECT_EQ(plain.path, kernel_path::plain);
    for (const kernel_path path : kAllKernelPaths) {
        if (path == kernel_path::plain || !kernel_path_supported(path)) continue;
        const kernel_table wide = kernels_for(path);
        EXPECT_EQ(wide.path, path) << kernel_path_name(path);
        EXPECT_NE(wide.lag_correlations, plain.lag_correlations) << kernel_path_name(path);
        EXPECT_NE(wide.even_lag_correlations, plain.even_lag_correlations) << kernel_path_name(path);
        EXPECT_NE(wide.filter_by_response, plain.filter_by_response) << kernel_path_name(path);
        EXPECT_NE(wide.round_to_pcm, plain.round_to_pcm) << kernel_path_name(path);
    }
    EXPECT_TRUE(kernel_path_supported(kernel_path::plain));
}

}  // namespace
}  // namespace g723
