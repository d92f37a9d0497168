#pragma once

#include "engine/TapLaneKernel.h"

#include <cstdint>

/** The smoothed per-tap records that continuous playback would have left at a new timeline
    position, worked out over the control pieces before it: settled on the first piece's targets,
    then one smoothing step per piece towards that piece's targets, as the engine's own pieces
    step.

    These pieces only bring the records up; nothing they compute is heard directly. Their wave and
    their maps are therefore worked out with plain IEEE arithmetic (additions, multiplications,
    square roots; no fused operations, no library calls per piece) instead of the library calls of
    the pieces that play: the sine of the travelling wave as sin a cos v - cos a sin v, from each
    tap's angle a (one library call per tap and warm-up) and the wave's travel v (a quarter-wave
    polynomial per piece), the centre frequency's power of ten and the pan laws from polynomials,
    the width's power 1.5 as c sqrt c. One source serves every instruction set (as the lane
    kernel's does) and a plain rendering serves builds without vectors; every path, and the tests'
    scalar reference, gives the same records bit for bit. */
class WarmUpKernel
{
public:
    static constexpr int numTaps = 32;
    static constexpr int numWaves = 5; // frequency, bandwidth, amplitude, pan, delay
    static constexpr int maxPieces = 256;

    /** Everything the records depend on: an engine keeps the inputs of its last warm-ups with
        their results, and takes a result again when the inputs agree byte for byte. */
    struct Inputs
    {
        // Piece k starts at firstPieceStart + k * pieceLength; the wave turns cyclesPerSecond
        // times a second of the timeline. These come first: engines whose first bytes agree up
        // to angle travel alike.
        int64_t firstPieceStart;
        int32_t pieceLength, pieces, sampleRate;
        float cyclesPerSecond;

        // The wave of quantity p at tap t is sin (angle[p][t] - v) at travel v. Quantities with
        // the same angles as an earlier one read that one's (source); a tap's angle is worked out
        // only where some quantity needs it (wanted), and is 0 elsewhere.
        float angle[numWaves][numTaps];
        float halfScale[numWaves];     // half of each quantity's scale
        float delayScale;              // the delay wave's offset: its whole scale
        float depth[numTaps];          // delay samples per unit of the delay wave
        float baseDelay[numTaps];      // the grid delay, samples
        float weight[4][numTaps];      // amount times each tap's weight, for the four controls
        float base[4][numTaps];        // the automation columns
        int32_t source[numWaves];
        uint8_t wanted[numWaves][numTaps];

        // The pan law: the channel and the taps that sound. Everything above is what two engines
        // of a pair may share.
        uint8_t enabled[numTaps];
        int32_t rightChannel;
    };

    /** The records after the warm-up: one array per field. */
    struct Records
    {
        int32_t delayOndula[numTaps], delayBase[numTaps];
        float frequency[numTaps], bandwidth[numTaps], amplitude[numTaps], pan[numTaps], gain[numTaps];
    };

    /** One engine's warm-up: its inputs, the wave's travel at each piece's start in turns
        (0 <= turn < 1, inputs.pieces of them) and where its records go. */
    struct Job
    {
        const Inputs* inputs;
        const float* turns;
        Records* records;
    };

    /** Works the records out for count (1 or 2) engines on the given path (automatic: the fastest
        one). Two engines whose inputs agree but for the pan law share the work. */
    static void run (TapLaneKernel::Path path, const Job* jobs, int count) noexcept;
};
