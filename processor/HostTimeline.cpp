#include "processor/HostTimeline.h"

#include <algorithm>
#include <cmath>

namespace
{
// The speeds taken as motion; beyond them a steady advance is a run of jumps.
constexpr double fastestMotion = 16.0;

// How far a call may stray from the position the last speed predicts and still be steady motion:
// a sample of rounding, or a speed that changes a little from one call to the next (a varispeed
// ramp).
bool advancesSteadily (int64_t delta, double lastSpeed, int lastLength) noexcept
{
    const double predicted = lastSpeed * (double) lastLength;
    return std::abs ((double) delta - predicted) <= std::max (1.0, 0.02 * std::abs (predicted));
}
} // namespace

HostTimeline::Step HostTimeline::decide (const Report& report, int64_t counted) const noexcept
{
    Step step;
    auto& next = step.next;
    next = state;
    next.unsettled = false;
    next.repeats = 0;
    next.offsetCalls = 0;
    next.offsetSign = 0;

    const auto move = [&step] (int64_t position)
    {
        step.action = Action::move;
        step.position = position;
        step.next.inMotion = false;
        step.next.lastSpeed = 1.0;
        step.next.offsetLow = step.next.offsetHigh = 0;
    };

    if (! (report.playing && report.hasPosition))
    {
        // Stopped, or with no position: count on. After a move the wave stays where the
        // motion left it.
        next.following = false;
        step.action = Action::countOn;

        if (state.unsettled)
            move (counted);

        return step;
    }

    const auto reported = std::clamp (report.position, -limit, limit);
    next.following = true;
    next.lastPosition = reported;
    next.lastLength = report.length;

    if (! state.following || state.unsettled || state.lastLength <= 0)
    {
        move (reported);
        return step;
    }

    const int64_t delta = reported - state.lastPosition;
    const int64_t offset = reported - counted;
    next.lastSpeed = (double) delta / (double) state.lastLength;

    if (delta == 0)
    {
        // The host reports again the place it reported before: a pre-roll reported at the range
        // start (the region's first samples follow from there) is taken up again; a play head
        // that keeps standing there is counted on.
        next.repeats = std::min (state.repeats + 1, standingRepeats);
        next.lastSpeed = 0.0;

        if (next.repeats < standingRepeats)
        {
            move (reported);
            return step;
        }

        step.action = Action::countOn;
        return step;
    }

    if (! state.inMotion && std::abs (offset) <= 2 * tolerance)
    {
        // Rounding wobbles both ways and comes back; an offset that stays is a shift. A move may
        // have taken a report that was itself a sample off, so the reports since it may stand up
        // to two samples off the count, yet within one sample of one place: that place is the
        // count's, a sample off, and counting on keeps the sound of steady playback.
        const int sign = offset > 0 ? 1 : offset < 0 ? -1 : 0;
        const bool bothWays = sign != 0 && state.lastOffsetSign == -sign;
        next.callsSinceRoundingBothWays = bothWays ? 0 : std::min (state.callsSinceRoundingBothWays + 1, roundingMemory);
        next.lastOffsetSign = sign != 0 ? sign : state.lastOffsetSign;
        next.offsetLow = std::min (state.offsetLow, (int) offset);
        next.offsetHigh = std::max (state.offsetHigh, (int) offset);
        const bool rounds = next.callsSinceRoundingBothWays < roundingMemory;
        const bool onePlace = next.offsetHigh - next.offsetLow <= 2 * tolerance;

        if (std::abs (offset) <= tolerance || (rounds && onePlace))
        {
            step.action = Action::follow;
            next.lastSpeed = 1.0;

            if (std::abs (offset) == tolerance)
            {
                next.offsetSign = sign;
                next.offsetCalls = state.offsetSign == sign ? std::min (state.offsetCalls + 1, persistentOffsetCalls) : 1;

                if (next.offsetCalls >= persistentOffsetCalls && ! rounds)
                    move (reported);
            }

            return step;
        }
    }

    const double speed = next.lastSpeed;
    const bool steady = delta > 0 && speed <= fastestMotion && advancesSteadily (delta, state.lastSpeed, state.lastLength);

    if (! steady)
    {
        // A loop, a relocation, scrubbing, or the first call of a new speed.
        move (reported);
        next.lastSpeed = speed;
        return step;
    }

    if (delta == state.lastLength && std::abs (offset) > tolerance)
    {
        // Back at speed 1: the pieces take up the timeline again.
        move (reported);
        return step;
    }

    if (delta == state.lastLength)
    {
        step.action = Action::follow;
        next.inMotion = false;
        return step;
    }

    step.action = Action::motion;
    step.position = reported;
    step.speed = speed;
    next.inMotion = true;
    return step;
}

void HostTimeline::unsettle() noexcept
{
    state = State {};
}
