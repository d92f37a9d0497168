#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>

/** Tells the host that the saved state changed when a user's edit changed it without moving a host
    parameter (a curve, a step pattern, a setting no parameter carries, a preset loaded): a host
    marks its project modified only when told, and could otherwise close it without asking to save.
    At most once per gesture: while a mouse button is held, the news waits for its release.
    Message thread only. */
class HostStateNotifier : private juce::AudioProcessorListener,
                          private juce::Timer
{
public:
    explicit HostStateNotifier (juce::AudioProcessor& processorToNotify);
    ~HostStateNotifier() override;

    /** Runs a user's write of the state tree and returns what the write returns (whether it wrote).
        When it wrote and the host heard no parameter change meanwhile, the host is told that the
        state changed. */
    bool userEdit (const std::function<bool()>& write);

    /** A user's action changed the saved state, whatever the parameters did. */
    void stateChangedByUser();

    /** Whether the gesture that made the edits still goes on: by default, while a mouse button is
        held. */
    std::function<bool()> gestureInProgress;

private:
    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override;
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void timerCallback() override;
    void send();

    juce::AudioProcessor& processor;
    // Parameter changes the host heard on the message thread; read and written there only.
    int parameterChangesHeard = 0;
    bool pending = false;

    JUCE_DECLARE_NON_COPYABLE (HostStateNotifier)
};
