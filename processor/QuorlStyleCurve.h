#pragma once

#include <juce_core/juce_core.h>

#include <string>
#include <vector>

/** A control-point curve: points (x, y, curvature) kept sorted by x, evaluated by per-segment power
    curves and stored in the state tree as text, one point per line. */
class QuorlStyleCurve : public juce::ReferenceCountedObject
{
public:
    struct ControlPoint
    {
        float x = 0.0f;
        float y = 0.0f;
        float curve = 0.0f; // bend of the segment that starts here: 0 straight, > 0 rises late

        bool operator< (const ControlPoint& other) const noexcept { return x < other.x; }
    };

    /** The straight line from (0, 0) to (1, 1). */
    QuorlStyleCurve();
    QuorlStyleCurve (const QuorlStyleCurve&) = default;
    QuorlStyleCurve& operator= (const QuorlStyleCurve&) = default;
    ~QuorlStyleCurve() override = default;

    /** Appends a point and sorts the list; does nothing once maxPoints (when >= 0) is reached. */
    void addControlPoint (float x, float y, float curve);

    /** The curve's value at x, always within 0..1; 0 for a curve without points. */
    float calculateCurveValue (float x) const noexcept;

    /** Where x falls on the curve: the heights the value lies between and the weight of the
        second. A copy of the curve whose heights were moved (an offset added, a scale applied)
        keeps its points' places and bends, so its value at x is valueWith() of the moved heights:
        the engine moves per-tap heights on the audio thread this way, without building curves. */
    struct Segment
    {
        float from = 0.0f, to = 0.0f; // heights at the segment's start and end
        float shape = 0.0f;           // weight of `to` at x
        bool outside = false;         // x lies beyond the points: the value is `from`
        bool closingPoint = false;    // a lone point's segment ends at (1, 0), which no move touches
        bool empty = false;           // no points: the value is 0

        /** The value for the given (possibly moved) heights, within 0..1. */
        float valueWith (float fromHeight, float toHeight) const noexcept;
    };

    Segment segmentAt (float x) const noexcept;

    /** Every y becomes y * s, held to 0..1. */
    QuorlStyleCurve operator* (float s) const;

    std::string toString() const;
    /** Reads (x, y, curvature) triples until a number cannot be read or maxPoints are held. */
    void fromString (std::string text);

    std::vector<ControlPoint> points;
    int maxPoints = -1; // -1: no limit

    /** Every reader of a stored curve (the engines, the graphs, the curve editor) takes at most
        this many points of its text: the curve editor never makes more, so what plays is what the
        editor shows, and a longer text (only a hand-made state holds one) costs what a normal one
        does. The stored text itself is kept whole. */
    static constexpr int storedPointLimit = 128;

private:
    JUCE_LEAK_DETECTOR (QuorlStyleCurve)
};

/** Every y becomes a + y, not clamped (evaluation clamps). */
QuorlStyleCurve operator+ (float a, const QuorlStyleCurve& c);
/** Every y becomes a - y, not clamped (evaluation clamps). */
QuorlStyleCurve operator- (float a, const QuorlStyleCurve& c);
