// SPDX-License-Identifier: BSD-2-Clause
// The kernel tables of every path this processor runs, for the tests that
// hold each path to the plain loop's bits.
#pragma once

#include <vector>

#include "g723/dsp/kernel_paths.h"

namespace g723 {

inline std::vector<kernel_table> supported_kernel_tables() {
    std::vector<kernel_table> tables;
    for (kernel_path p : kAllKernelPaths)
        if (kernel_path_supported(p)) tables.push_back(kernels_for(p));
    return tables;
}

}  // namespace g723
