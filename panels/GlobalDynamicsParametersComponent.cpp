#include "GlobalDynamicsParametersComponent.h"

#include "PanelBinding.h"

namespace
{
namespace ids
{
const juce::Identifier wet ("wet"), compressorThreshold ("compressor_threshold"), compressorSlope ("compressor_slope");
} // namespace ids
} // namespace

GlobalDynamicsParametersComponent::GlobalDynamicsParametersComponent (ParameterMappingFunctions& mappingFunctions)
    : parameterMappingFunctions (mappingFunctions)
{
    const struct
    {
        KelvatoneSlider& fader;
        int index;
        double value;
    } faders[] = { { wetSlider, 1, 0.0 }, { thresholdSlider, 2, 1.0 }, { slopeSlider, 3, 1.0 } };

    for (const auto& f : faders)
    {
        addAndMakeVisible (f.fader);
        f.fader.setRange (0.0, 1.0, 0.0001);
        f.fader.setDoubleClickReturnValue (true, f.value);
        f.fader.onValueChange = [this, index = f.index] { doCallback (index); };
        PanelBinding::showPercent (f.fader, parameterMappingFunctions);
        f.fader.setValue (f.value, juce::dontSendNotification);
        f.fader.updateText();
    }

    addAndMakeVisible (compressorDisplay);
    showThreshold();
    showSlope();
}

void GlobalDynamicsParametersComponent::setValueTree (juce::ValueTree node)
{
    if (! node.isValid())
        return;

    valueTree = node;
    valueTree.addListener (this);

    for (const auto& property : { ids::wet, ids::compressorThreshold, ids::compressorSlope })
        valueTreePropertyChanged (valueTree, property);
}

void GlobalDynamicsParametersComponent::valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node != valueTree) // a change inside a child of the node
        return;

    if (property == ids::wet)
    {
        PanelBinding::showValue (wetSlider, PanelBinding::readValue (node, property));
    }
    else if (property == ids::compressorThreshold)
    {
        PanelBinding::showValue (thresholdSlider, PanelBinding::readValue (node, property));
        showThreshold();
    }
    else if (property == ids::compressorSlope)
    {
        PanelBinding::showValue (slopeSlider, PanelBinding::readValue (node, property));
        showSlope();
    }
}

void GlobalDynamicsParametersComponent::doCallback (int index)
{
    if (! valueTree.isValid())
        return;

    const auto write = [this] (const juce::Identifier& property, const juce::Slider& fader)
    {
        PanelBinding::userEdit (stateNotifier, [&] { return PanelBinding::writeValue (valueTree, property, fader.getValue()); });
    };

    switch (index)
    {
        case 1:
            write (ids::wet, wetSlider);
            break;
        case 2:
            write (ids::compressorThreshold, thresholdSlider);
            showThreshold();
            break;
        case 3:
            write (ids::compressorSlope, slopeSlider);
            showSlope();
            break;
        default:
            break;
    }
}

void GlobalDynamicsParametersComponent::showThreshold()
{
    compressorDisplay.threshold = parameterMappingFunctions.threshold_db ((float) thresholdSlider.getValue());
    compressorDisplay.repaint();
}

void GlobalDynamicsParametersComponent::showSlope()
{
    compressorDisplay.slope = parameterMappingFunctions.slope_value ((float) slopeSlider.getValue());
    compressorDisplay.repaint();
}

void GlobalDynamicsParametersComponent::paint (juce::Graphics& g)
{
    g.fillAll (lookAndFeel.c0);
    g.setColour (lookAndFeel.c12);
    g.setFont (juce::Font (LookAndFeel_KT::getRobotoRegular (16.0f)));

    const std::string* labels[] = { &wetLabel, &thresholdLabel, &slopeLabel };

    for (int k = 0; k < 3; ++k)
        g.drawText (juce::String (*labels[k]),
                    juce::Rectangle<int> ((int) (originX + (float) k * spacing + labelOffsetX), (int) (originY + labelOffsetY),
                                          (int) labelWidth, (int) labelHeight),
                    juce::Justification::centred, true);
}

void GlobalDynamicsParametersComponent::resized()
{
    int k = 0;

    for (auto* fader : { &wetSlider, &thresholdSlider, &slopeSlider })
        fader->setBounds ((int) (originX + (float) k++ * spacing), (int) originY, (int) sliderWidth, (int) sliderHeight);

    compressorDisplay.setBounds ((int) (originX + 3.0f * spacing), (int) originY,
                                 (int) (sliderWidth + 2.0f * spacing), (int) sliderHeight);
}
