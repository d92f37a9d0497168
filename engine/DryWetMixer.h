#pragma once

#include "engine/TreeOrHostValue.h"

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

    /** Tree's thread, after a state load: the tree's proportion is an edit of its own again, so a
        host value standing from before gives way. */
    void takeTreeAsEdit() noexcept { pendingWetProportion.takeTreeAsEdit(); }

    juce::ValueTree globalsDynamicsTree;
    juce::dsp::DryWetMixer<float> mixer;

    // Taken from the tree by the listener (message thread) and from the host (audio thread);
    // read by the audio thread at each block start.
    TreeOrHostValue pendingWetProportion { 1.0f };

private:
    float appliedWetProportion = 1.0f; // audio thread only

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DryWetMixer_KT)
};
