#include "engine/OndulaDelay.h"

#include "processor/QuorlStyleCurve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int lineMask = OndulaDelay::delayLineSize - 1;

// The control rate: targets, smoothing steps and filter designs are worked out once per piece of
// this duration, on a grid of the stream's own samples (512 samples at 48 kHz, and as long in time
// at every rate), whatever blocks the host cuts the stream into. Users at 48 kHz with blocks of
// 512 hear what they always heard.
constexpr double pieceSeconds = 512.0 / 48000.0;

int pieceLengthFor (int sampleRate) noexcept
{
    return std::max (1, (int) std::lround ((double) sampleRate * pieceSeconds));
}

// When the engine is placed on the timeline, its smoothed records are worked out over this many
// pieces of the wave before the position (about 2 s): each piece keeps 0.95 of the distance to
// the targets, so what the records started from has shrunk to 0.95^200 (1e-4.5) of itself.
constexpr int warmUpPieces = 200;

// Samples of a piece the taps' band-passes run over before a new position (a quarter: long enough
// for all but the narrowest low bands to ring up, and a move's cost stays a few microseconds).
int lanesRunIn (int pieceLength) noexcept { return std::max (1, pieceLength / 4); }

int64_t floorDiv (int64_t a, int64_t b) noexcept
{
    const auto q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

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

/** How far the wave has travelled at a timeline position, in turns reduced to 0..1: worked out
    in double and reduced before it becomes a float, so the wave is as exact after hours (or
    before 0) as near the timeline's start. */
inline float waveTurn (float cyclesPerSecond, double position, int sampleRate) noexcept
{
    const double cycles = (double) cyclesPerSecond * (position / (double) sampleRate);

    if (! std::isfinite (cycles))
        return 0.0f;

    const auto turn = (float) (cycles - std::floor (cycles));
    return turn < 1.0f ? turn : 0.0f; // a turn just below 1 may round up to it
}

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

// Every engine's own number, so that a comparison with another engine is never taken for one
// with a later engine built at the same address.
std::atomic<uint64_t> nextSerial { 0 };

const Grids& grids()
{
    static const Grids instance;
    return instance;
}

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
    : mappingFunctions (mappings), serial (nextSerial.fetch_add (1, relaxed) + 1)
{
    grids(); // built once, before any audio thread can ask for them

    // The lane kernel picks its code from the processor's features, which the framework reads
    // from a file on Linux: here, not in the audio thread's first block.
    TapLaneKernel::fastestPath();
    resetAudioState();

    // Until a tree is bound: the automation columns read their heights as they stand (value 0,
    // scale 1) and every Ondula weight is 1; the delay time unit is its middle value.
    for (int i = 0; i < numHostSettings; ++i)
        hostSettings[i].store (0.0f);

    for (int q = 0; q < 4; ++q)
        hostSettings[automationScale + q].store (1.0f);

    hostSettings[delayTime].store (0.5f);
    hostSettings[patternMode].store (1.0f);

    for (int t = 0; t < numTaps; ++t)
    {
        const float heights[4] { (float) (1000.0 * std::pow (0.8, t)), 0.9f, 0.8f, 0.0f };

        for (int q = 0; q < 4; ++q)
        {
            automationCurves[q][t].from.store (heights[q], relaxed);
            automationCurves[q][t].kind.store (1, relaxed);
        }

        for (int p = 0; p < numOndulaQuantities; ++p)
            ondulaWeights[p][t].store (1.0f, relaxed);

        tapEnabled[t].store (false, relaxed);
    }
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
    feedbackScratch = nullptr;
    scratchLength = 0;
}

void OndulaDelay::prepare (const juce::dsp::ProcessSpec& spec)
{
    // A rate the host cannot mean (not positive, not finite) keeps the previous one.
    const bool rateIsSound = std::isfinite (spec.sampleRate) && spec.sampleRate >= 1.0 && spec.sampleRate <= 1.0e7;
    const int rate = rateIsSound ? (int) spec.sampleRate : sampleRate.load (relaxed);

    // No stretch of rendering is longer than a piece, whatever the host's block size.
    const int length = pieceLengthFor (rate);
    const size_t feedbackBytes = ((size_t) length * sizeof (float) + 63) / 64 * 64;
    void* memory = ::operator new (feedbackBytes, std::align_val_t { 64 });
    std::memset (memory, 0, feedbackBytes);

    std::lock_guard<RecursivePriorityMutex> lock (mutex);
    releaseScratch();
    scratchAllocation = memory;
    feedbackScratch = static_cast<float*> (memory);
    scratchLength = length;
    sampleRate.store (rate, relaxed);
    pieceLength = length;

    // A host prepares again to switch to an offline export or to another rate: nothing played
    // before may come out again (an export would depend on what was played before it, and old
    // echoes would come back at the wrong pitch). The engine starts as a new one does.
    std::memset (delayLine, 0, sizeof (delayLine));
    resetAudioState();

    feedbackFilter.sampleRate = (float) rate;

    for (auto& filter : groupFilters)
        filter.sampleRate = (float) rate;
}

void OndulaDelay::resetAudioState() noexcept
{
    writeIndex = 0;
    blockStartWriteIndex = 0;
    piecePosition = 0;
    streamPosition = 0;
    movedTo = 0;
    moved = true;
    followStream();
    hostTime.store (0.0, relaxed);
    clock.store (0.0, relaxed);

    // The records start as the TapState defaults, the filters with empty memories.
    const TapState initial;

    for (auto* r : { &recordSets[0], &recordSets[1] })
        for (int t = 0; t < numTaps; ++t)
        {
            r->delayOndula[t] = initial.delayOndula; r->delayBase[t] = initial.delayBase;
            r->b0[t] = initial.b0; r->b1[t] = initial.b1; r->b2[t] = initial.b2;
            r->a0[t] = initial.a0; r->a1[t] = initial.a1; r->a2[t] = initial.a2;
            r->frequency[t] = initial.frequency; r->bandwidth[t] = initial.bandwidth; r->gain[t] = initial.gain;
            r->amplitude[t] = initial.amplitude; r->pan[t] = initial.pan; r->enabled[t] = initial.enabled;
        }

    std::fill (std::begin (tapStates), std::end (tapStates), initial);
    feedbackState = initial;
    feedbackState.frequency = 0.5f;
    previousFeedbackState = feedbackState;

    feedbackFilter.clearHistory();

    for (auto& filter : groupFilters)
        filter.clearHistory();

    lanes = {};

    if (feedbackScratch != nullptr)
        std::fill (feedbackScratch, feedbackScratch + scratchLength, 0.0f);
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
    else return;

    settingsVersion.fetch_add (1, std::memory_order_release);
}

void OndulaDelay::publish (int setting, float value) noexcept
{
    // Re-announcements of unchanged values and the tree's echoes of host values change nothing
    // that plays, so opening the editor or rebinding never moves the sound.
    hostSettings[setting].takeFromTree (value);
}

void OndulaDelay::handleAutomation (const juce::ValueTree& node, int quantity)
{
    publish (automationValue + quantity, readNormalised (node, ids::value));
    publish (automationScale + quantity, readSetting (node, ids::scaleY, -1.0f, 1.0f));

    QuorlStyleCurve stored;
    stored.maxPoints = QuorlStyleCurve::storedPointLimit;
    stored.fromString (node.getProperty (ids::curve).toString().toStdString());

    // A curve text without a single readable point keeps the column's curve as it was.
    if (stored.points.empty())
        return;

    // The block moves these heights by the node's value and scale (which a host may automate).
    for (int t = 0; t < numTaps; ++t)
    {
        const auto segment = stored.segmentAt ((float) t / 31.0f);
        auto& published = automationCurves[quantity][t];
        published.from.store (segment.from, relaxed);
        published.to.store (segment.to, relaxed);
        published.shape.store (segment.shape, relaxed);
        published.kind.store ((uint8_t) ((segment.outside ? 1 : 0) | (segment.closingPoint ? 2 : 0) | (segment.empty ? 4 : 0)), relaxed);
    }
}

void OndulaDelay::handleOndula (const juce::ValueTree& node, int quantity)
{
    publish (ondulaScale + quantity, readNormalised (node, ids::scale));
    publish (ondulaPhase + quantity, readNormalised (node, ids::phase));

    QuorlStyleCurve weights;
    weights.maxPoints = QuorlStyleCurve::storedPointLimit;
    weights.fromString (node.getProperty (ids::curve).toString().toStdString());

    if (weights.points.empty())
        return;

    for (int t = 0; t < numTaps; ++t)
        ondulaWeights[quantity][t].store (weights.calculateCurveValue ((float) t / 31.0f), relaxed);
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
    const int mode = readMode (node, ids::timeMode);

    // The panels' texts follow these flags; the block plays the mode it holds itself.
    if (mode != 0)
        mappingFunctions.velocityTriplet.store (mode == 2, relaxed);

    mappingFunctions.velocitySync.store (mode != 0, relaxed);

    publish (ondulaTimeMode, (float) mode);
    publish (globalWavelength, readNormalised (node, ids::wavelength));
    publish (globalPhase, readNormalised (node, ids::phase));
    publish (globalVelocity, readNormalised (node, ids::velocity));
    publish (globalAmount, readNormalised (node, ids::amount));
}

void OndulaDelay::handleTime (const juce::ValueTree& node)
{
    const int mode = readMode (node, ids::timeMode);

    publish (delayTime, readNormalised (node, ids::time));
    publish (patternMode, (float) readMode (node, ids::patternMode));
    publish (delayTimeMode, (float) mode);
    feedbackWidth.store (readNormalised (node, ids::feedbackWidth), relaxed);
    feedbackFrequency.store (readNormalised (node, ids::feedbackFrequency), relaxed);
    feedbackAmplitude.store (readNormalised (node, ids::feedbackAmplitude), relaxed);

    if (mode != 0)
        mappingFunctions.triplet.store (mode == 2, relaxed);

    mappingFunctions.tempoSync.store (mode != 0, relaxed);
}

void OndulaDelay::setFromHost (int setting, float value) noexcept
{
    if (setting < 0 || setting >= numHostSettings || ! std::isfinite (value))
        return;

    hostSettings[setting].takeFromHost (value);
    hostValuesMoved |= 1u << setting;
}

void OndulaDelay::takeTreeAsEdits() noexcept
{
    for (auto& setting : hostSettings)
        setting.takeTreeAsEdit();

    settingsVersion.fetch_add (1, std::memory_order_release);
}

float OndulaDelay::playedHostSetting (int setting) const noexcept
{
    return setting >= 0 && setting < numHostSettings ? hostSettings[setting].playedNow() : 0.0f;
}

OndulaDelay::Settings OndulaDelay::currentSettings() const noexcept
{
    float values[numHostSettings];

    for (int i = 0; i < numHostSettings; ++i)
        values[i] = hostSettings[i].playedNow();

    Settings s;
    deriveSettings (s, values);
    return s;
}

void OndulaDelay::deriveSettings (Settings& s, const float* values) const noexcept
{
    for (int q = 0; q < 4; ++q)
        deriveAutomationColumn (s, q, values);

    for (int t = 0; t < numTaps; ++t)
    {
        for (int p = 0; p < numOndulaQuantities; ++p)
            s.tapTable[t][4 + p] = ondulaWeights[p][t].load (relaxed);

        s.tapEnabled[t] = tapEnabled[t].load (relaxed);
    }

    deriveScalars (s, values);
    s.feedbackFrequency = feedbackFrequency.load (relaxed);
    s.feedbackWidth = feedbackWidth.load (relaxed);
    s.feedbackAmplitude = feedbackAmplitude.load (relaxed);
    s.feedbackPan = feedbackPan;
}

void OndulaDelay::deriveAutomationColumn (Settings& s, int q, const float* values) const noexcept
{
    // An automation column: each tap's curve heights moved by the node's value and scale, as
    // value + scale * curve (value - |scale| * curve for a negative scale) evaluates; the pan
    // curve swings around its value, so its offset takes half the scale back.
    const float v = values[automationValue + q];
    const float scale = values[automationScale + q];
    const float magnitude = std::abs (scale);
    const float offset = q == 3 ? (float) ((double) scale * -0.5 + (double) v) : v;

    const auto moved = [&] (float height)
    {
        const float scaled = clamp01 (height * magnitude);
        return scale >= 0.0f ? offset + scaled : offset - scaled;
    };

    for (int t = 0; t < numTaps; ++t)
    {
        const auto& published = automationCurves[q][t];
        const auto kind = published.kind.load (relaxed);
        QuorlStyleCurve::Segment segment;
        segment.from = published.from.load (relaxed);
        segment.to = published.to.load (relaxed);
        segment.shape = published.shape.load (relaxed);
        segment.outside = (kind & 1) != 0;
        segment.closingPoint = (kind & 2) != 0;
        segment.empty = (kind & 4) != 0;
        s.tapTable[t][q] = segment.valueWith (moved (segment.from), segment.closingPoint ? segment.to : moved (segment.to));
    }
}

void OndulaDelay::deriveScalars (Settings& s, const float* values) const noexcept
{
    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        s.ondulaScale[p] = values[ondulaScale + p];
        s.ondulaPhase[p] = values[ondulaPhase + p];
    }

    s.wavelength = mappingFunctions.wavelength_value (values[globalWavelength]);
    s.phase = values[globalPhase];
    s.rawVelocity = values[globalVelocity];
    s.velocityMode = (int) values[ondulaTimeMode];
    s.amount = values[globalAmount];
    s.time = values[delayTime];
    s.timeMode = (int) values[delayTimeMode];
    s.onTripletGrid = (int) values[patternMode] != 0;
}

float OndulaDelay::lineSampleRelativeToWrite (int offset) const noexcept
{
    return delayLine[(writeIndex + offset) & lineMask];
}


//==================================================================================================
// Block processing

void OndulaDelay::processSIMDSmart (const juce::dsp::ProcessContextReplacing<float>& context)
{
    OndulaDelay* engine = this;
    const auto* single = &context;
    processTogether (&engine, &single, 1);
}

void OndulaDelay::processStereo (OndulaDelay& left, OndulaDelay& right,
                                 const juce::dsp::ProcessContextReplacing<float>& leftContext,
                                 const juce::dsp::ProcessContextReplacing<float>& rightContext)
{
    if (&left == &right || leftContext.getOutputBlock().getNumSamples() != rightContext.getOutputBlock().getNumSamples())
    {
        left.processSIMDSmart (leftContext);
        right.processSIMDSmart (rightContext);
        return;
    }

    OndulaDelay* engines[2] { &left, &right };
    const juce::dsp::ProcessContextReplacing<float>* contexts[2] { &leftContext, &rightContext };
    processTogether (engines, contexts, 2);
}

void OndulaDelay::processTogether (OndulaDelay* const* engines, const juce::dsp::ProcessContextReplacing<float>* const* contexts,
                                   int count)
{
    float* samples[TapLaneKernel::maxChannels] {};
    const int n = (int) contexts[0]->getOutputBlock().getNumSamples();

    // An empty block holds no stretch of the stream, so it changes nothing.
    if (n == 0)
        return;

    for (int e = 0; e < count; ++e)
    {
        const auto& input = contexts[e]->getInputBlock();
        auto& output = contexts[e]->getOutputBlock();

        if (output.getNumChannels() == 0)
        {
            // Nothing to render into; the other engine runs alone.
            if (count == 2)
                engines[1 - e]->processSIMDSmart (*contexts[1 - e]);

            return;
        }

        samples[e] = output.getChannelPointer (0);

        if (input.getNumChannels() > 0 && input.getNumSamples() > 0 && input.getChannelPointer (0) != samples[e])
            std::memcpy (samples[e], input.getChannelPointer (0), sizeof (float) * std::min<size_t> ((size_t) n, input.getNumSamples()));
    }

    std::unique_lock<RecursivePriorityMutex> locks[TapLaneKernel::maxChannels];

    for (int e = 0; e < count; ++e)
        locks[e] = std::unique_lock<RecursivePriorityMutex> (engines[e]->mutex);

    // An engine never prepared has nothing to render with. The two engines of a pair render
    // together while they stand at the same place of the timeline, which they always do when the
    // processor drives them.
    bool together = count == 2 && engines[0]->pieceLength == engines[1]->pieceLength
                 && engines[0]->streamPosition == engines[1]->streamPosition
                 && engines[0]->moved == engines[1]->moved;

    for (int e = 0; e < count; ++e)
        if (engines[e]->scratchLength == 0)
        {
            std::fill (samples[e], samples[e] + n, 0.0f);
            together = false;
        }

    if (together)
    {
        renderStream (engines, samples, count, n);
        return;
    }

    for (int e = 0; e < count; ++e)
        if (engines[e]->scratchLength > 0)
            renderStream (engines + e, samples + e, 1, n);
}

void OndulaDelay::renderStream (OndulaDelay* const* engines, float* const* samples, int count, int n)
{
    if (engines[0]->moved)
        settleAtTimeline (engines, count);

    // The stream is rendered piece by piece on the timeline's grid: a host block may end or
    // begin anywhere inside a piece, and renders exactly the samples of the pieces it covers.
    for (int done = 0; done < n;)
    {
        auto& leader = *engines[0];

        if (leader.piecePosition == 0)
            startPiece (engines, count, leader.streamPosition);

        const int length = std::min (n - done, leader.pieceLength - leader.piecePosition);
        float* parts[TapLaneKernel::maxChannels] {};

        for (int e = 0; e < count; ++e)
            parts[e] = samples[e] + done;

        renderSegment (engines, parts, count, length);
        done += length;
    }
}

void OndulaDelay::moveToTimeline (int64_t position) noexcept
{
    std::lock_guard<RecursivePriorityMutex> lock (mutex);
    streamPosition = std::clamp (position, -timelineLimit, timelineLimit);
    moved = true;
    followStream();
}

void OndulaDelay::followHostMotion (double hostPosition, double speed) noexcept
{
    std::lock_guard<RecursivePriorityMutex> lock (mutex);

    if (! (std::isfinite (hostPosition) && std::isfinite (speed)))
        return;

    const auto limit = (double) timelineLimit;
    inMotion = true;
    waveAnchor = std::clamp (hostPosition, -limit, limit);
    streamAnchor = streamPosition;
    waveSpeed = speed;
    hostTime.store (waveAnchor / (double) sampleRate.load (relaxed), relaxed);
    clock.store (0.0, relaxed);
}

void OndulaDelay::countOnFromWave() noexcept
{
    if (inMotion && waveSpeed != 1.0)
        followHostMotion (wavePositionAt (streamPosition), 1.0);
}

double OndulaDelay::wavePositionAt (int64_t position) const noexcept
{
    // Following the stream, the wave's place is the position itself, so a position sounds the
    // same however it was reached.
    if (! inMotion)
        return (double) position;

    return waveAnchor + waveSpeed * (double) (position - streamAnchor);
}

int OndulaDelay::samplesToNextPiece() const noexcept
{
    const auto offset = (int) (streamPosition - floorDiv (streamPosition, pieceLength) * pieceLength);
    return offset == 0 ? 0 : pieceLength - offset;
}

void OndulaDelay::settleAtTimeline (OndulaDelay* const* engines, int count)
{
    // The records standing at the position are those of the piece that holds it (or, at a
    // piece's start, of the piece before, since the coming piece takes its step when it starts).
    // Continuous playback would have brought them there by smoothing towards each piece's
    // targets; the same steps are taken here over the wave of the seconds before, from records
    // settled on the targets of the first of those pieces. The result depends only on the
    // position and the settings. Near the bottom of the int64 range, where the pieces before a
    // position cannot all be named, the records are those of the lowest piece whose can.
    auto& leader = *engines[0];
    const int length = leader.pieceLength;
    const int64_t piece = floorDiv (leader.streamPosition, length);
    const int offset = (int) (leader.streamPosition - piece * length);
    const int64_t lowest = std::numeric_limits<int64_t>::min() / length + warmUpPieces + 1;
    const int64_t standing = std::max (offset == 0 ? piece - 1 : piece, lowest);

    // All but the last two pieces only bring the records up: the warm-up kernel works them out
    // (or a move with the same inputs already did). The last two are started as every piece is,
    // so that what plays at the position is designed as in playback.
    static_assert (warmUpPieces - 1 <= WarmUpKernel::maxPieces, "the kernel holds every warm-up piece's travel");
    WarmUpKernel::Job jobs[TapLaneKernel::maxChannels] {};
    WarmUpMemory* slots[TapLaneKernel::maxChannels] {};
    int fresh = 0;

    for (int e = 0; e < count; ++e)
    {
        auto& engine = *engines[e];
        engine.describeWarmUp ((standing - warmUpPieces) * length, warmUpPieces - 1);
        bool kept = false;
        slots[e] = &engine.warmUpSlot (kept);

        if (kept)
            continue;

        // The wave's travel at each piece, unless the other engine's travels the same way.
        const auto& in = engine.warmUpInputs;
        const float* turns = engine.warmUpTurns;
        constexpr auto travelBytes = offsetof (WarmUpKernel::Inputs, angle);

        if (fresh > 0 && std::memcmp (jobs[0].inputs, &in, travelBytes) == 0)
            turns = jobs[0].turns;
        else
            for (int k = 0; k < in.pieces; ++k)
                engine.warmUpTurns[k] = waveTurn (in.cyclesPerSecond, in.firstPieceStart + k * (int64_t) in.pieceLength, in.sampleRate);

        jobs[fresh++] = { &slots[e]->inputs, turns, &slots[e]->records };
    }

    WarmUpKernel::run (leader.lanePath, jobs, fresh);

    for (int e = 0; e < count; ++e)
    {
        slots[e]->valid = true;
        engines[e]->takeWarmUpRecords (slots[e]->records);
    }

    // The taps' band-passes start where playback at this place would have left them: from rest,
    // over the samples just before the position (a quarter of a piece), on the line as it is, with
    // the records playback would have used for those samples (the end of the piece before the
    // standing one, then the start of the standing one). Memories carried over from another place
    // would meet the records of this one and ring out far louder than either.
    for (int e = 0; e < count; ++e)
        for (auto& filter : engines[e]->groupFilters)
            filter.clearHistory();

    const int runIn = lanesRunIn (length);
    startPiece (engines, count, (standing - 1) * length);

    if (offset > 0 && offset < runIn)
        runLanesBefore (engines, count, length - (runIn - offset), runIn - offset, runIn);

    startPiece (engines, count, standing * length);

    if (offset > 0)
        runLanesBefore (engines, count, std::max (0, offset - runIn), std::min (offset, runIn), std::min (offset, runIn));
    else
        runLanesBefore (engines, count, length - runIn, runIn, runIn);

    for (int e = 0; e < count; ++e)
    {
        auto& engine = *engines[e];
        engine.updateFeedbackState (engine.readBlockInputs (standing * length), true);
        engine.piecePosition = offset;
        engine.movedTo = engine.streamPosition;
        engine.moved = false;
        engine.hostTime.store ((double) engine.movedTo / (double) engine.sampleRate.load (relaxed), relaxed);
        engine.clock.store (0.0, relaxed);
    }
}

void OndulaDelay::runLanesBefore (OndulaDelay* const* engines, int count, int rampStart, int n, int samplesBack)
{
    // Renders the taps of n samples of the current piece's ramps, from ramp position rampStart,
    // reading the line as it stood samplesBack samples before the next sample to write. Only the
    // lanes' memories are kept: nothing is written into the lines.
    float* lines[TapLaneKernel::maxChannels] {};
    float* discarded[TapLaneKernel::maxChannels] {};
    auto& lanes = engines[0]->lanes;

    for (int e = 0; e < count; ++e)
    {
        auto& engine = *engines[e];
        engine.blockStartWriteIndex = (engine.writeIndex - samplesBack) & lineMask;
        engine.packLanes (lanes, e);
        lines[e] = engine.delayLine;
        discarded[e] = engine.feedbackScratch;
    }

    TapLaneKernel::render (engines[0]->lanePath, lines, count, rampStart, n, lanes, nullptr, discarded);

    for (int e = 0; e < count; ++e)
        engines[e]->takeLaneMemory (lanes, e);
}

void OndulaDelay::describeWarmUp (int64_t firstPieceStart, int pieces) noexcept
{
    // What computeTapTargets and computeGains read, before any wave: every field is written, so
    // that two warm-ups compare byte for byte.
    const auto in = readBlockInputs (firstPieceStart);
    const auto& s = *in.settings;
    auto& w = warmUpInputs;
    const float wavelengthSeconds = (17.0f * s.wavelength) * in.timeUnit;
    TapAim aim;
    aimTaps (in, aim);

    w.firstPieceStart = firstPieceStart;
    w.pieceLength = pieceLength;
    w.pieces = pieces;
    w.sampleRate = sampleRate.load (relaxed);
    w.cyclesPerSecond = (in.velocityHz * wavelengthSeconds) / wavelengthSeconds;

    std::copy (std::begin (aim.baseDelay), std::end (aim.baseDelay), w.baseDelay);
    std::copy (std::begin (aim.depth), std::end (aim.depth), w.depth);
    std::memcpy (w.weight, aim.weight, sizeof (w.weight));

    for (int q = 0; q < 4; ++q)
        std::copy (std::begin (tapColumns[q]), std::end (tapColumns[q]), w.base[q]);

    const auto& needed = aim.needed;
    const auto& phaseOnGrid = aim.phaseOnGrid;

    float shift[numOndulaQuantities];

    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        shift[p] = (s.ondulaPhase[p] + s.phase) * twoPi;
        w.source[p] = p;
        w.halfScale[p] = 0.5f * s.ondulaScale[p];

        for (int q = 0; q < p && w.source[p] == p; ++q)
            if (std::memcmp (&shift[q], &shift[p], sizeof (float)) == 0)
                w.source[p] = q;
    }

    w.delayScale = s.ondulaScale[4];

    for (int p = 0; p < numOndulaQuantities; ++p)
        for (int t = 0; t < numTaps; ++t)
        {
            bool any = false;

            for (int q = p; q < numOndulaQuantities; ++q)
                any = any || (w.source[q] == p && needed[q][t]);

            w.wanted[p][t] = any ? 1 : 0;
            w.angle[p][t] = any ? phaseOnGrid[t] + shift[p] : 0.0f;
        }

    for (int t = 0; t < numTaps; ++t)
        w.enabled[t] = s.tapEnabled[t] ? 1 : 0;

    w.rightChannel = isRightChannel.load (relaxed) ? 1 : 0;
}

OndulaDelay::WarmUpMemory& OndulaDelay::warmUpSlot (bool& kept) noexcept
{
    // The kept warm-up with exactly these inputs, or else the older one's place, given these
    // inputs, for the kernel to fill.
    for (int i = 0; i < 2; ++i)
    {
        auto& memory = warmUps[i];

        if (memory.valid && std::memcmp (&memory.inputs, &warmUpInputs, sizeof (warmUpInputs)) == 0)
        {
            kept = true;
            olderWarmUp = 1 - i;
            ++warmUpsReused;
            return memory;
        }
    }

    auto& slot = warmUps[olderWarmUp];
    slot.inputs = warmUpInputs;
    slot.valid = false;
    olderWarmUp = 1 - olderWarmUp;
    kept = false;
    return slot;
}

void OndulaDelay::takeWarmUpRecords (const WarmUpKernel::Records& warm) noexcept
{
    // The records the first of the last two pieces smooths from; its coefficients and switches
    // are set by that piece.
    auto& r = records();
    std::copy (std::begin (warm.delayOndula), std::end (warm.delayOndula), r.delayOndula);
    std::copy (std::begin (warm.delayBase), std::end (warm.delayBase), r.delayBase);
    std::copy (std::begin (warm.frequency), std::end (warm.frequency), r.frequency);
    std::copy (std::begin (warm.bandwidth), std::end (warm.bandwidth), r.bandwidth);
    std::copy (std::begin (warm.amplitude), std::end (warm.amplitude), r.amplitude);
    std::copy (std::begin (warm.pan), std::end (warm.pan), r.pan);
    std::copy (std::begin (warm.gain), std::end (warm.gain), r.gain);
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

void OndulaDelay::writeInput (const float* samples, int n) noexcept
{
    // A non-finite sample enters as silence, so one bad value cannot poison the line (and every
    // tap and the feedback) for minutes.
    const int start = writeIndex;
    const int firstRun = std::min (n, delayLineSize - start); // the rest wraps to the line's start

    if (inputIsFinite.load (relaxed))
    {
        std::memcpy (delayLine + start, samples, sizeof (float) * (size_t) firstRun);
        std::memcpy (delayLine, samples + firstRun, sizeof (float) * (size_t) (n - firstRun));
    }
    else
    {
        for (int i = 0; i < firstRun; ++i)
            delayLine[start + i] = std::isfinite (samples[i]) ? samples[i] : 0.0f;

        for (int i = firstRun; i < n; ++i)
            delayLine[i - firstRun] = std::isfinite (samples[i]) ? samples[i] : 0.0f;
    }

    blockStartWriteIndex = start;
    writeIndex = (delayLineSize + n + start) & lineMask;
}

void OndulaDelay::refreshBlockSettings() noexcept
{
    const auto version = settingsVersion.load (std::memory_order_acquire);
    const bool treeMoved = version != blockSettingsVersion;

    if (! treeMoved && hostValuesMoved == 0)
        return;

    float values[numHostSettings];

    for (int i = 0; i < numHostSettings; ++i)
        values[i] = hostSettings[i].played();

    if (treeMoved)
    {
        deriveSettings (blockSettings, values);

        for (int q = 0; q < numTapColumns; ++q)
            for (int t = 0; t < numTaps; ++t)
                tapColumns[q][t] = blockSettings.tapTable[t][q];
    }
    else
    {
        // Only host values moved: an automation column is worked out again when its value or scale
        // moved, the other settings are single values. The same arithmetic as a whole derivation.
        deriveScalars (blockSettings, values);

        for (int q = 0; q < 4; ++q)
        {
            const auto bits = (1u << (automationValue + q)) | (1u << (automationScale + q));

            if ((hostValuesMoved & bits) == 0)
                continue;

            deriveAutomationColumn (blockSettings, q, values);

            for (int t = 0; t < numTaps; ++t)
                tapColumns[q][t] = blockSettings.tapTable[t][q];
        }
    }

    blockSettingsVersion = version;
    hostValuesMoved = 0;
    ++blockSettingsSerial;
}

OndulaDelay::BlockInputs OndulaDelay::readBlockInputs (int64_t pieceStart) noexcept
{
    refreshBlockSettings();

    BlockInputs in;
    in.settings = &blockSettings;
    const auto& s = blockSettings;
    const int rate = sampleRate.load (relaxed);
    in.fs = (float) rate;
    in.timeUnit = mappingFunctions.time_unit_seconds (s.time, s.timeMode);

    // A synced rate follows the tempo of every piece. The running time is the piece's place on
    // the timeline, from whole samples, so a position gets the same wave however it was reached.
    in.velocityHz = mappingFunctions.velocity_hz (s.rawVelocity, s.velocityMode);
    const float wavelengthSeconds = (17.0f * s.wavelength) * in.timeUnit;
    const float turn = waveTurn ((in.velocityHz * wavelengthSeconds) / wavelengthSeconds, wavePositionAt (pieceStart), rate);
    waveTurnAtPiece.store (turn, relaxed);
    in.waveTravel = turn * twoPi;
    return in;
}

bool OndulaDelay::aimsTapsLike (const OndulaDelay& leader, const BlockInputs& mine, const BlockInputs& theirs) noexcept
{
    // The settings the tap targets depend on are compared bit for bit when either side's have
    // changed; the mapped time values at every block.
    if (comparedWith != leader.serial || comparedSerials[0] != leader.blockSettingsSerial
        || comparedSerials[1] != blockSettingsSerial)
    {
        const auto& a = leader.blockSettings;
        const auto& b = blockSettings;
        tapSettingsMatch = std::memcmp (a.tapTable, b.tapTable, sizeof (a.tapTable)) == 0
                        && std::memcmp (a.ondulaScale, b.ondulaScale, sizeof (a.ondulaScale)) == 0
                        && std::memcmp (a.ondulaPhase, b.ondulaPhase, sizeof (a.ondulaPhase)) == 0
                        && std::memcmp (&a.wavelength, &b.wavelength, sizeof (float)) == 0
                        && std::memcmp (&a.phase, &b.phase, sizeof (float)) == 0
                        && std::memcmp (&a.amount, &b.amount, sizeof (float)) == 0
                        && a.onTripletGrid == b.onTripletGrid;
        comparedWith = leader.serial;
        comparedSerials[0] = leader.blockSettingsSerial;
        comparedSerials[1] = blockSettingsSerial;
    }

    const float dynamicMine[4] { mine.fs, mine.timeUnit, mine.velocityHz, mine.waveTravel };
    const float dynamicTheirs[4] { theirs.fs, theirs.timeUnit, theirs.velocityHz, theirs.waveTravel };
    return tapSettingsMatch && std::memcmp (dynamicMine, dynamicTheirs, sizeof (dynamicMine)) == 0;
}

void OndulaDelay::updateFeedbackState (const BlockInputs& in, bool settle) noexcept
{
    const auto& s = *in.settings;
    const float delay = clampTo ((16.0f * in.timeUnit) * in.fs, 0.0f, maxDelaySamples);
    const float frequency = centreFrequency (clamp01 (s.feedbackFrequency));
    const float bandwidth = bandwidthOctaves (clamp01 (s.feedbackWidth));
    const float gain = clamp01 (s.feedbackAmplitude);
    const float pan = clamp01 (s.feedbackPan);

    previousFeedbackState = feedbackState;
    auto& state = feedbackState;

    if (settle)
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

    design (feedbackDesign, frequency, bandwidth, in.fs, state);
    state.enabled = true;

    if (settle)
        previousFeedbackState = state;
}

void OndulaDelay::packFeedback (TapLaneKernel::Feedback& f, int channel) const noexcept
{
    // The ramps run across the whole piece, from the previous piece's records to this one's.
    const int n = pieceLength;
    const float r = (float) (1.0 / (double) n);
    const auto& from = previousFeedbackState;
    const auto& to = feedbackState;
    const int32_t d0 = from.delayOndula;
    const int c = channel;

    f.start[c] = (blockStartWriteIndex - d0) & lineMask;
    f.writeStart[c] = blockStartWriteIndex;
    f.step[c] = (float) (to.delayOndula - d0) * (1.0f / (float) n);
    f.b0[c] = from.b0; f.db0[c] = (to.b0 - from.b0) * r;
    f.b1[c] = from.b1; f.db1[c] = (to.b1 - from.b1) * r;
    f.b2[c] = from.b2; f.db2[c] = (to.b2 - from.b2) * r;
    f.a1[c] = from.a1; f.da1[c] = (to.a1 - from.a1) * r;
    f.a2[c] = from.a2; f.da2[c] = (to.a2 - from.a2) * r;
    f.gain[c] = from.gain; f.dgain[c] = (to.gain - from.gain) * r;

    const auto& h = feedbackFilter;
    f.x1[c] = h.x1; f.x2[c] = h.x2; f.x3[c] = h.x3;
    f.y1[c] = h.y1; f.y2[c] = h.y2; f.y3[c] = h.y3;
}

void OndulaDelay::takeFeedbackMemory (const TapLaneKernel::Feedback& f, int channel) noexcept
{
    auto& h = feedbackFilter;
    h.x1 = f.x1[channel]; h.x2 = f.x2[channel]; h.x3 = f.x3[channel];
    h.y1 = f.y1[channel]; h.y2 = f.y2[channel]; h.y3 = f.y3[channel];
}

void OndulaDelay::addFeedbackToLine (int n) noexcept
{
    // This block's feedback joins the input, so every tap hears both.
    const int start = blockStartWriteIndex;
    const int firstRun = std::min (n, delayLineSize - start);

    for (int i = 0; i < firstRun; ++i)
        delayLine[start + i] += feedbackScratch[i];

    for (int i = firstRun; i < n; ++i)
        delayLine[i - firstRun] += feedbackScratch[i];
}

void OndulaDelay::aimTaps (const BlockInputs& in, TapAim& aim) const noexcept
{
    const auto& s = *in.settings;
    const auto& column = tapColumns;
    const float timeUnit = in.timeUnit;
    const float* grid = s.onTripletGrid ? tripletGrid() : straightGrid();
    const float wavelengthSeconds = (17.0f * s.wavelength) * timeUnit;

    // While the wave's travel lies inside 0.5..4 the delay depth is 16384 / (17 velocity)
    // samples at full amount and weight, whatever the time unit.
    const float travel = clampTo (wavelengthSeconds * in.velocityHz, 0.5f, 4.0f);
    const float depthFactor = (((s.wavelength * timeUnit) * 16384.0f) / travel) * s.amount;

    for (int t = 0; t < numTaps; ++t)
    {
        const float seconds = grid[t] * timeUnit;
        aim.phaseOnGrid[t] = (twoPi * seconds) / wavelengthSeconds;
        aim.baseDelay[t] = clampTo (seconds * in.fs, 0.0f, maxDelaySamples);
        aim.depth[t] = depthFactor * column[8][t];
    }

    for (int q = 0; q < 4; ++q)
        for (int t = 0; t < numTaps; ++t)
            aim.weight[q][t] = s.amount * column[4 + q][t];

    // A tap's wave is skipped where it cannot change the result: no delay depth (a signed zero
    // truncates to the same sample), or no weight on a non-zero base.
    for (int t = 0; t < numTaps; ++t)
        aim.needed[4][t] = aim.depth[t] != 0.0f;

    for (int q = 0; q < 4; ++q)
        for (int t = 0; t < numTaps; ++t)
            aim.needed[q][t] = ! (aim.weight[q][t] == 0.0f && column[q][t] != 0.0f);
}

void OndulaDelay::computeTapTargets (const BlockInputs& in) noexcept
{
    // Each step runs over all 32 taps before the next, on the tap table's columns, so that the
    // library calls of different taps overlap and the plain arithmetic vectorises; every value is
    // formed exactly as for one tap on its own.
    const auto& s = *in.settings;
    const auto& column = tapColumns;
    auto& out = targets;
    TapAim aim;
    aimTaps (in, aim);
    const auto& phaseOnGrid = aim.phaseOnGrid;
    const auto& depth = aim.depth;
    const auto& weight = aim.weight;
    const auto& needed = aim.needed;
    std::copy (std::begin (aim.baseDelay), std::end (aim.baseDelay), out.baseDelay);
    alignas (64) float wave[numOndulaQuantities][numTaps];

    // The travelling wave of quantity p: a sine along the taps that moves with the running time.
    // Quantities whose phases agree share their sines.

    alignas (64) float sine[numOndulaQuantities][numTaps];
    float shift[numOndulaQuantities];
    int source[numOndulaQuantities];

    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        shift[p] = (s.ondulaPhase[p] + s.phase) * twoPi - in.waveTravel;
        source[p] = p;

        for (int q = 0; q < p && source[p] == p; ++q)
            if (std::memcmp (&shift[q], &shift[p], sizeof (float)) == 0)
                source[p] = q;
    }

    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        if (source[p] != p)
            continue;

        for (int t = 0; t < numTaps; ++t)
        {
            bool any = false;

            for (int q = p; q < numOndulaQuantities; ++q)
                any = any || (source[q] == p && needed[q][t]);

            sine[p][t] = any ? std::sin (phaseOnGrid[t] + shift[p]) : 0.0f;
        }
    }

    for (int p = 0; p < numOndulaQuantities; ++p)
    {
        const float scale = s.ondulaScale[p];
        const float halfScale = 0.5f * scale;
        const float* sines = sine[source[p]];

        for (int t = 0; t < numTaps; ++t)
        {
            const float r = needed[p][t] ? halfScale * sines[t] : 0.0f;
            wave[p][t] = p == 4 ? r + scale : r;
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
            const float base = column[q][t];
            const float modulated = clamp01 (weight[q][t] * wave[q][t] + base);
            control[q][t] = weight[q][t] == 0.0f && base != 0.0f ? clamp01 (base) : modulated;
        }

    for (int t = 0; t < numTaps; ++t)
        out.frequency[t] = centreFrequency (control[0][t]);

    for (int t = 0; t < numTaps; ++t)
        out.bandwidth[t] = bandwidthOctaves (control[1][t]);

    std::copy (std::begin (control[2]), std::end (control[2]), out.amplitude);
    std::copy (std::begin (control[3]), std::end (control[3]), out.pan);

    // Unmodulated taps ask for the same filter block after block: only changed bands are
    // designed, all together.
    int changed[numTaps], misses = 0;
    float missFrequency[numTaps], missBandwidth[numTaps];

    for (int t = 0; t < numTaps; ++t)
    {
        const auto& cache = tapDesigns[t];

        if (out.frequency[t] != cache.frequency || out.bandwidth[t] != cache.bandwidth || in.fs != cache.sampleRate)
        {
            changed[misses] = t;
            missFrequency[misses] = out.frequency[t];
            missBandwidth[misses] = out.bandwidth[t];
            ++misses;
        }
    }

    float numerators[numTaps][3], denominators[numTaps][3];
    IIRFilter<float>::designFlatBands (missFrequency, missBandwidth, misses, in.fs, numerators, denominators);

    for (int m = 0; m < misses; ++m)
        tapDesigns[changed[m]] = { missFrequency[m], missBandwidth[m], in.fs,
                                   numerators[m][0], numerators[m][1], numerators[m][2],
                                   denominators[m][0], denominators[m][1], denominators[m][2] };

    for (int t = 0; t < numTaps; ++t)
    {
        const auto& d = tapDesigns[t];
        tapCoefficients[0][t] = d.b0; tapCoefficients[1][t] = d.b1; tapCoefficients[2][t] = d.b2;
        tapCoefficients[3][t] = d.a0; tapCoefficients[4][t] = d.a1; tapCoefficients[5][t] = d.a2;
    }
}

void OndulaDelay::copyTapTargets (const OndulaDelay& other) noexcept
{
    const auto& from = other.targets;
    std::copy (std::begin (from.delay), std::end (from.delay), targets.delay);
    std::copy (std::begin (from.baseDelay), std::end (from.baseDelay), targets.baseDelay);
    std::copy (std::begin (from.frequency), std::end (from.frequency), targets.frequency);
    std::copy (std::begin (from.bandwidth), std::end (from.bandwidth), targets.bandwidth);
    std::copy (std::begin (from.amplitude), std::end (from.amplitude), targets.amplitude);
    std::copy (std::begin (from.pan), std::end (from.pan), targets.pan);
    std::memcpy (tapCoefficients, other.tapCoefficients, sizeof (tapCoefficients));
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

void OndulaDelay::updateTapStates() noexcept
{
    // Field by field over all taps, so that the smoothing runs on whole vectors; this block's
    // records are written over the ones before last, next to the previous block's.
    const auto& target = targets;
    currentRecords = 1 - currentRecords;
    auto& r = records();
    const auto& before = previousRecords();

    for (int t = 0; t < numTaps; ++t)
        r.delayOndula[t] = smoothTowards (before.delayOndula[t], target.delay[t]);
    for (int t = 0; t < numTaps; ++t)
        r.delayBase[t] = smoothTowards (before.delayBase[t], target.baseDelay[t]);
    for (int t = 0; t < numTaps; ++t)
        r.frequency[t] = smoothTowards (before.frequency[t], target.frequency[t]);
    for (int t = 0; t < numTaps; ++t)
        r.bandwidth[t] = smoothTowards (before.bandwidth[t], target.bandwidth[t]);
    for (int t = 0; t < numTaps; ++t)
        r.amplitude[t] = smoothTowards (before.amplitude[t], target.amplitude[t]);
    for (int t = 0; t < numTaps; ++t)
        r.pan[t] = smoothTowards (before.pan[t], target.pan[t]);
    for (int t = 0; t < numTaps; ++t)
        r.gain[t] = smoothTowards (before.gain[t], target.gain[t]);

    std::copy (std::begin (tapCoefficients[0]), std::end (tapCoefficients[0]), r.b0);
    std::copy (std::begin (tapCoefficients[1]), std::end (tapCoefficients[1]), r.b1);
    std::copy (std::begin (tapCoefficients[2]), std::end (tapCoefficients[2]), r.b2);
    std::copy (std::begin (tapCoefficients[3]), std::end (tapCoefficients[3]), r.a0);
    std::copy (std::begin (tapCoefficients[4]), std::end (tapCoefficients[4]), r.a1);
    std::copy (std::begin (tapCoefficients[5]), std::end (tapCoefficients[5]), r.a2);
    std::copy (std::begin (target.enabled), std::end (target.enabled), r.enabled);
}

void OndulaDelay::publishTapStates() noexcept
{
    // The filter graph's copy of this piece's records.
    const auto& r = records();

    for (int t = 0; t < numTaps; ++t)
        tapStates[t] = { r.delayOndula[t], r.delayBase[t], r.b0[t], r.b1[t], r.b2[t], r.a0[t], r.a1[t], r.a2[t],
                         r.frequency[t], r.bandwidth[t], r.gain[t], r.amplitude[t], r.pan[t], r.enabled[t] };
}

void OndulaDelay::packLanes (TapLaneKernel::Lanes& l, int channel) noexcept
{
    // The ramps run across the whole piece, from the previous piece's records to this one's.
    const int n = pieceLength;
    const float r = (float) (1.0 / (double) n);
    const float perSample = 1.0f / (float) n;
    const auto& from = previousRecords();
    const auto& to = records();

    // Enabled taps take lanes in tap order, four per group; the last group is filled up with
    // silent copies of tap 31, and at least one group runs. The lanes of groups that do not run
    // take the zero entry below: silent, reading anywhere inside the line, keeping their memory.
    constexpr int zero = numTaps;
    int tapOfLane[numTaps], gainOfLane[numTaps];
    int lane = 0;

    for (int t = 0; t < numTaps; ++t)
        if (to.enabled[t])
        {
            tapOfLane[lane] = gainOfLane[lane] = t;
            ++lane;
        }

    if (lane % 4 != 0 || lane == 0)
        do
        {
            tapOfLane[lane] = numTaps - 1;
            gainOfLane[lane] = zero;
            ++lane;
        }
        while (lane % 4 != 0);

    const int groupsRun = lane / 4;
    l.groups[channel] = groupsRun;

    for (int j = lane; j < numTaps; ++j)
        tapOfLane[j] = gainOfLane[j] = zero;

    // Every ramp per tap first, on whole vectors: its starting value and its increment.
    constexpr int ramps = 6;
    const float* const starting[ramps] { from.b0, from.b1, from.b2, from.a1, from.a2, from.gain };
    const float* const ending[ramps] { to.b0, to.b1, to.b2, to.a1, to.a2, to.gain };
    float* const values[ramps] { l.b0, l.b1, l.b2, l.a1, l.a2, l.gain };
    float* const increments[ramps] { l.db0, l.db1, l.db2, l.da1, l.da2, l.dgain };
    alignas (64) float value[ramps][numTaps + 1], increment[ramps][numTaps + 1], step[numTaps + 1];
    alignas (64) int32_t start[numTaps + 1];

    for (int q = 0; q < ramps; ++q)
    {
        for (int t = 0; t < numTaps; ++t)
        {
            value[q][t] = starting[q][t];
            increment[q][t] = (ending[q][t] - starting[q][t]) * r;
        }

        value[q][zero] = increment[q][zero] = 0.0f;
    }

    for (int t = 0; t < numTaps; ++t)
    {
        const int32_t d0 = from.delayOndula[t];
        start[t] = (blockStartWriteIndex - d0) & lineMask;
        step[t] = (float) (to.delayOndula[t] - d0) * perSample;
    }

    start[zero] = 0;
    step[zero] = 0.0f;

    // Then into the lanes' planes: lane k of group g goes to plane k.
    for (int k = 0; k < 4; ++k)
        for (int g = 0; g < numGroups; ++g)
        {
            const int s = TapLaneKernel::slot (channel, g, k);
            const int t = tapOfLane[4 * g + k];
            const int gainTap = gainOfLane[4 * g + k];

            for (int q = 0; q < ramps - 1; ++q)
            {
                values[q][s] = value[q][t];
                increments[q][s] = increment[q][t];
            }

            values[ramps - 1][s] = value[ramps - 1][gainTap];
            increments[ramps - 1][s] = increment[ramps - 1][gainTap];
            l.start[s] = start[t];
            l.step[s] = step[t];
        }

    for (int g = 0; g < groupsRun; ++g)
    {
        const auto& f = groupFilters[g];
        alignas (16) float history[6][4];
        f.laneX1.copyToRawArray (history[0]); f.laneX2.copyToRawArray (history[1]); f.laneX3.copyToRawArray (history[2]);
        f.laneY1.copyToRawArray (history[3]); f.laneY2.copyToRawArray (history[4]); f.laneY3.copyToRawArray (history[5]);

        for (int k = 0; k < 4; ++k)
        {
            const int s = TapLaneKernel::slot (channel, g, k);
            l.x1[s] = history[0][k]; l.x2[s] = history[1][k]; l.x3[s] = history[2][k];
            l.y1[s] = history[3][k]; l.y2[s] = history[4][k]; l.y3[s] = history[5][k];
        }
    }
}

void OndulaDelay::takeLaneMemory (const TapLaneKernel::Lanes& l, int channel) noexcept
{
    using Lanes = IIRFilter<float>::Lanes;

    for (int g = 0; g < l.groups[channel]; ++g)
    {
        alignas (16) float history[6][4];

        for (int k = 0; k < 4; ++k)
        {
            const int s = TapLaneKernel::slot (channel, g, k);
            history[0][k] = l.x1[s]; history[1][k] = l.x2[s]; history[2][k] = l.x3[s];
            history[3][k] = l.y1[s]; history[4][k] = l.y2[s]; history[5][k] = l.y3[s];
        }

        auto& f = groupFilters[g];
        f.laneX1 = Lanes::fromRawArray (history[0]); f.laneX2 = Lanes::fromRawArray (history[1]); f.laneX3 = Lanes::fromRawArray (history[2]);
        f.laneY1 = Lanes::fromRawArray (history[3]); f.laneY2 = Lanes::fromRawArray (history[4]); f.laneY3 = Lanes::fromRawArray (history[5]);
    }
}

void OndulaDelay::startPiece (OndulaDelay* const* engines, int count, int64_t pieceStart)
{
    BlockInputs inputs[TapLaneKernel::maxChannels];

    // 1. Every engine reads its settings and the running time once per piece.
    for (int e = 0; e < count; ++e)
        inputs[e] = engines[e]->readBlockInputs (pieceStart);

    // 2. The feedback paths' targets and records.
    for (int e = 0; e < count; ++e)
        engines[e]->updateFeedbackState (inputs[e], false);

    // 3. Every tap's targets and records, enabled or not. The two channels of a pair aim their
    //    taps alike (only the patterns and the pan laws differ), so the second takes the first
    //    one's targets and filter designs when they come from exactly the same inputs.
    for (int e = 0; e < count; ++e)
    {
        auto& engine = *engines[e];

        if (e > 0 && engine.aimsTapsLike (*engines[0], inputs[e], inputs[0]))
            engine.copyTapTargets (*engines[0]);
        else
            engine.computeTapTargets (inputs[e]);

        engine.computeGains (*inputs[e].settings);
        engine.updateTapStates();
        engine.publishTapStates();
    }
}

void OndulaDelay::renderSegment (OndulaDelay* const* engines, float* const* samples, int count, int n)
{
    const int rampStart = engines[0]->piecePosition;

    // 1. The input enters each line.
    for (int e = 0; e < count; ++e)
        engines[e]->writeInput (samples[e], n);

    // 2. Feedback paths: each reads its line before this stretch's feedback enters it. When every
    //    read lies before the stretch, the lane kernel runs them sample by sample alongside the
    //    taps; otherwise they run first and their output joins the lines afterwards.
    float* lines[TapLaneKernel::maxChannels] {};
    TapLaneKernel::Feedback feedback {};

    for (int e = 0; e < count; ++e)
    {
        lines[e] = engines[e]->delayLine;
        engines[e]->packFeedback (feedback, e);
    }

    const bool feedbackWithTaps = TapLaneKernel::feedbackReadsPrecedeBlock (feedback, count, rampStart, n);

    if (! feedbackWithTaps)
    {
        float* scratch[TapLaneKernel::maxChannels] {};

        for (int e = 0; e < count; ++e)
            scratch[e] = engines[e]->feedbackScratch;

        TapLaneKernel::renderFeedback (lines, count, rampStart, n, feedback, scratch);
    }

    // 3. The taps of every channel, rendered together.
    auto& lanes = engines[0]->lanes;

    for (int e = 0; e < count; ++e)
    {
        if (! feedbackWithTaps)
            engines[e]->addFeedbackToLine (n);

        engines[e]->packLanes (lanes, e);
    }

    TapLaneKernel::render (engines[0]->lanePath, lines, count, rampStart, n, lanes, feedbackWithTaps ? &feedback : nullptr,
                           samples);

    for (int e = 0; e < count; ++e)
    {
        auto& engine = *engines[e];
        engine.takeLaneMemory (lanes, e);
        engine.takeFeedbackMemory (feedback, e);
        engine.streamPosition = std::min (engine.streamPosition + n, timelineLimit);
        engine.piecePosition = (engine.piecePosition + n) % engine.pieceLength;
        const auto anchor = engine.inMotion ? engine.streamAnchor : engine.movedTo;
        const auto travelled = engine.wavePositionAt (engine.streamPosition) - engine.wavePositionAt (anchor);
        engine.clock.store (travelled / (double) engine.sampleRate.load (relaxed), relaxed);
    }
}
