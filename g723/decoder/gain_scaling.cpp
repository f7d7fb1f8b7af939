#include "g723/decoder/gain_scaling.h"

namespace g723 {
namespace {

constexpr float kGainOld = 0.9375f;
constexpr float kGainNew = 0.0625f;
// Slight boost that makes up for the smoothing's lag behind rising levels.
constexpr float kGainCompensation = 1.0625f;

}  // namespace

void scale_postfilter_gain(std::span<float, kSubframeSamples> speech, float ratio,
                           float& gain_scale_state) {
    const float step = kGainNew * ratio;
    float state = gain_scale_state;
    for (float& x : speech) {
        state = kGainOld * state + step;
        x = kGainCompensation * state * x;
    }
    gain_scale_state = state;
}

}  // namespace g723
