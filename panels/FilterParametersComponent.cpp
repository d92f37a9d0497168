#include "FilterParametersComponent.h"

#include "PanelBinding.h"

namespace
{
    const juce::Identifier valueId ("value"), scaleYId ("scale_y"), curveId ("curve");
}

FilterParametersComponent::FilterParametersComponent (ParameterMappingFunctions& mappingFunctions, CommandLineInterpreter&)
    : parameterMappingFunctions (mappingFunctions)
{
    addAndMakeVisible (curveEditor);
    curveEditor.onChange = [this] { doCallback (3); };

    const auto setUp = [this] (KelvatoneSlider& fader, double minimum, double initial, int index)
    {
        addAndMakeVisible (fader);
        fader.setRange (minimum, 1.0, 0.0001);
        fader.setDoubleClickReturnValue (true, initial);
        fader.onValueChange = [this, index] { doCallback (index); };
        PanelBinding::showPercent (fader, parameterMappingFunctions);
        // Silently: only a user's move of a fader writes to the node.
        fader.setValue (initial, juce::dontSendNotification);
        fader.updateText();
    };

    setUp (centerSlider, 0.0, 0.5, 0);
    setUp (amountSlider, -1.0, 0.0, 1);
    showPreview();
}

void FilterParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto* property : { "value", "scale_y", "curve" })
        valueTree.sendPropertyChangeMessage (property);
}

void FilterParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != valueTree) // a change inside a child of the node
        return;

    if (property == valueId || property == scaleYId)
    {
        PanelBinding::showValue (property == valueId ? centerSlider : amountSlider, PanelBinding::readValue (node, property));
        showPreview();
    }
    else if (property == curveId)
    {
        editedCurve.fromString (node[curveId].toString().toStdString());
    }
    else
    {
        return;
    }

    repaint();
}

void FilterParametersComponent::doCallback (int index)
{
    // Only properties the node already holds are written.
    const auto holds = [this] (const juce::Identifier& p) { return valueTree.isValid() && valueTree.hasProperty (p); };

    // A curve has no host parameter, and the amount's parameter stops at 0 while the amount goes
    // on to -1: such edits reach the host as a changed state.
    PanelBinding::userEdit (stateNotifier, [&]
    {
        if (index == 0 && holds (valueId))
            return PanelBinding::writeValue (valueTree, valueId, centerSlider.getValue());
        if (index == 1 && holds (scaleYId))
            return PanelBinding::writeValue (valueTree, scaleYId, amountSlider.getValue());
        if (index == 3 && holds (curveId))
            return PanelBinding::writeText (valueTree, curveId, editedCurve.toString());
        return false;
    });

    showPreview();

    if (onChange)
        onChange();
}

void FilterParametersComponent::showPreview()
{
    curveEditor.previewOffset = (float) centerSlider.getValue();
    curveEditor.previewAmount = (float) amountSlider.getValue();
    curveEditor.repaint();
}

void FilterParametersComponent::resized()
{
    centerSlider.setBounds ((int) originX, (int) originY, (int) sliderWidth, (int) sliderHeight);
    amountSlider.setBounds ((int) (originX + spacing), (int) originY, (int) sliderWidth, (int) sliderHeight);
    curveEditor.setBounds (165, 30, getWidth() - 180, getHeight() - 60);
}

void FilterParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c12);
    g.setFont (LookAndFeel_KT::getRobotoRegular (16.0f));

    int k = 0;
    for (const auto* label : { &centerLabel, &amountLabel })
    {
        const juce::Rectangle<float> area ((float) (int) (originX + (float) k++ * spacing + labelOffsetX), (float) (int) (originY + labelOffsetY),
                                           (float) (int) labelWidth, (float) (int) labelHeight);
        g.drawText (*label, area, juce::Justification::centred, true);
    }
}
