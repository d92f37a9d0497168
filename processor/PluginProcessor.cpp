#include "processor/PluginProcessor.h"

#include "editor/PluginEditor.h"

#include "processor/ModeParameter.h"
#include "processor/QuorlStyleCurve.h"
#include "processor/SavedStateWriter.h"
#include "processor/StateBlockReader.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

namespace
{
/** Replaces every NaN or infinite sample with silence; plain bit tests, so the loop vectorises. */
inline void silenceNonFiniteLoop (float* samples, int n) noexcept
{
    for (int i = 0; i < n; ++i)
    {
        uint32_t bits;
        std::memcpy (&bits, samples + i, sizeof bits);
        bits &= (bits & 0x7f800000u) == 0x7f800000u ? 0u : ~0u; // all exponent bits set: NaN or infinite
        std::memcpy (samples + i, &bits, sizeof bits);
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loop twice as wide where the processor allows: the check runs over every input sample
// of every block.
__attribute__ ((target ("avx2"))) void silenceNonFiniteWide (float* samples, int n) noexcept
{
    silenceNonFiniteLoop (samples, n);
}

const bool hasWideVectors = []
{
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2") != 0;
}();
#endif

void silenceNonFinite (float* samples, int n) noexcept
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (hasWideVectors)
        return silenceNonFiniteWide (samples, n);
#endif

    silenceNonFiniteLoop (samples, n);
}

/** What a host parameter's value is handed to on the audio thread. */
enum class HostTarget
{
    engines,    // both delay engines, as the setting named by `engineSetting`
    wet,        // the dry/wet stage
    threshold,  // both compressors
    slope,      // both compressors
    none        // "dry": the mix follows "wet" alone
};

struct ParameterSpec
{
    const char* id;
    const char* name;
    bool isMode;
    HostTarget target;
    int engineSetting;
};

using E = OndulaDelay;
constexpr auto engines = HostTarget::engines;

// Host parameters in the order a host lists them. The IDs identify saved automation from one
// project to the next: never change their spelling.
constexpr ParameterSpec parameterSpecs[] = {
    { "automation_frequency_value", "Automation Frequency Value", false, engines, E::automationValue + 0 },
    { "automation_frequency_amount", "Automation Frequency Amount", false, engines, E::automationScale + 0 },
    { "automation_bandwidth_value", "Automation Bandwidth Value", false, engines, E::automationValue + 1 },
    { "automation_bandwidth_amount", "Automation Bandwidth Amount", false, engines, E::automationScale + 1 },
    { "automation_amplitude_value", "Automation Amplitude Value", false, engines, E::automationValue + 2 },
    { "automation_amplitude_amount", "Automation Amplitude Amount", false, engines, E::automationScale + 2 },
    { "automation_pan_value", "Automation Pan Value", false, engines, E::automationValue + 3 },
    { "automation_pan_amount", "Automation Pan Amount", false, engines, E::automationScale + 3 },
    { "ondula_frequency_amount", "Ondula Frequency Amount", false, engines, E::ondulaScale + 0 },
    { "ondula_frequency_phase", "Ondula Frequency Phase", false, engines, E::ondulaPhase + 0 },
    { "ondula_bandwidth_amount", "Ondula Bandwidth Amount", false, engines, E::ondulaScale + 1 },
    { "ondula_bandwidth_phase", "Ondula Bandwidth Phase", false, engines, E::ondulaPhase + 1 },
    { "ondula_amplitude_amount", "Ondula Amplitude Amount", false, engines, E::ondulaScale + 2 },
    { "ondula_amplitude_phase", "Ondula Amplitude Phase", false, engines, E::ondulaPhase + 2 },
    { "ondula_pan_amount", "Ondula Pan Amount", false, engines, E::ondulaScale + 3 },
    { "ondula_pan_phase", "Ondula Pan Phase", false, engines, E::ondulaPhase + 3 },
    { "ondula_delay_amount", "Ondula Delay Amount", false, engines, E::ondulaScale + 4 },
    { "ondula_delay_phase", "Ondula Delay Phase", false, engines, E::ondulaPhase + 4 },
    { "delay_globals_ondula_time_mode", "delay_globals_ondula_time_mode", true, engines, E::ondulaTimeMode },
    { "delay_globals_ondula_wavelength", "delay_globals_ondula_wavelength", false, engines, E::globalWavelength },
    { "delay_globals_ondula_phase", "delay_globals_ondula_phase", false, engines, E::globalPhase },
    { "delay_globals_ondula_velocity", "delay_globals_ondula_velocity", false, engines, E::globalVelocity },
    { "delay_globals_ondula_amount", "delay_globals_ondula_amount", false, engines, E::globalAmount },
    { "delay_globals_time_time_mode", "delay_globals_time_time_mode", true, engines, E::delayTimeMode },
    { "delay_globals_time_pattern_mode", "delay_globals_time_pattern_mode", true, engines, E::patternMode },
    { "delay_globals_time_time", "delay_globals_time_time", false, engines, E::delayTime },
    { "delay_globals_dynamics_dry", "delay_globals_dynamics_dry", false, HostTarget::none, 0 },
    { "delay_globals_dynamics_wet", "delay_globals_dynamics_wet", false, HostTarget::wet, 0 },
    { "delay_globals_dynamics_compressor_threshold", "delay_globals_compressor_threshold", false, HostTarget::threshold, 0 },
    { "delay_globals_dynamics_compressor_slope", "delay_globals_compressor_slope", false, HostTarget::slope, 0 },
};

static_assert (std::size (parameterSpecs) == OndulaDelayAudioProcessor::numParameters);

// Defaults are single-precision values widened to double, as the state has always stored them.
juce::var floatDefault (float v) { return juce::var (static_cast<double> (v)); }

struct Point
{
    float x, y, curve;
};

/** The host may call from a thread of its own while the framework's message thread (inside the
    plug-in on Linux, until an editor attaches the host's run loop) writes the tree for parameter
    changes. Work on the tree from another thread therefore holds the message thread first. */
std::unique_ptr<juce::MessageManagerLock> holdMessageThread()
{
    const auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();

    if (messageManager == nullptr || messageManager->isThisTheMessageThread())
        return nullptr;

    return std::make_unique<juce::MessageManagerLock>();
}

std::string printedCurve (QuorlStyleCurve& scratch, std::initializer_list<Point> points)
{
    scratch.points.clear();

    for (const auto& p : points)
        scratch.addControlPoint (p.x, p.y, p.curve);

    return scratch.toString();
}
} // namespace

OndulaDelayAudioProcessor::OndulaDelayAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, valueTreeId, createParameterLayout())
{
    // Looked up once, so the audio thread maps host values without a search or a cast.
    for (size_t p = 0; p < hostParameters.size(); ++p)
        hostParameters[p] = parameters.getParameter (parameterSpecs[p].id);

    initValueTree();
    presetManager.tree = stateTree;
    rightDelay.isRightChannel = true;

    // processBlock silences non-finite input before the engines see it.
    leftDelay.inputIsFinite = true;
    rightDelay.inputIsFinite = true;

    // Bound again now that the right engine knows its side, so it plays the right pattern.
    leftDelay.setValueTree (stateTree);
    rightDelay.setValueTree (stateTree);

    commandLine.echo ("`1Ondula Delay Free 1.0.0 by Kelvatone");

    leftCompressor.smoothing = 0.9978385f;
    rightCompressor.smoothing = 0.9978385f;

    dryWetMixer.setValueTree (stateTree);
    leftCompressor.setValueTree (stateTree);
    rightCompressor.setValueTree (stateTree);

    setPushToParameterEnabled (true);

    // Otherwise the host would show the parameters' declared defaults, which are not what plays.
    for (auto& attachment : parameterAttachments)
        attachment->takeValueFromTreeSilently();

    startTimer (writeBackMilliseconds);
}

OndulaDelayAudioProcessor::~OndulaDelayAudioProcessor()
{
    destructionLock = holdMessageThread();
    stopTimer();

    while (stateTree.getNumChildren() > 0)
        stateTree.removeChild (stateTree.getNumChildren() - 1, nullptr);
}

juce::AudioProcessorValueTreeState::ParameterLayout OndulaDelayAudioProcessor::createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    for (const auto& spec : parameterSpecs)
    {
        const juce::ParameterID id { spec.id, 0 };

        if (spec.isMode)
            layout.add (std::make_unique<ModeParameter> (id, spec.name));
        else
            layout.add (std::make_unique<juce::AudioParameterFloat> (id, spec.name, juce::NormalisableRange<float> (0.0f, 1.0f), 0.5f));
    }

    return layout;
}

void OndulaDelayAudioProcessor::addAttachment (const juce::String& parameterId, juce::ValueTree node, const juce::Identifier& property)
{
    if (auto* parameter = parameters.getParameter (parameterId))
    {
        parameterAttachments.push_back (std::make_unique<ValueTreeParameterAttachment> (*parameter, std::move (node), property));

        if (const auto index = parameter->getParameterIndex(); index >= 0 && index < numParameters)
            attachmentOfParameter[(size_t) index] = parameterAttachments.back().get();
    }
}

void OndulaDelayAudioProcessor::initValueTree()
{
    attachmentOfParameter.fill (nullptr);

    while (! parameterAttachments.empty())
        parameterAttachments.pop_back();

    QuorlStyleCurve scratch;
    stateTree = juce::ValueTree ("top");

    stateTree.setProperty ("version", 100, nullptr);
    stateTree.setProperty ("software", "ondula_delay", nullptr);
    stateTree.setProperty ("preset_name", "Default Preset", nullptr);

    // --- automation ---
    juce::ValueTree automation ("automation");
    stateTree.appendChild (automation, nullptr);

    struct AutomationSpec
    {
        const char* type;
        float value, scaleY;
        std::initializer_list<Point> curve;
        const char* valueParameter;
        const char* amountParameter;
    };

    const AutomationSpec automationSpecs[] = {
        { "automation_frequency", 0.2f, 0.3f, { { 0, 1, -0.1f }, { 1, 0, 0 } }, "automation_frequency_value", "automation_frequency_amount" },
        { "automation_amplitude", 0.0f, 1.0f, { { 0, 1, 0 }, { 1, 0, 0 } }, "automation_amplitude_value", "automation_amplitude_amount" },
        { "automation_bandwidth", 0.2f, 0.3f, { { 0, 1, -0.1f }, { 1, 0, 0 } }, "automation_bandwidth_value", "automation_bandwidth_amount" },
        { "automation_pan", 0.5f, 0.0f, { { 0, 0, 0 }, { 1, 0, 0 } }, "automation_pan_value", "automation_pan_amount" },
    };

    for (const auto& spec : automationSpecs)
    {
        const auto curve = printedCurve (scratch, spec.curve);
        juce::ValueTree node (spec.type);
        node.setProperty ("value", floatDefault (spec.value), nullptr);
        node.setProperty ("scale_y", floatDefault (spec.scaleY), nullptr);
        node.setProperty ("curve", juce::String (curve), nullptr);
        automation.appendChild (node, nullptr);
        addAttachment (spec.valueParameter, node, "value");
        addAttachment (spec.amountParameter, node, "scale_y");
    }

    // --- ondula ---
    juce::ValueTree ondula ("ondula");
    stateTree.appendChild (ondula, nullptr);

    struct OndulaSpec
    {
        const char* type;
        float scale, phase;
        Point point;
    };

    const OndulaSpec ondulaSpecs[] = {
        { "ondula_frequency", 0.25f, 0.0f, { 0, 0.5f, 0 } },
        { "ondula_amplitude", 0.5f, 0.0f, { 0, 0, 0 } },
        { "ondula_bandwidth", 0.25f, 0.75f, { 0, 1, 0 } },
        { "ondula_pan", 0.5f, 0.0f, { 0, 0, 0 } },
        { "ondula_delay", 0.5f, 0.0f, { 0, 1, 0 } },
    };

    for (const auto& spec : ondulaSpecs)
    {
        const auto curve = printedCurve (scratch, { spec.point });
        juce::ValueTree node (spec.type);
        node.setProperty ("scale", floatDefault (spec.scale), nullptr);
        node.setProperty ("phase", floatDefault (spec.phase), nullptr);
        node.setProperty ("curve", juce::String (curve), nullptr);
        ondula.appendChild (node, nullptr);
        addAttachment (juce::String (spec.type) + "_amount", node, "scale");
        addAttachment (juce::String (spec.type) + "_phase", node, "phase");
    }

    // --- delay ---
    juce::ValueTree delay ("delay");
    stateTree.appendChild (delay, nullptr);

    juce::ValueTree pattern ("delay_pattern");
    pattern.setProperty ("time", 0.5, nullptr);
    pattern.setProperty ("time_mode", 0, nullptr);
    pattern.setProperty ("pattern_l", "01100110100110010101010110101010", nullptr);
    pattern.setProperty ("pattern_r", "00011001011001101010101001010101", nullptr);
    delay.appendChild (pattern, nullptr);

    juce::ValueTree globals ("delay_globals");
    globals.setProperty ("time_mode", 1, nullptr);
    for (const auto* name : { "dry", "wet", "wavelength", "phase", "velocity" })
        globals.setProperty (name, 0.5, nullptr);
    delay.appendChild (globals, nullptr);

    juce::ValueTree globalsOndula ("delay_globals_ondula");
    globalsOndula.setProperty ("time_mode", 1, nullptr);
    for (const auto* name : { "wavelength", "phase", "velocity", "amount" })
        globalsOndula.setProperty (name, 0.5, nullptr);
    delay.appendChild (globalsOndula, nullptr);
    for (const auto* name : { "time_mode", "wavelength", "phase", "velocity", "amount" })
        addAttachment (juce::String ("delay_globals_ondula_") + name, globalsOndula, name);

    juce::ValueTree globalsTime ("delay_globals_time");
    globalsTime.setProperty ("time_mode", 1, nullptr);
    globalsTime.setProperty ("pattern_mode", 0, nullptr);
    globalsTime.setProperty ("time", 0.5, nullptr);
    globalsTime.setProperty ("feedback_amplitude", 0.0, nullptr);
    globalsTime.setProperty ("feedback_frequency", 0.5, nullptr);
    globalsTime.setProperty ("feedback_width", 0.5, nullptr);
    delay.appendChild (globalsTime, nullptr);
    for (const auto* name : { "time_mode", "pattern_mode", "time" })
        addAttachment (juce::String ("delay_globals_time_") + name, globalsTime, name);

    juce::ValueTree dynamics ("delay_globals_dynamics");
    dynamics.setProperty ("dry", 0.5, nullptr);
    dynamics.setProperty ("wet", 0.5, nullptr);
    dynamics.setProperty ("compressor_threshold", 1.0, nullptr);
    dynamics.setProperty ("compressor_slope", 0.5, nullptr);
    delay.appendChild (dynamics, nullptr);
    for (const auto* name : { "dry", "wet", "compressor_threshold", "compressor_slope" })
        addAttachment (juce::String ("delay_globals_dynamics_") + name, dynamics, name);

    bindAudioObjects();
}

void OndulaDelayAudioProcessor::bindAudioObjects()
{
    leftDelay.setValueTree (stateTree);
    rightDelay.setValueTree (stateTree);
    leftCompressor.setValueTree (stateTree);
    rightCompressor.setValueTree (stateTree);
    dryWetMixer.setValueTree (stateTree);
}

void OndulaDelayAudioProcessor::setPushToParameterEnabled (bool enabled)
{
    for (auto& attachment : parameterAttachments)
        attachment->setPushToParameterEnabled (enabled);
}

void OndulaDelayAudioProcessor::sendChangesMadeWhileQuiet()
{
    bool changedBeyondParameters = false;

    for (auto& attachment : parameterAttachments)
        changedBeyondParameters = attachment->sendChangeMadeWhileOff() || changedBeyondParameters;

    // A mode of -1 repaired to 0 while its parameter stood at 0: the saved state changed all the same.
    if (changedBeyondParameters)
        updateHostDisplay (ChangeDetails{}.withNonParameterStateChanged (true));
}

const juce::String OndulaDelayAudioProcessor::getName() const { return "Ondula Delay Free"; }

void OndulaDelayAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // Blocks are processed in chunks of the prepared size, so no announced size need be prepared
    // beyond what a host hands over in one call (2^24 samples: almost 6 minutes at 48 kHz); above
    // 2^30 the mixer's power-of-two sizing overflows. Each part takes its new sizes only once
    // they are allocated, so a failed allocation leaves every part able to process blocks of the
    // size prepared before.
    const int blockSize = juce::jlimit (1, maxPreparedBlockSize, maximumExpectedSamplesPerBlock);

    const juce::dsp::ProcessSpec monoSpec { sampleRate, (juce::uint32) blockSize, 1 };
    leftDelay.prepare (monoSpec);
    rightDelay.prepare (monoSpec);

    // Room for the host's lines at every control piece of a call: some hosts send longer calls
    // than they announce, so up to eight announced blocks are taken exactly.
    const int64_t longestCall = 8 * (int64_t) blockSize;
    hostAutomation.prepare ((int) juce::jmin<int64_t> (longestCall / leftDelay.pieceSamples() + 2, 1 << 16));

    // Values a host set before playback play from the first sample, unramped.
    hostAutomation.beginBlock();
    hostAutomation.valuesAt (0, [this] (int parameter, float value) { applyHostValue (parameter, value); });

    dryWetMixer.prepare ({ sampleRate, (juce::uint32) blockSize, 2 });
    preparedBlockSize = blockSize;

    mappingFunctions.secondsPerBeat.store (0.5f, std::memory_order_relaxed);

    // A new start: nothing played before comes out again, and the next block takes up the
    // timeline afresh, on the grid of the new rate.
    leftCompressor.reset();
    rightCompressor.reset();
    hostTimeline.unsettle();
    stepPlanned = false;
}

void OndulaDelayAudioProcessor::releaseResources() {}

void OndulaDelayAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const auto ins = getTotalNumInputChannels();
    const auto outs = getTotalNumOutputChannels();
    const auto n = buffer.getNumSamples();

    for (auto channel = ins; channel < outs; ++channel)
        buffer.clear (channel, 0, n);

    // A NaN or infinite input sample is silence on the dry path as on the wet one: passed on, it
    // would poison every effect after this one in the host's chain.
    for (int channel = 0; channel < juce::jmin (ins, buffer.getNumChannels()); ++channel)
        silenceNonFinite (buffer.getWritePointer (channel), n);

    // Never prepared, nothing is sized to process with; an empty block holds no stretch of the
    // timeline, so it changes nothing (its parameter points are owed to the next block).
    if (preparedBlockSize <= 0 || n <= 0)
        return;

    // The host's edits through the edit controller since the last block came before this block's
    // queues, and play from the next control piece, as they do; a state loaded since drops what
    // was still owed from before it.
    hostAutomation.beginBlock();

    // Offsets count from the start of the host's call, which a client may hand over in parts; the
    // call's first part takes its timeline step.
    const bool continuesCall = stepPlanned && callDone > 0;
    const int callOffset = continuesCall ? (int) callDone : 0;

    if (! continuesCall)
        takeTimelineStep (stepPlanned ? plannedStep : readTimeline (n));

    callDone += n;
    const bool callEnds = ! stepPlanned || callDone >= callSamples;

    if (callEnds)
        stepPlanned = false;

    if (! hostAutomation.anyActive())
    {
        renderRange (buffer, 0, n);

        if (callEnds)
            hostAutomation.endBlock();

        return;
    }

    // The block is rendered in stretches that end where control pieces start, each of which
    // takes the host's automation as it stands there, whatever the host's block size.
    const auto apply = [this] (int parameter, float value) { applyHostValue (parameter, value); };
    int cursor = 0;

    for (int start = leftDelay.samplesToNextPiece(); start < n; start += leftDelay.pieceSamples())
    {
        renderRange (buffer, cursor, start - cursor);
        hostAutomation.valuesAt (callOffset + start, apply);
        cursor = start;
    }

    renderRange (buffer, cursor, n - cursor);

    if (callEnds)
        hostAutomation.endBlock();
}

OndulaDelayAudioProcessor::TimelineStep OndulaDelayAudioProcessor::readTimeline (int numSamples) const noexcept
{
    TimelineStep step;
    HostTimeline::Report report;
    report.length = numSamples;

    if (auto* playHead = getPlayHead())
    {
        if (const auto position = playHead->getPosition())
        {
            step.bpm = static_cast<float> (position->getBpm().orFallback (120.0));
            report.playing = position->getIsPlaying();

            // Positions beyond the timeline's limit (absurd, or not numbers) are no positions.
            constexpr auto limit = (double) HostTimeline::limit;

            if (const auto samples = position->getTimeInSamples())
            {
                report.position = std::clamp (*samples, -HostTimeline::limit, HostTimeline::limit);
                report.hasPosition = true;
            }
            else if (const auto seconds = position->getTimeInSeconds(); seconds && std::abs (*seconds * getSampleRate()) < limit)
            {
                report.position = (int64_t) std::llround (*seconds * getSampleRate());
                report.hasPosition = true;
            }
        }
    }

    step.timeline = hostTimeline.decide (report, leftDelay.timelinePosition());
    return step;
}

int OndulaDelayAudioProcessor::firstPieceOffset (const TimelineStep& step) const noexcept
{
    if (step.timeline.action != HostTimeline::Action::move)
        return leftDelay.samplesToNextPiece();

    const int64_t length = leftDelay.pieceSamples();
    const auto into = ((step.timeline.position % length) + length) % length;
    return into == 0 ? 0 : (int) (length - into);
}

void OndulaDelayAudioProcessor::takeTimelineStep (const TimelineStep& step)
{
    if (step.bpm > 0.0f)
        mappingFunctions.secondsPerBeat.store (1.0f / (step.bpm / 60.0f), std::memory_order_relaxed);

    const auto& timeline = step.timeline;

    switch (timeline.action)
    {
        case HostTimeline::Action::move:
            moveToTimeline (timeline.position);
            break;
        case HostTimeline::Action::motion:
            leftDelay.followHostMotion ((double) timeline.position, timeline.speed);
            rightDelay.followHostMotion ((double) timeline.position, timeline.speed);
            break;
        case HostTimeline::Action::countOn:
            leftDelay.countOnFromWave();
            rightDelay.countOnFromWave();
            break;
        case HostTimeline::Action::follow:
            leftDelay.followStream();
            rightDelay.followStream();
            break;
    }

    hostTimeline.take (timeline);
}

void OndulaDelayAudioProcessor::moveToTimeline (int64_t position)
{
    // The host's automation as it stands at the block's first sample plays from the new position
    // on; then the engines work out their records there.
    hostAutomation.valuesAt (0, [this] (int parameter, float value) { applyHostValue (parameter, value); });

    leftDelay.moveToTimeline (position);
    rightDelay.moveToTimeline (position);
    leftCompressor.moveToTimeline (position);
    rightCompressor.moveToTimeline (position);
}

void OndulaDelayAudioProcessor::applyHostValue (int parameterIndex, float normalisedValue) noexcept
{
    const auto& spec = parameterSpecs[parameterIndex];
    auto* parameter = hostParameters[(size_t) parameterIndex];

    if (parameter == nullptr)
        return;

    const float value = parameter->convertFrom0to1 (juce::jlimit (0.0f, 1.0f, normalisedValue));

    switch (spec.target)
    {
        case HostTarget::engines:
            leftDelay.setFromHost (spec.engineSetting, value);
            rightDelay.setFromHost (spec.engineSetting, value);
            break;
        case HostTarget::wet:
            dryWetMixer.setWetFromHost (value);
            break;
        case HostTarget::threshold:
            leftCompressor.setThresholdFromHost (value);
            rightCompressor.setThresholdFromHost (value);
            break;
        case HostTarget::slope:
            leftCompressor.setSlopeFromHost (value);
            rightCompressor.setSlopeFromHost (value);
            break;
        case HostTarget::none:
            break;
    }
}

void OndulaDelayAudioProcessor::hostCallBegins (int numSamples) noexcept
{
    // A call that only flushes parameters renders nothing and leaves the timeline alone; a
    // negative length is no length.
    stepPlanned = numSamples > 0 && preparedBlockSize > 0;
    callSamples = stepPlanned ? numSamples : 0;
    callDone = 0;

    if (stepPlanned)
        plannedStep = readTimeline (numSamples);

    // The call's control pieces are known now, so its points are read against them as they come.
    hostAutomation.beginCall (stepPlanned ? firstPieceOffset (plannedStep) : 0, leftDelay.pieceSamples(), (int) callSamples);
}

void OndulaDelayAudioProcessor::hostControllerEdit (int parameterIndex, float normalisedValue) noexcept
{
    hostAutomation.controllerEdit (parameterIndex, normalisedValue);
}

void OndulaDelayAudioProcessor::hostParameterSet (int parameterIndex) noexcept
{
    if (parameterIndex >= 0 && parameterIndex < numParameters)
        if (auto* attachment = attachmentOfParameter[(size_t) parameterIndex])
            attachment->hostChangedUnheard();
}

void OndulaDelayAudioProcessor::writeBackUnheardHostChanges()
{
    for (auto& attachment : parameterAttachments)
        attachment->writeBackUnheardChange();
}

void OndulaDelayAudioProcessor::timerCallback()
{
    writeBackUnheardHostChanges();
}

void OndulaDelayAudioProcessor::hostParameterPoint (int parameterIndex, int sampleOffset, float normalisedValue) noexcept
{
    if (parameterIndex < 0 || parameterIndex >= numParameters)
        return;

    const auto* parameter = hostParameters[(size_t) parameterIndex];
    hostAutomation.addPoint (parameterIndex, sampleOffset, normalisedValue, [parameter] { return parameter->getValue(); });
}

void OndulaDelayAudioProcessor::renderRange (juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    // A host that hands over more samples than it announced gets them processed in announced-size
    // pieces, so no scratch buffer is overrun.
    for (int done = 0; done < numSamples; done += preparedBlockSize)
        processChunk (buffer, startSample + done, juce::jmin (preparedBlockSize, numSamples - done));
}

void OndulaDelayAudioProcessor::processChunk (juce::AudioBuffer<float>& buffer, int startSample, int numSamples)
{
    const auto ins = getTotalNumInputChannels();
    const auto block = juce::dsp::AudioBlock<float> (buffer).getSubBlock ((size_t) startSample, (size_t) numSamples);

    dryWetMixer.applyPendingWetProportion();
    dryWetMixer.mixer.pushDrySamples (block);

    const int channels = juce::jmin (ins, 2);

    if (channels == 2)
    {
        // Both engines in one pass: the same result as one after the other, in less time.
        auto leftBlock = block.getSingleChannelBlock (0);
        auto rightBlock = block.getSingleChannelBlock (1);
        OndulaDelay::processStereo (leftDelay, rightDelay, juce::dsp::ProcessContextReplacing<float> (leftBlock),
                                    juce::dsp::ProcessContextReplacing<float> (rightBlock));
        DynamicRangeCompressor::processStereo (leftCompressor, rightCompressor, leftBlock.getChannelPointer (0),
                                               rightBlock.getChannelPointer (0), numSamples);
    }
    else if (channels == 1)
    {
        auto channelBlock = block.getSingleChannelBlock (0);
        leftDelay.processSIMDSmart (juce::dsp::ProcessContextReplacing<float> (channelBlock));

        auto* samples = channelBlock.getChannelPointer (0);
        leftCompressor.processSamples (samples, samples, numSamples);
    }

    dryWetMixer.mixer.mixWetSamples (block);
}

// Each echo rings on for up to 128 s, and the feedback path can keep it going for minutes: a
// host that ends a render or suspends the plug-in when the tail ends must never cut it off.
double OndulaDelayAudioProcessor::getTailLengthSeconds() const { return std::numeric_limits<double>::infinity(); }
bool OndulaDelayAudioProcessor::acceptsMidi() const { return false; }
bool OndulaDelayAudioProcessor::producesMidi() const { return false; }
bool OndulaDelayAudioProcessor::isMidiEffect() const { return false; }

juce::AudioProcessorEditor* OndulaDelayAudioProcessor::createEditor()
{
    // The editor's bindings re-announce every property they show; the editor switches the
    // direction back on as the last step of its construction.
    setPushToParameterEnabled (false);
    return new OndulaDelayAudioProcessorEditor (*this);
}

bool OndulaDelayAudioProcessor::hasEditor() const
{
    return true;
}

int OndulaDelayAudioProcessor::getNumPrograms() { return 1; }
int OndulaDelayAudioProcessor::getCurrentProgram() { return 0; }
void OndulaDelayAudioProcessor::setCurrentProgram (int) {}
// The framework publishes a one-entry program list to VST3 hosts; its entry needs a name.
const juce::String OndulaDelayAudioProcessor::getProgramName (int index) { return index == 0 ? "Default" : juce::String(); }
void OndulaDelayAudioProcessor::changeProgramName (int, const juce::String&) {}

void OndulaDelayAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto lock = holdMessageThread();

    // What plays is saved, even where the host's values have not been written back yet.
    takePendingHostValues();

    if (const auto xml = stateTree.createXml())
        SavedStateWriter::writeBlock (*xml, destData);
}

void OndulaDelayAudioProcessor::takePendingHostValues()
{
    for (auto& attachment : parameterAttachments)
        attachment->takeHostValueNow();
}

void OndulaDelayAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto lock = holdMessageThread();
    auto refusal = UntrustedXml::Refusal::none;
    UntrustedXml::LeftOut leftOut;
    const auto xml = StateBlockReader::readXml (data, sizeInBytes, &refusal, &leftOut);

    // Other refusals stay silent, as they always have; a state this large is no state of this
    // plug-in, and the user would otherwise not know why a project came up with other settings.
    if (refusal == UntrustedXml::Refusal::tooLarge)
        commandLine.echo_blink ("`5 Project `0 Saved state not loaded `1"
                                + UntrustedXml::describe (refusal, StateBlockReader::limits()).toStdString()
                                + ", nothing changed");

    if (mergeLoadedState (xml.get()) && leftOut.binaryValues > 0)
        commandLine.echo_blink ("`5 Project `0 Saved state loaded, " + UntrustedXml::describe (leftOut).toStdString());
}

bool OndulaDelayAudioProcessor::mergeLoadedState (const juce::XmlElement* loaded)
{
    const bool accepted = loaded != nullptr && loaded->getTagName().equalsIgnoreCase (stateTree.getType().toString());

    // The last word wins: a host value sent before the load and still owed to a coming control
    // piece is dropped before the tree takes the load, so that none of them plays over it.
    if (accepted)
    {
        hostAutomation.stateLoads();
        // Every value stays text: the gate left out the "base64:" names, which alone fromXml decodes.
        StateBlockReader::mergeInto (juce::ValueTree::fromXml (*loaded), stateTree);
        stateTree.setProperty ("version", 100, nullptr);
        stateTree.setProperty ("software", "ondula_delay", nullptr);
    }

    // Every block, accepted or not, makes the audio objects re-read their settings.
    bindAudioObjects();

    if (! accepted)
        return false;

    // What the tree holds is its own now, also where the load left a value as it was: a host
    // value standing from before gives way, and the parameters show the tree's values.
    leftDelay.takeTreeAsEdits();
    rightDelay.takeTreeAsEdits();
    leftCompressor.takeTreeAsEdits();
    rightCompressor.takeTreeAsEdits();
    dryWetMixer.takeTreeAsEdit();

    for (auto& attachment : parameterAttachments)
        attachment->takeLoadedValue();

    return true;
}

bool OndulaDelayAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();

    if (output != juce::AudioChannelSet::mono() && output != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == output;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new OndulaDelayAudioProcessor();
}
