#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "../editor/LookAndFeel_KT.h"

#include <functional>

// The compressor's static transfer curve, output against input level in dB over -80..20 dB, with
// a soft knee. It holds no tree: its owner writes threshold and slope and then repaints it, or it
// follows the values a compressor plays.
class DynamicRangeCompressorComponent : public juce::Component,
                                        private juce::Timer
{
public:
    DynamicRangeCompressorComponent() = default;
    ~DynamicRangeCompressorComponent() override;

    struct Curve
    {
        float threshold, slope;
    };

    /** Draws the curve that plays, host values included: `played` gives the threshold (dB) and
        the slope as the compressor plays them, read every 33 ms on the message thread. */
    void followPlayed (std::function<Curve()> played);

    /** Takes the played curve now, repainting where it changed. */
    void timerCallback() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    // Output level in dB for an input level in dB, the curve the paint draws.
    float outputLevel (float inputDb) const;

    // Maps (input dB, output dB) onto the component: -80..20 dB fills it but for a 24-px strip
    // at the left and bottom (for the labels) and 4 px at the right and top.
    juce::AffineTransform decibelsToPixels() const;

    LookAndFeel_KT lookAndFeel;
    float slope = 1.0f;
    float threshold = -30.0f;
    float knee = 5.0f;

private:
    std::function<Curve()> playedCurve;
};
