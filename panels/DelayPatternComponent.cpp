#include "DelayPatternComponent.h"

namespace
{
    // Step of the beat by cell column, for the upper band and for the two lower bands.
    constexpr int upperBand[12]          { 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2 };
    constexpr int lowerBandStraight[12]  { 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3 };
    constexpr int lowerBandTriplet[12]   { 0, 0, 0, 0, 1, 1, 1, 1, 3, 3, 3, 3 };

    // Cell ranges (first column, last column, first row, last row) of each step's regions.
    struct Cells { int firstColumn, lastColumn, firstRow, lastRow; };
    struct StepCells { Cells cells[2]; int count; };

    constexpr StepCells straightRegions[4] {
        { { { 0, 5, 0, 2 }, { 0, 2, 0, 5 } }, 2 },
        { { { 3, 5, 3, 5 }, {} }, 1 },
        { { { 6, 11, 0, 2 }, { 6, 8, 0, 5 } }, 2 },
        { { { 9, 11, 3, 5 }, {} }, 1 },
    };

    constexpr StepCells tripletRegions[4] {
        { { { 0, 5, 0, 2 }, { 0, 3, 0, 5 } }, 2 },
        { { { 4, 7, 3, 5 }, {} }, 1 },
        { { { 6, 11, 0, 2 }, {} }, 1 },
        { { { 8, 11, 3, 5 }, {} }, 1 },
    };
}

DelayPatternComponent::DelayPatternComponent()
{
    repaint();
}

void DelayPatternComponent::fromString (std::string text)
{
    steps.assign (text.size(), false);

    for (size_t i = 0; i < text.size(); ++i)
        steps[i] = text[i] == '1';
}

int DelayPatternComponent::stepInBeat (int row, int column) const
{
    if (row < 3)
        return upperBand[column];

    return tripletGrid ? lowerBandTriplet[column] : lowerBandStraight[column];
}

std::optional<int> DelayPatternComponent::stepAt (juce::Point<int> position) const
{
    if (cellSize <= 0 || beatsPerGroup <= 0)
        return std::nullopt;

    // Truncating division: up to cellSize - 1 pixels left of or above the origin still count as
    // the first column or row.
    const int column = (position.x - originX) / cellSize;
    const int row = (position.y - originY) / cellSize;

    if (column < 0 || row < 0 || row >= blockRows)
        return std::nullopt;

    const int groupColumns = blockColumns * beatsPerGroup + spacerCells;
    const int group = column / groupColumns;
    const int within = column % groupColumns;
    const int beat = within / blockColumns;

    if (beat >= beatsPerGroup)
        return std::nullopt;

    const int step = (group * beatsPerGroup + beat) * 4 + stepInBeat (row, within % blockColumns);

    if (step >= (int) steps.size())
        return std::nullopt;

    return step;
}

void DelayPatternComponent::toggle (int step)
{
    steps[(size_t) step] = ! steps[(size_t) step];

    if (onChange)
        onChange();

    repaint();
}

void DelayPatternComponent::mouseDown (const juce::MouseEvent& event)
{
    if (! event.mods.isLeftButtonDown())
        return;

    snapshot = steps;

    if (const auto step = stepAt (event.getPosition()))
        toggle (*step);
}

void DelayPatternComponent::mouseDrag (const juce::MouseEvent& event)
{
    if (! event.mods.isLeftButtonDown())
        return;

    const auto step = stepAt (event.getPosition());

    // Each step flips at most once per gesture: only while it still holds its value from the press.
    if (! step || (size_t) *step >= snapshot.size() || steps[(size_t) *step] != snapshot[(size_t) *step])
        return;

    toggle (*step);
}

void DelayPatternComponent::mouseUp (const juce::MouseEvent&)
{
}

int DelayPatternComponent::blockX (int block) const
{
    return originX + cellSize * (blockColumns * block + spacerCells * (block / beatsPerGroup));
}

juce::Rectangle<int> DelayPatternComponent::region (int block, int firstColumn, int lastColumn, int firstRow, int lastRow) const
{
    return { blockX (block) + firstColumn * cellSize, originY + firstRow * cellSize,
             (lastColumn - firstColumn + 1) * cellSize, (lastRow - firstRow + 1) * cellSize };
}

DelayPatternComponent::StepRegions DelayPatternComponent::regionsOf (int block, int stepOfBeat) const
{
    const auto& table = (tripletGrid ? tripletRegions : straightRegions)[stepOfBeat];
    StepRegions regions;

    for (int i = 0; i < table.count; ++i)
    {
        const auto& c = table.cells[i];
        regions.area[regions.count++] = region (block, c.firstColumn, c.lastColumn, c.firstRow, c.lastRow);
    }

    return regions;
}

void DelayPatternComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);

    if (beatsPerGroup <= 0)
        return;

    const int line = 2 * border;

    for (int block = 0; block < numSteps / 4; ++block)
    {
        g.setColour (frameColour);
        g.fillRect (blockX (block), originY, blockColumns * cellSize + line, blockRows * cellSize + line);

        // The frame colour left between the interiors forms the grid lines.
        g.setColour (backgroundColour);
        for (int s = 0; s < 4; ++s)
        {
            const auto regions = regionsOf (block, s);
            for (int i = 0; i < regions.count; ++i)
            {
                const auto& r = regions.area[i];
                g.fillRect (r.getX() + line, r.getY() + line, r.getWidth() - line, r.getHeight() - line);
            }
        }

        g.setColour (onColour);
        for (int s = 0; s < 4; ++s)
        {
            const auto step = (size_t) (4 * block + s);
            if (step >= steps.size() || ! steps[step])
                continue;

            const auto regions = regionsOf (block, s);
            for (int i = 0; i < regions.count; ++i)
            {
                const auto& r = regions.area[i];
                g.fillRect (r.getX() + line + inset, r.getY() + line + inset,
                            r.getWidth() - line - 2 * inset, r.getHeight() - line - 2 * inset);
            }
        }
    }
}

void DelayPatternComponent::resized()
{
}
