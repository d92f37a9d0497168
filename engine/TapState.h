#pragma once

#include <cstdint>

/** What one tap (or the feedback path) plays in the current block: its delays, its normalised
    band-pass coefficients and its smoothed controls. Plain data: the per-tap filter graph copies
    an engine's 32 records byte for byte under the engine's mutex. */
struct TapState
{
    int32_t delayOndula = 0; // samples, with the Ondula modulation, smoothed
    int32_t delayBase = 0;   // samples, grid delay only, smoothed
    float b0 = 1.0f, b1 = 1.0f, b2 = 1.0f; // band-pass numerator divided by a0
    float a0 = 1.0f, a1 = 1.0f, a2 = 1.0f; // band-pass denominator divided by a0
    float frequency = 0.0f; // Hz, smoothed
    float bandwidth = 1.0f; // octaves, smoothed
    float gain = 1.0f;      // amplitude times the pan law, smoothed
    float amplitude = 0.0f; // 0..1, smoothed
    float pan = 0.0f;       // 0 left .. 1 right, smoothed
    bool enabled = true;    // the tap sounds in this block
};
