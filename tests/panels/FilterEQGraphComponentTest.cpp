#include <gtest/gtest.h>

#include "../../panels/FilterEQGraphComponent.h"
#include "../../panels/OndulaGraphComponent.h"
#include "../support/PixelProbe.h"
#include "../support/RepaintSpy.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace
{
    // The centre whose warp position is 0.5: 10^(1 + 0.5 * 2.9542425) Hz.
    const float middleCentre = std::pow (10.0f, 1.0f + 0.5f * 2.9542425f);

    std::vector<juce::Point<float>> pointsOf (const juce::Path& path)
    {
        std::vector<juce::Point<float>> points;
        for (juce::Path::Iterator i (path); i.next();)
            if (i.elementType == juce::Path::Iterator::startNewSubPath || i.elementType == juce::Path::Iterator::lineTo)
                points.push_back ({ i.x1, i.y1 });
        return points;
    }

    class FilterEQGraph : public testing::Test
    {
    protected:
        FilterEQGraph()
        {
            graph = std::make_unique<FilterEQGraphComponent> (processor->mappingFunctions, processor->leftDelay, processor->rightDelay);
            graph->stopTimer(); // the tests tick by hand
            graph->setSize (400, 380);

            // Every tap silent at 1 kHz, placed evenly from 0 to 31000 samples.
            for (int k = 0; k < 32; ++k)
                tap (k) = { k * 1000, k * 1000, 1, 0, 0, 1, 0, 0, 1000.0f, 1.0f, 0.0f, 0.0f, 0.5f, true };
        }

        TapState& tap (int k) { return processor->leftDelay.tapStates[k]; }

        juce::Image render()
        {
            auto image = PixelProbe::blank (400, 380);
            juce::Graphics g (image);
            graph->paint (g);
            return image;
        }

        std::unique_ptr<OndulaDelayAudioProcessor> processor = std::make_unique<OndulaDelayAudioProcessor>();
        std::unique_ptr<FilterEQGraphComponent> graph;
    };

    // Centre and width (octaves) a band-pass was designed with, read back from its coefficients.
    std::pair<double, double> designedBand (const IIRFilter<double>& f)
    {
        const double w0 = std::acos (-f.a[1] / 2.0);
        const double s = std::sin (w0);
        const double bw = std::asinh (f.b[0] / s) * s / (0.34657359027997264 * w0);
        return { w0 * (double) f.sampleRate / 6.283185307, bw };
    }
}

TEST_F (FilterEQGraph, WarpGathersSamplesAroundNarrowBandsAndSpreadsWideOnes)
{
    struct Case { const char* what; float frequency, bandwidth; };
    const Case cases[] {
        { "narrowest", middleCentre, 0.25f },
        { "below the narrowest", middleCentre, 0.1f },
        { "widest", middleCentre, 15.0f },
        { "10 Hz", 10.0f, 0.25f },
    };

    for (const auto& c : cases)
    {
        tap (3).frequency = c.frequency;
        tap (3).bandwidth = c.bandwidth;
        graph->timerCallback();

        const auto points = pointsOf ((*graph->frontPaths)[3]);
        ASSERT_EQ (points.size(), 65u) << c.what;
        EXPECT_EQ (points.front().x, 0.0f) << c.what;
        EXPECT_NEAR (points.back().x, 1.0f, 1e-6) << c.what;

        for (size_t i = 1; i < points.size(); ++i)
            ASSERT_GE (points[i].x, points[i - 1].x) << c.what << ": the line runs left to right";

        if (c.bandwidth <= 0.25f)
        {
            const auto count = [&] (float lo, float hi)
            {
                return std::count_if (points.begin() + 1, points.end(), [=] (auto p) { return p.x >= lo && p.x <= hi; });
            };

            if (c.frequency == 10.0f) // the centre at 0: the first half of the samples sits on the 5 Hz end
                EXPECT_GE (count (0.0f, 0.0f), 31) << c.what;
            else
                EXPECT_EQ (count (0.45f, 0.55f), 25) << c.what;
        }
        else
        {
            std::vector<float> distinct;
            for (const auto& p : points)
                if (distinct.empty() || p.x - distinct.back() > 1e-4f)
                    distinct.push_back (p.x);

            ASSERT_EQ (distinct.size(), 5u) << c.what;
            const float expected[] { 0.0f, 0.109375f, 0.5f, 0.890625f, 1.0f };
            for (size_t i = 0; i < 5; ++i)
                EXPECT_NEAR (distinct[i], expected[i], 1e-3) << c.what;
        }
    }
}

TEST_F (FilterEQGraph, DesignsAtTheEnginesRateAndHoldsTheUpperBandEdge)
{
    // A band whose upper edge passes 16 times the rate keeps its lower edge (9000 * 2^-7.5 Hz)
    // and ends at that limit, centred on the geometric mean of the two.
    struct Case { double rate; float frequency, bandwidth; double centre, width; };
    const Case cases[] {
        { 48000.0, 9000.0f, 15.0f, 6179.3, 13.915 },
        { 96000.0, 9000.0f, 15.0f, 8738.9, 14.915 },
        { 192000.0, 9000.0f, 15.0f, 9000.0, 15.0 },
        { 48000.0, 1000.0f, 1.0f, 1000.0, 1.0 },
        { 22050.0, 5000.0f, 1.0f, 5000.0, 1.0 },
    };

    for (const auto& c : cases)
    {
        processor->leftDelay.prepare ({ c.rate, 512, 1 });

        // The one filter object ends up holding the last tap's design: give every tap the band.
        for (int k = 0; k < 32; ++k)
        {
            tap (k).frequency = c.frequency;
            tap (k).bandwidth = c.bandwidth;
            tap (k).amplitude = 1.0f;
        }

        graph->timerCallback();

        EXPECT_EQ ((double) graph->filter.sampleRate, c.rate);
        const auto [centre, width] = designedBand (graph->filter);
        EXPECT_NEAR (centre, c.centre, 0.5) << c.rate << " " << c.frequency;
        EXPECT_NEAR (width, c.width, 2e-3) << c.rate << " " << c.frequency;
        EXPECT_NEAR (graph->filter.getMagnitude_d (centre), 1.0, 1e-9);
    }

    // At the 9000 Hz end of the axis a 5000 Hz, one-octave band played at 22050 Hz is down to
    // 0.274, where at 48000 Hz it would be 0.463: the line drawn is the one the engine plays.
    const auto points = pointsOf ((*graph->frontPaths)[0]);
    EXPECT_NEAR (points.back().y, 0.2744f, 1e-3);
    processor->leftDelay.prepare ({ 48000.0, 512, 1 });

    // Preparing starts the engine afresh, records included.
    for (int k = 0; k < 32; ++k)
    {
        tap (k).frequency = 5000.0f;
        tap (k).bandwidth = 1.0f;
        tap (k).amplitude = 1.0f;
    }

    graph->timerCallback();
    EXPECT_NEAR (pointsOf ((*graph->frontPaths)[0]).back().y, 0.4629f, 1e-3);
}

TEST_F (FilterEQGraph, SnapshotPlacesTapsByDelayAndFadesLaterOnesIntoTheBackground)
{
    const auto& lf = graph->lookAndFeel;
    EXPECT_TRUE (PixelProbe::filled (render(), { 0, 0, 400, 380 }, lf.c1)) << "before the first tick";

    tap (0) = { 0, 0, 1, 0, 0, 1, 0, 0, middleCentre, 0.25f, 1.0f, 1.0f, 0.5f, true };
    graph->timerCallback();
    const auto image = render();

    // Tap 0 (t = 0, light): its base line at axis 0.1 is at (42.5, 199.5); its peak, at axis
    // 0.5462 (300 Hz), stands 38 px above the base line at (120.6, 203.9).
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (42, 199), lf.c3, 12));
    EXPECT_GT (PixelProbe::countNear (image, { 117, 200, 8, 8 }, lf.c3, 40), 3) << "the peak";
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (110, 215), lf.c1, 2)) << "beside the narrow peak";

    // Tap 15 (t = 15/31) halfway between the light colour and the background, at (127.2, 153.5).
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (127, 153), lf.c3.interpolatedWith (lf.c1, 15.0f / 31.0f), 14));

    // Tap 31 (t = 1, from (200, 95) to (375, 190)) is drawn in the background colour.
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (287, 142), lf.c1, 2));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (5, 5), lf.c1, 2));

    // While both ends of the tap span sit at the same delay there is nothing to place taps on.
    tap (31).delayBase = 0;
    graph->timerCallback();
    EXPECT_TRUE (PixelProbe::filled (render(), { 0, 0, 400, 380 }, lf.c1));
}

TEST_F (FilterEQGraph, PathsRebuiltTapByTapMatchAFreshBuild)
{
    graph->timerCallback();

    struct Step { int tapIndex; float frequency, bandwidth, amplitude; int delay; };
    const Step steps[] {
        { 5, 2000.0f, 2.0f, 0.5f, 5000 },
        { 5, 2000.0f, 2.0f, 0.5f, 5100 }, // moved, same shape
        { 9, 40.0f, 0.5f, 1.0f, 9000 },
        { 5, 2000.0f, 2.0f, 0.5f, 5100 }, // nothing changed
        { 0, 300.0f, 8.0f, 0.7f, 0 },
    };

    for (const auto& s : steps)
    {
        auto& t = tap (s.tapIndex);
        t.frequency = s.frequency;
        t.bandwidth = s.bandwidth;
        t.amplitude = s.amplitude;
        t.delayOndula = s.delay;
        graph->timerCallback();

        FilterEQGraphComponent fresh (processor->mappingFunctions, processor->leftDelay, processor->rightDelay);
        fresh.timerCallback();

        for (size_t k = 0; k < 32; ++k)
        {
            ASSERT_EQ (pointsOf ((*graph->frontPaths)[k]), pointsOf ((*fresh.frontPaths)[k])) << "tap " << k << " after tap " << s.tapIndex;
            ASSERT_EQ ((*graph->frontTaps)[k].delayOndula, tap ((int) k).delayOndula);
        }
    }
}

TEST_F (FilterEQGraph, TicksRepaintOnlyWhenWhatIsDrawnChanged)
{
    RepaintSpy spy (*graph);
    graph->timerCallback();
    EXPECT_TRUE (spy.repainted()) << "the first records";

    struct Case { const char* what; std::function<void (TapState&)> change; bool repaints; };
    const Case cases[] {
        { "nothing", [] (TapState&) {}, false },
        { "pan", [] (TapState& t) { t.pan = 0.9f; }, false },
        { "gain", [] (TapState& t) { t.gain = 0.1f; }, false },
        { "delay", [] (TapState& t) { t.delayOndula += 10; }, true },
        { "frequency", [] (TapState& t) { t.frequency = 3000.0f; }, true },
        { "amplitude", [] (TapState& t) { t.amplitude = 0.25f; }, true },
    };

    for (const auto& c : cases)
    {
        spy.clear();
        c.change (tap (7));
        graph->timerCallback();
        EXPECT_EQ (spy.repainted(), c.repaints) << c.what;
        // Only the band the lines run through: the lowest (tap 0) ends at y = 285.
        EXPECT_FALSE (spy.repainted ({ 0, 300, 400, 80 })) << c.what;
        EXPECT_FALSE (spy.repainted ({ 0, 0, 400, 40 })) << c.what;
    }

    spy.clear();
    processor->leftDelay.prepare ({ 44100.0, 512, 1 });
    graph->timerCallback();
    EXPECT_TRUE (spy.repainted()) << "a new sample rate";
}

// Run under ThreadSanitizer: the graphs tick and paint on the message thread while the audio
// thread renders blocks through the processor and takes host values that the graphs draw.
TEST (FilterEQGraphConcurrency, GraphsCopyTheRecordsAndReadTheClockWhileBlocksRender)
{
    auto processor = std::make_unique<OndulaDelayAudioProcessor>();
    processor->prepareToPlay (48000.0, 256);

    FilterEQGraphComponent filterGraph (processor->mappingFunctions, processor->leftDelay, processor->rightDelay);
    OndulaGraphComponent ondulaGraph (*processor);
    filterGraph.setSize (400, 380);
    ondulaGraph.setSize (400, 380);
    ondulaGraph.setValueTree (processor->stateTree);

    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 };

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;

        while (running.load())
        {
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 256; ++i)
                    buffer.setSample (ch, i, (float) ((i * 7 + ch) % 17) / 17.0f - 0.5f);

            // The Ondula amount and the pattern mode, as the client hands them over.
            processor->hostCallBegins (256);
            processor->hostParameterPoint (22, 0, (float) (blocks.load() % 10) / 9.0f);
            processor->hostParameterPoint (24, 100, (float) (blocks.load() % 2));
            processor->processBlock (buffer, midi);
            ++blocks;
        }
    });

    auto image = PixelProbe::blank (400, 380);

    // The ticks touch what the audio thread writes; painting works on the graphs' own copies, so
    // a few paints suffice (they are slow under the sanitizer).
    for (int i = 0; i < 200 || blocks.load() < 100; ++i)
    {
        filterGraph.timerCallback();
        ondulaGraph.timerCallback();

        if (i % 50 == 0)
        {
            juce::Graphics g (image);
            filterGraph.paint (g);
            ondulaGraph.paint (g);
        }
    }

    running = false;
    audio.join();

    filterGraph.timerCallback();
    const auto& taps = *filterGraph.frontTaps;
    EXPECT_GT (taps[31].delayBase, taps[0].delayBase) << "the engine has placed its taps";
    EXPECT_EQ (pointsOf ((*filterGraph.frontPaths)[4]).size(), 65u);
    EXPECT_GT (ondulaGraph.shownTurn, 0.0) << "the engine's wave travelled";
}
