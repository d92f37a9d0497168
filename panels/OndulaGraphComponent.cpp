#include "OndulaGraphComponent.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace
{
    constexpr double twoPi = 6.283185307179586;

    float clampUnit (float v) noexcept
    {
        return v >= 0.0f ? (v <= 1.0f ? v : 1.0f) : 0.0f; // NaN lands on 0
    }

    QuorlStyleCurve curveOf (const juce::ValueTree& node)
    {
        QuorlStyleCurve curve;
        curve.maxPoints = QuorlStyleCurve::storedPointLimit;
        curve.fromString (node.getProperty ("curve").toString().toStdString());
        return curve;
    }

    bool sameBits (float a, float b) noexcept
    {
        return std::memcmp (&a, &b, sizeof a) == 0;
    }
}

OndulaGraphComponent::OndulaGraphComponent (OndulaDelayAudioProcessor& processorToUse)
    : processor (processorToUse), pmf (processorToUse.mappingFunctions)
{
    played.fill (std::numeric_limits<float>::quiet_NaN());

    // Every pixel is painted, so the editor beneath need not be.
    setOpaque (true);

    // The row frame: its centre line and its left and right edges, in unit coordinates.
    for (const auto& [from, to] : { std::pair { juce::Point { 0.0f, 0.5f }, juce::Point { 1.0f, 0.5f } },
                                    std::pair { juce::Point { 0.0f, 0.0f }, juce::Point { 0.0f, 1.0f } },
                                    std::pair { juce::Point { 1.0f, 0.0f }, juce::Point { 1.0f, 1.0f } } })
    {
        framePath.startNewSubPath (from);
        framePath.lineTo (to);
        framePath.closeSubPath();
    }
}

OndulaGraphComponent::~OndulaGraphComponent()
{
    stopTimer();
}

void OndulaGraphComponent::setValueTree (juce::ValueTree newRoot)
{
    if (! newRoot.isValid())
        return;

    root = newRoot;

    for (size_t i = 0; i < bindings.size(); ++i)
    {
        if (auto node = root.getChildWithName (bindings[i].group).getChildWithName (bindings[i].type); node.isValid())
        {
            nodes[i] = node;
            nodes[i].addListener (this);
        }
    }

    for (size_t i = 0; i < bindings.size(); ++i)
        if (nodes[i].isValid())
            nodes[i].sendPropertyChangeMessage (bindings[i].announced);

    readPlayed();
}

void OndulaGraphComponent::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier&)
{
    // Rows of the automation handles (frequency, amplitude, bandwidth, pan) and of the Ondula
    // handles (frequency, bandwidth, amplitude, pan, delay).
    static constexpr int automationRows[] { 0, 2, 1, 3 };

    for (size_t i = 0; i < nodes.size(); ++i)
    {
        if (! nodes[i].isValid() || nodes[i] != tree)
            continue;

        if (i < 4)
            readAutomation (nodes[i], automationRows[i]);
        else if (i < 9)
            readOndula (nodes[i], (int) i - 4);

        // The node's settings as they now play.
        readPlayed();
        return;
    }
}

void OndulaGraphComponent::readAutomation (const juce::ValueTree& node, int row)
{
    automationCurves[(size_t) row] = curveOf (node);
    rebuildBase (row);
}

void OndulaGraphComponent::readOndula (const juce::ValueTree& node, int row)
{
    rowWaves[(size_t) row].curve = curveOf (node);
    ++generation[(size_t) row];
}

void OndulaGraphComponent::rebuildBase (int row)
{
    auto v = played[(size_t) (OndulaDelay::automationValue + row)];
    const auto s = played[(size_t) (OndulaDelay::automationScale + row)];

    if (std::isnan (v) || std::isnan (s))
        return;

    const auto scaled = automationCurves[(size_t) row] * std::abs (s);

    if (row == 3) // the pan curve swings around the centre value
        v = v - 0.5f * s;

    baseCurves[(size_t) row] = s >= 0.0f ? v + scaled : v - scaled;
    ++generation[(size_t) row];
}

void OndulaGraphComponent::readPlayed()
{
    using E = OndulaDelay;
    const auto& engine = processor.leftDelay;
    std::array<float, E::numHostSettings> now;

    for (int i = 0; i < E::numHostSettings; ++i)
        now[(size_t) i] = engine.playedHostSetting (i);

    const auto moved = [&] (int setting) { return ! sameBits (now[(size_t) setting], played[(size_t) setting]); };

    bool everyRow = false;

    for (const int setting : { (int) E::globalWavelength, (int) E::globalPhase, (int) E::globalAmount, (int) E::patternMode })
        everyRow = everyRow || moved (setting);

    std::array<bool, numRows> rowMoved {};

    for (int q = 0; q < 4; ++q)
        rowMoved[(size_t) q] = moved (E::automationValue + q) || moved (E::automationScale + q);

    for (int p = 0; p < numRows; ++p)
        if (moved (E::ondulaScale + p) || moved (E::ondulaPhase + p))
        {
            rowWaves[(size_t) p].scale = now[(size_t) (E::ondulaScale + p)];
            rowWaves[(size_t) p].phase = now[(size_t) (E::ondulaPhase + p)];
            ++generation[(size_t) p];
        }

    played = now;

    for (int q = 0; q < 4; ++q)
        if (rowMoved[(size_t) q])
            rebuildBase (q);

    if (everyRow)
    {
        // The grid and the wavelength move every row.
        wavelength = pmf.wavelength_value (played[E::globalWavelength]);
        globalPhase = played[E::globalPhase];
        amount = played[E::globalAmount];
        onTripletGrid = (int) played[E::patternMode] != 0;

        for (auto& g : generation)
            ++g;
    }
}

void OndulaGraphComponent::timerCallback()
{
    readPlayed();

    // The wave as the engine placed it at its last control piece: a turn reduced in double from
    // the timeline position, exact after hours of playback.
    const double turn = -(double) processor.leftDelay.waveTurnAtPiece.load (std::memory_order_relaxed);
    const double reduced = std::isfinite (turn) ? turn - std::floor (turn) : 0.0;
    shownTurn = reduced < 1.0 ? reduced : 0.0;

    // Repaint only the rows whose picture differs from the one last asked for.
    const int step = phaseStep();

    for (int r = 0; r < numRows; ++r)
    {
        const bool changed = generation[(size_t) r] != shownGeneration[(size_t) r];
        const bool moved = step != shownStep && ! rowStandsStill (r);

        if (changed || moved)
            repaint (rowArea (r).expanded (4.0f).getSmallestIntegerContainer());

        shownGeneration[(size_t) r] = generation[(size_t) r];
    }

    shownStep = step;
}

int OndulaGraphComponent::phaseStep() const noexcept
{
    return juce::jlimit (0, numSteps - 1, (int) (shownTurn * numSteps));
}

bool OndulaGraphComponent::rowStandsStill (int row) const noexcept
{
    const auto& wave = rowWaves[(size_t) row];

    if (amount == 0.0f || wave.scale == 0.0f)
        return true;

    // Evaluation interpolates between the points' heights and clamps to 0..1.
    for (const auto& p : wave.curve.points)
        if (! (p.y <= 0.0f))
            return false;

    return true;
}

juce::Rectangle<float> OndulaGraphComponent::rowArea (int row) const noexcept
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    return { 0.25f * w, (0.075f + 0.1875f * (float) row) * h, 0.6875f * w, 0.1f * h };
}

juce::AffineTransform OndulaGraphComponent::rowTransform (int row) const noexcept
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    return { 0.6875f * w, 0.0f, 0.25f * w, 0.0f, -0.1f * h, (0.175f + 0.1875f * (float) row) * h };
}

void OndulaGraphComponent::buildPath (int row, CacheEntry& entry)
{
    const auto& wave = rowWaves[(size_t) row];

    // The row spans the taps from 0 to the last one (P31 time units); the wave is 17 W units
    // long. The time unit cancels, so the cycles shown never depend on the tempo, and a time
    // unit that is not a finite number (a host tempo of 0) cannot blank the picture.
    const float lastTap = onTripletGrid ? OndulaDelay::tripletGrid()[31] : OndulaDelay::straightGrid()[31];
    const double cyclesAcross = (double) lastTap / (17.0 * (double) wavelength);
    const double offsetCycles = (double) wave.phase + (double) globalPhase + shownTurn;
    const float depth = amount * 0.5f * wave.scale;

    auto& path = entry.path;
    path.clear();
    path.preallocateSpace (3 * numPoints + 1);

    for (int j = 0; j < numPoints; ++j)
    {
        const float x = (float) j / (float) (numPoints - 1);
        const float c = wave.curve.calculateCurveValue (x);
        const float b = row == 4 ? 0.5f : baseCurves[(size_t) row].calculateCurveValue (x);
        const double angle = twoPi * (offsetCycles + (double) x * cyclesAcross);
        const float y = clampUnit (b + c * depth * (float) std::sin (angle));

        if (j == 0)
            path.startNewSubPath (x, y);
        else
            path.lineTo (x, y);
    }

    entry.tag = generation[(size_t) row];
}

void OndulaGraphComponent::draw_curve (int row, juce::Colour colour, juce::Graphics& g)
{
    // A row the wave cannot move keeps one path for every step.
    const int step = rowStandsStill (row) ? 0 : phaseStep();
    auto& entry = pathCache[(size_t) row][(size_t) step];

    if (entry.tag != generation[(size_t) row])
        buildPath (row, entry);

    const auto transform = rowTransform (row);
    const juce::PathStrokeType stroke (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    g.setColour (lookAndFeel.c5);
    g.strokePath (framePath, stroke, transform);
    g.setColour (colour);
    g.strokePath (entry.path, stroke, transform);
}

void OndulaGraphComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c1);

    for (int r = 0; r < numRows; ++r)
        if (g.clipRegionIntersects (rowArea (r).expanded (4.0f).getSmallestIntegerContainer()))
            draw_curve (r, lookAndFeel.c3, g);

    const auto h = (float) getHeight();
    const auto top = std::floor (0.05f * h + 13.0f);
    g.setColour (lookAndFeel.c12);
    g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));

    for (int i = 0; i < numRows; ++i)
    {
        const juce::Rectangle<int> area (10, (int) std::floor ((float) i * (3.0f * h / 16.0f) + top), 75, 30);

        if (g.clipRegionIntersects (area))
            g.drawText (rowLabels[(size_t) i], area, juce::Justification::centredRight, true);
    }
}

void OndulaGraphComponent::resized()
{
}
