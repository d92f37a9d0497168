#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

#include "../editor/LookAndFeel_KT.h"
#include "../engine/IIRFilter.h"
#include "../engine/OndulaDelay.h"
#include "../processor/ParameterMappingFunctions.h"
#include "../processor/QuorlStyleCurve.h"

// The per-tap filter graph: the left engine's 32 tap filters as a slanted waterfall, one
// magnitude response per tap scaled by its amplitude and shifted along an oblique axis by its
// delay. Every 33 ms it copies the engine's per-tap records (holding the engine's mutex for the
// copy only), rebuilds the responses that changed into back buffers and swaps them to the front.
class FilterEQGraphComponent : public juce::Component,
                               public juce::Timer
{
public:
    // Draws the left channel; the right engine is handed over with it but not drawn.
    FilterEQGraphComponent (ParameterMappingFunctions& mappingFunctions, OndulaDelay& left, OndulaDelay& right);
    ~FilterEQGraphComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    // Rebuilds the 32 back paths from the back records, tap 0 first.
    void calculate_paths();
    // Builds the response line of tap k from its back record.
    void make_curve (juce::Path& path, int k);

    static constexpr int numTaps = OndulaDelay::numTaps;
    static constexpr int numSamples = 64; // warped samples after the 5 Hz start point

    // Frequency (Hz) of a position x on the drawn axis: 5 Hz at 0, 9000 Hz at 1.
    static double axisFrequency (double x) noexcept;

    LookAndFeel_KT lookAndFeel;
    OndulaDelay& engine;
    // Designs and evaluates every tap's band-pass, at the engine's sample rate.
    IIRFilter<double> filter;
    std::array<std::array<TapState, numTaps>, 2> tapRecords {};
    std::array<TapState, numTaps>* frontTaps = &tapRecords[0];
    std::array<TapState, numTaps>* backTaps = &tapRecords[1];
    std::array<std::array<juce::Path, numTaps>, 2> paths;
    std::array<juce::Path, numTaps>* frontPaths = &paths[0];
    std::array<juce::Path, numTaps>* backPaths = &paths[1];

private:
    juce::AffineTransform tapTransform (int k) const noexcept;
    juce::Colour tapColour (int k) const noexcept;
    bool tapsPlaced() const noexcept;
    // Where the front lines are drawn (empty when nothing is).
    juce::Rectangle<int> drawnArea() const;

    // The sampling warp of one tap, reused so that a rebuild allocates nothing.
    QuorlStyleCurve warp;
    // Rate the front paths were designed at; 0 until the first tick.
    double frontRate = 0.0;
    // The area the last repaint request covered for the front lines.
    juce::Rectangle<int> shownArea;
};
