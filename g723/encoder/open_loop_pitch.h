// SPDX-License-Identifier: BSD-2-Clause
// Open-loop pitch estimate of a half frame of weighted speech: a coarse
// search on the 2:1 decimated signal, refined at full rate.
#pragma once

#include <cstdint>

namespace g723 {

// half_frame points at the first of the half frame's 120 samples; reads
// half_frame[-145] .. half_frame[119]. Returns a lag in 19..144.
int32_t estimate_open_loop_pitch(const float* half_frame);

}  // namespace g723
