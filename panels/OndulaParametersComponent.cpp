#include "OndulaParametersComponent.h"

namespace
{
    const juce::Identifier scaleId ("scale"), phaseId ("phase"), curveId ("curve");

    // Placeholders for the shared binding rule: a tree value only moves a control; a user edit
    // writes only what differs.
    double readValue (const juce::ValueTree& node, const juce::Identifier& p)
    {
        const double v = node[p];
        return std::isfinite (v) ? v : 0.0;
    }

    void showValue (juce::Slider& fader, double v) { fader.setValue (v, juce::dontSendNotification); }

    bool writeValue (juce::ValueTree& node, const juce::Identifier& p, double v)
    {
        if (! node.isValid() || (node.hasProperty (p) && readValue (node, p) == v))
            return false;
        node.setProperty (p, v, nullptr);
        return true;
    }

    bool writeText (juce::ValueTree& node, const juce::Identifier& p, const juce::String& text)
    {
        if (! node.isValid() || (node.hasProperty (p) && node[p].toString() == text))
            return false;
        node.setProperty (p, text, nullptr);
        return true;
    }
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
        fader.textFromValueFunction = [this] (double v) { return juce::String (parameterMappingFunctions.percent_string ((float) v)); };
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
    if (property == scaleId)
    {
        const double v = readValue (node, scaleId);
        showValue (amountSlider, v);

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
        showValue (phaseSlider, readValue (node, phaseId));
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
    if (index == 0)
        writeValue (valueTree, scaleId, amountSlider.getValue());
    else if (index == 1)
        writeValue (valueTree, phaseId, phaseSlider.getValue());
    else if (index == 7)
        writeText (valueTree, curveId, editedCurve.toString());
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
