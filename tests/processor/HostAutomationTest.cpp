// The host's automation lines as the control pieces take them: what is handed on, where, and what
// is not.

#include "processor/HostAutomation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace
{
struct Handed
{
    int offset, parameter;
    float value;

    bool operator== (const Handed& o) const { return offset == o.offset && parameter == o.parameter && value == o.value; }
};

std::ostream& operator<< (std::ostream& out, const Handed& h)
{
    return out << "{" << h.offset << ", " << h.parameter << ", " << h.value << "}";
}

using Points = std::vector<std::pair<int, float>>;

/** Calls of `length` samples whose pieces start at `firstPiece` and every `pieceLength` after;
    records what every piece start handed on. */
struct Calls
{
    explicit Calls (int maxPieces = 16) { automation->prepare (maxPieces); }

    std::unique_ptr<HostAutomation> automation = std::make_unique<HostAutomation>();
    std::vector<Handed> handed;

    void call (const Points& points, float parameterValue, int length, int firstPiece, int pieceLength = 512, int parameter = 3)
    {
        automation->beginCall (firstPiece, pieceLength, length);

        for (const auto& [offset, value] : points)
            automation->addPoint (parameter, offset, value, [parameterValue] { return parameterValue; });

        automation->beginBlock();

        for (int start = firstPiece; start < length; start += pieceLength)
            automation->valuesAt (start, [&] (int p, float v) { handed.push_back ({ start, p, v }); });

        automation->endBlock();
    }
};

/** The line as the host means it, from every point at once: held before the first point, straight
    between points, held after the last. */
float lineAt (const Points& points, float before, int offset)
{
    int i = (int) points.size() - 1;

    while (i >= 0 && points[(size_t) i].first > offset)
        --i;

    if (i < 0)
        return before;

    if (i == (int) points.size() - 1)
        return points.back().second;

    const auto& a = points[(size_t) i];
    const auto& b = points[(size_t) i + 1];
    const double along = (double) (offset - a.first) / (double) (b.first - a.first);
    return (float) ((double) a.second + ((double) b.second - (double) a.second) * along);
}
} // namespace

TEST (HostAutomation, AQueueIsALineHeldBeforeItsFirstPointAndAfterItsLast)
{
    struct Case
    {
        const char* name;
        Points points;
        std::vector<Handed> expected;
    };

    // One call of 4096 with pieces every 512; the parameter stood at 0.5.
    const Case cases[] = {
        { "a ramp from the block's start to its end", { { 0, 0.0f }, { 4096, 1.0f } },
          { { 0, 3, 0.0f }, { 512, 3, 0.125f }, { 1024, 3, 0.25f }, { 1536, 3, 0.375f }, { 2048, 3, 0.5f },
            { 2560, 3, 0.625f }, { 3072, 3, 0.75f }, { 3584, 3, 0.875f } } },
        { "a lone point, taken at the first piece at or after it", { { 1000, 0.9f } }, { { 1024, 3, 0.9f } } },
        { "a point on a piece's start", { { 1024, 0.9f } }, { { 1024, 3, 0.9f } } },
        { "points that stay where the parameter stands hand on nothing", { { 0, 0.5f }, { 700, 0.5f }, { 3000, 0.5f } }, {} },
        { "a step back within one piece is never heard", { { 100, 0.9f }, { 200, 0.5f } }, {} },
        { "offsets that run back are taken as the one before", { { 2000, 0.2f }, { 1000, 0.8f } }, { { 2048, 3, 0.8f } } },
        { "a negative offset is the call's start", { { -40, 0.1f }, { 1024, 0.1f } }, { { 0, 3, 0.1f } } },
    };

    for (const auto& c : cases)
    {
        Calls calls;
        calls.call (c.points, 0.5f, 4096, 0);
        EXPECT_EQ (calls.handed, c.expected) << c.name;
    }
}

TEST (HostAutomation, EveryPointCountsWhateverTheirNumber)
{
    // A sine line sent with a point every 1, 8, 32 or 1000 samples, and 100,000 points crowded into
    // one call: every piece gets the line's value there, as the whole line gives it.
    struct Case
    {
        const char* name;
        int every, length, firstPiece;
    };

    const Case cases[] = {
        { "a point every sample", 1, 4096, 0 },
        { "every 8 samples", 8, 4096, 100 },
        { "every 32 samples", 32, 8192, 7 },
        { "every 1000 samples", 1000, 8192, 300 },
        { "100,000 points", 0, 4096, 0 },
    };

    for (const auto& c : cases)
    {
        Points points;

        if (c.every > 0)
            for (int at = 0; at < c.length; at += c.every)
                points.push_back ({ at, (float) (0.5 + 0.5 * std::sin (0.003 * at)) });
        else
            for (int k = 0; k < 100000; ++k)
                points.push_back ({ k * c.length / 100000, (float) ((k * 7919) % 1000) / 999.0f });

        Calls calls;
        calls.call (points, 0.25f, c.length, c.firstPiece);

        float last = 0.25f;
        std::vector<Handed> expected;

        for (int start = c.firstPiece; start < c.length; start += 512)
        {
            const float value = lineAt (points, 0.25f, start);

            if (value != last)
                expected.push_back ({ start, 3, value });

            last = value;
        }

        EXPECT_EQ (calls.handed, expected) << c.name;
    }
}

TEST (HostAutomation, ACallLongerThanItsRoomTakesTheLastValuesBeyondIt)
{
    // Room for 2 pieces; a call of 8 pieces with a ramp: the first two follow the line, the others
    // take its last value. Nothing is written outside the room.
    Calls calls (2);
    calls.call ({ { 0, 0.0f }, { 4096, 1.0f } }, 0.5f, 4096, 0);
    EXPECT_EQ (calls.handed, (std::vector<Handed> { { 0, 3, 0.0f }, { 512, 3, 0.125f }, { 1024, 3, 1.0f } }));

    // The call's start is a slot of its own: a move of the timeline takes the line there.
    calls.handed.clear();
    calls.automation->beginCall (200, 512, 4096);
    calls.automation->addPoint (3, 0, 0.3f, [] { return 1.0f; });
    calls.automation->addPoint (3, 712, 0.7f, [] { return 1.0f; });
    calls.automation->beginBlock();
    calls.automation->valuesAt (0, [&] (int p, float v) { calls.handed.push_back ({ 0, p, v }); });
    calls.automation->valuesAt (200, [&] (int p, float v) { calls.handed.push_back ({ 200, p, v }); });
    calls.automation->valuesAt (712, [&] (int p, float v) { calls.handed.push_back ({ 712, p, v }); });
    calls.automation->endBlock();
    EXPECT_EQ (calls.handed, (std::vector<Handed> { { 0, 3, 0.3f }, { 200, 3, 0.3f + 0.4f * 200.0f / 712.0f }, { 712, 3, 0.7f } }));
}

TEST (HostAutomation, ALineThatEndsAfterTheLastPieceOwesItsValueToTheNextOne)
{
    // Calls of 64 with no piece inside, then one with a piece at 20; and a call that brings no
    // queue still takes the value owed.
    Calls calls;
    calls.call ({ { 40, 0.7f } }, 0.5f, 64, 100);
    calls.call ({}, 0.7f, 64, 100);
    calls.call ({}, 0.7f, 64, 20);
    calls.call ({}, 0.7f, 64, 10);
    EXPECT_EQ (calls.handed, (std::vector<Handed> { { 20, 3, 0.7f } }));

    // A call that no block takes leaves its value to the next piece too.
    calls.automation->beginCall (0, 512, 64);
    calls.automation->addPoint (3, 5, 0.1f, [] { return 0.7f; });
    calls.call ({}, 0.1f, 64, 0);
    EXPECT_EQ (calls.handed.back(), (Handed { 0, 3, 0.1f }));
}

TEST (HostAutomation, ControllerEditsPlayFromTheNextPieceAndAreHandedOnEvenWhenTheParameterShowsThem)
{
    // The client sets the parameter to the edit before any queue brings the same value: the value
    // must reach the sound all the same.
    Calls calls;
    calls.automation->controllerEdit (27, 0.0f);
    calls.call ({ { 0, 0.0f } }, 0.0f, 512, 0, 512, 27);
    EXPECT_EQ (calls.handed, (std::vector<Handed> { { 0, 27, 0.0f } }));

    // Only the latest of several edits plays; out-of-range values are held to 0..1.
    calls.automation->controllerEdit (5, 0.2f);
    calls.automation->controllerEdit (5, 1.5f);
    calls.call ({}, 1.0f, 512, 256);
    EXPECT_EQ (calls.handed.back(), (Handed { 256, 5, 1.0f }));
    EXPECT_EQ (calls.handed.size(), 2u);

    // Parameters outside the thirty (the client's bypass) are not taken.
    calls.automation->controllerEdit (-1, 0.3f);
    calls.automation->controllerEdit (30, 0.3f);
    calls.call ({}, 0.0f, 512, 0);
    EXPECT_EQ (calls.handed.size(), 2u);
}

TEST (HostAutomation, AStateLoadDropsWhatIsStillOwedFromBeforeItAndKeepsWhatComesAfter)
{
    struct Case
    {
        const char* name;
        bool owedLineEnd, editBefore, editAfter;
        std::vector<Handed> expected;
    };

    const Case cases[] = {
        { "a line's last value owed to the next piece", true, false, false, {} },
        { "a controller edit not yet taken", false, true, false, {} },
        { "both", true, true, false, {} },
        { "an edit after the load plays", true, true, true, { { 0, 3, 0.9f } } },
    };

    for (const auto& c : cases)
    {
        Calls calls;

        // A point after the call's only piece, or none.
        calls.call (c.owedLineEnd ? Points { { 300, 0.7f } } : Points {}, 0.5f, 512, 100);
        calls.handed.clear();

        if (c.editBefore)
            calls.automation->controllerEdit (3, 0.2f);

        calls.automation->stateLoads();

        if (c.editAfter)
            calls.automation->controllerEdit (3, 0.9f);

        calls.call ({}, 0.5f, 512, 0);
        EXPECT_EQ (calls.handed, c.expected) << c.name;
    }

    // A load between a call's points and its block drops the call's queues as well.
    Calls calls;
    calls.automation->beginCall (0, 512, 512);
    calls.automation->addPoint (3, 0, 0.8f, [] { return 0.5f; });
    calls.automation->stateLoads();
    calls.automation->beginBlock();
    calls.automation->valuesAt (0, [&] (int p, float v) { calls.handed.push_back ({ 0, p, v }); });
    calls.automation->endBlock();
    EXPECT_TRUE (calls.handed.empty());
}
