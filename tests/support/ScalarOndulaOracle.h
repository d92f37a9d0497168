#pragma once

#include "engine/OndulaDelay.h"

#include <vector>

/** A slow, plain rendering of the delay engine's rules: one tap at a time, scalar filters, every
    formula written out as the rules state it. The stream is rendered in control pieces of 512
    samples at 48 kHz (the same time at every rate), whatever the blocks it is handed: at the start
    of each piece the targets are worked out, the records take one smoothing step and the filters
    are designed; across the piece every delay, coefficient and gain moves linearly from the
    previous piece's record to this one's, set exactly at every 64th position and stepping by
    addition in between. The engine's vector code must produce the same samples.
    It reads the engine's settings (what the handlers stored) and the shared tempo context, and
    keeps its own line, records, filter memory and clock. */
class ScalarOndulaOracle
{
public:
    ScalarOndulaOracle (const ParameterMappingFunctions& mappings, bool rightChannel, float sampleRate);

    /** Renders one block in place, as the engine would with the same settings. */
    void process (float* samples, int n, const OndulaDelay::Settings& settings);

    /** Places the next sample at a timeline position, as the engine's move does: pieces on the
        timeline's grid, the records worked out over the pieces before it, the lanes' band-passes
        run in from rest over the samples just before it. */
    void moveToTimeline (long long position) { streamPosition = position; moved = true; }

    /** Samples per control piece at this rate. */
    int pieceLength() const { return piece; }

    /** Moves the write position, as the engine's test hook does. */
    void moveWritePosition (int position) { writeIndex = position; }


    struct Record
    {
        int delayOndula = 0, delayBase = 0;
        float b0 = 1, b1 = 1, b2 = 1, a0 = 1, a1 = 1, a2 = 1;
        float frequency = 0, bandwidth = 1, gain = 1, amplitude = 0, pan = 0;
        bool enabled = true;
    };

    Record taps[32];
    Record feedback;
    long long streamPosition = 0;

private:
    struct History
    {
        float x1 = 0, x2 = 0, x3 = 0, y1 = 0, y2 = 0, y3 = 0;
    };

    float timeUnit() const;
    float ondulaValue (int p, int t, double tau, bool withOffset) const;
    float velocityHz() const;
    void design (float f0, float bw, Record& r) const;
    /** Targets, smoothing steps and designs of the piece starting at a timeline position; with
        `settle`, the records take the targets as they are. */
    void startPiece (long long pieceStart, bool settle);
    void settleAtTimeline();
    /** A piece before a new position that only brings the tap records up (the first is settled). */
    void warmUpPiece (long long pieceStart, bool first);
    /** n samples of the current piece from ramp position `position` on, in place. */
    void renderStretch (float* samples, int n);
    /** The taps of n samples from ramp position `position`, reading the line from blockStart. */
    void renderLanes (int n, float* output);
    /** Delayed read and ramped biquad of one path over n samples from ramp position `position`;
        writes gain * clamped output into out. */
    void renderPath (const Record& from, const Record& to, bool silent, History& h, int n, float* out) const;

    const ParameterMappingFunctions& mapping;
    const bool right;
    const float fs;
    const int piece;
    int position = 0;
    bool moved = true;
    std::vector<float> line;
    int writeIndex = 0;
    int blockStart = 0;
    Record previousTaps[32];
    Record previousFeedback;
    History feedbackHistory;
    History laneHistory[8][4];
    const OndulaDelay::Settings* s = nullptr;
};
