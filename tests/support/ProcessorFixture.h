#pragma once

#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

/** A freshly constructed processor on the heap (it carries two large delay lines), with helpers
    to reach its tree nodes and parameters and to count the gestures it sends to a host. */
class ProcessorFixture : public testing::Test, private juce::AudioProcessorListener
{
protected:
    ProcessorFixture();
    ~ProcessorFixture() override;

    juce::ValueTree node (const juce::String& type) const;
    juce::RangedAudioParameter& parameter (const juce::String& id) const;

    // Hosts hear parameter changes on whichever thread makes them.
    std::atomic<int> gestureBegins { 0 };
    std::atomic<int> gestureEnds { 0 };
    std::atomic<int> parameterChanges { 0 };

    std::unique_ptr<OndulaDelayAudioProcessor> processor;

private:
    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { ++parameterChanges; }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestureBegins; }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int) override { ++gestureEnds; }
};
