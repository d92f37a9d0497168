#include "processor/ValueTreeParameterAttachment.h"

#include "engine/HostValueEcho.h"

#include <cmath>
#include <utility>

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
        [this] (float denormalised)
        {
            if (ignoreParameterEcho || isBoundOfAValueOutsideTheRange (denormalised))
                return;

            // A tree edit pushed to the parameter comes back snapped to the parameter's values:
            // that is still the edit. Any other value reached the parameter from the host, and
            // the audio objects took it on the audio thread when the host sent it: this write
            // only brings the tree in line and must not undo newer host values.
            if (pushingToParameter)
            {
                updateValueTree (juce::var ((double) denormalised));
                return;
            }

            const HostValueEcho::Scope echo;
            updateValueTree (juce::var ((double) denormalised));
        },
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

    // The push's own write-back of the snapped value, and the tree's echo of a host value: the
    // parameter already held that value, and may hold a newer one from the host by now, which
    // must neither start a second gesture nor be put back to the older one (the host would take
    // that for an edit of the user's).
    if (! pushToParameterEnabled.load() || pushingToParameter || HostValueEcho::isActive())
        return;

    const juce::ScopedValueSetter<bool> pushing (pushingToParameter, true);
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

void ValueTreeParameterAttachment::setPushToParameterEnabled (bool enabled)
{
    if (! enabled && pushToParameterEnabled.load())
    {
        valueBeforeQuietSpell = tree.getProperty (property);
        quietSpellPending = true;
    }

    pushToParameterEnabled = enabled;
}

bool ValueTreeParameterAttachment::sendChangeMadeWhileOff()
{
    if (! pushToParameterEnabled.load() || ! std::exchange (quietSpellPending, false) || ! tree.hasProperty (property))
        return false;

    const auto now = tree.getProperty (property);

    const auto bothNaN = now.isDouble() && valueBeforeQuietSpell.isDouble()
                      && std::isnan ((double) now) && std::isnan ((double) valueBeforeQuietSpell);

    if (now.equalsWithSameType (valueBeforeQuietSpell) || bothNaN)
        return false;

    const auto before = parameter.getValue();
    const juce::ScopedValueSetter<bool> noEcho (ignoreParameterEcho, true);
    attachment->setValueAsCompleteGesture (parameterValueOf (tree.getProperty (property)));
    return parameter.getValue() == before;
}

bool ValueTreeParameterAttachment::isBoundOfAValueOutsideTheRange (float denormalised) const
{
    // The editor sets a negative automation amount, which the 0..1 parameter cannot hold. The
    // parameter then stands at its bound; writing that bound back would undo the user's edit.
    if (! tree.hasProperty (property))
        return false;

    const auto stored = parameterValueOf (tree.getProperty (property));
    const auto& range = parameter.getNormalisableRange();

    return (stored < range.start || stored > range.end) && juce::jlimit (range.start, range.end, stored) == denormalised;
}

float ValueTreeParameterAttachment::parameterValueOf (const juce::var& treeValue)
{
    const auto v = static_cast<float> (static_cast<double> (treeValue));

    // A loaded "nan" must not reach the framework's range arithmetic.
    return std::isnan (v) ? 0.0f : v;
}
