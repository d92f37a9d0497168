// The host's automation lines as the control pieces take them: what is handed on, where, and what
// is not.

#include "processor/HostAutomation.h"

#include <gtest/gtest.h>

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

/** Pieces start at the given offsets of each block; returns what every piece start handed on. */
struct Blocks
{
    std::unique_ptr<HostAutomation> automation = std::make_unique<HostAutomation>();
    std::vector<Handed> handed;

    void block (const std::vector<std::pair<int, float>>& points, float parameterValue, const std::vector<int>& pieceStarts,
                int parameter = 3)
    {
        automation->beginCall();

        for (const auto& [offset, value] : points)
            automation->addPoint (parameter, offset, value, parameterValue);

        for (const int start : pieceStarts)
            automation->valuesAt (start, [&] (int p, float v) { handed.push_back ({ start, p, v }); });

        automation->endBlock();
    }
};
} // namespace

TEST (HostAutomation, AQueueIsALineHeldBeforeItsFirstPointAndAfterItsLast)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<int, float>> points;
        std::vector<Handed> expected;
    };

    // One block of 4096 with pieces every 512; the parameter stood at 0.5.
    const Case cases[] = {
        { "a ramp from the block's start to its end", { { 0, 0.0f }, { 4096, 1.0f } },
          { { 0, 3, 0.0f }, { 512, 3, 0.125f }, { 1024, 3, 0.25f }, { 1536, 3, 0.375f }, { 2048, 3, 0.5f },
            { 2560, 3, 0.625f }, { 3072, 3, 0.75f }, { 3584, 3, 0.875f } } },
        { "a lone point, taken at the first piece at or after it", { { 1000, 0.9f } }, { { 1024, 3, 0.9f } } },
        { "a point on a piece's start", { { 1024, 0.9f } }, { { 1024, 3, 0.9f } } },
        { "points that stay where the parameter stands hand on nothing", { { 0, 0.5f }, { 700, 0.5f }, { 3000, 0.5f } }, {} },
        { "a step back within one piece is never heard", { { 100, 0.9f }, { 200, 0.5f } }, {} },
        { "offsets that run back are taken as the one before", { { 2000, 0.2f }, { 1000, 0.8f } }, { { 2048, 3, 0.8f } } },
    };

    for (const auto& c : cases)
    {
        Blocks b;
        b.block (c.points, 0.5f, { 0, 512, 1024, 1536, 2048, 2560, 3072, 3584 });
        EXPECT_EQ (b.handed, c.expected) << c.name;
    }
}

TEST (HostAutomation, ALineThatEndsAfterTheLastPieceOwesItsValueToTheNextOne)
{
    // Blocks of 64 with no piece inside, then one with a piece at 20; and a block that brings no
    // queue still takes the value owed.
    Blocks b;
    b.block ({ { 40, 0.7f } }, 0.5f, {});
    b.block ({}, 0.7f, {});
    b.block ({}, 0.7f, { 20 });
    b.block ({}, 0.7f, { 10 });
    EXPECT_EQ (b.handed, (std::vector<Handed> { { 20, 3, 0.7f } }));

    // A call that no block takes leaves its value to the next piece too.
    b.automation->beginCall();
    b.automation->addPoint (3, 5, 0.1f, 0.7f);
    b.block ({}, 0.1f, { 0 });
    EXPECT_EQ (b.handed.back(), (Handed { 0, 3, 0.1f }));
}

TEST (HostAutomation, ControllerEditsPlayFromTheNextPieceAndAreHandedOnEvenWhenTheParameterShowsThem)
{
    // The client sets the parameter to the edit before any queue brings the same value: the value
    // must reach the sound all the same.
    Blocks b;
    b.automation->controllerEdit (27, 0.0f);
    b.block ({ { 0, 0.0f } }, 0.0f, { 0 }, 27);
    EXPECT_EQ (b.handed, (std::vector<Handed> { { 0, 27, 0.0f } }));

    // Only the latest of several edits plays; out-of-range values are held to 0..1.
    b.automation->controllerEdit (5, 0.2f);
    b.automation->controllerEdit (5, 1.5f);
    b.block ({}, 1.0f, { 256 });
    EXPECT_EQ (b.handed.back(), (Handed { 256, 5, 1.0f }));
    EXPECT_EQ (b.handed.size(), 2u);

    // Parameters outside the thirty (the client's bypass) are not taken.
    b.automation->controllerEdit (-1, 0.3f);
    b.automation->controllerEdit (30, 0.3f);
    b.block ({}, 0.0f, { 0 });
    EXPECT_EQ (b.handed.size(), 2u);
}
