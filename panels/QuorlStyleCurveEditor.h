#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

#include "../editor/LookAndFeel_KT.h"
#include "../processor/QuorlStyleCurve.h"

// The interactive editor of one control-point curve: drag points and curvature handles,
// double-click to add, remove or straighten, right-click to reset a point. Behind the curve it
// draws a preview of the curve as the owner's offset and amount shape it.
//
// The owner keeps the curve (it must outlive the editor), sets the public fields and repaints; the
// editor calls onChange after every edit and the owner stores the curve.
class QuorlStyleCurveEditor : public juce::Component
{
public:
    explicit QuorlStyleCurveEditor (QuorlStyleCurve& curveToEdit);
    ~QuorlStyleCurveEditor() override = default;

    void mouseMove (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    // Rebuilds the preview curve and both paths from the edited curve.
    void updatePath();

    // The curve's point limit: a double click never adds a point beyond it.
    static constexpr int pointLimit = QuorlStyleCurve::storedPointLimit;
    static constexpr int numSamples = 256;

    QuorlStyleCurve& editedCurve;
    QuorlStyleCurve previewCurve;
    std::vector<juce::Point<float>> samplePoints;
    juce::Path curvePath;
    juce::Path previewPath;
    int hoverIndex = -1;
    bool hoverIsHandle = false; // true: the handle of the segment from point hoverIndex to the next
    bool bipolar = false;
    juce::AffineTransform viewTransform;
    LookAndFeel_KT lookAndFeel;
    float marginX = 10.0f, marginY = 10.0f;
    float cornerInsetX = 2.0f, cornerInsetY = 2.0f;
    float cornerLength = 10.0f;
    std::function<void()> onChange;
    float previewOffset = 0.5f;
    float previewAmount = 1.0f;

private:
    juce::Point<float> toCurve (const juce::MouseEvent& e) const;
    juce::Point<float> handlePosition (size_t segment) const;

    // The x range a point may be moved in: 0.01 short of its neighbours, within 0..1.
    juce::Range<float> allowedX (size_t index) const;

    // Samples a curve over its own x range into samplePoints and returns the path in pixels.
    juce::Path sampledPath (const QuorlStyleCurve& curve);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuorlStyleCurveEditor)
};
