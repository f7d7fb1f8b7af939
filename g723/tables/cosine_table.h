// SPDX-License-Identifier: BSD-2-Clause
// One period of the cosine in LSP units: entry i is cos(pi * i / 256).
#pragma once

#include <array>

namespace g723 {

inline constexpr int kCosineTableSize = 512;
extern const std::array<float, kCosineTableSize> cosine_table;

}  // namespace g723
