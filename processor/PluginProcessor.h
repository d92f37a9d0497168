#pragma once

#include "engine/DryWetMixer.h"
#include "engine/DynamicRangeCompressor.h"
#include "engine/OndulaDelay.h"
#include "processor/CommandLineInterpreter.h"
#include "processor/HostAutomation.h"
#include "processor/HostParameterSink.h"
#include "processor/HostTimeline.h"
#include "processor/ParameterMappingFunctions.h"
#include "processor/PresetManager.h"
#include "processor/ValueTreeParameterAttachment.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

/** The plug-in instance: buses, the 30 host parameters and their attachments, the state tree that
    holds every setting, the two delay engines, the two compressors and the dry/wet stage. */
class OndulaDelayAudioProcessor : public juce::AudioProcessor,
                                  public HostParameterSink,
                                  private juce::Timer
{
public:
    OndulaDelayAudioProcessor();
    ~OndulaDelayAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    void hostCallBegins (int numSamples) noexcept override;
    void hostParameterPoint (int parameterIndex, int sampleOffset, float normalisedValue) noexcept override;
    void hostControllerEdit (int parameterIndex, float normalisedValue) noexcept override;
    void hostParameterSet (int parameterIndex) noexcept override;

    static constexpr int numParameters = HostAutomation::numParameters;

    /** Merges a tree that passed the gate (a saved state's or a preset's) into the live one, when
        its root is the state tree's, and makes the audio objects re-read their settings, as a
        restored state does in every case. What the tree then holds plays and the parameters show
        it: host values sent before the load, standing or still on their way, give way to it.
        Returns whether the tree took it. The gate has left out every attribute that the framework's
        conversion would read as other than text. Message thread, or a thread holding it. */
    bool mergeLoadedState (const juce::XmlElement* loaded);

    /** Writes into the tree the host's changes that the VST3 client made on the audio thread
        without calling the parameters' listeners, as their write-backs; a timer does it every
        writeBackMilliseconds. Message thread. */
    void writeBackUnheardHostChanges();

    static constexpr int writeBackMilliseconds = 30; // about a frame of the editor's graphs

    /** Brings the tree in line with the host's values whose write-back has not run yet, so that
        what is saved is what plays. Message thread, or a thread holding it. */
    void takePendingHostValues();

    /** Builds the default state tree, its attachments, and binds the audio objects to it. */
    void initValueTree();

    /** Switches every attachment's tree-to-parameter direction. Message thread only. */
    void setPushToParameterEnabled (bool enabled);

    /** Tells the host, as one gesture each, the tree values changed while the direction was last
        off that their parameters do not show, and that the state changed when a parameter already
        showed such a value. Message thread only. */
    void sendChangesMadeWhileQuiet();

private:
    // Held while the members go, so the message thread cannot touch the tree meanwhile; destroyed last.
    std::unique_ptr<juce::MessageManagerLock> destructionLock;

public:
    ParameterMappingFunctions mappingFunctions;
    CommandLineInterpreter commandLine;
    juce::ValueTree stateTree;
    PresetManager presetManager { commandLine };
    OndulaDelay leftDelay { mappingFunctions };
    OndulaDelay rightDelay { mappingFunctions };
    DynamicRangeCompressor leftCompressor;
    DynamicRangeCompressor rightCompressor;
    DryWetMixer_KT dryWetMixer;
    std::vector<std::unique_ptr<ValueTreeParameterAttachment>> parameterAttachments;
    juce::Identifier valueTreeId { "ValueTreeID" };
    juce::AudioProcessorValueTreeState parameters;

private:
    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();
    void addAttachment (const juce::String& parameterId, juce::ValueTree node, const juce::Identifier& property);
    void bindAudioObjects();
    /** What a call does with the host's timeline, read off its play head: decided when the call
        begins (so that its parameter points are read against the control pieces it will render),
        taken when its block is processed. */
    struct TimelineStep
    {
        float bpm = 0.0f; // the host's tempo; not positive: keep the current one
        HostTimeline::Step timeline;
    };

    TimelineStep readTimeline (int numSamples) const noexcept;

    /** Where the first control piece starts in a call that takes `step`: 0 when its first sample
        starts one. Pieces follow every leftDelay.pieceSamples() samples. */
    int firstPieceOffset (const TimelineStep& step) const noexcept;
    void takeTimelineStep (const TimelineStep& step);
    void moveToTimeline (int64_t position);
    void renderRange (juce::AudioBuffer<float>& buffer, int startSample, int numSamples);
    void processChunk (juce::AudioBuffer<float>& buffer, int startSample, int numSamples);
    void applyHostValue (int parameterIndex, float normalisedValue) noexcept;
    void timerCallback() override;

    // Largest block the mixer and the engines were sized for; written by prepareToPlay, read by
    // processBlock, which the host never runs at the same time.
    int preparedBlockSize = 0;
    static constexpr int maxPreparedBlockSize = 1 << 24;

    // Audio thread (and prepareToPlay, outside processing): how the engines follow the host.
    HostTimeline hostTimeline;

    // Audio thread: the step decided when the current call began, until its block takes it, and
    // how much of the call its blocks have rendered (a client may hand a call over in parts).
    TimelineStep plannedStep;
    bool stepPlanned = false;
    int64_t callSamples = 0, callDone = 0;

    // The host's parameter lines between its calls and the control pieces that take them.
    HostAutomation hostAutomation;
    // The parameters in host order, for the audio thread (filled by the constructor).
    std::array<juce::RangedAudioParameter*, numParameters> hostParameters {};
    // Each parameter's attachment in host order, for the audio thread (filled with the attachments
    // by initValueTree, which only the constructor runs).
    std::array<ValueTreeParameterAttachment*, numParameters> attachmentOfParameter {};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OndulaDelayAudioProcessor)
};
