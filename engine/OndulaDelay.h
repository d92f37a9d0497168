#pragma once

#include "engine/IIRFilter.h"
#include "engine/RecursivePriorityMutex.h"
#include "engine/TapLaneKernel.h"
#include "engine/TapState.h"
#include "processor/ParameterMappingFunctions.h"

#include <juce_data_structures/juce_data_structures.h>
#include <juce_dsp/juce_dsp.h>

#include <atomic>
#include <cstdint>

/** The mono 32-tap delay: a 2^23-sample line, taps on a straight or triplet grid with per-tap
    band-pass, pan law and gain, the travelling Ondula wave that moves each tap's frequency,
    bandwidth, amplitude, pan and delay, and a band-passed feedback path. Settings arrive through
    state-tree listeners on the message thread and are read once per block on the audio thread. */
class OndulaDelay : public juce::ValueTree::Listener
{
public:
    static constexpr int numTaps = 32;
    static constexpr int numGroups = 8;
    static constexpr int numTapColumns = 9;
    static constexpr int numOndulaQuantities = 5;
    static constexpr int delayLineSize = TapLaneKernel::lineSize;
    static constexpr float maxDelaySamples = 6144000.0f;

    explicit OndulaDelay (ParameterMappingFunctions& mappings);
    ~OndulaDelay() override;

    OndulaDelay (const OndulaDelay&) = delete;
    OndulaDelay& operator= (const OndulaDelay&) = delete;

    /** Sizes the scratch memory and takes the sample rate; keeps the line and every setting. */
    void prepare (const juce::dsp::ProcessSpec& spec);

    /** Binds to the state tree's nodes and re-announces one property per node. */
    void setValueTree (juce::ValueTree tree);

    void valueTreePropertyChanged (juce::ValueTree& tree, const juce::Identifier& property) override;

    /** Renders channel 0 of the context in place. Settings, targets and filter designs move once
        per control piece of the stream (512 samples at 48 kHz, the same time at every rate), so
        the result does not depend on how the stream is cut into blocks; an empty block changes
        nothing. */
    void processSIMDSmart (const juce::dsp::ProcessContextReplacing<float>& context);

    /** Renders the two engines of a stereo pair in one pass, each on its own channel and with its
        own state and settings, exactly as two processSIMDSmart calls would; faster, since the
        two channels' taps share the vector code and equal per-block work is done once. */
    static void processStereo (OndulaDelay& left, OndulaDelay& right,
                               const juce::dsp::ProcessContextReplacing<float>& leftContext,
                               const juce::dsp::ProcessContextReplacing<float>& rightContext);

    /** Every setting the block reads, as one plain copy. */
    struct Settings
    {
        float tapTable[numTaps][numTapColumns] {};
        float ondulaScale[numOndulaQuantities] {};
        float ondulaPhase[numOndulaQuantities] {};
        float wavelength = 0.0f; // mapped, 0.1..5
        float phase = 0.0f;      // raw 0..1
        float velocity = 0.0f;   // Hz, as mapped when the node was read
        float rawVelocity = 0.0f; // raw 0..1, for the tempo-synced rate
        float amount = 0.0f;     // raw 0..1
        float time = 0.0f;       // raw 0..1
        bool tapEnabled[numTaps] {};
        bool onTripletGrid = true;
        float feedbackFrequency = 0.0f, feedbackWidth = 0.0f, feedbackAmplitude = 0.0f, feedbackPan = 0.5f;
    };

    /** The settings as the handlers left them. */
    Settings currentSettings() const noexcept;

    /** Tap positions in time units of the two grids. */
    static const float* straightGrid() noexcept;
    static const float* tripletGrid() noexcept;

    /** Chooses the vector code path (tests compare the paths; the default picks the fastest).
        A stereo pair renders with the left engine's choice. */
    void setLanePath (TapLaneKernel::Path path) noexcept { lanePath = path; }

    /** Samples of the delay line, for tests: position (writeIndex + offset) modulo the length. */
    float lineSampleRelativeToWrite (int offset) const noexcept;

    /** For tests: moves the write position, so that reads soon wrap round the end of the line. */
    void moveWritePositionForTesting (int position) noexcept { writeIndex = position & (delayLineSize - 1); }

    // Node handles of the bound tree (message thread only).
    juce::ValueTree stateTree;
    juce::ValueTree automationFrequencyTree, automationAmplitudeTree, automationBandwidthTree, automationPanTree;
    juce::ValueTree ondulaFrequencyTree, ondulaAmplitudeTree, ondulaBandwidthTree, ondulaPanTree, ondulaDelayTree;
    juce::ValueTree delayPatternTree;
    juce::ValueTree globalsOndulaTree, globalsTimeTree, globalsDynamicsTree;

    ParameterMappingFunctions& mappingFunctions;

    // Written by the processor once at construction (message thread); read by the pattern handler
    // and by the block's pan law (audio thread).
    std::atomic<bool> isRightChannel { false };

    // Written by an owner that silences non-finite input itself before any audio runs (the
    // processor does, for its dry path too), so the engine need not check its input again; read
    // by the block (audio thread).
    std::atomic<bool> inputIsFinite { false };

    // Written by prepare (host thread, outside processing); read by the block and the filter graph.
    std::atomic<int> sampleRate { 48000 };

    // Written by the processor on the audio thread; read by the block and the Ondula graph.
    std::atomic<double> hostTime { 0.0 };
    // Reset by the processor and advanced by the block (audio thread); read by the Ondula graph.
    std::atomic<double> clock { 0.0 };

    // Written by the block under mutex; copied by the filter graph under mutex.
    TapState tapStates[numTaps];
    TapState feedbackState;

    RecursivePriorityMutex mutex;

private:
    struct OndulaRecord
    {
        // Written by the Ondula handler (message thread); read by the block (audio thread).
        std::atomic<float> scale { 0.0f };
        std::atomic<float> phase { 0.0f };
    };

    /** What every tap aims at in this block, one array per quantity. */
    struct alignas (64) TapTargets
    {
        float delay[numTaps], baseDelay[numTaps], frequency[numTaps], bandwidth[numTaps];
        float amplitude[numTaps], pan[numTaps], gain[numTaps];
        bool enabled[numTaps];
    };

    struct DesignCache
    {
        float frequency = -1.0f, bandwidth = -1.0f, sampleRate = -1.0f;
        float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    };

    /** What one block of this engine reads: its settings and the mapped time values. */
    struct BlockInputs
    {
        const Settings* settings = nullptr;
        float fs = 48000.0f, timeUnit = 0.0f, velocityHz = 0.0f, waveTravel = 0.0f;
    };

    void handleAutomation (const juce::ValueTree& node, int quantity);
    void handleOndula (const juce::ValueTree& node, int quantity);
    void handlePattern (const juce::ValueTree& node);
    void handleOndulaGlobals (const juce::ValueTree& node);
    void handleTime (const juce::ValueTree& node);
    void writeTapColumn (int column, const float (&values)[numTaps]);

    static void processTogether (OndulaDelay* const* engines, const juce::dsp::ProcessContextReplacing<float>* const* contexts, int count);
    static void renderStream (OndulaDelay* const* engines, float* const* samples, int count, int n);
    static void startPiece (OndulaDelay* const* engines, int count);
    static void renderSegment (OndulaDelay* const* engines, float* const* samples, int count, int n);
    void advanceClock (int n) noexcept;
    void writeInput (const float* samples, int n) noexcept;
    BlockInputs readBlockInputs() noexcept;
    void loadSettings (Settings& s) const noexcept;
    bool aimsTapsLike (const OndulaDelay& leader, const BlockInputs& mine, const BlockInputs& theirs) noexcept;
    void updateFeedbackState (const BlockInputs& in) noexcept;
    void packFeedback (TapLaneKernel::Feedback& feedback, int channel) const noexcept;
    void takeFeedbackMemory (const TapLaneKernel::Feedback& feedback, int channel) noexcept;
    void addFeedbackToLine (int n) noexcept;
    void computeTapTargets (const BlockInputs& in) noexcept;
    void copyTapTargets (const OndulaDelay& other) noexcept;
    void computeGains (const Settings& s) noexcept;
    void updateTapStates() noexcept;
    void design (DesignCache& cache, float frequency, float bandwidth, float fs, TapState& state) noexcept;
    void packLanes (TapLaneKernel::Lanes& lanes, int channel) noexcept;
    void takeLaneMemory (const TapLaneKernel::Lanes& lanes, int channel) noexcept;
    void releaseScratch() noexcept;

    // Audio-thread state (touched only inside the block, under mutex).
    float* feedbackScratch = nullptr; // scratchLength feedback samples
    void* scratchAllocation = nullptr;
    int scratchLength = 0;            // 0 until prepared
    int pieceLength = 512;            // samples per control piece at the prepared rate
    int piecePosition = 0;            // samples of the current piece rendered; 0 starts a new one
    double clockOrigin = 0.0, clockWritten = 0.0; // the clock as last set from outside, and as last written here
    int64_t clockSamples = 0;         // samples rendered since clockOrigin
    bool firstBlock = true;
    int writeIndex = 0;
    int blockStartWriteIndex = 0;
    /** The smoothed per-tap records, one array per field: the block's own copy, which
        tapStates mirrors for the filter graph. */
    struct alignas (64) TapRecords
    {
        int32_t delayOndula[numTaps], delayBase[numTaps];
        float b0[numTaps], b1[numTaps], b2[numTaps], a0[numTaps], a1[numTaps], a2[numTaps];
        float frequency[numTaps], bandwidth[numTaps], gain[numTaps], amplitude[numTaps], pan[numTaps];
        bool enabled[numTaps];
    };

    // Two sets used in turn: the block's records and the previous block's, each block swapping.
    TapRecords recordSets[2];
    int currentRecords = 0;

    TapRecords& records() noexcept { return recordSets[currentRecords]; }
    TapRecords& previousRecords() noexcept { return recordSets[1 - currentRecords]; }
    TapState previousFeedbackState;
    IIRFilter<float> feedbackFilter;
    IIRFilter<float> groupFilters[numGroups];
    DesignCache tapDesigns[numTaps];
    DesignCache feedbackDesign;
    TapLaneKernel::Lanes lanes {}; // both channels' lanes when this engine leads a stereo pair
    TapTargets targets;
    float tapCoefficients[6][numTaps] {}; // b0, b1, b2, a0, a1, a2 of this block's designs, per tap
    IIRFilter<float> designer;
    TapLaneKernel::Path lanePath = TapLaneKernel::Path::automatic;

    // Bumped by the tree listener after every change of a setting (message thread); the block
    // reads the settings again only when it has moved (audio thread).
    std::atomic<uint32_t> settingsVersion { 0 };

    // Audio-thread copies: the settings as of blockSettingsVersion, and whether they aim the taps
    // like those of the engine this one was last rendered with (and at which versions).
    Settings blockSettings;
    float tapColumns[numTapColumns][numTaps] {}; // blockSettings' tap table, a column per quantity
    uint32_t blockSettingsVersion = 0xffffffffu;
    const uint64_t serial;
    uint64_t comparedWith = 0;
    uint32_t comparedVersions[2] {};
    bool tapSettingsMatch = false;

    // Written by the handlers (message thread); read once per block (audio thread).
    std::atomic<float> tapTable[numTaps][numTapColumns];
    OndulaRecord ondulaRecords[numOndulaQuantities];
    std::atomic<float> wavelength { 1.0f };
    std::atomic<float> phase { 0.0f };
    std::atomic<float> velocity { 0.0f };
    std::atomic<float> rawVelocity { 0.0f }; // for the synced rate, re-derived from the tempo each block
    std::atomic<float> amount { 0.0f };
    std::atomic<float> time { 0.5f };
    std::atomic<bool> tapEnabled[numTaps];
    std::atomic<const float*> tapPositions;
    std::atomic<float> feedbackFrequency { 1000.0f };
    std::atomic<float> feedbackWidth { 0.9f };
    std::atomic<float> feedbackAmplitude { 0.95f };
    const float feedbackPan = 0.5f;

    float delayLine[delayLineSize] {};

    JUCE_LEAK_DETECTOR (OndulaDelay)
};
