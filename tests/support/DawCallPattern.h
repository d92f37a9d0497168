#pragma once

#include "processor/PluginProcessor.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>
#include <vector>

/** Drives a processor with the calls a DAW makes, as the VST3 client hands them on: the play
    head's state (playing or stopped, the position, or none at all) and the block's parameter
    queues, each point with its sample offset, handed over before the queue's last point sets the
    parameter without calling its listeners (the processor is told, and writes the value back on
    its message thread). The source signal sits on the timeline at `regionStart`; playing calls
    take their input from there, stopped calls take it live, from a cursor of their own. */
class DawCallPattern
{
public:
    explicit DawCallPattern (double sampleRate = 48000.0, int maximumBlock = 8192);
    ~DawCallPattern();

    /** calls x block samples, stopped, each reporting `position`, silent; output discarded. */
    void idle (int calls, int block, juce::int64 position);
    /** One playing call of `samples` at `position`, silent; output discarded. */
    void preroll (int samples, juce::int64 position);
    /** Playing from `from`, `samples` in calls of `blocks` (cycled; the first entry used once
        when `firstOnce`); output recorded. */
    void play (juce::int64 from, int samples, const std::vector<int>& blocks, bool firstOnce = false);
    /** Stopped, each call reporting `position` (or no position at all), live input; recorded. */
    void stopped (int samples, const std::vector<int>& blocks, juce::int64 position, bool withPosition = true);

    /** Playing at `speed` (varispeed, shuttle; 0: a play head that never advances), `samples` in
        calls of `blocks` (cycled), each call reporting `from` + round (speed x samples played so
        far); live input; recorded. */
    void moving (juce::int64 from, int samples, const std::vector<int>& blocks, double speed);

    /** The host prepares the plug-in again, as DAWs do to switch to an offline export or to
        another rate. */
    void reactivate (double sampleRate, bool offline);

    /** A node of a processor's state tree, by its group's type and its own. */
    static juce::ValueTree nodeOf (OndulaDelayAudioProcessor& p, const char* group, const char* type);

    /** The Ondula wave at full depth on every quantity (and at full speed unless `fullSpeed` is
        false: the default speed repeats the wave every 2 s at 120 bpm), only the wet signal heard. */
    static void strongModulation (OndulaDelayAudioProcessor& p, bool fullSpeed = true);

    /** A parameter point at a timeline position, delivered in every playing call that covers it. */
    void point (const juce::String& parameterId, juce::int64 position, float value);

    /** A host edit through the edit controller, on the calling thread, as the client makes it:
        the processor is told, then the parameter is set. */
    void controllerEdit (const juce::String& parameterId, float value);

    /** The processor's message thread (this thread) runs for `milliseconds`, and its write-back
        timer fires at least once meanwhile: a pump alone may end before the timer's next tick. */
    void serveMessageThread (int milliseconds);

    /** The recording, its channels interleaved. */
    std::vector<float> interleavedRecording() const;

    /** Stereo noise for `noiseSeconds`, then silence up to `seconds`. */
    static juce::AudioBuffer<float> noiseThenSilence (double rate, double noiseSeconds, double seconds);

    OndulaDelayAudioProcessor& processor() { return *plugin; }
    juce::RangedAudioParameter& parameter (const juce::String& id);

    juce::AudioBuffer<float> source;
    juce::int64 regionStart = 0;
    std::vector<float> recording[2];

private:
    struct Transport : juce::AudioPlayHead
    {
        juce::Optional<PositionInfo> getPosition() const override;

        double rate = 48000.0;
        bool playing = false, hasPosition = true;
        juce::int64 position = 0;
    };

    struct Point
    {
        int parameterIndex;
        juce::int64 position;
        float value;
    };

    enum class Input
    {
        silence,  // idle calls and pre-rolls
        timeline, // the source where it lies on the timeline
        live      // the source from the live cursor on
    };

    void call (int samples, bool playing, juce::int64 position, bool withPosition, Input input, bool record);

    double rate;
    Transport transport;
    std::unique_ptr<OndulaDelayAudioProcessor> plugin;
    juce::AudioBuffer<float> buffer;
    std::vector<Point> points;
    int liveCursor = 0;
};
