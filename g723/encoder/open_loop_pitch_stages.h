// SPDX-License-Identifier: BSD-2-Clause
// The two stages of the open-loop pitch estimate, apart so that each one's
// search rules can be checked on its own.
#pragma once

#include <cstdint>

namespace g723 {

// Coarse search on the 2:1 decimated half frame (reads half_frame[-145] ..
// half_frame[119]); returns twice the best decimated lag, clamped to 20..143.
int32_t coarse_pitch_candidate(const float* half_frame);

// Full-rate choice among candidate - 1, candidate, candidate + 1 (reads
// half_frame[-candidate - 2] .. half_frame[119]).
int32_t refine_pitch_candidate(const float* half_frame, int32_t candidate);

}  // namespace g723
