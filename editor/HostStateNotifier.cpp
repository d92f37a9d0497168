#include "HostStateNotifier.h"

HostStateNotifier::HostStateNotifier (juce::AudioProcessor& processorToNotify)
    : gestureInProgress ([] { return juce::ModifierKeys::currentModifiers.isAnyMouseButtonDown(); }),
      processor (processorToNotify)
{
    processor.addListener (this);
}

HostStateNotifier::~HostStateNotifier()
{
    processor.removeListener (this);

    // An editor closed in the middle of a gesture: its edits happened all the same.
    if (pending)
        send();
}

bool HostStateNotifier::userEdit (const std::function<bool()>& write)
{
    const auto heardBefore = parameterChangesHeard;
    const bool wrote = write();

    if (wrote && parameterChangesHeard == heardBefore)
        stateChangedByUser();

    return wrote;
}

void HostStateNotifier::stateChangedByUser()
{
    pending = true;

    if (gestureInProgress != nullptr && gestureInProgress())
        startTimer (20);
    else
        send();
}

void HostStateNotifier::audioProcessorParameterChanged (juce::AudioProcessor*, int, float)
{
    // Host automation may arrive on other threads; only the edits' own pushes run on this one.
    if (juce::MessageManager::existsAndIsCurrentThread())
        ++parameterChangesHeard;
}

void HostStateNotifier::timerCallback()
{
    if (gestureInProgress == nullptr || ! gestureInProgress())
        send();
}

void HostStateNotifier::send()
{
    stopTimer();
    pending = false;
    processor.updateHostDisplay (juce::AudioProcessorListener::ChangeDetails{}.withNonParameterStateChanged (true));
}
