#include "engine/DryWetMixer.h"

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

    pendingWetProportion.takeFromTree (juce::jlimit (0.0f, 1.0f, v));
}

void DryWetMixer_KT::prepare (const juce::dsp::ProcessSpec& spec)
{
    // A mixer made anew takes the place of the old one only once its buffers are allocated: a
    // framework buffer whose allocation throws keeps its new size without the storage.
    applyPendingWetProportion();
    juce::dsp::DryWetMixer<float> prepared;
    prepared.setWetMixProportion (appliedWetProportion);
    prepared.prepare (spec);
    mixer = std::move (prepared);
}

void DryWetMixer_KT::setWetFromHost (float proportion) noexcept
{
    if (! std::isfinite (proportion))
        return;

    pendingWetProportion.takeFromHost (juce::jlimit (0.0f, 1.0f, proportion));
    applyPendingWetProportion();
}

void DryWetMixer_KT::applyPendingWetProportion() noexcept
{
    const auto wet = pendingWetProportion.played();

    if (wet != appliedWetProportion)
    {
        appliedWetProportion = wet;
        mixer.setWetMixProportion (wet);
    }
}
