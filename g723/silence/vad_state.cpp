// SPDX-License-Identifier: BSD-2-Clause
#include "g723/silence/vad_state.h"

namespace g723 {

void reset_vad(vad_state& state) {
    state.hangover = 3;
    state.active_count = 0;
    state.frame_energy = 1024.0f;
    state.noise_level = 1024.0f;
    state.adapt_count = 0;
    state.lag_history = {1, 1, 60, 60};
    state.inverse_filter.fill(0.0f);
}

}  // namespace g723
