// How the plug-in reads a host's reported positions, call by call: what is a continuation, a move,
// motion at another speed, or a play head that stands still.

#include "processor/HostTimeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace
{
using Action = HostTimeline::Action;

struct Call
{
    int64_t position;
    int length;
    bool playing = true;
};

/** Runs the calls through a timeline whose engines count what they render (and jump where a move
    puts them), and returns the action of each call. */
std::vector<Action> actionsFor (const std::vector<Call>& calls, std::vector<double>* speeds = nullptr)
{
    HostTimeline timeline;
    int64_t counted = 0;
    std::vector<Action> actions;

    for (const auto& c : calls)
    {
        const auto step = timeline.decide ({ c.playing, true, c.position, c.length }, counted);
        timeline.take (step);
        actions.push_back (step.action);

        if (speeds != nullptr)
            speeds->push_back (step.speed);

        if (step.action == Action::move)
            counted = step.position;

        counted += c.length;
    }

    return actions;
}

std::string describe (const std::vector<Action>& actions)
{
    std::string text;

    for (auto a : actions)
        text += a == Action::move ? 'M' : a == Action::follow ? 'f' : a == Action::motion ? 'v' : 'c';

    return text;
}

std::vector<Call> steady (int64_t from, int calls, int length, double speed)
{
    std::vector<Call> out;

    for (int i = 0; i < calls; ++i)
        out.push_back ({ from + (int64_t) (speed * length * i + 0.5), length });

    return out;
}

std::vector<Call> operator+ (std::vector<Call> a, const std::vector<Call>& b)
{
    a.insert (a.end(), b.begin(), b.end());
    return a;
}
} // namespace

TEST (HostTimeline, ReadsEachHostBehaviourAsItsOwnKindOfStep)
{
    // M move, f follow (the count continued), v motion (the wave follows the host's speed),
    // c count on (stopped, or a play head that stands still).
    struct Case
    {
        const char* behaviour;
        std::vector<Call> calls;
        const char* expected;
    };

    const Case cases[] {
        { "playback at speed 1", steady (1000, 5, 64, 1.0), "Mffff" },
        { "playback through 0 from a count-in",
          { { -130, 64 }, { -66, 64 }, { -2, 64 }, { 62, 64 }, { 126, 64 } }, "Mffff" },
        { "a one-sample wobble of a host that rounds", { { 0, 64 }, { 65, 64 }, { 128, 64 }, { 191, 64 }, { 256, 64 } }, "Mffff" },
        { "a one-sample shift that stays is taken up",
          { { 0, 64 }, { 65, 64 }, { 129, 64 }, { 193, 64 }, { 257, 64 }, { 321, 64 } }, "MfffMf" },
        { "a host that rounds both ways: a run of one way is chance, not a shift",
          { { 0, 64 }, { 65, 64 }, { 127, 64 }, { 193, 64 }, { 257, 64 }, { 321, 64 }, { 385, 64 } }, "Mffffff" },
        { "a loop taken at a report a sample late, then rounding the other way",
          { { 0, 64 }, { 65, 64 }, { 127, 64 }, { 1, 64 }, { 63, 64 }, { 129, 64 }, { 191, 64 } }, "MffMfff" },
        { "a host that has not rounded: two samples off after a move is a jump",
          { { 0, 64 }, { 64, 64 }, { 1, 64 }, { 63, 64 } }, "MfMM" },
        { "a host that rounds, then reports a place off its one place",
          { { 0, 64 }, { 65, 64 }, { 127, 64 }, { 193, 64 }, { 259, 64 }, { 323, 64 } }, "MfffMf" },
        { "an export's pre-roll and first samples both reported at the range start",
          { { 9000, 176 }, { 9000, 80 }, { 9080, 256 }, { 9336, 256 } }, "MMff" },
        { "a play head that never advances",
          { { 0, 64 }, { 0, 64 }, { 0, 64 }, { 0, 64 }, { 0, 64 }, { 0, 64 }, { 0, 64 } }, "MMMMccc" },
        { "it advances again", steady (0, 6, 64, 0.0) + steady (64, 3, 64, 1.0), "MMMMccMff" },
        { "a loop back to its start", steady (0, 3, 512, 1.0) + steady (0, 3, 512, 1.0), "MffMff" },
        { "scrubbing a block back and forth",
          { { 0, 64 }, { 64, 64 }, { 0, 64 }, { 64, 64 }, { 0, 64 }, { 64, 64 } }, "MfMfMf" },
        { "half speed", steady (0, 6, 64, 0.5), "MMvvvv" },
        { "double speed at large blocks", steady (48000, 5, 1024, 2.0), "MMvvv" },
        { "half speed, then speed 1 again", steady (0, 4, 64, 0.5) + steady (128, 3, 64, 1.0), "MMvvvMf" },
        { "reverse play", steady (96000, 4, 64, -1.0), "MMMM" },
        { "a relocation forward", steady (0, 3, 256, 1.0) + steady (100000, 3, 256, 1.0), "MffMff" },
        { "stopped", { { 0, 64, false }, { 0, 64, false }, { 500, 64, true }, { 564, 64, true } }, "McMf" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (describe (actionsFor (c.calls)), c.expected) << c.behaviour;
}

TEST (HostTimeline, MotionCarriesTheMeasuredSpeedAndTheReportedPosition)
{
    HostTimeline timeline;
    int64_t counted = 0;
    HostTimeline::Step step;

    for (int i = 0; i < 4; ++i)
    {
        step = timeline.decide ({ true, true, 480 + 48 * i, 64 }, counted);
        timeline.take (step);
        counted = (step.action == Action::move ? step.position : counted) + 64;
    }

    ASSERT_EQ (step.action, Action::motion);
    EXPECT_EQ (step.position, 480 + 48 * 3);
    EXPECT_DOUBLE_EQ (step.speed, 0.75);
}

TEST (HostTimeline, PositionsAtTheEndsOfTheRangeAreHeldWithoutOverflow)
{
    constexpr auto most = std::numeric_limits<int64_t>::max();
    constexpr auto least = std::numeric_limits<int64_t>::min();
    const std::vector<Call> calls { { most, 64 }, { most, 64 }, { least, 64 }, { least + 64, 64 }, { most - 64, 64 },
                                    { 0, 64 }, { most, 8192 }, { least, 8192 } };

    HostTimeline timeline;
    int64_t counted = HostTimeline::limit - 10;

    for (const auto& c : calls)
    {
        const auto step = timeline.decide ({ true, true, c.position, c.length }, counted);
        timeline.take (step);
        EXPECT_LE (step.position, HostTimeline::limit);
        EXPECT_GE (step.position, -HostTimeline::limit);
        counted = std::min (HostTimeline::limit, (step.action == Action::move ? step.position : counted) + c.length);
    }
}

TEST (HostTimeline, APrepareTakesUpTheTimelineAfresh)
{
    HostTimeline timeline;
    timeline.take (timeline.decide ({ true, true, 0, 64 }, 0));
    timeline.take (timeline.decide ({ true, true, 64, 64 }, 64));
    timeline.unsettle();

    const auto playing = timeline.decide ({ true, true, 128, 64 }, 128);
    EXPECT_EQ (playing.action, Action::move);
    EXPECT_EQ (playing.position, 128);

    const auto stopped = timeline.decide ({ false, true, 0, 64 }, 777);
    EXPECT_EQ (stopped.action, Action::move);
    EXPECT_EQ (stopped.position, 777);
}

TEST (HostTimeline, ItsCountersHoldAtTheirLimitsHoweverLongAHostGoesOn)
{
    // A play head standing still for ever, and a host rounding a sample late at every call after
    // it was seen rounding both ways: each counter stops at the count it is compared with.
    struct Case
    {
        const char* behaviour;
        int64_t (*positionOf) (int call);
        int (*counterOf) (const HostTimeline::State&);
        int limit;
        Action lastAction;
    };

    const Case cases[] {
        { "standing still", [] (int) { return (int64_t) 4800; }, [] (const HostTimeline::State& s) { return s.repeats; },
          HostTimeline::standingRepeats, Action::countOn },
        { "a sample late", [] (int call) { return (int64_t) 64 * call + (call == 2 ? -1 : call > 0 ? 1 : 0); },
          [] (const HostTimeline::State& s) { return s.offsetCalls; }, HostTimeline::persistentOffsetCalls, Action::follow },
    };

    for (const auto& c : cases)
    {
        HostTimeline timeline;
        int64_t counted = 0;
        HostTimeline::Step step;

        for (int call = 0; call < 200; ++call)
        {
            step = timeline.decide ({ true, true, c.positionOf (call), 64 }, counted);
            timeline.take (step);
            counted = (step.action == Action::move ? step.position : counted) + 64;
            ASSERT_LE (c.counterOf (timeline.current()), c.limit) << c.behaviour << ", call " << call;
        }

        EXPECT_EQ (c.counterOf (timeline.current()), c.limit) << c.behaviour;
        EXPECT_EQ (step.action, c.lastAction) << c.behaviour;
    }
}
