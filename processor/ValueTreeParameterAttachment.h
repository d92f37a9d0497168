#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <functional>

/** Keeps one host parameter and one property of one state-tree node in step, in both directions.
    Host changes reach the tree through the framework's attachment (always on the message thread),
    those the VST3 client makes unheard on the audio thread when the processor's timer asks; tree
    changes reach the host as one complete gesture while pushToParameterEnabled is set. */
class ValueTreeParameterAttachment : public juce::ValueTree::Listener,
                                     private juce::AudioProcessorParameter::Listener
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

    /** The tree's thread, after a state load: the property's value is the tree's own again. The
        parameter is moved to it where it shows another value (a host value from before the load,
        whose write-back may still be on its way), and only host changes after this count. */
    void takeLoadedValue();

    /** Any thread (the audio thread, in the VST3 client): the host changed the parameter without
        calling its listeners. Counted as a host change at once; the write-back into the tree waits
        for writeBackUnheardChange(). Lock-free; allocates nothing. */
    void hostChangedUnheard() noexcept;

    /** Message thread: when the host changed the parameter unheard since the last call, runs the
        framework attachment's write-back with the parameter's value, as its listener would have. */
    void writeBackUnheardChange();

    /** The tree's thread: writes the parameter's value into the tree now, as its write-back would,
        where the host moved the parameter since the tree's own last value and the tree does not
        hold it yet (a state saved before the write-back ran). */
    void takeHostValueNow();

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
    void parameterValueChanged (int, float) override;
    void parameterGestureChanged (int, bool) override {}

    /** True when the host changed the parameter since the tree's own last value. */
    bool movedByHost() const noexcept { return hostMoves.load (std::memory_order_acquire) != hostMovesAtTreeValue; }

    /** Pushes the property's value to the parameter as one complete gesture, marked as this
        attachment's own change. */
    void pushToParameter (const juce::var& value);

    // Counts the parameter's changes that are not this attachment's own pushes: written on
    // whichever thread changes the parameter (the audio thread for host automation, through
    // hostChangedUnheard), before the write-back is scheduled; read on the tree's thread, acquire,
    // so the write-back sees the count of the change it writes.
    std::atomic<uint32_t> hostMoves { 0 };
    uint32_t hostMovesAtTreeValue = 0; // tree's thread: the count when the tree last set its own value
    // Set by hostChangedUnheard (the audio thread) after the count, release; taken by
    // writeBackUnheardChange on the message thread, acquire, before it reads the parameter.
    std::atomic<bool> writeBackOwed { false };
    juce::var lastTreeValue;           // tree's thread: the property as this listener last heard it

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
    static bool sameTreeValue (const juce::var& a, const juce::var& b);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ValueTreeParameterAttachment)
};
