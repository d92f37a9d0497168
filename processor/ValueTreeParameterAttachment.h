#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>

/** Keeps one host parameter and one property of one state-tree node in step, in both directions.
    Host changes reach the tree through the framework's attachment (always on the message thread);
    tree changes reach the host as one complete gesture while pushToParameterEnabled is set. */
class ValueTreeParameterAttachment : public juce::ValueTree::Listener
{
public:
    ValueTreeParameterAttachment (juce::RangedAudioParameter& parameterToUse,
                                  juce::ValueTree node,
                                  const juce::Identifier& propertyToUse);
    ~ValueTreeParameterAttachment() override;

    void valueTreePropertyChanged (juce::ValueTree& changedTree, const juce::Identifier& changedProperty) override;

    /** Sets the parameter to the property's value, converted as a tree change converts it, but
        without a gesture, without notifying the host or any listener and without writing the
        tree: for an instance that no host has seen yet. */
    void takeValueFromTreeSilently();

    /** Switches the tree-to-parameter direction. Switching it off starts a quiet spell whose
        changes sendChangeMadeWhileOff() can pass on afterwards. */
    void setPushToParameterEnabled (bool enabled);

    /** When the property changed during the last quiet spell and the parameter stands elsewhere,
        tells the host the property's value as one complete gesture, without writing the tree back
        (a mode that the editor repaired while it was being built). Returns true when the property
        changed but the parameter already stood where it puts it: no parameter change can tell the
        host of that change. */
    bool sendChangeMadeWhileOff();

    juce::RangedAudioParameter& parameter;
    juce::ValueTree tree;
    juce::Identifier property;
    juce::UndoManager* undoManager = nullptr;
    std::unique_ptr<juce::ParameterAttachment> attachment;
    // Switched by the processor and the editor on the message thread; read wherever the tree changes
    // (a state load may run on the host's own thread).
    std::atomic<bool> pushToParameterEnabled { false };
    std::function<void (juce::var)> updateValueTree;

private:
    // Set on the message thread around a push that must not come back into the tree.
    bool ignoreParameterEcho = false;
    // Set on the message thread around a push of a tree edit to the parameter.
    bool pushingToParameter = false;
    // The property as it stood when the last quiet spell started; message thread only. Bindings
    // re-announce unchanged values meanwhile, so only a value that differs from it was changed.
    juce::var valueBeforeQuietSpell;
    bool quietSpellPending = false;

    bool isBoundOfAValueOutsideTheRange (float denormalised) const;

    // A number converts as a number, a string by its leading number, anything else gives 0.
    static float parameterValueOf (const juce::var& treeValue);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ValueTreeParameterAttachment)
};
