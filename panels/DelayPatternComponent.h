#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../editor/LookAndFeel_KT.h"

// The on/off grid of one channel's tap steps: beat blocks of four steps, 12 cells wide and 6
// high. The upper band halves each beat (steps 0 and 2), the lower band splits it into quarters
// or, on the triplet grid, thirds (steps 0, 1, 3), so each mark sits where its tap falls in the
// beat. A press toggles the step under the pointer; dragging on flips every further step it
// crosses once, relative to the pattern as it was at the press.
class DelayPatternComponent : public juce::Component
{
public:
    DelayPatternComponent();

    // Step i is on exactly when character i is '1'; the list takes the text's length. Neither
    // repaints nor calls onChange.
    void fromString (std::string text);

    // The step under a point in this component's coordinates, if any.
    std::optional<int> stepAt (juce::Point<int> position) const;

    // Which step of its beat the cell at (row, column) of a beat block belongs to.
    int stepInBeat (int row, int column) const;

    void mouseDown (const juce::MouseEvent& event) override;
    void mouseDrag (const juce::MouseEvent& event) override;
    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;
    void resized() override;

    LookAndFeel_KT lookAndFeel;
    bool tripletGrid = true;
    int numSteps = 32;
    std::vector<bool> steps = std::vector<bool> (32, false);
    std::vector<bool> snapshot;
    int cellSize = 7;
    int originX = 4, originY = 4;
    int border = 1;
    int inset = 3;
    int spacerCells = 2;
    int beatsPerGroup = 2;
    juce::Colour frameColour = lookAndFeel.c3;
    juce::Colour onColour = lookAndFeel.c3;
    juce::Colour backgroundColour = lookAndFeel.c0;

    // Called after every toggle made with the mouse.
    std::function<void()> onChange;

private:
    static constexpr int blockColumns = 12;
    static constexpr int blockRows = 6;

    // Up to two regions per step: an L-shaped step is its upper-band rectangle, then its
    // full-height one.
    struct StepRegions
    {
        juce::Rectangle<int> area[2];
        int count = 0;
    };

    int blockX (int block) const;
    StepRegions regionsOf (int block, int stepOfBeat) const;
    juce::Rectangle<int> region (int block, int firstColumn, int lastColumn, int firstRow, int lastRow) const;
    void toggle (int step);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DelayPatternComponent)
};
