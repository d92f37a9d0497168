#pragma once

#include <juce_data_structures/juce_data_structures.h>
#include <juce_dsp/juce_dsp.h>

#include <atomic>
#include <cstdint>

/** Binds the framework's dry/wet mixer to the "wet" setting of the state tree. The listener only
    publishes the new proportion; the audio thread hands it to the mixer at the start of a block,
    so the mixer itself is only ever touched by one thread at a time. */
class DryWetMixer_KT : public juce::ValueTree::Listener
{
public:
    DryWetMixer_KT() = default;
    ~DryWetMixer_KT() override = default;

    /** Binds to "delay_globals_dynamics" under the root and takes its wet proportion. */
    void setValueTree (juce::ValueTree root);

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;

    /** Prepares the mixer with the latest proportion in place, so playback starts at its target. */
    void prepare (const juce::dsp::ProcessSpec& spec);

    /** Audio thread, start of each block: passes a changed proportion on to the mixer's ramp. */
    void applyPendingWetProportion() noexcept;

    /** A host parameter's wet proportion, handed to the mixer's ramp at once; it stands until the
        host sends another or the tree makes an edit of its own to "wet" (the tree's echo of the
        same host value changes nothing). Audio thread. */
    void setWetFromHost (float proportion) noexcept;

    juce::ValueTree globalsDynamicsTree;
    juce::dsp::DryWetMixer<float> mixer;

    // Written by the tree listener (message thread), read by the audio thread at each block
    // start, with a count of the tree's own edits (its echoes of host values not counted).
    std::atomic<float> pendingWetProportion { 1.0f };
    std::atomic<uint32_t> wetEdits { 0 };

private:
    float appliedWetProportion = 1.0f; // audio thread only
    float treeWet = 1.0f;               // message thread: what the tree last held, echoes included
    // Audio thread only: the host's proportion and the tree edits it stands against.
    float hostWet = 1.0f;
    uint32_t hostWetEdits = 0;
    bool hostWetSet = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DryWetMixer_KT)
};
