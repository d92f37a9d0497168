#include "OndulaParametersComponent.h"

#include "PanelBinding.h"

namespace
{
    const juce::Identifier scaleId ("scale"), phaseId ("phase"), curveId ("curve");
}

OndulaParametersComponent::OndulaParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter&)
    : parameterMappingFunctions (mappingFunctions)
{
    const auto setUp = [this] (KelvatoneSlider& fader, double initial, int index)
    {
        addAndMakeVisible (fader);
        fader.setRange (0.0, 1.0, 0.0001);
        fader.setDoubleClickReturnValue (true, initial);
        // Silently: only a user's move of a fader writes to the node.
        fader.setValue (initial, juce::dontSendNotification);
        fader.onValueChange = [this, index] { doCallback (index); };
        PanelBinding::showPercent (fader, parameterMappingFunctions);
        fader.updateText();
    };

    setUp (amountSlider, 0.5, 0);
    setUp (phaseSlider, 0.0, 1);

    addAndMakeVisible (curveEditor);
    curveEditor.onChange = [this] { doCallback (7); };
}

OndulaParametersComponent::~OndulaParametersComponent()
{
    valueTree.removeListener (this);
}

void OndulaParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "scale", "phase", "curve" })
        valueTree.sendPropertyChangeMessage (property);
}

void OndulaParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != valueTree) // a change inside a child of the node
        return;

    if (property == scaleId)
    {
        const double v = PanelBinding::readValue (node, scaleId);
        PanelBinding::showValue (amountSlider, v);

        // The preview is the curve times the depth, as the Ondula graph draws each tap's depth.
        if (v >= -1.0 && v <= 1.0)
        {
            curveEditor.previewOffset = 0.0f;
            curveEditor.previewAmount = (float) v;
            curveEditor.repaint();
        }
    }
    else if (property == phaseId)
    {
        PanelBinding::showValue (phaseSlider, PanelBinding::readValue (node, phaseId));
    }
    else if (property == curveId)
    {
        editedCurve.fromString (node[curveId].toString().toStdString());
        repaint();
    }
}

void OndulaParametersComponent::doCallback (int index)
{
    if (! valueTree.isValid())
        return;

    // The preview follows a new depth through the node's notification of this write.
    PanelBinding::userEdit (stateNotifier, [this, index]
    {
        if (index == 0)
            return PanelBinding::writeValue (valueTree, scaleId, amountSlider.getValue());
        if (index == 1)
            return PanelBinding::writeValue (valueTree, phaseId, phaseSlider.getValue());
        if (index == 7)
            return PanelBinding::writeText (valueTree, curveId, editedCurve.toString());
        return false;
    });
}

void OndulaParametersComponent::resized()
{
    amountSlider.setBounds ((int) originX, (int) originY, (int) sliderWidth, (int) sliderHeight);
    phaseSlider.setBounds ((int) (originX + spacing), (int) originY, (int) sliderWidth, (int) sliderHeight);
    curveEditor.setBounds (165, 30, getWidth() - 180, getHeight() - 60);
}

void OndulaParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c12);
    g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));

    int k = 0;
    for (const auto* label : { &amountLabel, &phaseLabel })
    {
        const juce::Rectangle<float> area ((float) (int) (originX + (float) k++ * spacing + labelOffsetX), (float) (int) (originY + labelOffsetY),
                                           (float) (int) labelWidth, (float) (int) labelHeight);
        g.drawText (*label, area, juce::Justification::centred, true);
    }
}
