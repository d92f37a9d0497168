#pragma once

#include "engine/IIRFilter.h"
#include "engine/RecursivePriorityMutex.h"
#include "engine/TapLaneKernel.h"
#include "engine/TapState.h"
#include "engine/TreeOrHostValue.h"
#include "engine/WarmUpKernel.h"
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
        per control piece of the timeline (512 samples at 48 kHz, the same time at every rate), so
        the result does not depend on how the stream is cut into blocks; an empty block changes
        nothing. */
    void processSIMDSmart (const juce::dsp::ProcessContextReplacing<float>& context);

    /** Renders the two engines of a stereo pair in one pass, each on its own channel and with its
        own state and settings, exactly as two processSIMDSmart calls would; faster, since the
        two channels' taps share the vector code and equal per-block work is done once. */
    static void processStereo (OndulaDelay& left, OndulaDelay& right,
                               const juce::dsp::ProcessContextReplacing<float>& leftContext,
                               const juce::dsp::ProcessContextReplacing<float>& rightContext);

    /** Places the next sample to render at a position of the timeline (in samples). The control
        pieces lie on the timeline's grid (multiples of the piece length), the wave's running time
        is the position, and the smoothed records start where they would stand had the timeline
        played from long before, so that a position sounds the same whatever came before it: the
        host's block size, where playback started, a pre-roll, how long the host idled. Between
        moves the engine counts the samples it renders. Audio thread (or before audio runs). */
    void moveToTimeline (int64_t position) noexcept;

    /** Positions lie within +-timelineLimit samples (millions of years): no position arithmetic
        can overflow, whatever a host reports or however long the plug-in runs. */
    static constexpr int64_t timelineLimit = (int64_t) 1 << 60;

    /** While a host plays at a speed other than 1 (varispeed, shuttle), the wave follows the
        host's position instead of the samples rendered: at the next sample it stands at
        `hostPosition` and moves on by `speed` per sample, so a given speed sounds the same at any
        block size. The control pieces go on over the rendered samples. Audio thread, at a
        block's start. */
    void followHostMotion (double hostPosition, double speed) noexcept;

    /** The wave follows the rendered samples again (a move does this too). Audio thread. */
    void followStream() noexcept { inMotion = false; }

    /** Counting on without a host position (stopped, or a play head that stands still): after a
        motion the wave goes on from where it stands, at speed 1. Audio thread. */
    void countOnFromWave() noexcept;

    /** The timeline position of the next sample to render. Audio thread. */
    int64_t timelinePosition() const noexcept { return streamPosition; }

    /** Samples from the next one to render to the start of the next control piece: 0 when the
        next sample starts one. Audio thread. */
    int samplesToNextPiece() const noexcept;

    /** Samples per control piece at the prepared rate. */
    int pieceSamples() const noexcept { return pieceLength; }

    /** The settings that host parameters stand for. Quantities: automation 0 frequency,
        1 bandwidth, 2 amplitude, 3 pan; Ondula the same and 4 delay. */
    enum HostSetting : int
    {
        automationValue = 0,  // + quantity
        automationScale = 4,  // + quantity
        ondulaScale = 8,      // + quantity
        ondulaPhase = 13,     // + quantity
        ondulaTimeMode = 18,
        globalWavelength,
        globalPhase,
        globalVelocity,
        globalAmount,
        delayTimeMode,
        patternMode,
        delayTime,
        numHostSettings
    };

    /** A host parameter's value, taken from the next control piece on (audio thread, between
        pieces): it stands until the host sends another, or until the tree itself changes that
        setting (an edit, a loaded state or preset). The tree's later echo of the same host value
        (the parameter attachment writing it back on the message thread) changes nothing, so the
        sound never depends on when the message thread gets to it. Modes are whole numbers. */
    void setFromHost (int setting, float value) noexcept;

    /** Tree's thread, after a state load: every setting the tree holds is an edit of its own again,
        even where the load left it as it was, so a host value standing from before gives way. */
    void takeTreeAsEdits() noexcept;

    /** Any thread: a setting's value as it plays from the next control piece on, host values
        included (for displays). */
    float playedHostSetting (int setting) const noexcept;

    /** Every setting the block reads, as one plain copy. */
    struct Settings
    {
        float tapTable[numTaps][numTapColumns] {};
        float ondulaScale[numOndulaQuantities] {};
        float ondulaPhase[numOndulaQuantities] {};
        float wavelength = 0.0f; // mapped, 0.1..5
        float phase = 0.0f;      // raw 0..1
        float rawVelocity = 0.0f; // raw 0..1; mapped with the tempo of each piece
        int velocityMode = 0;    // 0 free, 1 synced, 2 synced triplet
        float amount = 0.0f;     // raw 0..1
        float time = 0.0f;       // raw 0..1
        int timeMode = 0;        // 0 free, 1 synced, 2 synced triplet
        bool tapEnabled[numTaps] {};
        bool onTripletGrid = true;
        float feedbackFrequency = 0.0f, feedbackWidth = 0.0f, feedbackAmplitude = 0.0f, feedbackPan = 0.5f;
    };

    /** The settings that play from the next control piece on, host values included. Any thread. */
    Settings currentSettings() const noexcept;

    /** The settings the last control piece played, host values included. Audio thread, or while
        no audio runs (tests). */
    const Settings& playedSettings() const noexcept { return blockSettings; }

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

    /** For tests: how many moves took the records' warm-up from an earlier move with the same inputs. */
    int warmUpsReusedForTesting() const noexcept { return warmUpsReused; }

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

    // Written by the block (audio thread); read by tests: the timeline position of the last move,
    // in seconds, and the seconds rendered since. Their sum is the running time.
    std::atomic<double> hostTime { 0.0 };
    std::atomic<double> clock { 0.0 };

    // Written by the block at every control piece (audio thread); read by the Ondula graph: how far
    // the wave has travelled at the piece's start, in turns 0..1, exact at any place of the timeline.
    std::atomic<float> waveTurnAtPiece { 0.0f };

    // Written by the block under mutex; copied by the filter graph under mutex.
    TapState tapStates[numTaps];
    TapState feedbackState;

    RecursivePriorityMutex mutex;

private:
    /** What every tap aims at in this block, one array per quantity. */
    struct alignas (64) TapTargets
    {
        float delay[numTaps], baseDelay[numTaps], frequency[numTaps], bandwidth[numTaps];
        float amplitude[numTaps], pan[numTaps], gain[numTaps];
        bool enabled[numTaps];
    };

    /** Where every tap aims before the wave moves it: its place on the grid as a phase of the
        wave, its grid delay, its delay depth, its control weights, and which waves it needs. */
    struct alignas (64) TapAim
    {
        float phaseOnGrid[numTaps], baseDelay[numTaps], depth[numTaps], weight[4][numTaps];
        bool needed[numOndulaQuantities][numTaps];
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
    void publish (int setting, float value) noexcept;

    static void processTogether (OndulaDelay* const* engines, const juce::dsp::ProcessContextReplacing<float>* const* contexts, int count);
    static void renderStream (OndulaDelay* const* engines, float* const* samples, int count, int n);
    static void settleAtTimeline (OndulaDelay* const* engines, int count);
    static void startPiece (OndulaDelay* const* engines, int count, int64_t pieceStart);
    static void runLanesBefore (OndulaDelay* const* engines, int count, int rampStart, int n, int samplesBack);
    static void renderSegment (OndulaDelay* const* engines, float* const* samples, int count, int n);
    void writeInput (const float* samples, int n) noexcept;
    BlockInputs readBlockInputs (int64_t pieceStart) noexcept;
    void refreshBlockSettings() noexcept;
    void deriveSettings (Settings& s, const float* values) const noexcept;
    void deriveAutomationColumn (Settings& s, int quantity, const float* values) const noexcept;
    void deriveScalars (Settings& s, const float* values) const noexcept;
    bool aimsTapsLike (const OndulaDelay& leader, const BlockInputs& mine, const BlockInputs& theirs) noexcept;
    void updateFeedbackState (const BlockInputs& in, bool settle) noexcept;
    void packFeedback (TapLaneKernel::Feedback& feedback, int channel) const noexcept;
    void takeFeedbackMemory (const TapLaneKernel::Feedback& feedback, int channel) noexcept;
    void addFeedbackToLine (int n) noexcept;
    void aimTaps (const BlockInputs& in, TapAim& aim) const noexcept;
    void computeTapTargets (const BlockInputs& in) noexcept;
    void copyTapTargets (const OndulaDelay& other) noexcept;
    void computeGains (const Settings& s) noexcept;
    void updateTapStates() noexcept;
    void publishTapStates() noexcept;
    void design (DesignCache& cache, float frequency, float bandwidth, float fs, TapState& state) noexcept;
    void packLanes (TapLaneKernel::Lanes& lanes, int channel) noexcept;
    void takeLaneMemory (const TapLaneKernel::Lanes& lanes, int channel) noexcept;
    void releaseScratch() noexcept;
    void resetAudioState() noexcept;
    double wavePositionAt (int64_t position) const noexcept;
    void describeWarmUp (int64_t firstPieceStart, int pieces) noexcept;
    struct WarmUpMemory;
    WarmUpMemory& warmUpSlot (bool& kept) noexcept;
    void takeWarmUpRecords (const WarmUpKernel::Records& warm) noexcept;

    // Audio-thread state (touched only inside the block, under mutex).
    float* feedbackScratch = nullptr; // scratchLength feedback samples
    void* scratchAllocation = nullptr;
    int scratchLength = 0;            // 0 until prepared
    int pieceLength = 512;            // samples per control piece at the prepared rate
    int piecePosition = 0;            // samples of the current piece rendered; 0 starts a new one
    int64_t streamPosition = 0;       // timeline position of the next sample
    int64_t movedTo = 0;              // timeline position of the last move
    bool moved = true;                // the records are worked out afresh before the next sample
    bool inMotion = false;            // the wave follows a host moving at waveSpeed, not the stream
    double waveAnchor = 0.0;          // the wave's position at streamAnchor, while in motion
    int64_t streamAnchor = 0;
    double waveSpeed = 1.0;
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

    /** The inputs of a warm-up and the records it left. A move to the same place with the same
        settings (a loop, a scrub back and forth) takes them again instead of working them out. */
    struct WarmUpMemory
    {
        WarmUpKernel::Inputs inputs {};
        WarmUpKernel::Records records {};
        bool valid = false;
    };

    WarmUpKernel::Inputs warmUpInputs {};       // the coming warm-up's
    float warmUpTurns[WarmUpKernel::maxPieces] {}; // the wave's travel at each of its pieces, in turns
    WarmUpMemory warmUps[2];                   // the last two warm-ups
    int olderWarmUp = 0;
    int warmUpsReused = 0;

    // Bumped by the tree listener after every change of a setting (message thread); the block
    // works its settings out again only when it has moved (audio thread).
    std::atomic<uint32_t> settingsVersion { 0 };

    // Audio-thread copies: the settings as last worked out (blockSettingsSerial counts how often),
    // and whether they aim the taps like those of the engine this one was last rendered with.
    Settings blockSettings;
    float tapColumns[numTapColumns][numTaps] {}; // blockSettings' tap table, a column per quantity
    uint32_t blockSettingsVersion = 0xffffffffu;
    uint32_t blockSettingsSerial = 0;
    const uint64_t serial;
    uint64_t comparedWith = 0;
    uint32_t comparedSerials[2] {};
    bool tapSettingsMatch = false;

    // Set by host values (audio thread), a bit per setting: those are worked out again at the
    // next piece.
    uint32_t hostValuesMoved = 0;

    /** A curve segment of one tap, as the automation handler publishes it for the block to move
        by the node's value and scale. */
    struct PublishedSegment
    {
        std::atomic<float> from { 0.0f }, to { 0.0f }, shape { 0.0f };
        std::atomic<uint8_t> kind { 0 }; // bit 0 outside, bit 1 closing point, bit 2 empty
    };

    // The settings host parameters stand for: taken from the tree by the handlers (message
    // thread) and from the host by setFromHost (audio thread); read when the block works its
    // settings out.
    TreeOrHostValue hostSettings[numHostSettings];

    // Written by the handlers (message thread); read when the block works its settings out.
    PublishedSegment automationCurves[4][numTaps];
    std::atomic<float> ondulaWeights[numOndulaQuantities][numTaps];
    std::atomic<bool> tapEnabled[numTaps];
    std::atomic<float> feedbackFrequency { 1000.0f };
    std::atomic<float> feedbackWidth { 0.9f };
    std::atomic<float> feedbackAmplitude { 0.95f };
    const float feedbackPan = 0.5f;

    float delayLine[delayLineSize] {};

    JUCE_LEAK_DETECTOR (OndulaDelay)
};
