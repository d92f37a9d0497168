#include "DynamicRangeCompressorComponent.h"

#include <cmath>
#include <utility>

DynamicRangeCompressorComponent::~DynamicRangeCompressorComponent()
{
    stopTimer();
}

void DynamicRangeCompressorComponent::followPlayed (std::function<Curve()> played)
{
    playedCurve = std::move (played);
    timerCallback();
    startTimer (33);
}

void DynamicRangeCompressorComponent::timerCallback()
{
    if (playedCurve == nullptr)
        return;

    const auto curve = playedCurve();

    if (curve.threshold == threshold && curve.slope == slope)
        return;

    threshold = curve.threshold;
    slope = curve.slope;
    repaint();
}

float DynamicRangeCompressorComponent::outputLevel (float inputDb) const
{
    // The log term is a smooth max (0, x - threshold): y = x below the knee, threshold +
    // slope (x - threshold) above it.
    const float quotient = (inputDb - threshold) / knee;
    const double factor = (double) knee * ((double) slope - 1.0);
    return (float) ((double) inputDb + factor * std::log10 (1.0 + std::pow (10.0, (double) quotient)));
}

juce::AffineTransform DynamicRangeCompressorComponent::decibelsToPixels() const
{
    const auto w = (float) (getWidth() - 28);
    const auto h = (float) (getHeight() - 28);
    return juce::AffineTransform::scale (0.01f * w, -0.01f * h).translated (24.0f + 0.8f * w, 4.0f + 0.2f * h);
}

void DynamicRangeCompressorComponent::resized() {}

void DynamicRangeCompressorComponent::paint (juce::Graphics& g)
{
    const auto toPixels = decibelsToPixels();
    const juce::PathStrokeType stroke (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    g.fillAll (lookAndFeel.c0);

    juce::Path path;

    for (const float db : { -30.0f, -60.0f })
    {
        path.startNewSubPath (-80.0f, db);
        path.lineTo (20.0f, db);
    }

    for (const float db : { -30.0f, -60.0f })
    {
        path.startNewSubPath (db, -80.0f);
        path.lineTo (db, 20.0f);
    }

    g.setColour (lookAndFeel.c5);
    g.strokePath (path, stroke, toPixels);

    path.clear();
    path.startNewSubPath (0.0f, -80.0f);
    path.lineTo (0.0f, 20.0f);
    path.startNewSubPath (-80.0f, 0.0f);
    path.lineTo (20.0f, 0.0f);
    g.setColour (lookAndFeel.c4);
    g.strokePath (path, stroke, toPixels);

    path.clear();
    path.startNewSubPath (-80.0f, outputLevel (-80.0f));

    for (int x = -80; x <= 20; x += 2)
        path.lineTo ((float) x, outputLevel ((float) x));

    g.setColour (lookAndFeel.c3);
    g.strokePath (path, stroke, toPixels);

    // Hides what falls below -80 dB in the bottom strip, under the input labels.
    g.setColour (lookAndFeel.c0);
    g.fillRect (0, getHeight() - 24, getWidth(), getHeight());

    struct Label
    {
        const char* text;
        bool isZero;
        float x, y;
        float dx;
        juce::Justification justification;
    };

    const Label labels[] = {
        { "0", true, -82.0f, 0.0f, -30.0f, juce::Justification::right },
        { "-30", false, -82.0f, -30.0f, -30.0f, juce::Justification::right },
        { "-60", false, -82.0f, -60.0f, -30.0f, juce::Justification::right },
        { "0", true, 0.0f, -82.0f, -14.0f, juce::Justification::centredTop },
        { "-30", false, -30.0f, -82.0f, -15.0f, juce::Justification::centredTop },
        { "-60", false, -60.0f, -82.0f, -15.0f, juce::Justification::centredTop },
    };

    g.setFont (juce::Font (LookAndFeel_KT::getRobotoRegular (16.0f)));

    for (const auto& label : labels)
    {
        auto p = juce::Point<float> (label.x, label.y).transformedBy (toPixels);
        const bool onOutputAxis = label.justification == juce::Justification::right;
        const int left = (int) (p.x + label.dx);
        const int top = (int) (onOutputAxis ? p.y - 10.0f : p.y);

        g.setColour (label.isZero ? lookAndFeel.c3 : lookAndFeel.c4);
        g.drawText (label.text, juce::Rectangle<int> (left, top, 30, 20), label.justification, true);
    }
}
