#include "processor/QuorlStyleCurve.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace
{
float clamp01 (float v) noexcept
{
    if (v > 1.0f)
        return 1.0f;

    return v >= 0.0f ? v : 0.0f; // NaN lands on 0, so callers always get a number in 0..1
}
} // namespace

QuorlStyleCurve::QuorlStyleCurve()
{
    addControlPoint (0.0f, 0.0f, 0.0f);
    addControlPoint (1.0f, 1.0f, 0.0f);
}

void QuorlStyleCurve::addControlPoint (float x, float y, float curve)
{
    if (maxPoints >= 0 && points.size() >= (size_t) maxPoints)
        return;

    points.push_back ({ x, y, curve });
    // Stable, so points that share an x keep the order in which they were added.
    std::stable_sort (points.begin(), points.end());
}

float QuorlStyleCurve::calculateCurveValue (float x) const noexcept
{
    const auto segment = segmentAt (x);
    return segment.valueWith (segment.from, segment.to);
}

float QuorlStyleCurve::Segment::valueWith (float fromHeight, float toHeight) const noexcept
{
    if (empty)
        return 0.0f;

    if (outside)
        return clamp01 (fromHeight);

    return clamp01 (fromHeight * (1.0f - shape) + toHeight * shape);
}

QuorlStyleCurve::Segment QuorlStyleCurve::segmentAt (float x) const noexcept
{
    Segment segment;
    const auto n = points.size();

    if (n == 0)
    {
        segment.empty = true;
        return segment;
    }

    const auto& first = points.front();
    const auto& last = points.back();

    if (x < first.x || x > last.x)
    {
        segment.outside = true;
        segment.from = x < first.x ? first.y : last.y;
        return segment;
    }

    size_t j = 0;

    for (size_t i = n - 1; i-- > 0;)
    {
        if (points[i].x < x)
        {
            j = i;
            break;
        }
    }

    const auto& p = points[j];
    const ControlPoint q = n == 1 ? ControlPoint { 1.0f, 0.0f, 0.0f } : points[j + 1];

    const float t = q.x == p.x ? 0.0f : (x - p.x) / (q.x - p.x);
    const float c = p.curve;
    const float e = 63.0f * c * c + 1.0f;

    segment.from = p.y;
    segment.to = q.y;
    segment.shape = c >= 0.0f ? std::pow (t, e) : 1.0f - std::pow (1.0f - t, e);
    segment.closingPoint = n == 1;
    return segment;
}

QuorlStyleCurve QuorlStyleCurve::operator* (float s) const
{
    QuorlStyleCurve result (*this);

    for (auto& p : result.points)
        p.y = clamp01 (p.y * s);

    return result;
}

QuorlStyleCurve operator+ (float a, const QuorlStyleCurve& c)
{
    QuorlStyleCurve result (c);

    for (auto& p : result.points)
        p.y = a + p.y;

    return result;
}

QuorlStyleCurve operator- (float a, const QuorlStyleCurve& c)
{
    QuorlStyleCurve result (c);

    for (auto& p : result.points)
        p.y = a - p.y;

    return result;
}

std::string QuorlStyleCurve::toString() const
{
    std::ostringstream out;

    for (const auto& p : points)
        out << p.x << ' ' << p.y << ' ' << p.curve << '\n';

    return out.str();
}

void QuorlStyleCurve::fromString (std::string text)
{
    points.clear();

    if (text.empty())
    {
        addControlPoint (0.0f, 0.0f, 0.0f);
        return;
    }

    std::istringstream in (text);

    // Points beyond the limit would be dropped: they are not read at all.
    while (maxPoints < 0 || points.size() < (size_t) maxPoints)
    {
        float x = 0.0f, y = 0.0f, c = 0.0f;
        in >> x >> y >> c;

        if (in.fail() || in.bad())
            break;

        points.push_back ({ x, y, c });
    }

    // One stable sort gives the same order as sorting after every point, without the quadratic
    // cost on a long text from a loaded state.
    std::stable_sort (points.begin(), points.end());
}
