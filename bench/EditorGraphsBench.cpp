// What does drawing the editor cost? One frame = the graphs' 33 ms timer ticks and the paint.
//   ondula_bench --benchmark_filter='Graph|Editor'
// frames_per_core_s is how many such frames one core draws per second: 30 / it is the share of
// a core the editor takes at 30 frames per second.

#include "editor/PluginEditor.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 512;
constexpr double frameSeconds = 0.033;

void reportFrameShare (benchmark::State& state)
{
    state.counters["frames_per_core_s"] = benchmark::Counter ((double) state.iterations(), benchmark::Counter::kIsRate);
}

/** A prepared processor in its default state whose audio runs 33 ms between frames, so that the
    Ondula wave moves the taps' filters and delays as while a host plays. */
struct PlayingProcessor
{
    PlayingProcessor() : processor (std::make_unique<OndulaDelayAudioProcessor>()), buffer (2, blockSize)
    {
        processor->prepareToPlay (rate, blockSize);
    }

    void playOneFrame()
    {
        for (int done = 0; done < (int) (frameSeconds * rate); done += blockSize)
        {
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (c, i, (float) ((i * 13 + c * 5) % 31) / 31.0f - 0.5f);

            processor->processBlock (buffer, midi);
        }
    }

    std::unique_ptr<OndulaDelayAudioProcessor> processor;
    juce::AudioBuffer<float> buffer;
    juce::MidiBuffer midi;
};

/** Places the left engine's wave one phase step of the Ondula graph further at every frame, so that
    every step is drawn once in 256 frames. */
void moveWave (OndulaDelayAudioProcessor& p, int frame)
{
    p.leftDelay.waveTurnAtPiece.store ((float) (frame % 256) / 256.0f);
}

void paintInto (juce::Component& component, juce::Image& image)
{
    juce::Graphics g (image);
    component.paintEntireComponent (g, true);
}

// Steady state while the host plays: every phase step's path is cached after 256 frames.
void OndulaGraph_TickAndPaint_Playing (benchmark::State& state)
{
    PlayingProcessor playing;
    OndulaGraphComponent graph (*playing.processor);
    graph.setBounds (0, 0, 400, 380);
    graph.setValueTree (playing.processor->stateTree);
    juce::Image image (juce::Image::RGB, 400, 380, true);
    int step = 0;

    const auto frame = [&]
    {
        moveWave (*playing.processor, ++step);
        graph.timerCallback();
        paintInto (graph, image);
    };

    for (int i = 0; i < 600; ++i)
        frame();

    for (auto _ : state)
        frame();

    reportFrameShare (state);
}
BENCHMARK (OndulaGraph_TickAndPaint_Playing)->Unit (benchmark::kMillisecond);

// While the user drags a global Ondula fader: every row's path is rebuilt each frame.
void OndulaGraph_TickAndPaint_EveryRowChanged (benchmark::State& state)
{
    PlayingProcessor playing;
    playing.processor->setPushToParameterEnabled (false);
    OndulaGraphComponent graph (*playing.processor);
    graph.setBounds (0, 0, 400, 380);
    graph.setValueTree (playing.processor->stateTree);
    juce::Image image (juce::Image::RGB, 400, 380, true);
    auto globals = playing.processor->stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_ondula");
    int i = 0;

    for (auto _ : state)
    {
        state.PauseTiming();
        globals.setProperty ("amount", 0.4 + 0.001 * (++i % 100), nullptr);
        state.ResumeTiming();

        moveWave (*playing.processor, i);
        graph.timerCallback();
        paintInto (graph, image);
    }

    reportFrameShare (state);
}
BENCHMARK (OndulaGraph_TickAndPaint_EveryRowChanged)->Unit (benchmark::kMillisecond);

// The engine's records change every block while the wave moves: all 32 responses are rebuilt.
void FilterGraph_TickAndPaint_Playing (benchmark::State& state)
{
    PlayingProcessor playing;
    auto& p = *playing.processor;
    FilterEQGraphComponent graph (p.mappingFunctions, p.leftDelay, p.rightDelay);
    graph.stopTimer();
    graph.setBounds (0, 0, 400, 380);
    juce::Image image (juce::Image::RGB, 400, 380, true);

    for (auto _ : state)
    {
        state.PauseTiming();
        playing.playOneFrame();
        state.ResumeTiming();

        graph.timerCallback();
        paintInto (graph, image);
    }

    reportFrameShare (state);
}
BENCHMARK (FilterGraph_TickAndPaint_Playing)->Unit (benchmark::kMillisecond);

// The whole window painted at once (as when it opens or is uncovered), graphs ticked first.
void FullEditor_Repaint_1350x660 (benchmark::State& state)
{
    PlayingProcessor playing;
    auto& p = *playing.processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (p.createEditorIfNeeded());
    auto& e = dynamic_cast<OndulaDelayAudioProcessorEditor&> (*editor);
    e.filterGraph.stopTimer();
    e.ondulaGraph.stopTimer();
    juce::Image image (juce::Image::RGB, 1350, 660, true);
    int step = 0;

    for (auto _ : state)
    {
        state.PauseTiming();
        playing.playOneFrame();
        state.ResumeTiming();

        moveWave (p, ++step);
        e.filterGraph.timerCallback();
        e.ondulaGraph.timerCallback();
        paintInto (e, image);
    }

    reportFrameShare (state);
    p.editorBeingDeleted (editor.get());
}
BENCHMARK (FullEditor_Repaint_1350x660)->Unit (benchmark::kMillisecond);
} // namespace
