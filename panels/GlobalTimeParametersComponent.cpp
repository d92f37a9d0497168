#include "GlobalTimeParametersComponent.h"

#include "PanelBinding.h"

namespace
{
namespace ids
{
const juce::Identifier time ("time"), timeMode ("time_mode"), patternMode ("pattern_mode"),
    feedbackAmplitude ("feedback_amplitude"), feedbackFrequency ("feedback_frequency"), feedbackWidth ("feedback_width");
} // namespace ids
} // namespace

GlobalTimeParametersComponent::GlobalTimeParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions), commandLineInterpreter (console)
{
    const struct
    {
        SimpleRectangleButton& button;
        int radioGroup;
    } buttons[] = { { hzButton, 1001 }, { beatsButton, 1001 }, { tripletButton, 1001 },
                    { beatButton, 1002 }, { tripletGridButton, 1002 } };

    for (const auto& b : buttons)
    {
        b.button.showsState = true;
        b.button.showsCross = false;
        b.button.normalColour = lookAndFeel.c4;
        b.button.activeColour = lookAndFeel.c12;
        addAndMakeVisible (b.button);
        b.button.onClick = [this, &button = b.button] { doButtonCallback (button); };
        b.button.setRadioGroupId (b.radioGroup);
        b.button.setClickingTogglesState (true);
    }

    // The default selection is shown at once, not clicked: a click would write it.
    PanelBinding::showMode ({ &hzButton, &beatsButton, &tripletButton }, timeModeSelection);
    PanelBinding::showMode ({ &beatButton, &tripletGridButton }, patternModeSelection);

    const struct
    {
        KelvatoneSlider& fader;
        int index;
    } faders[] = { { timeSlider, 0 }, { amplitudeSlider, 6 }, { frequencySlider, 7 }, { widthSlider, 8 } };

    for (const auto& f : faders)
    {
        addAndMakeVisible (f.fader);
        f.fader.setRange (0.0, 1.0, 0.0001);
        f.fader.setDoubleClickReturnValue (true, 0.5);
        f.fader.onValueChange = [this, index = f.index] { doCallback (index); };

        if (&f.fader == &timeSlider)
        {
            f.fader.textFromValueFunction = [this] (double v) { return juce::String (parameterMappingFunctions.time_string ((float) v, timeModeSelection)); };
            PanelBinding::readTypedText (f.fader, [this] (const std::string& typed, double current, ParameterMappingFunctions::FaderGrid grid)
                                         { return parameterMappingFunctions.time_value (typed, timeModeSelection, current, grid); });
        }
        else
        {
            PanelBinding::showPercent (f.fader, parameterMappingFunctions);
        }

        f.fader.setValue (0.5, juce::dontSendNotification);
        f.fader.updateText();
    }
}

void GlobalTimeParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "time", "time_mode", "pattern_mode", "feedback_amplitude", "feedback_frequency", "feedback_width" })
        valueTree.sendPropertyChangeMessage (property);
}

void GlobalTimeParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != valueTree) // a change inside a child of the node
        return;

    if (property == ids::time)
        PanelBinding::showValue (timeSlider, PanelBinding::readValue (node, property));
    else if (property == ids::timeMode)
        showTimeMode (node, property);
    else if (property == ids::patternMode)
        showPatternMode (node, property);
    else if (property == ids::feedbackAmplitude)
        PanelBinding::showValue (amplitudeSlider, PanelBinding::readValue (node, property));
    else if (property == ids::feedbackFrequency)
        PanelBinding::showValue (frequencySlider, PanelBinding::readValue (node, property));
    else if (property == ids::feedbackWidth)
        PanelBinding::showValue (widthSlider, PanelBinding::readValue (node, property));
}

void GlobalTimeParametersComponent::showTimeMode (juce::ValueTree& node, const juce::Identifier& property)
{
    const int mode = PanelBinding::readMode (node, property);

    if (! PanelBinding::showMode ({ &hzButton, &beatsButton, &tripletButton }, mode))
    {
        PanelBinding::repairMode (node, property);
        return;
    }

    // The text follows the mode shown here, not the engines' tempo flags, which the same change
    // may not have reached yet.
    timeModeSelection = mode;
    timeSlider.updateText();
}

void GlobalTimeParametersComponent::showPatternMode (juce::ValueTree& node, const juce::Identifier& property)
{
    // The host parameter's top step, 2, is a grid the engine plays as it plays 1: the triplet grid.
    const int mode = PanelBinding::readMode (node, property);
    const int grid = mode == 2 ? 1 : mode;

    if (PanelBinding::showMode ({ &beatButton, &tripletGridButton }, grid))
        patternModeSelection = grid;
    else
        PanelBinding::repairMode (node, property);
}

void GlobalTimeParametersComponent::doButtonCallback (SimpleRectangleButton& button)
{
    if (! PanelBinding::isUserSelection (button))
        return;

    const auto turnOff = [] (std::initializer_list<SimpleRectangleButton*> others)
    {
        for (auto* other : others)
            other->setToggleState (false, juce::dontSendNotification);
    };

    if (&button == &hzButton || &button == &beatsButton || &button == &tripletButton)
    {
        const int mode = &button == &hzButton ? 0 : (&button == &beatsButton ? 1 : 2);
        turnOff ({ mode == 0 ? &beatsButton : &hzButton, mode == 2 ? &beatsButton : &tripletButton });
        timeModeSelection = mode;
        doCallback (1 + mode);
        timeSlider.updateText();
    }
    else if (&button == &beatButton || &button == &tripletGridButton)
    {
        const int mode = &button == &beatButton ? 0 : 1;
        turnOff ({ mode == 0 ? &tripletGridButton : &beatButton });
        patternModeSelection = mode;
        doCallback (4 + mode);
    }
}

void GlobalTimeParametersComponent::doCallback (int index)
{
    if (! valueTree.isValid())
        return;

    PanelBinding::userEdit (stateNotifier, [this, index]
    {
        switch (index)
        {
            case 0: return PanelBinding::writeValue (valueTree, ids::time, timeSlider.getValue());
            case 1: case 2: case 3: return PanelBinding::writeMode (valueTree, ids::timeMode, index - 1);
            case 4: case 5: return PanelBinding::writeMode (valueTree, ids::patternMode, index - 4);
            case 6: return PanelBinding::writeValue (valueTree, ids::feedbackAmplitude, amplitudeSlider.getValue());
            case 7: return PanelBinding::writeValue (valueTree, ids::feedbackFrequency, frequencySlider.getValue());
            case 8: return PanelBinding::writeValue (valueTree, ids::feedbackWidth, widthSlider.getValue());
            default: return false;
        }
    });
}

void GlobalTimeParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c12);
    g.setFont (juce::Font (LookAndFeel_KT::getRobotoRegular (16.0f)));

    const std::string* labels[] = { &timeLabel, &referenceLabel, &patternLabel, &amplitudeLabel, &frequencyLabel, &widthLabel };

    for (int k = 0; k < 6; ++k)
        g.drawText (juce::String (*labels[k]),
                    juce::Rectangle<int> ((int) (originX + (float) k * spacing + labelOffsetX), (int) (originY + labelOffsetY),
                                          (int) labelWidth, (int) labelHeight),
                    juce::Justification::centred, true);
}

void GlobalTimeParametersComponent::resized()
{
    const auto column = [this] (int k) { return (int) (originX + (float) k * spacing); };

    const std::pair<KelvatoneSlider*, int> faders[] = { { &timeSlider, 0 }, { &amplitudeSlider, 3 }, { &frequencySlider, 4 }, { &widthSlider, 5 } };

    for (const auto& [fader, k] : faders)
        fader->setBounds (column (k), (int) originY, (int) sliderWidth, (int) sliderHeight);

    const auto placeRow = [&] (std::initializer_list<SimpleRectangleButton*> row, int k)
    {
        int r = 0;

        for (auto* button : row)
            button->setBounds (column (k), (int) (originY + buttonOffsetY + (float) r++ * buttonSpacing),
                               (int) buttonWidth, (int) buttonHeight);
    };

    placeRow ({ &hzButton, &beatsButton, &tripletButton }, 1);
    placeRow ({ &beatButton, &tripletGridButton }, 2);
}
