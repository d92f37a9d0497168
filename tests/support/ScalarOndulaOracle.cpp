#include "ScalarOndulaOracle.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
constexpr int N = 8388608;

float clamp (float v, float lo, float hi) { return v < lo ? lo : std::min (v, hi); }
float clamp01 (float v) { return clamp (v, 0.0f, 1.0f); }

float F (float c) { return std::pow (10.0f, 1.0f + 2.9542425f * c); }
float B (float c) { return std::pow (c, 1.5f) * 14.75f + 0.25f; }

float gridPosition (bool triplet, int t)
{
    if (! triplet)
        return (float) t / 2.0f;

    const double offsets[4] = { 0.0, 2.0 / 3.0, 1.0, 4.0 / 3.0 };
    return (float) (2.0 * std::floor (t / 4) + offsets[t % 4]);
}

void smooth (float& s, float v) { s = 0.95f * s + 0.05f * v; }
void smooth (int& s, float v) { s = (int) (0.95f * (float) s + 0.05f * v); }

struct TapTargets
{
    float delay, baseDelay, frequency, bandwidth, amplitude, pan, gain;
};

/** One smoothing step of a tap's record towards its targets, or, on a settling piece, the
    targets themselves. */
template <typename Record>
void stepTowards (Record& tap, bool settle, const TapTargets& target)
{
    if (settle)
    {
        tap.delayOndula = (int) target.delay;
        tap.delayBase = (int) target.baseDelay;
        tap.frequency = target.frequency;
        tap.bandwidth = target.bandwidth;
        tap.amplitude = target.amplitude;
        tap.pan = target.pan;
        tap.gain = target.gain;
        return;
    }

    smooth (tap.delayOndula, target.delay);
    smooth (tap.delayBase, target.baseDelay);
    smooth (tap.frequency, target.frequency);
    smooth (tap.bandwidth, target.bandwidth);
    smooth (tap.amplitude, target.amplitude);
    smooth (tap.pan, target.pan);
    smooth (tap.gain, target.gain);
}

// The warm-up's own maps (the pieces that only bring the records up): plain IEEE arithmetic, the
// same on every instruction set.

/** sin (x pi / 2) for x in 0..1: its Taylor series to x^13, by Horner's rule in x^2. */
float quarterSine (float x)
{
    const float c[7] { 1.57079637f, -0.645964086f, 0.0796926245f, -0.00468175393f, 0.000160441181f, -3.59884325e-06f,
                       5.69217278e-08f };
    const float x2 = x * x;
    float p = c[6];

    for (int k = 5; k >= 0; --k)
        p = p * x2 + c[k];

    return x * p;
}

/** 10^y for y in 1..4: 2^n times the Taylor series of e^(r ln 10) to r^7, with
    r = y - n log10 2 (log10 2 in two parts, the first of 15 bits). */
float warmUpPowerOfTen (float y)
{
    const float c[8] { 1.0f, 2.30258512f, 2.650949f, 2.0346787f, 1.17125511f, 0.539382935f, 0.206995845f, 0.068089366f };
    const int n = (int) (y * 3.32192802f + 0.5f);
    const float r = (y - (float) n * 0.301025390625f) - (float) n * 4.60503907e-06f;
    float p = c[7];

    for (int k = 6; k >= 0; --k)
        p = p * r + c[k];

    return p * std::ldexp (1.0f, n);
}

/** sin and cos of 2 pi turn, from the quarter wave. */
void travelWave (float turn, float& sine, float& cosine)
{
    const float x = turn * 4.0f;
    const int quarter = (int) x;
    const float r = x - (float) quarter;
    const float rising = quarterSine (r), falling = quarterSine (1.0f - r);
    const float waves[4][2] { { rising, falling }, { falling, -rising }, { -rising, -falling }, { -falling, rising } };
    sine = waves[quarter][0];
    cosine = waves[quarter][1];
}
} // namespace

ScalarOndulaOracle::ScalarOndulaOracle (const ParameterMappingFunctions& mappings, bool rightChannel, float sampleRate)
    : mapping (mappings), right (rightChannel), fs (sampleRate),
      piece (std::max (1, (int) std::lround ((double) sampleRate * 512.0 / 48000.0))), line ((size_t) N, 0.0f)
{
    feedback.frequency = 0.5f;
    previousFeedback.frequency = 0.5f;
}

float ScalarOndulaOracle::timeUnit() const
{
    return mapping.time_unit_seconds (s->time, s->timeMode);
}

float ScalarOndulaOracle::velocityHz() const
{
    return mapping.velocity_hz (s->rawVelocity, s->velocityMode);
}

float ScalarOndulaOracle::ondulaValue (int p, int t, double tau, bool withOffset) const
{
    const float S = s->ondulaScale[p];
    const float phi = s->ondulaPhase[p];
    const float x = gridPosition (s->onTripletGrid, t) * timeUnit();
    const float L = (17.0f * s->wavelength) * timeUnit();
    const float twoPi = 6.2831855f;
    const float A = (twoPi * x) / L;
    const float P = (phi + s->phase) * twoPi;
    // The wave's travel in turns, reduced to one turn in double before it becomes a float.
    const double cycles = (double) ((velocityHz() * L) / L) * tau;
    float turn = std::isfinite (cycles) ? (float) (cycles - std::floor (cycles)) : 0.0f;
    turn = turn < 1.0f ? turn : 0.0f;
    const float V = turn * twoPi;
    float result = 0.5f * S * std::sin (A + (P - V));

    if (withOffset)
        result = result + S;

    return result;
}

void ScalarOndulaOracle::design (float f0, float bw, Record& r) const
{
    IIRFilter<float> filter;
    filter.sampleRate = fs;
    filter.makeBiquadFlatBand (f0, bw);
    r.b0 = filter.bNorm[0];
    r.b1 = filter.bNorm[1];
    r.b2 = filter.bNorm[2];
    r.a0 = filter.aNorm[0];
    r.a1 = filter.aNorm[1];
    r.a2 = filter.aNorm[2];
}

void ScalarOndulaOracle::renderPath (const Record& from, const Record& to, bool silent, History& h, int n, float* out) const
{
    // Every value starts at its previous-piece value and moves by one step per ramp position: at
    // each position that is a multiple of 64 it is set to start + position * step, and in between
    // the step is added.
    const float r = (float) (1.0 / piece);
    const float g0 = silent ? 0.0f : from.gain;
    const float g1 = silent ? 0.0f : to.gain;
    const float starts[7] { 0.0f, from.b0, from.b1, from.b2, from.a1, from.a2, g0 };
    const float steps[7] { (float) (to.delayOndula - from.delayOndula) * (1.0f / (float) piece),
                           (to.b0 - from.b0) * r, (to.b1 - from.b1) * r, (to.b2 - from.b2) * r,
                           (to.a1 - from.a1) * r, (to.a2 - from.a2) * r, (g1 - g0) * r };
    float v[7] {};

    for (int i = 0; i < n; ++i)
    {
        const int j = position + i;

        if (i == 0 || j % 64 == 0)
        {
            const int chunkStart = j - j % 64;

            for (int q = 0; q < 7; ++q)
            {
                v[q] = starts[q] + (float) chunkStart * steps[q];

                for (int k = chunkStart; k < j; ++k)
                    v[q] = v[q] + steps[q];
            }
        }

        const float moved = v[0], b0 = v[1], b1 = v[2], b2 = v[3], a1 = v[4], a2 = v[5], gain = v[6];
        const float x = line[(size_t) ((N + blockStart + i - from.delayOndula - (int) moved) % N)];
        float y = b0 * x + b1 * h.x1 + b2 * h.x2 - a1 * h.y1 - a2 * h.y2;

        if (y > 1.0f)
            y = 1.0f;
        if (y < -1.0f)
            y = -1.0f;

        out[i] = gain * y;
        h.x3 = h.x2; h.x2 = h.x1; h.x1 = x;
        h.y3 = h.y2; h.y2 = h.y1; h.y1 = y;

        for (int q = 0; q < 7; ++q)
            v[q] = v[q] + steps[q];
    }
}

void ScalarOndulaOracle::process (float* samples, int n, const OndulaDelay::Settings& settings)
{
    s = &settings;

    if (moved)
        settleAtTimeline();

    for (int done = 0; done < n;)
    {
        if (position == 0)
            startPiece (streamPosition, false);

        const int length = std::min (n - done, piece - position);
        renderStretch (samples + done, length);
        done += length;
    }
}

void ScalarOndulaOracle::settleAtTimeline()
{
    // The records at the position are those of the piece holding it (at a piece's start, of the
    // piece before): 198 warm-up pieces from records settled on the first one's targets, then two
    // pieces as in playback, and the feedback path settled on its targets. Near the bottom of the
    // int64 range the warm-up ends at the lowest piece whose 200 predecessors can be named.
    const long long pieceIndex = streamPosition >= 0 ? streamPosition / piece : -((-(streamPosition + 1)) / piece) - 1;
    const int offset = (int) (streamPosition - pieceIndex * piece);
    const long long lowest = std::numeric_limits<long long>::min() / piece + 201;
    const long long standing = std::max (offset == 0 ? pieceIndex - 1 : pieceIndex, lowest);

    for (int j = 200; j >= 2; --j)
        warmUpPiece ((standing - j) * piece, j == 200);

    // The lanes' band-passes start from rest and run over a quarter of a piece before the position
    // with the records playback would have used there; their output is not heard.
    for (auto& group : laneHistory)
        for (auto& lane : group)
            lane = {};

    const int runIn = std::max (1, piece / 4);
    std::vector<float> discarded ((size_t) runIn);
    const auto runLanes = [&] (int rampStart, int n, int back)
    {
        position = rampStart;
        blockStart = (N + writeIndex - back) % N;
        renderLanes (n, discarded.data());
    };

    startPiece ((standing - 1) * piece, false);

    if (offset > 0 && offset < runIn)
        runLanes (piece - (runIn - offset), runIn - offset, runIn);

    startPiece (standing * piece, false);

    if (offset > 0)
        runLanes (std::max (0, offset - runIn), std::min (offset, runIn), std::min (offset, runIn));
    else
        runLanes (piece - runIn, runIn, runIn);

    const auto& settings = *s;
    const float Dfb = clamp ((16.0f * timeUnit()) * fs, 0.0f, 6144000.0f);
    feedback.delayOndula = feedback.delayBase = (int) Dfb;
    feedback.frequency = F (clamp01 (settings.feedbackFrequency));
    feedback.bandwidth = B (clamp01 (settings.feedbackWidth));
    feedback.gain = feedback.amplitude = clamp01 (settings.feedbackAmplitude);
    feedback.pan = clamp01 (settings.feedbackPan);
    design (feedback.frequency, feedback.bandwidth, feedback);
    feedback.enabled = true;
    previousFeedback = feedback;

    position = offset;
    moved = false;
}

void ScalarOndulaOracle::warmUpPiece (long long pieceStart, bool first)
{
    // The targets of a piece that only brings the records up: the wave of quantity p at tap t is
    // sin (a) cos (v) - cos (a) sin (v), with a the tap's angle and v the travel; the maps are the
    // warm-up's own. The smoothing is playback's; nothing is designed.
    const auto& settings = *s;
    const float T = timeUnit();
    const float L = (17.0f * settings.wavelength) * T;
    const double cycles = (double) ((velocityHz() * L) / L) * ((double) pieceStart / (double) (int) fs);
    float turn = std::isfinite (cycles) ? (float) (cycles - std::floor (cycles)) : 0.0f;
    turn = turn < 1.0f ? turn : 0.0f;
    float sinV = 0.0f, cosV = 0.0f;
    travelWave (turn, sinV, cosV);

    for (int t = 0; t < 32; ++t)
    {
        const float* row = settings.tapTable[t];
        const float x = gridPosition (settings.onTripletGrid, t) * T;
        const float A = (6.2831855f * x) / L;
        float wave[5];

        for (int p = 0; p < 5; ++p)
        {
            const float a = A + (settings.ondulaPhase[p] + settings.phase) * 6.2831855f;
            wave[p] = (0.5f * settings.ondulaScale[p]) * (std::sin (a) * cosV - std::cos (a) * sinV);
        }

        const float LV = clamp (L * velocityHz(), 0.5f, 4.0f);
        const float baseDelay = clamp ((gridPosition (settings.onTripletGrid, t) * T) * fs, 0.0f, 6144000.0f);
        const float depth = (((settings.wavelength * T) * 16384.0f) / LV) * settings.amount * row[8];
        const float delayTarget = clamp (depth * (wave[4] + settings.ondulaScale[4]) + baseDelay, 0.0f, 6144000.0f);

        float c[4];
        for (int q = 0; q < 4; ++q)
            c[q] = clamp01 ((settings.amount * row[4 + q]) * wave[q] + row[q]);

        const float frequency = warmUpPowerOfTen (1.0f + 2.9542425f * c[0]);
        const float bandwidth = (c[1] * std::sqrt (c[1])) * 14.75f + 0.25f;
        const float side = right ? c[3] : 1.0f - c[3];
        const float gain = settings.tapEnabled[t] ? c[2] * std::sqrt (side * quarterSine (side)) : 0.0f;

        Record& tap = taps[t];

        stepTowards (tap, first, { delayTarget, baseDelay, frequency, bandwidth, c[2], c[3], gain });
    }
}

void ScalarOndulaOracle::startPiece (long long pieceStart, bool first)
{
    const auto& settings = *s;
    const double tau = (double) pieceStart / (double) (int) fs;

    // Feedback path.
    const float Dfb = clamp ((16.0f * timeUnit()) * fs, 0.0f, 6144000.0f);
    const float Ffb = F (clamp01 (settings.feedbackFrequency));
    const float Bfb = B (clamp01 (settings.feedbackWidth));
    const float Gfb = clamp01 (settings.feedbackAmplitude);
    const float panFb = clamp01 (settings.feedbackPan);

    previousFeedback = feedback;

    if (first)
    {
        feedback.delayOndula = feedback.delayBase = (int) Dfb;
        feedback.frequency = Ffb;
        feedback.bandwidth = Bfb;
        feedback.gain = feedback.amplitude = Gfb;
        feedback.pan = panFb;
    }
    else
    {
        smooth (feedback.delayOndula, Dfb);
        smooth (feedback.delayBase, Dfb);
        smooth (feedback.frequency, Ffb);
        smooth (feedback.bandwidth, Bfb);
        smooth (feedback.gain, Gfb);
        smooth (feedback.amplitude, Gfb);
        smooth (feedback.pan, panFb);
    }

    design (Ffb, Bfb, feedback);
    feedback.enabled = true;

    if (first)
        previousFeedback = feedback;

    // Taps.
    for (int t = 0; t < 32; ++t)
    {
        const float* row = settings.tapTable[t];
        const float T = timeUnit();
        const float pos = gridPosition (settings.onTripletGrid, t);

        const float L = (17.0f * settings.wavelength) * T;
        const float LV = clamp (L * velocityHz(), 0.5f, 4.0f);
        const float baseDelay = clamp ((pos * T) * fs, 0.0f, 6144000.0f);
        const float depth = (((settings.wavelength * T) * 16384.0f) / LV) * settings.amount * row[8];
        const float R4 = ondulaValue (4, t, tau, true);
        const float delayTarget = clamp (depth * R4 + baseDelay, 0.0f, 6144000.0f);

        float c[4];
        for (int q = 0; q < 4; ++q)
            c[q] = clamp01 ((settings.amount * row[4 + q]) * ondulaValue (q, t, tau, false) + row[q]);

        const float frequency = F (c[0]);
        const float bandwidth = B (c[1]);
        float gain = 0.0f;

        if (settings.tapEnabled[t])
        {
            const float p = c[3];
            const float panGain = right ? std::sqrt (p * std::sin (p * 1.5707964f))
                                        : (float) std::sqrt ((1.0 - p) * (double) std::cos (p * 1.5707964f));
            gain = c[2] * panGain;
        }

        Record& tap = taps[t];
        previousTaps[t] = tap;

        stepTowards (tap, first, { delayTarget, baseDelay, frequency, bandwidth, c[2], c[3], gain });

        design (frequency, bandwidth, tap);
        tap.enabled = settings.tapEnabled[t];

        if (first)
            previousTaps[t] = tap;
    }

}

void ScalarOndulaOracle::renderStretch (float* samples, int n)
{
    // Write the input.
    for (int i = 0; i < n; ++i)
        line[(size_t) ((writeIndex + i) % N)] = std::isfinite (samples[i]) ? samples[i] : 0.0f;

    blockStart = writeIndex;
    writeIndex = (N + n + writeIndex) % N;

    // The feedback path reads the line before its own output joins it; every tap hears both.
    std::vector<float> feedbackSignal ((size_t) n);
    renderPath (previousFeedback, feedback, false, feedbackHistory, n, feedbackSignal.data());

    for (int i = 0; i < n; ++i)
        line[(size_t) ((blockStart + i) % N)] += feedbackSignal[(size_t) i];

    std::vector<float> output ((size_t) n, 0.0f);
    renderLanes (n, output.data());

    streamPosition += n;
    position = (position + n) % piece;
    std::copy (output.begin(), output.end(), samples);
}

void ScalarOndulaOracle::renderLanes (int n, float* output)
{
    // Enabled taps take the lanes of groups of four in tap order; the last group is filled up with
    // silent copies of tap 31, and at least one group runs.
    std::vector<float> laneOut ((size_t) n * 4);
    int groupTaps[4] = {};
    bool silentLane[4] = {};
    int g = 0, k = 0;

    const auto runGroup = [&]
    {
        for (int j = 0; j < 4; ++j)
        {
            const int t = groupTaps[j];
            renderPath (previousTaps[t], taps[t], silentLane[j], laneHistory[g][j], n, laneOut.data() + j * n);
        }

        for (int i = 0; i < n; ++i)
        {
            const float groupSum = (laneOut[(size_t) i] + laneOut[(size_t) (n + i)])
                                 + (laneOut[(size_t) (2 * n + i)] + laneOut[(size_t) (3 * n + i)]);
            output[i] = g == 0 ? groupSum : output[i] + groupSum;
        }
    };

    for (int t = 0; t < 32; ++t)
    {
        if (taps[t].enabled)
        {
            groupTaps[k] = t;
            silentLane[k] = false;

            if (++k == 4)
            {
                runGroup();
                ++g;
                k = 0;
            }
        }

        if (t == 31 && (k > 0 || g == 0))
        {
            for (; k < 4; ++k)
            {
                groupTaps[k] = 31;
                silentLane[k] = true;
            }

            runGroup();
            ++g;
            k = 0;
        }
    }

}
