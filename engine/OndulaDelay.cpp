#include "engine/OndulaDelay.h"

#include "processor/QuorlStyleCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int lineMask = OndulaDelay::delayLineSize - 1;
constexpr int laneStride = TapLaneKernel::maxLanes;

// Larger host blocks are rendered in pieces; this bounds the scratch memory (8 MiB).
constexpr int largestPiece = 65536;

// Single-precision 2 pi and pi / 2, as the wave and the pan law have always used them.
constexpr float twoPi = 6.2831855f;
constexpr float halfPi = 1.5707964f;

/** lo below lo, else min (v, hi); a NaN (only reachable from absurd host times or tempi) gives lo,
    so no NaN ever reaches a delay or a gain. */
inline float clampTo (float v, float lo, float hi) noexcept
{
    return v >= lo ? std::min (v, hi) : lo;
}

inline float clamp01 (float v) noexcept { return clampTo (v, 0.0f, 1.0f); }

/** Band-pass centre in Hz for a control in 0..1: 10 Hz to 9 kHz (2.9542425 = log10 900). */
inline float centreFrequency (float c) noexcept { return std::pow (10.0f, 1.0f + 2.9542425f * c); }

/** Band-pass width in octaves for a control in 0..1: 0.25 to 15. */
inline float bandwidthOctaves (float c) noexcept { return std::pow (c, 1.5f) * 14.75f + 0.25f; }

inline float smoothTowards (float value, float target) noexcept { return 0.95f * value + 0.05f * target; }

inline int32_t smoothTowards (int32_t value, float target) noexcept
{
    return (int32_t) (0.95f * (float) value + 0.05f * target);
}

/** A tree number read as the nearest float, held to lo..hi; missing, unreadable or non-finite
    values read as 0 (then held), so a corrupt state cannot push the engine outside its tables. */
float readSetting (const juce::ValueTree& node, const juce::Identifier& property, float lo, float hi)
{
    const auto v = (float) (double) node.getProperty (property);
    return std::isfinite (v) ? std::clamp (v, lo, hi) : std::clamp (0.0f, lo, hi);
}

float readNormalised (const juce::ValueTree& node, const juce::Identifier& property)
{
    return readSetting (node, property, 0.0f, 1.0f);
}

/** A mode selector as an int; anything that is not a number of sensible size reads as 0. */
int readMode (const juce::ValueTree& node, const juce::Identifier& property)
{
    const auto v = (double) node.getProperty (property);
    return std::abs (v) < 1.0e6 ? (int) v : 0;
}

struct Grids
{
    float straight[OndulaDelay::numTaps];
    float triplet[OndulaDelay::numTaps];

    Grids()
    {
        static constexpr double tripletOffsets[4] { 0.0, 2.0 / 3.0, 1.0, 4.0 / 3.0 };

        for (int t = 0; t < OndulaDelay::numTaps; ++t)
        {
            straight[t] = (float) t / 2.0f;
            triplet[t] = (float) (2.0 * std::floor (t / 4) + tripletOffsets[t % 4]);
        }
    }
};

const Grids& grids()
{
    static const Grids instance;
    return instance;
}

/** Both channels' engines aim their taps at the same frequencies, bandwidths, delays and
    controls (only the pattern and the pan law differ), so the second engine of a block takes the
    first one's results, filter designs included, when they came from exactly the same inputs.
    Whoever finds it busy (another instance on another thread) simply computes its own. */
struct SharedTapTargets
{
    static constexpr int keySize = OndulaDelay::numTaps * OndulaDelay::numTapColumns + 2 * OndulaDelay::numOndulaQuantities + 8;

    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    bool valid = false;
    float key[keySize];
    float delay[OndulaDelay::numTaps], baseDelay[OndulaDelay::numTaps], frequency[OndulaDelay::numTaps];
    float bandwidth[OndulaDelay::numTaps], amplitude[OndulaDelay::numTaps], pan[OndulaDelay::numTaps];
    float coefficients[OndulaDelay::numTaps][6];
};

SharedTapTargets sharedTapTargets; // constant-initialised: no start-up code, no allocation

namespace ids
{
const juce::Identifier automation ("automation"), ondula ("ondula"), delay ("delay");
const juce::Identifier automationFrequency ("automation_frequency"), automationAmplitude ("automation_amplitude"),
    automationBandwidth ("automation_bandwidth"), automationPan ("automation_pan");
const juce::Identifier ondulaFrequency ("ondula_frequency"), ondulaAmplitude ("ondula_amplitude"),
    ondulaBandwidth ("ondula_bandwidth"), ondulaPan ("ondula_pan"), ondulaDelay ("ondula_delay");
const juce::Identifier delayPattern ("delay_pattern"), globalsOndula ("delay_globals_ondula"),
    globalsTime ("delay_globals_time"), globalsDynamics ("delay_globals_dynamics");
const juce::Identifier value ("value"), scaleY ("scale_y"), curve ("curve"), scale ("scale"), phase ("phase");
const juce::Identifier patternL ("pattern_l"), patternR ("pattern_r"), time ("time"), timeMode ("time_mode"),
    patternMode ("pattern_mode"), wavelength ("wavelength"), velocity ("velocity"), amount ("amount"),
    dry ("dry"), feedbackAmplitude ("feedback_amplitude"), feedbackFrequency ("feedback_frequency"),
    feedbackWidth ("feedback_width");
} // namespace ids
} // namespace

//==================================================================================================
OndulaDelay::OndulaDelay (ParameterMappingFunctions& mappings)
    : mappingFunctions (mappings)
{
    grids(); // built once, before any audio thread can ask for them
    tapPositions.store (tripletGrid(), relaxed);
    feedbackState.frequency = 0.5f;
    previousFeedbackState.frequency = 0.5f;

    for (int t = 0; t < numTaps; ++t)
    {
        const float initial[numTapColumns] { (float) (1000.0 * std::pow (0.8, t)), 0.9f, 0.8f, 0.0f,
                                             1.0f, 1.0f, 1.0f, 1.0f, 1.0f };

        for (int q = 0; q < numTapColumns; ++q)
            tapTable[t][q].store (initial[q], relaxed);

        tapEnabled[t].store (false, relaxed);
    }

    std::memset (&lanes, 0, sizeof (lanes));
}

OndulaDelay::~OndulaDelay()
{
    releaseScratch();
}

const float* OndulaDelay::straightGrid() noexcept { return grids().straight; }
const float* OndulaDelay::tripletGrid() noexcept { return grids().triplet; }

void OndulaDelay::releaseScratch() noexcept
{
    if (scratchAllocation != nullptr)
        ::operator delete (scratchAllocation, std::align_val_t { 64 });

    scratchAllocation = nullptr;
    scratch = nullptr;
    feedbackScratch = nullptr;
    maxBlockSize = 0;
}

void OndulaDelay::prepare (const juce::dsp::ProcessSpec& spec)
{
    const int rows = (int) std::clamp<juce::uint32> (spec.maximumBlockSize, 1, largestPiece);
    const size_t laneBytes = (size_t) rows * laneStride * sizeof (float);
    const size_t feedbackBytes = ((size_t) rows * sizeof (float) + 63) / 64 * 64;
    void* memory = ::operator new (laneBytes + feedbackBytes, std::align_val_t { 64 });
    std::memset (memory, 0, laneBytes + feedbackBytes);

    std::lock_guard<RecursivePriorityMutex> lock (mutex);
    releaseScratch();
    scratchAllocation = memory;
    scratch = static_cast<float*> (memory);
    feedbackScratch = scratch + (size_t) rows * laneStride;
    maxBlockSize = rows;

    // A rate the host cannot mean (not positive, not finite) keeps the previous one.
    if (std::isfinite (spec.sampleRate) && spec.sampleRate >= 1.0 && spec.sampleRate <= 1.0e7)
        sampleRate.store ((int) spec.sampleRate, relaxed);

    const auto rate = (float) sampleRate.load (relaxed);
    feedbackFilter.sampleRate = rate;

    for (auto& filter : groupFilters)
        filter.sampleRate = rate;
}

//==================================================================================================
// Settings

void OndulaDelay::setValueTree (juce::ValueTree tree)
{
    stateTree = tree;

    const auto bindGroup = [this] (const juce::Identifier& groupType,
                                   std::initializer_list<std::pair<juce::Identifier, juce::ValueTree*>> nodes) -> bool
    {
        const auto group = stateTree.getChildWithName (groupType);

        if (! group.isValid())
            return false;

        for (const auto& [type, handle] : nodes)
        {
            const auto child = group.getChildWithName (type);

            if (child.isValid())
            {
                *handle = child;
                handle->addListener (this);
            }
        }

        return true;
    };

    const auto announce = [] (juce::ValueTree& handle, const juce::Identifier& property)
    {
        if (handle.isValid())
            handle.sendPropertyChangeMessage (property);
    };

    if (bindGroup (ids::automation, { { ids::automationFrequency, &automationFrequencyTree },
                                      { ids::automationAmplitude, &automationAmplitudeTree },
                                      { ids::automationBandwidth, &automationBandwidthTree },
                                      { ids::automationPan, &automationPanTree } }))
    {
        for (auto* handle : { &automationFrequencyTree, &automationAmplitudeTree, &automationBandwidthTree, &automationPanTree })
            announce (*handle, ids::value);
    }

    if (bindGroup (ids::ondula, { { ids::ondulaFrequency, &ondulaFrequencyTree },
                                  { ids::ondulaAmplitude, &ondulaAmplitudeTree },
                                  { ids::ondulaBandwidth, &ondulaBandwidthTree },
                                  { ids::ondulaPan, &ondulaPanTree },
                                  { ids::ondulaDelay, &ondulaDelayTree } }))
    {
        for (auto* handle : { &ondulaFrequencyTree, &ondulaAmplitudeTree, &ondulaBandwidthTree, &ondulaPanTree, &ondulaDelayTree })
            announce (*handle, ids::scale);
    }

    if (bindGroup (ids::delay, { { ids::delayPattern, &delayPatternTree },
                                 { ids::globalsOndula, &globalsOndulaTree },
                                 { ids::globalsTime, &globalsTimeTree },
                                 { ids::globalsDynamics, &globalsDynamicsTree } }))
    {
        announce (delayPatternTree, ids::time);
        announce (globalsOndulaTree, ids::wavelength);
        announce (globalsDynamicsTree, ids::dry);
        announce (globalsTimeTree, ids::time);
    }
}

void OndulaDelay::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier&)
{
    const juce::ValueTree node (tree);

    if (tree == automationFrequencyTree)      handleAutomation (node, 0);
    else if (tree == automationBandwidthTree) handleAutomation (node, 1);
    else if (tree == automationAmplitudeTree) handleAutomation (node, 2);
    else if (tree == automationPanTree)       handleAutomation (node, 3);
    else if (tree == ondulaFrequencyTree)     handleOndula (node, 0);
    else if (tree == ondulaBandwidthTree)     handleOndula (node, 1);
    else if (tree == ondulaAmplitudeTree)     handleOndula (node, 2);
    else if (tree == ondulaPanTree)           handleOndula (node, 3);
    else if (tree == ondulaDelayTree)         handleOndula (node, 4);
    else if (tree == delayPatternTree)        handlePattern (node);
    else if (tree == globalsOndulaTree)       handleOndulaGlobals (node);
    else if (tree == globalsTimeTree)         handleTime (node);
}

void OndulaDelay::writeTapColumn (int column, const float (&values)[numTaps])
{
    for (int t = 0; t < numTaps; ++t)
        tapTable[t][column].store (values[t], relaxed);
}

void OndulaDelay::handleAutomation (const juce::ValueTree& node, int quantity)
{
    const float v = readNormalised (node, ids::value);
    const float s = readSetting (node, ids::scaleY, -1.0f, 1.0f);

    QuorlStyleCurve stored;
    stored.fromString (node.getProperty (ids::curve).toString().toStdString());

    // A curve text without a single readable point keeps the column as it was.
    if (stored.points.empty())
        return;

    const QuorlStyleCurve scaled = stored * std::abs (s);
    const float offset = quantity == 3 ? (float) ((double) s * -0.5 + (double) v) : v;
    const QuorlStyleCurve perTap = s >= 0.0f ? offset + scaled : offset - scaled;

    float column[numTaps];

    for (int t = 0; t < numTaps; ++t)
        column[t] = perTap.calculateCurveValue ((float) t / 31.0f);

    writeTapColumn (quantity, column);
}

void OndulaDelay::handleOndula (const juce::ValueTree& node, int quantity)
{
    ondulaRecords[quantity].scale.store (readNormalised (node, ids::scale), relaxed);
    ondulaRecords[quantity].phase.store (readNormalised (node, ids::phase), relaxed);

    QuorlStyleCurve weights;
    weights.fromString (node.getProperty (ids::curve).toString().toStdString());

    if (weights.points.empty())
        return;

    float column[numTaps];

    for (int t = 0; t < numTaps; ++t)
        column[t] = weights.calculateCurveValue ((float) t / 31.0f);

    writeTapColumn (4 + quantity, column);
}

void OndulaDelay::handlePattern (const juce::ValueTree& node)
{
    const auto& property = isRightChannel.load (relaxed) ? ids::patternR : ids::patternL;
    const std::string text = node.getProperty (property).toString().toStdString();

    for (int i = 0; i < numTaps; ++i)
        tapEnabled[i].store ((size_t) i < text.size() && text[(size_t) i] == '1', relaxed);
}

void OndulaDelay::handleOndulaGlobals (const juce::ValueTree& node)
{
    const float w = readNormalised (node, ids::wavelength);
    const float p = readNormalised (node, ids::phase);
    const float v = readNormalised (node, ids::velocity);
    const float a = readNormalised (node, ids::amount);
    const int mode = readMode (node, ids::timeMode);

    if (mode != 0)
        mappingFunctions.velocityTriplet.store (mode == 2, relaxed);

    mappingFunctions.velocitySync.store (mode != 0, relaxed);

    wavelength.store (mappingFunctions.wavelength_value (w), relaxed);
    phase.store (p, relaxed);
    amount.store (a, relaxed);
    rawVelocity.store (v, relaxed);
    velocity.store (mappingFunctions.velocity_hz (v), relaxed);
}

void OndulaDelay::handleTime (const juce::ValueTree& node)
{
    time.store (readNormalised (node, ids::time), relaxed);
    const int patternMode = readMode (node, ids::patternMode);
    const int mode = readMode (node, ids::timeMode);

    tapPositions.store (patternMode != 0 ? tripletGrid() : straightGrid(), relaxed);
    feedbackWidth.store (readNormalised (node, ids::feedbackWidth), relaxed);
    feedbackFrequency.store (readNormalised (node, ids::feedbackFrequency), relaxed);
    feedbackAmplitude.store (readNormalised (node, ids::feedbackAmplitude), relaxed);

    if (mode != 0)
        mappingFunctions.triplet.store (mode == 2, relaxed);

    mappingFunctions.tempoSync.store (mode != 0, relaxed);
}

OndulaDelay::Settings OndulaDelay::currentSettings() const noexcept
{
    Settings s;

    for (int t = 0; t < numTaps; ++t)
    {
        for (int q = 0; q < numTapColumns; ++q)
            s.tapTable[t][q] = tapTable[t][q].load (relaxed);

        s.tapEnabled[t] = tapEnabled[t].load (relaxed);
    }

    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        s.ondulaScale[p] = ondulaRecords[p].scale.load (relaxed);
        s.ondulaPhase[p] = ondulaRecords[p].phase.load (relaxed);
    }

    s.wavelength = wavelength.load (relaxed);
    s.phase = phase.load (relaxed);
    s.amount = amount.load (relaxed);
    s.time = time.load (relaxed);
    s.velocity = velocity.load (relaxed);
    s.rawVelocity = rawVelocity.load (relaxed);
    s.onTripletGrid = tapPositions.load (relaxed) == tripletGrid();
    s.feedbackFrequency = feedbackFrequency.load (relaxed);
    s.feedbackWidth = feedbackWidth.load (relaxed);
    s.feedbackAmplitude = feedbackAmplitude.load (relaxed);
    s.feedbackPan = feedbackPan;
    return s;
}

float OndulaDelay::lineSampleRelativeToWrite (int offset) const noexcept
{
    return delayLine[(writeIndex + offset) & lineMask];
}

//==================================================================================================
// Block processing

void OndulaDelay::processSIMDSmart (const juce::dsp::ProcessContextReplacing<float>& context)
{
    const auto& input = context.getInputBlock();
    auto& output = context.getOutputBlock();
    const int n = (int) output.getNumSamples();

    if (output.getNumChannels() == 0)
        return;

    if (n == 0)
    {
        // An empty block still moves every record one smoothing step.
        std::lock_guard<RecursivePriorityMutex> lock (mutex);

        if (maxBlockSize > 0)
            renderBlock (nullptr, 0);

        return;
    }

    float* samples = output.getChannelPointer (0);

    if (input.getNumChannels() > 0 && input.getNumSamples() > 0 && input.getChannelPointer (0) != samples)
        std::memcpy (samples, input.getChannelPointer (0), sizeof (float) * std::min<size_t> ((size_t) n, input.getNumSamples()));

    std::lock_guard<RecursivePriorityMutex> lock (mutex);

    if (maxBlockSize == 0) // never prepared: nothing to render with
    {
        std::fill (samples, samples + n, 0.0f);
        return;
    }

    for (int start = 0; start < n; start += maxBlockSize)
        renderBlock (samples + start, std::min (maxBlockSize, n - start));
}

void OndulaDelay::design (DesignCache& cache, float frequency, float bandwidth, float fs, TapState& state) noexcept
{
    // Unmodulated taps ask for the same filter block after block; the design is a pure function.
    if (frequency != cache.frequency || bandwidth != cache.bandwidth || fs != cache.sampleRate)
    {
        // A design writes only the coefficient sets, so one filter object serves every design.
        auto& filter = designer;
        filter.sampleRate = fs;
        filter.makeBiquadFlatBand (frequency, bandwidth);
        cache = { frequency, bandwidth, fs,
                  filter.bNorm[0], filter.bNorm[1], filter.bNorm[2],
                  filter.aNorm[0], filter.aNorm[1], filter.aNorm[2] };
    }

    state.b0 = cache.b0; state.b1 = cache.b1; state.b2 = cache.b2;
    state.a0 = cache.a0; state.a1 = cache.a1; state.a2 = cache.a2;
}

void OndulaDelay::runFeedbackPath (const Settings& s, float timeUnit, float fs, int n)
{
    const float delay = clampTo ((16.0f * timeUnit) * fs, 0.0f, maxDelaySamples);
    const float frequency = centreFrequency (clamp01 (s.feedbackFrequency));
    const float bandwidth = bandwidthOctaves (clamp01 (s.feedbackWidth));
    const float gain = clamp01 (s.feedbackAmplitude);
    const float pan = clamp01 (s.feedbackPan);

    previousFeedbackState = feedbackState;
    auto& state = feedbackState;

    if (firstBlock)
    {
        state.delayOndula = state.delayBase = (int32_t) delay;
        state.frequency = frequency;
        state.bandwidth = bandwidth;
        state.gain = state.amplitude = gain;
        state.pan = pan;
    }
    else
    {
        state.delayOndula = smoothTowards (state.delayOndula, delay);
        state.delayBase = smoothTowards (state.delayBase, delay);
        state.frequency = smoothTowards (state.frequency, frequency);
        state.bandwidth = smoothTowards (state.bandwidth, bandwidth);
        state.gain = smoothTowards (state.gain, gain);
        state.amplitude = smoothTowards (state.amplitude, gain);
        state.pan = smoothTowards (state.pan, pan);
    }

    design (feedbackDesign, frequency, bandwidth, fs, state);
    state.enabled = true;

    if (firstBlock)
        previousFeedbackState = state;

    if (n == 0)
        return;

    const auto& from = previousFeedbackState;
    const int32_t d0 = from.delayOndula;
    const float step = (float) (state.delayOndula - d0) * (1.0f / (float) n);
    const float r = (float) (1.0 / (double) n);
    const float db0 = (state.b0 - from.b0) * r, db1 = (state.b1 - from.b1) * r, db2 = (state.b2 - from.b2) * r;
    const float da1 = (state.a1 - from.a1) * r, da2 = (state.a2 - from.a2) * r, dgain = (state.gain - from.gain) * r;
    float b0 = from.b0, b1 = from.b1, b2 = from.b2, a1 = from.a1, a2 = from.a2, g = from.gain;

    auto& f = feedbackFilter;
    const int offset = delayLineSize + blockStartWriteIndex - d0;
    float moved = 0.0f;

    for (int i = 0; i < n; ++i)
    {
        const float x = delayLine[(offset + i - (int32_t) moved) & lineMask];
        moved = moved + step;

        float y = b0 * x;
        y = y + b1 * f.x1;
        y = y + b2 * f.x2;
        y = y - a1 * f.y1;
        y = y - a2 * f.y2;
        y = y < -1.0f ? -1.0f : y;
        y = y > 1.0f ? 1.0f : y;

        feedbackScratch[i] = g * y;

        f.x3 = f.x2; f.x2 = f.x1; f.x1 = x;
        f.y3 = f.y2; f.y2 = f.y1; f.y1 = y;
        b0 = b0 + db0; b1 = b1 + db1; b2 = b2 + db2;
        a1 = a1 + da1; a2 = a2 + da2; g = g + dgain;
    }
}

void OndulaDelay::computeTapTargets (const Settings& s, float timeUnit, float fs, float velocityHz, float waveTravel) noexcept
{
    // Each step runs over all 32 taps before the next, so that the library calls of different
    // taps overlap and the plain arithmetic vectorises; every value is formed exactly as for
    // one tap on its own.
    auto& out = targets;
    const float* grid = s.onTripletGrid ? tripletGrid() : straightGrid();
    const float wavelengthSeconds = (17.0f * s.wavelength) * timeUnit;

    // While the wave's travel lies inside 0.5..4 the delay depth is 16384 / (17 velocity)
    // samples at full amount and weight, whatever the time unit.
    const float travel = clampTo (wavelengthSeconds * velocityHz, 0.5f, 4.0f);
    const float depthFactor = (((s.wavelength * timeUnit) * 16384.0f) / travel) * s.amount;

    alignas (64) float phaseOnGrid[numTaps], depth[numTaps], weight[4][numTaps], wave[numOndulaQuantities][numTaps];

    for (int t = 0; t < numTaps; ++t)
    {
        const float seconds = grid[t] * timeUnit;
        phaseOnGrid[t] = (twoPi * seconds) / wavelengthSeconds;
        out.baseDelay[t] = clampTo (seconds * fs, 0.0f, maxDelaySamples);
        depth[t] = depthFactor * s.tapTable[t][8];

        for (int q = 0; q < 4; ++q)
            weight[q][t] = s.amount * s.tapTable[t][4 + q];
    }

    // The travelling wave of quantity p: a sine along the taps that moves with the running time.
    // A sine is skipped where it cannot change the result: no delay depth (a signed zero
    // truncates to the same sample), or no weight on a non-zero base.
    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        const float scale = s.ondulaScale[p];
        const float halfScale = 0.5f * scale;
        const float shift = (s.ondulaPhase[p] + s.phase) * twoPi - waveTravel;

        for (int t = 0; t < numTaps; ++t)
        {
            const bool needed = p == 4 ? depth[t] != 0.0f : ! (weight[p][t] == 0.0f && s.tapTable[t][p] != 0.0f);
            float r = needed ? halfScale * std::sin (phaseOnGrid[t] + shift) : 0.0f;

            if (p == 4)
                r = r + scale;

            wave[p][t] = r;
        }
    }

    for (int t = 0; t < numTaps; ++t)
    {
        const float modulation = depth[t] == 0.0f ? 0.0f : depth[t] * wave[4][t];
        out.delay[t] = clampTo (modulation + out.baseDelay[t], 0.0f, maxDelaySamples);
    }

    alignas (64) float control[4][numTaps];

    for (int q = 0; q < 4; ++q)
        for (int t = 0; t < numTaps; ++t)
        {
            const float base = s.tapTable[t][q];
            control[q][t] = weight[q][t] == 0.0f && base != 0.0f ? clamp01 (base) : clamp01 (weight[q][t] * wave[q][t] + base);
        }

    for (int t = 0; t < numTaps; ++t)
        out.frequency[t] = centreFrequency (control[0][t]);

    for (int t = 0; t < numTaps; ++t)
        out.bandwidth[t] = bandwidthOctaves (control[1][t]);

    for (int t = 0; t < numTaps; ++t)
    {
        out.amplitude[t] = control[2][t];
        out.pan[t] = control[3][t];
    }

    computeGains (s);
}

void OndulaDelay::computeGains (const Settings& s) noexcept
{
    auto& out = targets;
    const bool right = isRightChannel.load (relaxed);

    for (int t = 0; t < numTaps; ++t)
    {
        out.enabled[t] = s.tapEnabled[t];
        out.gain[t] = 0.0f;

        if (out.enabled[t])
        {
            const float p = out.pan[t];
            const float panGain = right ? std::sqrt (p * std::sin (p * halfPi))
                                        : (float) std::sqrt ((1.0 - (double) p) * (double) std::cos (p * halfPi));
            out.gain[t] = out.amplitude[t] * panGain;
        }
    }
}

void OndulaDelay::designTaps (float fs) noexcept
{
    designer.sampleRate = fs;

    for (int t = 0; t < numTaps; ++t)
    {
        TapState designed;
        design (tapDesigns[t], targets.frequency[t], targets.bandwidth[t], fs, designed);
        const float c[6] { designed.b0, designed.b1, designed.b2, designed.a0, designed.a1, designed.a2 };
        std::copy (c, c + 6, tapCoefficients[t]);
    }
}

void OndulaDelay::packLane (int lane, const TapState& previous, const TapState& current, bool silent, int n) noexcept
{
    auto& l = lanes;
    const int32_t d0 = previous.delayOndula;
    l.offset[lane] = delayLineSize + blockStartWriteIndex - d0;
    l.step[lane] = (float) (current.delayOndula - d0) * (1.0f / (float) n);

    const float r = (float) (1.0 / (double) n);
    const float gainFrom = silent ? 0.0f : previous.gain;
    const float gainTo = silent ? 0.0f : current.gain;

    l.b0[lane] = previous.b0; l.db0[lane] = (current.b0 - previous.b0) * r;
    l.b1[lane] = previous.b1; l.db1[lane] = (current.b1 - previous.b1) * r;
    l.b2[lane] = previous.b2; l.db2[lane] = (current.b2 - previous.b2) * r;
    l.a1[lane] = previous.a1; l.da1[lane] = (current.a1 - previous.a1) * r;
    l.a2[lane] = previous.a2; l.da2[lane] = (current.a2 - previous.a2) * r;
    l.gain[lane] = gainFrom;  l.dgain[lane] = (gainTo - gainFrom) * r;
}

void OndulaDelay::renderBlock (float* samples, int n)
{
    // 1. The input enters the line; a non-finite sample enters as silence, so one bad value
    //    cannot poison the line (and every tap and the feedback) for minutes.
    const int start = writeIndex;
    const int firstRun = std::min (n, delayLineSize - start); // the rest wraps to the line's start

    for (int i = 0; i < firstRun; ++i)
        delayLine[start + i] = std::isfinite (samples[i]) ? samples[i] : 0.0f;

    for (int i = firstRun; i < n; ++i)
        delayLine[i - firstRun] = std::isfinite (samples[i]) ? samples[i] : 0.0f;

    blockStartWriteIndex = start;
    writeIndex = (delayLineSize + n + start) & lineMask;

    const Settings s = currentSettings();
    const float fs = (float) sampleRate.load (relaxed);
    const float timeUnit = mappingFunctions.time_unit_seconds (s.time);

    // 2. Feedback path: read and filtered before this block's feedback enters the line.
    runFeedbackPath (s, timeUnit, fs, n);

    // 3. Every tap's targets and records, enabled or not.
    // A synced rate follows the tempo of every block, not only the tempo when its node was read.
    const float velocityHz = mappingFunctions.velocitySync.load (relaxed) ? mappingFunctions.velocity_hz (s.rawVelocity)
                                                                         : s.velocity;
    const double runningTime = hostTime.load (relaxed) + clock.load (relaxed);
    const float wavelengthSeconds = (17.0f * s.wavelength) * timeUnit;
    const float waveTravel = (((velocityHz * wavelengthSeconds) / wavelengthSeconds) * twoPi) * (float) runningTime;

    float key[SharedTapTargets::keySize];
    {
        float* k = std::copy (&s.tapTable[0][0], &s.tapTable[0][0] + numTaps * numTapColumns, key);
        k = std::copy (s.ondulaScale, s.ondulaScale + numOndulaQuantities, k);
        k = std::copy (s.ondulaPhase, s.ondulaPhase + numOndulaQuantities, k);
        const float rest[8] { s.wavelength, s.phase, s.amount, timeUnit, fs, velocityHz, waveTravel, s.onTripletGrid ? 1.0f : 0.0f };
        std::copy (rest, rest + 8, k);
    }

    auto& shared = sharedTapTargets;
    const bool owned = ! shared.busy.test_and_set (std::memory_order_acquire);

    if (owned && shared.valid && std::memcmp (shared.key, key, sizeof (key)) == 0)
    {
        std::copy (std::begin (shared.delay), std::end (shared.delay), targets.delay);
        std::copy (std::begin (shared.baseDelay), std::end (shared.baseDelay), targets.baseDelay);
        std::copy (std::begin (shared.frequency), std::end (shared.frequency), targets.frequency);
        std::copy (std::begin (shared.bandwidth), std::end (shared.bandwidth), targets.bandwidth);
        std::copy (std::begin (shared.amplitude), std::end (shared.amplitude), targets.amplitude);
        std::copy (std::begin (shared.pan), std::end (shared.pan), targets.pan);
        std::memcpy (tapCoefficients, shared.coefficients, sizeof (tapCoefficients));
        computeGains (s);
    }
    else
    {
        computeTapTargets (s, timeUnit, fs, velocityHz, waveTravel);
        designTaps (fs);

        if (owned)
        {
            std::memcpy (shared.key, key, sizeof (key));
            std::copy (std::begin (targets.delay), std::end (targets.delay), shared.delay);
            std::copy (std::begin (targets.baseDelay), std::end (targets.baseDelay), shared.baseDelay);
            std::copy (std::begin (targets.frequency), std::end (targets.frequency), shared.frequency);
            std::copy (std::begin (targets.bandwidth), std::end (targets.bandwidth), shared.bandwidth);
            std::copy (std::begin (targets.amplitude), std::end (targets.amplitude), shared.amplitude);
            std::copy (std::begin (targets.pan), std::end (targets.pan), shared.pan);
            std::memcpy (shared.coefficients, tapCoefficients, sizeof (tapCoefficients));
            shared.valid = true;
        }
    }

    if (owned)
        shared.busy.clear (std::memory_order_release);

    const auto& target = targets;

    for (int t = 0; t < numTaps; ++t)
    {
        auto& state = tapStates[t];
        previousTapStates[t] = state;

        if (firstBlock)
        {
            // Start settled: no ramp from the constructor's placeholder records.
            state.delayOndula = (int32_t) target.delay[t];
            state.delayBase = (int32_t) target.baseDelay[t];
            state.frequency = target.frequency[t];
            state.bandwidth = target.bandwidth[t];
            state.amplitude = target.amplitude[t];
            state.pan = target.pan[t];
            state.gain = target.gain[t];
        }
        else
        {
            state.delayOndula = smoothTowards (state.delayOndula, target.delay[t]);
            state.delayBase = smoothTowards (state.delayBase, target.baseDelay[t]);
            state.frequency = smoothTowards (state.frequency, target.frequency[t]);
            state.bandwidth = smoothTowards (state.bandwidth, target.bandwidth[t]);
            state.amplitude = smoothTowards (state.amplitude, target.amplitude[t]);
            state.pan = smoothTowards (state.pan, target.pan[t]);
            state.gain = smoothTowards (state.gain, target.gain[t]);
        }

        const float* c = tapCoefficients[t];
        state.b0 = c[0]; state.b1 = c[1]; state.b2 = c[2];
        state.a0 = c[3]; state.a1 = c[4]; state.a2 = c[5];
        state.enabled = target.enabled[t];

        if (firstBlock)
            previousTapStates[t] = state;
    }

    firstBlock = false;

    if (n == 0)
        return;

    // 4. This block's feedback joins the input, so every tap hears both.
    for (int i = 0; i < firstRun; ++i)
        delayLine[start + i] += feedbackScratch[i];

    for (int i = firstRun; i < n; ++i)
        delayLine[i - firstRun] += feedbackScratch[i];

    // 5. Enabled taps take lanes in tap order, four per group; the last group is filled up with
    //    silent copies of tap 31, and at least one group runs.
    int lane = 0;

    for (int t = 0; t < numTaps; ++t)
        if (tapStates[t].enabled)
            packLane (lane++, previousTapStates[t], tapStates[t], false, n);

    if (lane % 4 != 0 || lane == 0)
        do
            packLane (lane++, previousTapStates[numTaps - 1], tapStates[numTaps - 1], true, n);
        while (lane % 4 != 0);

    const int groupsRun = lane / 4;

    for (int g = 0; g < groupsRun; ++g)
    {
        const auto& f = groupFilters[g];
        const int j = 4 * g;
        f.laneX1.copyToRawArray (lanes.x1 + j); f.laneX2.copyToRawArray (lanes.x2 + j); f.laneX3.copyToRawArray (lanes.x3 + j);
        f.laneY1.copyToRawArray (lanes.y1 + j); f.laneY2.copyToRawArray (lanes.y2 + j); f.laneY3.copyToRawArray (lanes.y3 + j);
    }

    TapLaneKernel::render (lanePath, delayLine, n, lane, lanes, scratch);

    for (int g = 0; g < groupsRun; ++g)
    {
        using Lanes = IIRFilter<float>::Lanes;
        auto& f = groupFilters[g];
        const int j = 4 * g;
        f.laneX1 = Lanes::fromRawArray (lanes.x1 + j); f.laneX2 = Lanes::fromRawArray (lanes.x2 + j); f.laneX3 = Lanes::fromRawArray (lanes.x3 + j);
        f.laneY1 = Lanes::fromRawArray (lanes.y1 + j); f.laneY2 = Lanes::fromRawArray (lanes.y2 + j); f.laneY3 = Lanes::fromRawArray (lanes.y3 + j);
    }

    clock.store (clock.load (relaxed) + (double) ((float) n / fs), relaxed);

    // 6. The channel's output is the sum of every lane.
    TapLaneKernel::sumGroups (lanePath, scratch, n, groupsRun, samples);
}
