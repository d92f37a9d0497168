#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <cstdint>

#include "../editor/LookAndFeel_KT.h"
#include "../processor/PluginProcessor.h"
#include "../processor/QuorlStyleCurve.h"

// The Ondula graph: five rows (frequency, bandwidth, amplitude, pan, time) each showing its base
// curve across the tap span with the travelling wave added, as the left engine plays them. It only
// reads: the curves of the tree's nodes, and from the left engine the settings that play (host
// values included) and the wave's travel at its last control piece. Its owner starts the 33 ms
// timer.
class OndulaGraphComponent : public juce::Component,
                             public juce::ValueTree::Listener,
                             public juce::Timer
{
public:
    explicit OndulaGraphComponent (OndulaDelayAudioProcessor& processorToUse);
    ~OndulaGraphComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void valueTreePropertyChanged (juce::ValueTree& node, const juce::Identifier& property) override;
    void timerCallback() override;

    // Strokes row r's frame and its curve at the current phase step, rebuilding that step's
    // path first when the row changed since it was built.
    void draw_curve (int row, juce::Colour colour, juce::Graphics& g);

    // Looks the eleven followed nodes up from the root and listens to each one found; once all
    // listen, re-announces one property per node so that every listener (this graph included)
    // reads them. An invalid root changes nothing.
    void setValueTree (juce::ValueTree root);

    static constexpr int numRows = 5;
    static constexpr int numSteps = 256;  // phase steps of one wave cycle
    static constexpr int numPoints = 256; // points of one row's path

    struct Binding
    {
        const char* group;
        const char* type;
        const char* announced;
    };

    // The followed nodes, in handle order, with the property announced on each at binding.
    static constexpr std::array<Binding, 11> bindings { {
        { "automation", "automation_frequency", "value" }, { "automation", "automation_amplitude", "value" },
        { "automation", "automation_bandwidth", "value" }, { "automation", "automation_pan", "value" },
        { "ondula", "ondula_frequency", "scale" }, { "ondula", "ondula_bandwidth", "scale" },
        { "ondula", "ondula_amplitude", "scale" }, { "ondula", "ondula_pan", "scale" },
        { "ondula", "ondula_delay", "scale" },
        { "delay", "delay_globals_ondula", "wavelength" }, { "delay", "delay_globals_time", "time" },
    } };

    static constexpr std::array<const char*, numRows> rowLabels { "Frequency", "Bandwidth", "Amplitude", "Pan", "Time" };

    // Phase step (0..255) of the wave as the engine last placed it.
    int phaseStep() const noexcept;

    // Row r's area in the component (value 1 at its top edge, 0 at its bottom edge).
    juce::Rectangle<float> rowArea (int row) const noexcept;

    // True when row r's curve cannot change with the wave's phase (no amount, no scale, or an
    // Ondula curve that is 0 everywhere), so one path serves every step.
    bool rowStandsStill (int row) const noexcept;

    struct CacheEntry
    {
        juce::Path path;
        int32_t tag = 0;
    };

    struct RowWave
    {
        float scale = 0.0f;
        float phase = 0.0f;
        QuorlStyleCurve curve;
    };

    OndulaDelayAudioProcessor& processor;
    LookAndFeel_KT lookAndFeel;
    ParameterMappingFunctions& pmf;
    juce::ValueTree root;
    std::array<juce::ValueTree, bindings.size()> nodes;
    std::array<QuorlStyleCurve, 4> baseCurves;
    std::array<int32_t, numRows> generation {};
    std::array<std::array<CacheEntry, numSteps>, numRows> pathCache;
    std::array<RowWave, numRows> rowWaves;
    // The automation nodes' curves in row order, which the played value and scale move.
    std::array<QuorlStyleCurve, 4> automationCurves;
    // The engine's settings as they play, as the graph last read them (NaN until the first read).
    std::array<float, OndulaDelay::numHostSettings> played;
    float wavelength = 1.0f;
    float globalPhase = 0.0f;
    float amount = 0.0f;
    bool onTripletGrid = true;
    // The wave's travel as drawn, in turns 0..1: the engine's at its last control piece, negated
    // (the wave moves toward later taps).
    double shownTurn = 0.0;

private:
    void readAutomation (const juce::ValueTree& node, int row);
    void readOndula (const juce::ValueTree& node, int row);
    // Reads the settings that play from the left engine; rows whose picture they change are rebuilt.
    void readPlayed();
    void rebuildBase (int row);
    void buildPath (int row, CacheEntry& entry);
    juce::AffineTransform rowTransform (int row) const noexcept;

    // What was last asked to be repainted, so that a tick repaints only rows that moved or changed.
    std::array<int32_t, numRows> shownGeneration {};
    int shownStep = -1;
    juce::Path framePath;
};
