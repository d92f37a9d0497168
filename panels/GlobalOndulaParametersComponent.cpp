#include "GlobalOndulaParametersComponent.h"

#include "PanelBinding.h"

namespace
{
namespace ids
{
const juce::Identifier wavelength ("wavelength"), phase ("phase"), velocity ("velocity"), amount ("amount"), timeMode ("time_mode");
} // namespace ids
} // namespace

GlobalOndulaParametersComponent::GlobalOndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter& console)
    : parameterMappingFunctions (mappingFunctions), commandLineInterpreter (console)
{
    int mode = 0;

    for (auto* button : { &hzButton, &beatsButton, &tripletButton })
    {
        button->showsState = true;
        button->showsCross = false;
        button->normalColour = lookAndFeel.c4;
        button->activeColour = lookAndFeel.c12;
        addAndMakeVisible (*button);
        button->onClick = [this, button, value = mode++] { selectTimeMode (*button, value); };
        button->setRadioGroupId (1001);
        button->setClickingTogglesState (true);
    }

    // The default selection is shown at once, not clicked: a click would write it.
    PanelBinding::showMode ({ &hzButton, &beatsButton, &tripletButton }, timeModeSelection);

    int index = 0;

    for (auto* fader : { &wavelengthSlider, &phaseSlider, &rateSlider, &amountSlider })
    {
        addAndMakeVisible (*fader);
        fader->setRange (0.0, 1.0, 0.0001);
        fader->setDoubleClickReturnValue (true, 1.0);
        fader->onValueChange = [this, i = index++] { doCallback (i); };

        if (fader == &rateSlider)
        {
            fader->textFromValueFunction = [this] (double v) { return juce::String (parameterMappingFunctions.velocity_string ((float) v, timeModeSelection)); };
            PanelBinding::readTypedText (*fader, [this] (const std::string& typed, double current, ParameterMappingFunctions::FaderGrid grid)
                                         { return parameterMappingFunctions.velocity_value (typed, timeModeSelection, current, grid); });
        }
        else
        {
            PanelBinding::showPercent (*fader, parameterMappingFunctions);
        }

        fader->setValue (1.0, juce::dontSendNotification);
        fader->updateText();
    }
}

void GlobalOndulaParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "wavelength", "phase", "velocity", "amount", "time_mode" })
        valueTree.sendPropertyChangeMessage (property);
}

void GlobalOndulaParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != valueTree) // a change inside a child of the node
        return;

    if (property == ids::wavelength)
        PanelBinding::showValue (wavelengthSlider, PanelBinding::readValue (node, property));
    else if (property == ids::phase)
        PanelBinding::showValue (phaseSlider, PanelBinding::readValue (node, property));
    else if (property == ids::velocity)
        PanelBinding::showValue (rateSlider, PanelBinding::readValue (node, property));
    else if (property == ids::amount)
        PanelBinding::showValue (amountSlider, PanelBinding::readValue (node, property));
    else if (property == ids::timeMode)
    {
        const int mode = PanelBinding::readMode (node, property);

        if (! PanelBinding::showMode ({ &hzButton, &beatsButton, &tripletButton }, mode))
        {
            PanelBinding::repairMode (node, property);
            return;
        }

        // The text follows the mode shown here, not the engines' rate flags, which the same
        // change may not have reached yet.
        timeModeSelection = mode;
        rateSlider.updateText();
    }
}

void GlobalOndulaParametersComponent::selectTimeMode (SimpleRectangleButton& button, int mode)
{
    if (! PanelBinding::isUserSelection (button))
        return;

    timeModeSelection = mode;

    if (mode == 2)
        PanelBinding::userEdit (stateNotifier, [this] { return PanelBinding::writeMode (valueTree, ids::timeMode, 2); });
    else
        doCallback (4 + mode);

    rateSlider.updateText();
}

void GlobalOndulaParametersComponent::doCallback (int index)
{
    if (! valueTree.isValid())
        return;

    PanelBinding::userEdit (stateNotifier, [this, index]
    {
        switch (index)
        {
            case 0: return PanelBinding::writeValue (valueTree, ids::wavelength, wavelengthSlider.getValue());
            case 1: return PanelBinding::writeValue (valueTree, ids::phase, phaseSlider.getValue());
            case 2: return PanelBinding::writeValue (valueTree, ids::velocity, rateSlider.getValue());
            case 3: return PanelBinding::writeValue (valueTree, ids::amount, amountSlider.getValue());
            case 4: case 5: return PanelBinding::writeMode (valueTree, ids::timeMode, index - 4);
            default: return false;
        }
    });
}

void GlobalOndulaParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c12);
    g.setFont (juce::Font (LookAndFeel_KT::getRobotoRegular (16.0f)));

    const std::string* labels[] = { &amountLabel, &rateLabel, &referenceLabel, &wavelengthLabel, &phaseLabel };

    for (int k = 0; k < 5; ++k)
        g.drawText (juce::String (*labels[k]),
                    juce::Rectangle<int> ((int) (originX + (float) k * spacing + labelOffsetX), (int) (originY + labelOffsetY),
                                          (int) labelWidth, (int) labelHeight),
                    juce::Justification::centred, true);
}

void GlobalOndulaParametersComponent::resized()
{
    const auto column = [this] (int k) { return (int) (originX + (float) k * spacing); };

    const std::pair<KelvatoneSlider*, int> faders[] = { { &amountSlider, 0 }, { &rateSlider, 1 }, { &wavelengthSlider, 3 }, { &phaseSlider, 4 } };

    for (const auto& [fader, k] : faders)
        fader->setBounds (column (k), (int) originY, (int) sliderWidth, (int) sliderHeight);

    int r = 0;

    for (auto* button : { &hzButton, &beatsButton, &tripletButton })
        button->setBounds (column (2), (int) (originY + buttonOffsetY + (float) r++ * buttonSpacing),
                           (int) buttonWidth, (int) buttonHeight);
}
