#include "PatternParametersComponent.h"

#include "PanelBinding.h"

#include <utility>

namespace
{
namespace ids
{
    const juce::Identifier patternL ("pattern_l");
    const juce::Identifier patternR ("pattern_r");
    const juce::Identifier time ("time");
    const juce::Identifier timeMode ("time_mode");
    const juce::Identifier patternMode ("pattern_mode");
}
}

PatternParametersComponent::PatternParametersComponent()
{
    addAndMakeVisible (leftPattern);
    addAndMakeVisible (rightPattern);
    leftPattern.onChange = [this] { doCallback (1); };
    rightPattern.onChange = [this] { doCallback (2); };
}

PatternParametersComponent::~PatternParametersComponent()
{
    stopTimer();
}

void PatternParametersComponent::followPlayedGrid (std::function<bool()> playsTripletGrid)
{
    playedGrid = std::move (playsTripletGrid);
    timerCallback();
    startTimer (33);
}

void PatternParametersComponent::timerCallback()
{
    if (playedGrid != nullptr)
        showGrid (playedGrid());
}

void PatternParametersComponent::showGrid (bool triplet)
{
    for (auto* editor : { &leftPattern, &rightPattern })
    {
        if (editor->tripletGrid == triplet)
            continue;

        editor->tripletGrid = triplet;
        editor->repaint();
    }
}

void PatternParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    if (node.hasType ("delay_pattern"))
    {
        patternTree = node;
        patternTree.addListener (this);

        for (const auto& property : { ids::patternL, ids::patternR, ids::timeMode })
            patternTree.sendPropertyChangeMessage (property);
    }
    else if (node.hasType ("delay_globals_time"))
    {
        timeTree = node;
        timeTree.addListener (this);
        timeTree.sendPropertyChangeMessage (ids::patternMode);
    }
}

void PatternParametersComponent::doCallback (int index)
{
    if (index != 1 && index != 2)
        return;

    const auto& editor = index == 1 ? leftPattern : rightPattern;
    const auto& property = index == 1 ? ids::patternL : ids::patternR;

    // The panel edits patterns that exist; it never creates the key.
    if (! patternTree.isValid() || ! patternTree.hasProperty (property))
        return;

    std::string text;
    text.reserve (editor.steps.size());

    for (bool on : editor.steps)
        text += on ? '1' : '0';

    PanelBinding::userEdit (stateNotifier, [&] { return PanelBinding::writeText (patternTree, property, juce::String (text)); });
}

void PatternParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node == patternTree)
    {
        if (property == ids::patternL || property == ids::patternR)
        {
            auto& editor = property == ids::patternL ? leftPattern : rightPattern;
            editor.fromString (node.getProperty (property).toString().toStdString());
            repaint();
        }
        else if (property == ids::time)
        {
            repaint();
        }
    }
    else if (node == timeTree && property == ids::patternMode)
    {
        const int mode = PanelBinding::readMode (node, property);

        // Bound to the engines, the grid is the one they play (a tree value may be the echo of an
        // older host value).
        if (playedGrid != nullptr)
            return timerCallback();

        // The engines play 2, the host parameter's top step, on the triplet grid too; any other
        // value leaves the grids as they are.
        if (mode < 0 || mode > 2)
            return;

        for (auto* editor : { &leftPattern, &rightPattern })
        {
            editor->tripletGrid = mode != 0;
            editor->repaint();
        }
    }
}

void PatternParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);

    g.setColour (lookAndFeel.c3);
    g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));
    g.drawText ("L", juce::Rectangle<int> (patternX - 20, patternY + 12, 20, 20), juce::Justification::centred, true);
    g.drawText ("R", juce::Rectangle<int> (patternX - 20, patternY + patternSpacing + 12, 20, 20), juce::Justification::centred, true);

    g.setFont (LookAndFeel_KT::getRobotoRegular (20.0f));
    g.drawText (title, juce::Rectangle<int> (8, 5, 100, 23), juce::Justification::topLeft, true);
}

void PatternParametersComponent::resized()
{
    leftPattern.setBounds (patternX, patternY, patternWidth, patternHeight);
    rightPattern.setBounds (patternX, patternY + patternSpacing, patternWidth, patternHeight);
}
