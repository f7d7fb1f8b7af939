#include "g723/silence/encoder_comfort_noise.h"

namespace g723 {

void update_cng_autocorrelation(const subframe_autocorrelations& acfs, encoder_cng_state& state) {
    for (int entry = 3; entry > 0; --entry) state.acf_history[entry] = state.acf_history[entry - 1];
    for (int k = 0; k < kAcfLength; ++k)
        state.acf_history[0][k] = ((acfs[0][k] + acfs[1][k]) + acfs[2][k]) + acfs[3][k];
}

}  // namespace g723
