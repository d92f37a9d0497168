#include <gtest/gtest.h>

#include "../../panels/DelayPatternComponent.h"
#include "../support/PixelProbe.h"
#include "../support/SyntheticMouse.h"

namespace
{
    using namespace SyntheticMouse;
    const juce::ModifierKeys middleButton { juce::ModifierKeys::middleButtonModifier };

    const juce::Colour dark { 0xff141414 };
    const juce::Colour light { 0xfff0f0f0 };

    // The regions of a beat's steps in cells (first column, last column, first row, last row),
    // written out independently of the editor's own step tables.
    struct CellRange { int c0, c1, r0, r1; };
    using StepRegions = std::vector<CellRange>;

    const StepRegions straightRegions[4] = {
        { { 0, 5, 0, 2 }, { 0, 2, 0, 5 } }, { { 3, 5, 3, 5 } }, { { 6, 11, 0, 2 }, { 6, 8, 0, 5 } }, { { 9, 11, 3, 5 } },
    };
    const StepRegions tripletRegions[4] = {
        { { 0, 5, 0, 2 }, { 0, 3, 0, 5 } }, { { 4, 7, 3, 5 } }, { { 6, 11, 0, 2 } }, { { 8, 11, 3, 5 } },
    };

    constexpr int blockStarts[8] = { 4, 88, 186, 270, 368, 452, 550, 634 };

    juce::Rectangle<int> pixels (int block, CellRange c)
    {
        return { blockStarts[block] + 7 * c.c0, 4 + 7 * c.r0, 7 * (c.c1 - c.c0 + 1), 7 * (c.r1 - c.r0 + 1) };
    }

    // The step whose region holds a pixel inside the grid, from the region table alone.
    std::optional<int> stepOwning (int x, int y, bool triplet)
    {
        for (int block = 0; block < 8; ++block)
            for (int s = 0; s < 4; ++s)
                for (const auto& c : (triplet ? tripletRegions : straightRegions)[s])
                    if (pixels (block, c).contains (x, y))
                        return 4 * block + s;
        return std::nullopt;
    }

    // Centre of a cell of a beat block.
    juce::Point<float> cell (int block, int column, int row)
    {
        return { (float) blockStarts[block] + 7.0f * (float) column + 3.0f, 4.0f + 7.0f * (float) row + 3.0f };
    }

    std::string text (const std::vector<bool>& steps)
    {
        std::string s;
        for (bool on : steps)
            s += on ? '1' : '0';
        return s;
    }

    struct Grid
    {
        DelayPatternComponent editor;
        int changes = 0;

        explicit Grid (bool triplet = false, const std::string& pattern = std::string (32, '0'))
        {
            editor.setSize (750, 50);
            editor.tripletGrid = triplet;
            editor.fromString (pattern);
            editor.onChange = [this] { ++changes; };
        }

        // The steps a single left press at a point toggles, starting from the given pattern.
        std::vector<int> toggledBy (juce::Point<float> at)
        {
            const auto before = editor.steps;
            press (editor, at);
            std::vector<int> toggled;
            for (size_t i = 0; i < before.size(); ++i)
                if (before[i] != editor.steps[i])
                    toggled.push_back ((int) i);
            editor.steps = before;
            return toggled;
        }

        juce::Image render()
        {
            auto image = PixelProbe::blank (750, 50, juce::Colours::magenta);
            juce::Graphics g (image);
            editor.paint (g);
            return image;
        }
    };
}

TEST (DelayPatternComponent, PressHitsTheStepOfTheCellOnBothGrids)
{
    struct Case { const char* where; juce::Point<float> at; int straight, triplet; }; // -1: no step
    const Case cases[] = {
        { "lower band, column 3", cell (0, 3, 4), 1, 0 },
        { "lower band, column 4", cell (0, 4, 4), 1, 1 },
        { "lower band, column 3, fourth block", cell (3, 3, 5), 13, 12 },
        { "lower band, column 7", cell (2, 7, 3), 10, 9 },
        { "lower band, column 8", cell (2, 8, 3), 10, 11 },
        { "lower band, column 9", cell (6, 9, 3), 27, 27 },
        { "upper band, column 5", cell (1, 5, 2), 4, 4 },
        { "upper band, column 6", cell (5, 6, 0), 22, 22 },
        { "last cell of the last block", cell (7, 11, 5), 31, 31 },
        { "first pixel of the third block", { 186.0f, 10.0f }, 8, 8 },
        { "last pixel before the first spacer", { 171.0f, 40.0f }, 7, 7 },
        { "spacer after the second block, left", { 172.0f, 10.0f }, -1, -1 },
        { "spacer after the second block, right", { 185.0f, 40.0f }, -1, -1 },
        { "spacer after the fourth block", { 354.0f, 10.0f }, -1, -1 },
        { "spacer after the fourth block, right", { 367.0f, 40.0f }, -1, -1 },
        { "right of the last block", { 730.0f, 10.0f }, -1, -1 },
        { "lowest row, bottom pixel", { 10.0f, 45.0f }, 0, 0 },
        { "below the sixth row", { 10.0f, 46.0f }, -1, -1 },
        { "1 px left of the origin", { 3.0f, 40.0f }, 0, 0 },
        { "6 px left of the origin", { -2.0f, 40.0f }, 0, 0 },
        { "7 px left of the origin", { -3.0f, 40.0f }, -1, -1 },
        { "6 px above the origin", { 50.0f, -2.0f }, 2, 2 },
        { "7 px above the origin", { 50.0f, -3.0f }, -1, -1 },
        { "position rounds to the nearer pixel", { 171.6f, 10.0f }, -1, -1 },
    };

    for (bool triplet : { false, true })
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (std::string (c.where) + (triplet ? " (triplet)" : " (straight)"));
            Grid grid (triplet);
            const int expected = triplet ? c.triplet : c.straight;
            const auto toggled = grid.toggledBy (c.at);

            if (expected < 0)
                EXPECT_TRUE (toggled.empty());
            else
                EXPECT_EQ (toggled, std::vector<int> { expected });

            EXPECT_EQ (grid.changes, expected < 0 ? 0 : 1);
        }
    }
}

TEST (DelayPatternComponent, EveryPixelOfTheGridHitsTheStepWhoseRegionHoldsIt)
{
    for (bool triplet : { false, true })
    {
        SCOPED_TRACE (triplet ? "triplet" : "straight");
        Grid grid (triplet);
        int mismatches = 0;

        for (int y = 4; y < 50; ++y)
            for (int x = 4; x < 750; ++x)
            {
                const auto toggled = grid.toggledBy ({ (float) x, (float) y });
                const auto owner = stepOwning (x, y, triplet);
                const auto expected = owner ? std::vector<int> { *owner } : std::vector<int> {};
                if (toggled != expected && ++mismatches <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
            }

        EXPECT_EQ (mismatches, 0);
    }
}

TEST (DelayPatternComponent, DragFlipsEachCrossedStepOnceAgainstThePatternAtThePress)
{
    // Steps 4 and 6 start on. The drag runs right along the upper band over steps 0, 2, 4, 6,
    // wanders back and forth, and returns over the press step.
    Grid grid (false, "00001010000000000000000000000000");
    const auto path = { cell (0, 1, 1), cell (0, 8, 1), cell (1, 2, 1), cell (1, 8, 1), cell (1, 2, 1),
                        cell (0, 8, 1), cell (0, 1, 1), cell (1, 9, 1), cell (0, 4, 4) };

    press (grid.editor, *path.begin());
    EXPECT_EQ (text (grid.editor.steps), "10001010000000000000000000000000") << "the press step turns on";

    for (auto it = path.begin() + 1; it != path.end(); ++it)
        dragTo (grid.editor, *it);

    EXPECT_EQ (text (grid.editor.steps), "11100000000000000000000000000000");
    EXPECT_EQ (grid.changes, 5) << "one change per flipped step: 0, 2, 4, 6, 1";
    EXPECT_EQ (text (grid.editor.snapshot), "00001010000000000000000000000000");

    // A new press takes a new snapshot: the same path now flips the steps back.
    release (grid.editor, {}, left, 1);
    press (grid.editor, cell (0, 1, 1));
    dragTo (grid.editor, cell (1, 8, 1));
    dragTo (grid.editor, cell (1, 2, 1));
    EXPECT_EQ (text (grid.editor.steps), "01101010000000000000000000000000");
}

TEST (DelayPatternComponent, OtherButtonsNeitherToggleNorTakeASnapshot)
{
    Grid grid (false, "10000000000000000000000000000001");
    press (grid.editor, cell (0, 8, 1));
    const auto snapshotAfterLeftPress = grid.editor.snapshot;
    release (grid.editor, {}, left, 1);

    for (auto mods : { right, middleButton })
    {
        press (grid.editor, cell (0, 1, 1), mods);
        dragTo (grid.editor, cell (1, 1, 1), mods);
        dragTo (grid.editor, cell (7, 10, 4), mods);
    }

    EXPECT_EQ (text (grid.editor.steps), "10100000000000000000000000000001");
    EXPECT_EQ (grid.editor.snapshot, snapshotAfterLeftPress);
    EXPECT_EQ (grid.changes, 1);
}

TEST (DelayPatternComponent, TextOfAnyLengthAndCharactersGivesOneStepPerCharacter)
{
    struct Case
    {
        const char* name;
        std::string pattern;
        juce::Point<float> at;   // pressed once
        int toggles;             // the step it toggles, -1 for none
    };

    const std::string forty = "1111000000000000000000000000000000001010";
    const Case cases[] = {
        { "empty", "", cell (0, 1, 1), -1 },
        { "ten characters, inside", "1010101010", cell (2, 3, 1), 8 },
        { "ten characters, beyond the text", "1010101010", cell (2, 8, 1), -1 },
        { "forty characters, the ninth block lies right of the eighth", forty, { 745.0f, 10.0f }, 32 },
        { "forty characters, the lower band of the ninth block", forty, { 745.0f, 40.0f }, 32 },
        { "other characters", "12 1a\t1\xc3\xa9" "1", cell (1, 7, 1), 6 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Grid grid (false, c.pattern);
        ASSERT_EQ (grid.editor.steps.size(), c.pattern.size());
        for (size_t i = 0; i < c.pattern.size(); ++i)
            EXPECT_EQ (grid.editor.steps[i], c.pattern[i] == '1') << "step " << i;

        const auto toggled = grid.toggledBy (c.at);
        EXPECT_EQ (toggled, c.toggles < 0 ? std::vector<int> {} : std::vector<int> { c.toggles });
    }
}

TEST (DelayPatternComponent, PaintingDrawsFramesInteriorsAndMarksAsTheRegionsGiveThem)
{
    struct Case { const char* name; bool triplet; std::string pattern; };
    const Case cases[] = {
        { "straight, default left pattern", false, "01100110100110010101010110101010" },
        { "triplet, default right pattern", true, "00011001011001101010101001010101" },
        { "all on", false, std::string (32, '1') },
        { "all on, triplet", true, std::string (32, '1') },
        { "short text", false, "1111111111" },
        { "long text", true, std::string (48, '1') },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Grid grid (c.triplet, c.pattern);
        const auto image = grid.render();
        const auto& table = c.triplet ? tripletRegions : straightRegions;

        // Plain rendering of the rules: frame blocks, minus region interiors, plus marks.
        juce::Image expected = PixelProbe::blank (750, 50, dark);
        {
            juce::Graphics g (expected);
            for (int block = 0; block < 8; ++block)
            {
                g.setColour (light);
                g.fillRect (blockStarts[block], 4, 86, 44);
                g.setColour (dark);
                for (const auto& regions : table)
                    for (const auto& r : regions)
                        g.fillRect (pixels (block, r).withTrimmedLeft (2).withTrimmedTop (2));
                g.setColour (light);
                for (int s = 0; s < 4; ++s)
                    if ((size_t) (4 * block + s) < c.pattern.size() && c.pattern[(size_t) (4 * block + s)] == '1')
                        for (const auto& r : table[s])
                            g.fillRect (pixels (block, r).withTrimmedLeft (2).withTrimmedTop (2).reduced (3));
            }
        }

        int differing = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 750; ++x)
                if (image.getPixelAt (x, y) != expected.getPixelAt (x, y) && ++differing <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
        EXPECT_EQ (differing, 0);
    }
}
