#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <mutex>
#include <vector>

/** Records, in order, every parameter change and gesture a plug-in reports to its host, and every
    time it says that its state changed beyond its parameters (a VST3 plug-in's setDirty); the
    reports may come from any thread. */
class HostEventLog : public juce::AudioProcessorListener
{
public:
    enum class Kind { change, gestureBegin, gestureEnd, stateChanged };

    struct Event
    {
        Kind kind;
        int parameterIndex; // -1 for a state change
        float value; // the new normalised value of a change
    };

    void audioProcessorParameterChanged (juce::AudioProcessor*, int parameterIndex, float newValue) override;
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override;
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int parameterIndex) override;
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int parameterIndex) override;

    std::vector<Event> events() const;
    size_t size() const;

    /** Prints the totals, per-parameter counts and the ordered list, keyed by the parameters'
        VST3 numbers (HostReport::parameterKey). */
    void print (juce::AudioPluginInstance& plugin, const juce::String& prefix) const;

private:
    void add (Event event);

    mutable std::mutex lock;
    std::vector<Event> recorded;
};
