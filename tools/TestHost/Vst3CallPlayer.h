#pragma once

#include "HostParameterChanges.h"
#include "MainThreadEdits.h"
#include "PlaySteps.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstprocesscontext.h>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <vector>

/** Turns the play command's steps into process calls on a VST3 audio processor, as a DAW makes
    them: its process context, its transport state, its parameter queues with points at their
    sample offsets; and keeps the recording. Steps run on the audio thread; the processor must be
    set up and processing. */
class Vst3CallPlayer
{
public:
    struct Settings
    {
        double sampleRate = 48000.0, bpm = 120.0;
        int channels = 2, maxBlock = 512;
        int announcedMaxBlock = 512; // maxSamplesPerBlock of a re-activation's set-up
        juce::int64 regionAt = 0;   // the timeline sample where the source starts
        juce::int64 recordLength = 0;
        bool offline = false;
        int probeAfterCalls = -1; // from this call on, each process call runs in an AudioThreadProbe scope; -1: none
    };

    Vst3CallPlayer (Steinberg::Vst::IAudioProcessor& processor, MainThreadEdits& edits,
                    const juce::AudioBuffer<float>& source, const Settings& settings);

    /** Points of play steps, by VST3 parameter number; the list must outlive the player. */
    void addAutomation (Steinberg::Vst::ParamID id, const std::vector<PlaySteps::Point>& points);

    /** A value for the next call at offset 0: stored ones before the first call, edits later. */
    void addPending (Steinberg::Vst::ParamID id, double value);

    /** Audio thread. False with the reason when the plug-in refused a call. */
    bool perform (const PlaySteps::Step& step, const std::map<juce::String, Steinberg::Vst::ParamID>& ids, juce::String& error);

    /** Main thread: hands the controller the last value each parameter's automation sent, as a
        DAW keeps its controller (and so its parameter display) in step with the automation it
        plays. */
    void updateController (Steinberg::Vst::IEditController& controller);

    const juce::AudioBuffer<float>& getRecording() const { return recording; }
    juce::int64 getCalls() const { return calls; }
    juce::int64 getProbedCalls() const { return probedCalls; }

    /** The calls with 64-bit buffers: made, refused, and the samples of their buffers that the
        plug-in changed (the host fills the input with 0.3 and the output with 7, read after the
        run). */
    struct DoubleCalls
    {
        juce::int64 made = 0, refused = 0, changedSamples = 0;
    };

    const DoubleCalls& getDoubleCalls() const { return doubleCalls; }

private:
    enum class Transport { playing, stopped, none };
    enum class Input { silence, timeline, live };

    bool call (int length, Transport transport, juce::int64 position, Input input, juce::int64 sourceStart, bool record,
               juce::String& error);
    bool callWithDoubles (int length, juce::int64 position, juce::String& error);

    /** What a call hands the plug-in: the buses (their channel pointers set by the caller), the
        call's queues, and the context (the transport and `position`; none: no context). */
    struct CallData
    {
        Steinberg::Vst::ProcessContext context {};
        Steinberg::Vst::AudioBusBuffers inputBus {}, outputBus {};
        Steinberg::Vst::ProcessData data {};
    };

    void describeCall (CallData& call, int length, Transport transport, juce::int64 position, Steinberg::int32 sampleSize);
    void fillInput (int length, Input input, juce::int64 sourceStart);
    bool queueChanges (int length, Input input, juce::int64 position);
    bool reactivate (const PlaySteps::Step& step, juce::String& error);

    struct Lane
    {
        Lane (Steinberg::Vst::ParamID idToUse, const std::vector<PlaySteps::Point>& pointsToSend) : id (idToUse), points (pointsToSend) {}

        const Steinberg::Vst::ParamID id;
        const std::vector<PlaySteps::Point>& points;
        // Written by the audio thread as it sends a point, read by the main thread.
        std::atomic<double> sent { 0.0 };
        std::atomic<bool> unsent { false };
    };

    Steinberg::Vst::IAudioProcessor& processor;
    MainThreadEdits& edits;
    const juce::AudioBuffer<float>& source;
    const Settings settings;

    juce::AudioBuffer<float> inputs, outputs, recording;
    std::array<float*, 2> inputPointers {}, outputPointers {};
    juce::AudioBuffer<double> doubleInputs, doubleOutputs;
    std::array<double*, 2> doubleInputPointers {}, doubleOutputPointers {};
    DoubleCalls doubleCalls;
    HostParameterChanges changes, pluginChanges;
    std::vector<std::unique_ptr<Lane>> automation;
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> pending;
    std::vector<std::pair<Steinberg::Vst::ParamID, const PlaySteps::Step*>> pendingQueues;
    double sampleRate;  // as last set up
    bool offline;       // as last set up
    juce::int64 liveCursor = 0, continuousTime = 0, calls = 0, probedCalls = 0;
    int recorded = 0;
};
