#include "QuorlStyleCurveEditor.h"

#include <cmath>

namespace
{
    // Points move no closer than this to a neighbour, so the list stays sorted without re-sorting.
    constexpr float neighbourGap = 0.01f;

    // Hover reaches this far, in curve units (x weighted by the editor's aspect).
    constexpr float hoverReach = 0.1f;

    struct XBounds
    {
        float lo, hi;

        // lo wins when the neighbours leave no room, as the drag rule has it.
        float apply (float x) const noexcept { return x < lo ? lo : std::min (hi, x); }
    };

    XBounds boundsOf (const std::vector<QuorlStyleCurve::ControlPoint>& points, size_t i)
    {
        const auto n = points.size();
        const float lo = i == 0 ? 0.0f : std::max (points[i - 1].x + neighbourGap, 0.0f);
        const float hi = i + 1 == n ? 1.0f : std::min (points[i + 1].x - neighbourGap, 1.0f);
        return { lo, hi };
    }
}

QuorlStyleCurveEditor::QuorlStyleCurveEditor (QuorlStyleCurve& curveToEdit)
    : editedCurve (curveToEdit),
      samplePoints ((size_t) numSamples)
{
    if (! editedCurve.points.empty())
        for (size_t i = 0; i < samplePoints.size(); ++i)
        {
            const float x = (float) i / (float) (numSamples - 1);
            samplePoints[i] = { x, editedCurve.calculateCurveValue (x) };
        }

    updatePath();

    editedCurve.maxPoints = pointLimit;

    if (editedCurve.points.size() > (size_t) pointLimit)
        editedCurve.points.resize ((size_t) pointLimit);
}

//==============================================================================
juce::Point<float> QuorlStyleCurveEditor::toCurve (const juce::MouseEvent& e) const
{
    // A degenerate transform comes back unchanged from inverted() and is applied as it is.
    return e.position.transformedBy (viewTransform.inverted());
}

juce::Point<float> QuorlStyleCurveEditor::handlePosition (size_t segment) const
{
    const auto& points = editedCurve.points;
    const float x = (points[segment].x + points[segment + 1].x) * 0.5f;
    return { x, editedCurve.calculateCurveValue (x) };
}

void QuorlStyleCurveEditor::mouseMove (const juce::MouseEvent& e)
{
    const auto mouse = toCurve (e);
    // The whole-number ratio on purpose: a wide editor weighs x by its integer aspect, and one
    // narrower than it is tall looks at y alone.
    const float k = getHeight() > 0 ? (float) (getWidth() / getHeight()) : 0.0f;

    const auto& points = editedCurve.points;
    const auto n = points.size();
    float best = 10000.0f;
    int index = 0;
    bool handle = false;

    const auto consider = [&] (juce::Point<float> c, size_t i, bool isHandle)
    {
        const float dx = (c.x - mouse.x) * k;
        const float dy = c.y - mouse.y;
        const float d = std::sqrt (dx * dx + dy * dy);

        if (d < best) // strictly: on a tie the earlier candidate keeps it
        {
            best = d;
            index = (int) i;
            handle = isHandle;
        }
    };

    for (size_t i = 0; i < n; ++i)
    {
        consider ({ points[i].x, points[i].y }, i, false);

        if (i + 1 < n)
            consider (handlePosition (i), i, true);
    }

    if (best < hoverReach)
    {
        if (index != hoverIndex || handle != hoverIsHandle)
        {
            hoverIndex = index;
            hoverIsHandle = handle;
            repaint();
        }
    }
    else if (hoverIndex != -1)
    {
        hoverIndex = -1;
        hoverIsHandle = false;
        repaint();
    }
}

void QuorlStyleCurveEditor::mouseDrag (const juce::MouseEvent& e)
{
    if (! e.mods.isLeftButtonDown() || hoverIndex < 0)
        return;

    const auto mouse = toCurve (e);
    auto& points = editedCurve.points;
    const auto i = (size_t) hoverIndex;

    if (! hoverIsHandle && i < points.size())
    {
        points[i].x = boundsOf (points, i).apply (mouse.x);
        points[i].y = mouse.y < 0.0f ? 0.0f : std::min (1.0f, mouse.y);
    }
    else if (hoverIsHandle && i + 1 < points.size())
    {
        const float lo = std::min (points[i].y, points[i + 1].y);
        const float hi = std::max (points[i].y, points[i + 1].y);

        if (lo != hi)
        {
            const float c = juce::jlimit (-1.0f, 1.0f, 0.25f * (2.0f * (mouse.y - lo) / (hi - lo) - 1.0f));
            // Mouse up bends the segment up, whichever way it runs.
            points[i].curve = points[i].y < points[i + 1].y ? -c : c;
        }
    }

    repaint();

    if (onChange)
        onChange();
}

void QuorlStyleCurveEditor::mouseUp (const juce::MouseEvent& e)
{
    auto& points = editedCurve.points;
    const auto clicks = e.getNumberOfClicks();

    if (e.mods.isRightButtonDown() && clicks == 1 && hoverIndex >= 0)
    {
        const auto i = (size_t) hoverIndex;

        if (! hoverIsHandle && i < points.size())
        {
            points[i].x = boundsOf (points, i).apply (points[i].x);
            points[i].y = bipolar ? 0.5f : 0.0f;
        }

        if (onChange)
            onChange();
    }

    if (e.mods.isLeftButtonDown() && clicks == 2)
    {
        if (hoverIndex < 0)
        {
            // Not held to the unit square: a double click in the margin adds a point outside it.
            const auto mouse = toCurve (e);
            editedCurve.addControlPoint (mouse.x, mouse.y, 0.0f);
        }
        else
        {
            const auto i = (size_t) hoverIndex;

            if (hoverIsHandle)
            {
                if (i + 1 < points.size())
                    points[i].curve = 0.0f;
            }
            else if (i > 0 && i < points.size())
            {
                // The first point stays: a curve is never left without points by the editor.
                points.erase (points.begin() + (std::ptrdiff_t) i);
            }
        }

        mouseMove (e);

        if (onChange)
            onChange();
    }
}

//==============================================================================
void QuorlStyleCurveEditor::resized()
{
    const float w = (float) getWidth();
    const float h = (float) getHeight();

    // (0, 0) to the bottom-left inner corner, (1, 1) to the top-right one; y grows upwards.
    viewTransform = juce::AffineTransform (w - 2.0f * marginX, 0.0f, marginX,
                                           0.0f, -(h - 2.0f * marginY), h - marginY);
    updatePath();
}

juce::Path QuorlStyleCurveEditor::sampledPath (const QuorlStyleCurve& curve)
{
    juce::Path path;

    // A curve without points cannot be evaluated: it is drawn as nothing but its (absent) marks.
    if (curve.points.empty())
        return path;

    const float a = curve.points.front().x;
    const float b = std::max (a, curve.points.back().x);
    const auto count = samplePoints.size();

    for (size_t i = 0; i < count; ++i)
    {
        const float t = (float) i / (float) (count - 1);
        const float x = a * (1.0f - t) + b * t;
        samplePoints[i] = { x, curve.calculateCurveValue (x) };
    }

    path.startNewSubPath (samplePoints.front());

    for (size_t i = 1; i < count; ++i)
        path.lineTo (samplePoints[i]);

    path.applyTransform (viewTransform);
    return path;
}

void QuorlStyleCurveEditor::updatePath()
{
    curvePath = sampledPath (editedCurve);

    const float s = previewAmount;
    const auto scaled = editedCurve * std::abs (s);
    const float base = bipolar ? (float) ((double) previewOffset - (double) s / 2.0) : previewOffset;
    const auto preview = s >= 0.0f ? base + scaled : base - scaled;
    previewCurve.points = preview.points;
    previewCurve.maxPoints = preview.maxPoints;

    previewPath = sampledPath (previewCurve);
}

void QuorlStyleCurveEditor::paint (juce::Graphics& g)
{
    const float w = (float) getWidth();
    const float h = (float) getHeight();

    g.fillAll (lookAndFeel.c0);

    // The band the preview can span: offset to offset + amount (centred on the offset when bipolar).
    const float s = previewAmount;
    const float v = previewOffset;
    const float shift = bipolar ? v - s / 2.0f : v;
    const auto unit = juce::Rectangle<float> (0.0f, 0.0f, 1.0f, 1.0f);
    const auto band = unit.transformedBy (juce::AffineTransform (1.0f, 0.0f, 0.0f, 0.0f, s, shift))
                          .getIntersection (unit)
                          .transformedBy (viewTransform);
    g.setColour (lookAndFeel.c2);
    g.fillRect (band);
    g.drawRect (band, 2.0f);

    const auto offsetLine = juce::Point<float> (0.0f, juce::jlimit (0.0f, 1.0f, v)).transformedBy (viewTransform);
    g.setColour (lookAndFeel.c5);
    g.drawLine (marginX, offsetLine.y, w - marginX, offsetLine.y, 2.0f);

    updatePath();

    const juce::PathStrokeType stroke (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);
    g.setColour (lookAndFeel.c4);
    g.strokePath (previewPath, stroke);
    g.setColour (lookAndFeel.c12);
    g.strokePath (curvePath, stroke);

    const float a = cornerInsetX, b = cornerInsetY, L = cornerLength;
    g.drawHorizontalLine ((int) b, a, a + L);
    g.drawVerticalLine ((int) a, b, b + L);
    g.drawHorizontalLine ((int) b, w - a - L, w - a);
    g.drawVerticalLine ((int) (w - a), b, b + L + 1.0f);
    g.drawHorizontalLine ((int) (h - b), a, a + L + 1.0f);
    g.drawVerticalLine ((int) a, h - b - L, h - b);
    g.drawHorizontalLine ((int) (h - b), w - a - L, w - a + 1.0f);
    g.drawVerticalLine ((int) (w - a), h - b - L, h - b);

    const auto points = editedCurve.points;

    for (size_t i = 0; i < points.size(); ++i)
    {
        const auto p = juce::Point<float> (points[i].x, points[i].y).transformedBy (viewTransform);
        const bool hovered = (int) i == hoverIndex;

        if (hovered && ! hoverIsHandle)
            g.fillEllipse (p.x - 6.0f, p.y - 6.0f, 12.0f, 12.0f);
        else
            g.fillEllipse (p.x - 4.0f, p.y - 4.0f, 8.0f, 8.0f);

        if (i + 1 < points.size())
        {
            const float hx = (points[i].x + points[i + 1].x) * 0.5f;
            const auto c = juce::Point<float> (hx, editedCurve.calculateCurveValue (hx)).transformedBy (viewTransform);

            if (hovered && hoverIsHandle)
                g.fillEllipse (c.x - 6.0f, c.y - 6.0f, 12.0f, 12.0f);
            else
                g.drawEllipse (c.x - 3.0f, c.y - 3.0f, 6.0f, 6.0f, 2.0f);
        }
    }
}
