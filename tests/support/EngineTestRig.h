#pragma once

#include "ScalarOndulaOracle.h"

#include "engine/OndulaDelay.h"
#include "processor/ParameterMappingFunctions.h"

#include <juce_data_structures/juce_data_structures.h>

#include <memory>
#include <vector>

/** One delay engine (heap-allocated: it carries a 32 MiB line) bound to its own copy of the
    plug-in's default state tree, with its own tempo context, prepared for mono blocks. */
class EngineTestRig
{
public:
    explicit EngineTestRig (bool rightChannel = false, double sampleRate = 48000.0, int maxBlock = 4096);

    /** Finds a node by type anywhere in the tree. */
    juce::ValueTree node (const juce::String& type) const;

    void set (const juce::String& nodeType, const juce::String& property, const juce::var& value);

    /** Renders one block in place. */
    void process (std::vector<float>& block);
    void process (float* samples, int n);

    /** A fresh copy of the plug-in's default state tree (built once by a real processor). */
    static juce::ValueTree defaultTree();

    ParameterMappingFunctions mappings;
    juce::ValueTree tree;
    std::unique_ptr<OndulaDelay> engine;
};

/** Deterministic noise in -amplitude..amplitude. */
std::vector<float> noiseBlock (int n, unsigned seed, float amplitude = 1.0f);
