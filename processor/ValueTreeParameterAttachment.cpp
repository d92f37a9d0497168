#include "processor/ValueTreeParameterAttachment.h"

#include <cmath>

ValueTreeParameterAttachment::ValueTreeParameterAttachment (juce::RangedAudioParameter& parameterToUse,
                                                            juce::ValueTree node,
                                                            const juce::Identifier& propertyToUse)
    : parameter (parameterToUse),
      tree (std::move (node)),
      property (propertyToUse),
      updateValueTree ([this] (juce::var value)
                       {
                           if (tree.isValid())
                               tree.setProperty (property, value, undoManager);
                       })
{
    attachment = std::make_unique<juce::ParameterAttachment> (
        parameter,
        [this] (float denormalised) { updateValueTree (juce::var ((double) denormalised)); },
        nullptr);

    tree.addListener (this);
}

ValueTreeParameterAttachment::~ValueTreeParameterAttachment()
{
    tree.removeListener (this);
    // The framework attachment goes before the function it calls, so no late callback finds it gone.
    attachment.reset();
}

void ValueTreeParameterAttachment::valueTreePropertyChanged (juce::ValueTree& changedTree,
                                                             const juce::Identifier& changedProperty)
{
    if (changedTree.getType() != tree.getType())
        return;

    if (changedProperty != property)
        return;

    const auto value = changedTree.getProperty (property);

    if (! pushToParameterEnabled.load())
        return;

    attachment->setValueAsCompleteGesture (parameterValueOf (value));
}

void ValueTreeParameterAttachment::takeValueFromTreeSilently()
{
    if (! tree.hasProperty (property))
        return;

    // Normalised as the framework's attachment normalises a complete gesture: clamped and snapped.
    const auto normalised = parameter.convertTo0to1 (parameterValueOf (tree.getProperty (property)));

    if (parameter.getValue() != normalised)
        static_cast<juce::AudioProcessorParameter&> (parameter).setValue (normalised);
}

float ValueTreeParameterAttachment::parameterValueOf (const juce::var& treeValue)
{
    const auto v = static_cast<float> (static_cast<double> (treeValue));

    // A loaded "nan" must not reach the framework's range arithmetic.
    return std::isnan (v) ? 0.0f : v;
}
