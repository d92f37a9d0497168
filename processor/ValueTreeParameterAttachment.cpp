#include "processor/ValueTreeParameterAttachment.h"

#include "engine/HostValueEcho.h"

#include <cmath>
#include <utility>

namespace
{
// The attachment whose push to its parameter runs on this thread: the parameter's listeners are
// called on the thread that changes it, so a change made inside a push is that push's own.
thread_local const ValueTreeParameterAttachment* pushingOnThisThread = nullptr;

struct PushScope
{
    explicit PushScope (const ValueTreeParameterAttachment* attachment) noexcept : previous (pushingOnThisThread)
    {
        pushingOnThisThread = attachment;
    }

    ~PushScope() { pushingOnThisThread = previous; }

    PushScope (const PushScope&) = delete;
    PushScope& operator= (const PushScope&) = delete;

    const ValueTreeParameterAttachment* previous;
};
} // namespace

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
            // The bound of a tree value outside the range (a negative amount, whose parameter
            // stands at 0) comes back from the tree's own push: writing it would undo the tree's
            // value. Once the host has moved the parameter, even back to that bound, the host's
            // value is what plays.
            if (ignoreParameterEcho || (! movedByHost() && isBoundOfAValueOutsideTheRange (denormalised)))
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

    // Listeners are called last added first: the count moves before the framework's attachment
    // schedules the write-back of the same change.
    parameter.addListener (this);
    lastTreeValue = tree.getProperty (property);
    tree.addListener (this);
}

ValueTreeParameterAttachment::~ValueTreeParameterAttachment()
{
    tree.removeListener (this);
    parameter.removeListener (this);
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
    const bool changed = ! sameTreeValue (value, lastTreeValue);
    lastTreeValue = value;

    // The push's own write-back of the snapped value, and the tree's echo of a host value: the
    // parameter already held that value, and may hold a newer one from the host by now, which
    // must neither start a second gesture nor be put back to the older one (the host would take
    // that for an edit of the user's).
    if (pushingToParameter || HostValueEcho::isActive())
        return;

    // An edit of the tree's own (not a re-announcement): host changes count from here.
    if (changed)
        hostMovesAtTreeValue = hostMoves.load (std::memory_order_acquire);

    if (pushToParameterEnabled.load())
        pushToParameter (value);
}

void ValueTreeParameterAttachment::pushToParameter (const juce::var& value)
{
    const PushScope own (this);
    const juce::ScopedValueSetter<bool> pushing (pushingToParameter, true);
    attachment->setValueAsCompleteGesture (parameterValueOf (value));
}

void ValueTreeParameterAttachment::parameterValueChanged (int, float)
{
    if (pushingOnThisThread != this)
        hostMoves.fetch_add (1, std::memory_order_release);
}

void ValueTreeParameterAttachment::hostChangedUnheard() noexcept
{
    hostMoves.fetch_add (1, std::memory_order_release);
    writeBackOwed.store (true, std::memory_order_release);
}

void ValueTreeParameterAttachment::writeBackUnheardChange()
{
    // The framework attachment's own path, with the value the parameter holds now: several
    // changes since the last call are written back once, as its asynchronous update coalesces them.
    if (writeBackOwed.exchange (false, std::memory_order_acquire))
        attachment->sendInitialUpdate();
}

void ValueTreeParameterAttachment::takeLoadedValue()
{
    hostMovesAtTreeValue = hostMoves.load (std::memory_order_acquire);

    if (pushToParameterEnabled.load() && tree.hasProperty (property))
        pushToParameter (tree.getProperty (property));
}

void ValueTreeParameterAttachment::takeHostValueNow()
{
    if (! movedByHost() || ! tree.hasProperty (property))
        return;

    // Compared as the write-back would write it, so a value the tree already holds stays as it is.
    const auto shown = parameter.convertFrom0to1 (parameter.getValue());

    if (parameterValueOf (tree.getProperty (property)) == shown)
        return;

    const HostValueEcho::Scope echo;
    updateValueTree (juce::var ((double) shown));
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

    if (sameTreeValue (now, valueBeforeQuietSpell))
        return false;

    const auto before = parameter.getValue();
    const PushScope own (this);
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

bool ValueTreeParameterAttachment::sameTreeValue (const juce::var& a, const juce::var& b)
{
    const auto bothNaN = a.isDouble() && b.isDouble() && std::isnan ((double) a) && std::isnan ((double) b);
    return a.equalsWithSameType (b) || bothNaN;
}

float ValueTreeParameterAttachment::parameterValueOf (const juce::var& treeValue)
{
    const auto v = static_cast<float> (static_cast<double> (treeValue));

    // A loaded "nan" must not reach the framework's range arithmetic.
    return std::isnan (v) ? 0.0f : v;
}
