#include "FilterParametersComponent.h"

namespace
{
    const juce::Identifier valueId ("value"), scaleYId ("scale_y"), curveId ("curve");

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
        fader.textFromValueFunction = [this] (double v) { return juce::String (parameterMappingFunctions.percent_string ((float) v)); };
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
    if (property == valueId || property == scaleYId)
    {
        showValue (property == valueId ? centerSlider : amountSlider, readValue (node, property));
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

    if (index == 0 && holds (valueId))
        writeValue (valueTree, valueId, centerSlider.getValue());
    else if (index == 1 && holds (scaleYId))
        writeValue (valueTree, scaleYId, amountSlider.getValue());
    else if (index == 3 && holds (curveId))
        writeText (valueTree, curveId, editedCurve.toString());

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
