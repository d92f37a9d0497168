#include "FilterEQGraphComponent.h"

#include <cmath>
#include <cstring>
#include <mutex>

namespace
{
    // Holds a record value to the range the engine produces; NaN lands on the low end. Only the
    // records' constructor values (before the first block) lie outside.
    float limit (float v, float low, float high) noexcept
    {
        return v >= low ? (v <= high ? v : high) : low;
    }

    constexpr float lowestCentre = 10.0f, highestCentre = 9000.0f; // Hz
    constexpr float narrowest = 0.25f, widest = 15.0f;             // octaves

    bool sameShape (const TapState& a, const TapState& b) noexcept
    {
        return a.frequency == b.frequency && a.bandwidth == b.bandwidth && a.amplitude == b.amplitude;
    }

    bool samePlace (const std::array<TapState, 32>& a, const std::array<TapState, 32>& b) noexcept
    {
        if (a[0].delayBase != b[0].delayBase || a[31].delayBase != b[31].delayBase)
            return false;

        for (size_t k = 0; k < a.size(); ++k)
            if (a[k].delayOndula != b[k].delayOndula)
                return false;

        return true;
    }
}

FilterEQGraphComponent::FilterEQGraphComponent (ParameterMappingFunctions&, OndulaDelay& left, OndulaDelay&)
    : engine (left)
{
    // Every pixel is painted, so the editor beneath need not be.
    setOpaque (true);

    for (auto& set : paths)
        for (auto& path : set)
            path.preallocateSpace (3 * (numSamples + 1));

    startTimer (33);
}

FilterEQGraphComponent::~FilterEQGraphComponent()
{
    stopTimer();
}

double FilterEQGraphComponent::axisFrequency (double x) noexcept
{
    // log10 5 = 0.69897; log10 (9000 / 5) = 3.2552724
    return std::pow (10.0, x * 3.2552724 + 0.69897);
}

void FilterEQGraphComponent::timerCallback()
{
    // Only the copy runs under the engine's mutex; the audio thread holds it for whole blocks.
    TapState copy[numTaps];
    {
        std::lock_guard<RecursivePriorityMutex> lock (engine.mutex);
        std::memcpy (copy, engine.tapStates, sizeof (copy));
    }

    std::copy (std::begin (copy), std::end (copy), backTaps->begin());

    // The curves are designed at the rate the engine plays at.
    const double rate = (double) engine.sampleRate.load (std::memory_order_relaxed);
    const bool unchangedRate = rate == frontRate;

    bool reshaped = ! unchangedRate;
    for (int k = 0; k < numTaps && ! reshaped; ++k)
        reshaped = ! sameShape ((*backTaps)[(size_t) k], (*frontTaps)[(size_t) k]);

    // Nothing to redraw while the host is stopped or the taps stand still.
    if (! reshaped && samePlace (*backTaps, *frontTaps))
        return;

    filter.sampleRate = (float) rate;
    frontRate = rate;

    if (unchangedRate)
    {
        // Only taps whose response changed are rebuilt; the others move their front path back.
        for (int k = 0; k < numTaps; ++k)
        {
            auto& back = (*backPaths)[(size_t) k];

            if (sameShape ((*backTaps)[(size_t) k], (*frontTaps)[(size_t) k]))
                back.swapWithPath ((*frontPaths)[(size_t) k]);
            else
                make_curve (back, k);
        }
    }
    else
    {
        calculate_paths();
    }

    std::swap (frontPaths, backPaths);
    std::swap (frontTaps, backTaps);

    // The lines cover the middle of the component only: repaint where they were and where they are.
    const auto area = drawnArea();
    repaint (area.getUnion (shownArea).getIntersection (getLocalBounds()));
    shownArea = area;
}

void FilterEQGraphComponent::calculate_paths()
{
    for (int k = 0; k < numTaps; ++k)
        make_curve ((*backPaths)[(size_t) k], k);
}

void FilterEQGraphComponent::make_curve (juce::Path& path, int k)
{
    const auto& record = (*backTaps)[(size_t) k];
    double f = limit (record.frequency, lowestCentre, highestCentre);
    double bw = limit (record.bandwidth, narrowest, widest);
    const float amp = limit (record.amplitude, 0.0f, 1.0f);

    // Sampling warp: the engine's laws f = 10^(1 + 2.9542425 x) and bw = x^1.5 * 14.75 + 0.25
    // run backwards place the band at c with normalised width n; narrow bands get most of the
    // 64 samples around c, wide ones spread them over the axis.
    const float n = std::pow (((float) bw - 0.25f) / 14.75f, 2.0f / 3.0f);
    const float c = (std::log10 ((float) f) - 1.0f) / 2.9542425f;
    const float w = 0.02f + 0.18f * (1.0f - n) * (1.0f - n);
    const float s = 0.01f / w;

    warp.points.clear();
    warp.addControlPoint (0.0f, 0.0f, 0.0f);
    warp.addControlPoint (1.0f, 1.0f, 0.0f);
    warp.addControlPoint (0.5f - w, c - s, 0.0f);
    warp.addControlPoint (0.5f + w, c + s, 0.0f);

    // The engine's design, in double precision: the upper band edge is held to sixteen times
    // the rate (keeping the lower edge), and the centre to below half the rate.
    const double fs = (double) filter.sampleRate;

    if (f * std::exp2 (bw / 2.0) > 16.0 * fs)
    {
        const double lower = f * std::exp2 (-bw / 2.0);
        bw = std::log2 (16.0 * fs / lower);
        f = lower * std::exp2 (bw / 2.0);
    }

    f = std::min (f, (double) IIRFilter<double>::nyquistGuard * fs);

    const double w0 = 6.283185307 * f / fs;
    const double alpha = std::sin (w0) * std::sinh (0.34657359027997264 * bw * w0 / std::sin (w0));
    const double a[3] { 1.0 + alpha, -2.0 * std::cos (w0), 1.0 - alpha };
    const double b[3] { alpha, 0.0, -alpha };

    for (int i = 0; i < 3; ++i)
    {
        filter.a[i] = a[i];
        filter.b[i] = b[i];
        filter.aNorm[i] = a[i] / a[0];
        filter.bNorm[i] = b[i] / a[0];
    }

    path.clear();
    path.startNewSubPath (0.0f, (float) filter.getMagnitude_d (axisFrequency (0.0)) * amp);

    for (int i = 1; i <= numSamples; ++i)
    {
        const float x = warp.calculateCurveValue ((float) i * 0.015625f);
        path.lineTo (x, (float) filter.getMagnitude_d (axisFrequency ((double) x)) * amp);
    }
}

juce::AffineTransform FilterEQGraphComponent::tapTransform (int k) const noexcept
{
    const auto& taps = *frontTaps;
    const auto span = (float) taps[31].delayBase - (float) taps[0].delayBase;
    const float t = ((float) taps[(size_t) k].delayOndula - (float) taps[0].delayBase) / span;
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();

    // Frequency runs down to the right, later taps sit up and to the right, magnitude rises.
    return { 0.4375f * w, 0.0f, w * (0.0625f + 0.4375f * t), 0.25f * h, -0.1f * h, h * (0.5f - 0.25f * t) };
}

bool FilterEQGraphComponent::tapsPlaced() const noexcept
{
    // Until the engine has placed its taps (both ends of the span still at the same delay) there
    // is no axis to place them on, and nothing is drawn.
    const auto& taps = *frontTaps;
    return frontRate > 0.0 && taps[31].delayBase > taps[0].delayBase;
}

juce::Colour FilterEQGraphComponent::tapColour (int k) const noexcept
{
    return lookAndFeel.c3.interpolatedWith (lookAndFeel.c1, (float) k / 31.0f);
}

juce::Rectangle<int> FilterEQGraphComponent::drawnArea() const
{
    juce::Rectangle<float> area;

    if (tapsPlaced())
        for (int k = 0; k < numTaps; ++k)
            if (tapColour (k) != lookAndFeel.c1)
                area = area.getUnion ((*frontPaths)[(size_t) k].getBoundsTransformed (tapTransform (k)));

    // Half the stroke, its mitred joints and the edge smoothing reach beyond the line itself.
    return area.isEmpty() ? juce::Rectangle<int>() : area.expanded (4.0f).getSmallestIntegerContainer();
}

void FilterEQGraphComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c1);

    if (! tapsPlaced())
        return;

    const juce::PathStrokeType stroke (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    // Back taps first, so that tap 0 lies on top; a tap in the background colour shows nothing.
    for (int k = numTaps - 1; k >= 0; --k)
    {
        const auto colour = tapColour (k);

        if (colour == lookAndFeel.c1)
            continue;

        g.setColour (colour);
        g.strokePath ((*frontPaths)[(size_t) k], stroke, tapTransform (k));
    }
}

void FilterEQGraphComponent::resized()
{
}
