#include "engine/DryWetMixer.h"

#include "engine/HostValueEcho.h"

#include <cmath>

void DryWetMixer_KT::setValueTree (juce::ValueTree root)
{
    const auto node = root.getChildWithName ("delay").getChildWithName ("delay_globals_dynamics");

    if (! node.isValid())
        return;

    globalsDynamicsTree = node;

    if (! globalsDynamicsTree.hasProperty ("wet"))
        return;

    globalsDynamicsTree.addListener (this);
    globalsDynamicsTree.sendPropertyChangeMessage ("wet");
}

void DryWetMixer_KT::valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property)
{
    static const juce::Identifier wetId ("wet");

    if (! tree.isValid() || property != wetId)
        return;

    const auto v = static_cast<float> (static_cast<double> (tree.getProperty (property)));

    if (std::isnan (v)) // keep the last proportion rather than mixing with NaN gains
        return;

    // A proportion the tree did not hold before is an edit of its own, unless the tree only
    // echoes a host value, which the audio thread has or will take at its own time.
    const auto proportion = juce::jlimit (0.0f, 1.0f, v);

    if (proportion == treeWet)
        return;

    treeWet = proportion;

    if (HostValueEcho::isActive())
        return;

    pendingWetProportion.store (proportion, std::memory_order_relaxed);
    wetEdits.fetch_add (1, std::memory_order_relaxed);
}

void DryWetMixer_KT::prepare (const juce::dsp::ProcessSpec& spec)
{
    applyPendingWetProportion();
    mixer.setWetMixProportion (appliedWetProportion);
    mixer.prepare (spec);
}

void DryWetMixer_KT::setWetFromHost (float proportion) noexcept
{
    if (! std::isfinite (proportion))
        return;

    hostWet = juce::jlimit (0.0f, 1.0f, proportion);
    hostWetEdits = wetEdits.load (std::memory_order_relaxed);
    hostWetSet = true;
    applyPendingWetProportion();
}

void DryWetMixer_KT::applyPendingWetProportion() noexcept
{
    // A host value stands until the tree makes an edit of its own.
    if (hostWetSet && hostWetEdits != wetEdits.load (std::memory_order_relaxed))
        hostWetSet = false;

    const auto wet = hostWetSet ? hostWet : pendingWetProportion.load (std::memory_order_relaxed);

    if (wet != appliedWetProportion)
    {
        appliedWetProportion = wet;
        mixer.setWetMixProportion (wet);
    }
}
