#include <gtest/gtest.h>

#include "../../panels/OndulaGraphComponent.h"
#include "../support/PixelProbe.h"
#include "../support/DawCallPattern.h"
#include "../support/RepaintSpy.h"

#include <cmath>

namespace
{
    constexpr double pi = 3.14159265358979323846;

    std::vector<juce::Point<float>> pointsOf (const juce::Path& path)
    {
        std::vector<juce::Point<float>> points;
        for (juce::Path::Iterator i (path); i.next();)
            if (i.elementType == juce::Path::Iterator::startNewSubPath || i.elementType == juce::Path::Iterator::lineTo)
                points.push_back ({ i.x1, i.y1 });
        return points;
    }

    // Sign changes of y - 0.5 along a row: twice the number of wave cycles shown, within one.
    int centreCrossings (const std::vector<juce::Point<float>>& points)
    {
        int crossings = 0;
        for (size_t j = 1; j < points.size(); ++j)
            crossings += ((points[j - 1].y - 0.5f) < 0.0f) != ((points[j].y - 0.5f) < 0.0f) ? 1 : 0;
        return crossings;
    }

    class OndulaGraph : public testing::Test
    {
    protected:
        OndulaGraph()
        {
            // The host parameters' ranges play no part here (an amount parameter holds 0..1 only).
            processor->setPushToParameterEnabled (false);
            graph = std::make_unique<OndulaGraphComponent> (*processor);
            graph->setSize (400, 380);
            graph->setValueTree (processor->stateTree);
        }

        juce::ValueTree node (const juce::String& type) const
        {
            for (const auto& group : processor->stateTree)
                if (auto child = group.getChildWithName (type); child.isValid())
                    return child;
            return {};
        }

        void set (const juce::String& type, const juce::String& property, const juce::var& value)
        {
            node (type).setProperty (property, value, nullptr);
        }

        // Places the left engine's wave (its travel at the last control piece, in turns) and lets
        // the graph tick.
        void tickAt (double turn)
        {
            processor->leftDelay.waveTurnAtPiece.store ((float) (turn - std::floor (turn)));
            graph->timerCallback();
        }

        // A tick, then a paint: the graph reads what plays at its ticks.
        juce::Image render()
        {
            graph->timerCallback();
            auto image = PixelProbe::blank (graph->getWidth(), graph->getHeight());
            juce::Graphics g (image);
            graph->paint (g);
            return image;
        }

        // The points of row r as a paint after a tick draws them.
        std::vector<juce::Point<float>> row (int r)
        {
            render();
            const int step = graph->rowStandsStill (r) ? 0 : graph->phaseStep();
            return pointsOf (graph->pathCache[(size_t) r][(size_t) step].path);
        }

        std::unique_ptr<OndulaDelayAudioProcessor> processor = std::make_unique<OndulaDelayAudioProcessor>();
        std::unique_ptr<OndulaGraphComponent> graph;
    };
}

TEST_F (OndulaGraph, RowsRunFromFrequencyDownToTimeWithOneAtTheTopEdgeAndZeroAtTheBottom)
{
    set ("delay_globals_ondula", "amount", 0.0);
    const auto& lf = graph->lookAndFeel;

    for (const double value : { 1.0, 0.0 })
    {
        for (auto* type : { "automation_frequency", "automation_bandwidth", "automation_amplitude", "automation_pan" })
        {
            set (type, "value", value);
            set (type, "scale_y", 0.0);
        }

        const auto image = render();

        // At 400 x 380 row r spans y = 28.5 + 71.25 r (value 1) to 66.5 + 71.25 r (value 0).
        for (int r = 0; r < 4; ++r)
        {
            const int curveY = (int) std::floor ((value == 1.0 ? 28.5 : 66.5) + 71.25 * r);
            const int centreY = (int) std::floor (47.5 + 71.25 * r);
            EXPECT_TRUE (PixelProbe::near (image.getPixelAt (240, curveY), lf.c3, 8)) << "row " << r << " value " << value;
            EXPECT_TRUE (PixelProbe::near (image.getPixelAt (240, centreY), lf.c5, 8)) << "row " << r << " centre line";
            EXPECT_TRUE (PixelProbe::near (image.getPixelAt (240, centreY + 30), lf.c1, 8)) << "row " << r << " gap below";
        }

        // The "Time" row lies on its centre line without a wave.
        EXPECT_TRUE (PixelProbe::near (image.getPixelAt (240, 332), lf.c3, 8));
        // The frame's edges at x = 100 and 375.
        EXPECT_TRUE (PixelProbe::near (image.getPixelAt (100, 35), lf.c5, 8));
        EXPECT_TRUE (PixelProbe::near (image.getPixelAt (375, 35), lf.c5, 8));
        EXPECT_TRUE (PixelProbe::near (image.getPixelAt (50, 200), lf.c1, 8));
    }

    // The labels stand right-aligned left of the rows, from y = 32, 103, 174, 245 and 317.
    const auto image = render();
    for (const int top : { 32, 103, 174, 245, 317 })
    {
        EXPECT_GT (PixelProbe::countNear (image, { 10, top, 75, 30 }, lf.c12, 60), 20) << "label at " << top;
        EXPECT_EQ (PixelProbe::countInk (image, { 10, top, 10, 30 }, lf.c1), 0) << "right-aligned label at " << top;
    }
}

TEST_F (OndulaGraph, WithoutAmountOrScaleEachRowShowsItsBaseCurveOnly)
{
    struct Case { const char* what; double amount; const char* zeroScaleNode; int row; };
    const Case cases[] {
        { "amount 0", 0.0, nullptr, -1 },
        { "frequency scale 0", 0.5, "ondula_frequency", 0 },
        { "bandwidth scale 0", 0.5, "ondula_bandwidth", 1 },
        { "time scale 0", 0.5, "ondula_delay", 4 },
    };

    set ("automation_frequency", "curve", "0 0 0\n1 1 0\n");
    set ("automation_frequency", "value", 0.25);
    set ("automation_frequency", "scale_y", 0.5);

    for (const auto& c : cases)
    {
        set ("delay_globals_ondula", "amount", c.amount);
        if (c.zeroScaleNode != nullptr)
            set (c.zeroScaleNode, "scale", 0.0);

        for (const double seconds : { 0.0, 0.37, 1.9 })
        {
            tickAt (seconds);

            for (int r = 0; r < OndulaGraphComponent::numRows; ++r)
            {
                if (c.row >= 0 && r != c.row)
                    continue;

                const auto points = row (r);
                ASSERT_EQ (points.size(), 256u);

                for (const auto& p : points)
                {
                    // The frequency base here runs from 0.25 to 0.75; the time row stays at 0.5.
                    const float expected = r == 4 ? 0.5f : r == 0 ? 0.25f + 0.5f * p.x : graph->baseCurves[(size_t) r].calculateCurveValue (p.x);
                    ASSERT_NEAR (p.y, expected, 1e-6) << c.what << ", row " << r << " at x " << p.x;
                }
            }
        }

        set ("delay_globals_ondula", "amount", 0.5);
        if (c.zeroScaleNode != nullptr)
            set (c.zeroScaleNode, "scale", 0.5);
    }
}

TEST_F (OndulaGraph, AmplitudeRowCarriesNoWaveWithItsDefaultCurve)
{
    // The default amplitude base falls from 1 to 0; its Ondula curve is the single point (0, 0).
    for (const double seconds : { 0.0, 0.5, 3.3 })
    {
        tickAt (seconds);
        EXPECT_TRUE (graph->rowStandsStill (2));

        for (const auto& p : row (2))
            ASSERT_NEAR (p.y, 1.0f - p.x, 1e-5) << "at x " << p.x << ", " << seconds << " s";
    }

    EXPECT_FALSE (graph->rowStandsStill (0)) << "the frequency row moves by default";
}

TEST_F (OndulaGraph, PanBaseSwingsAroundItsValueAndSumsBeyondTheRowLieOnItsEdges)
{
    struct Case { double value, scaleY, amount; float atLeft, atRight; };
    const Case cases[] {
        { 0.5, 0.3, 0.0, 0.35f, 0.65f },
        { 0.5, -0.3, 0.0, 0.65f, 0.35f },
        { 0.5, 0.0, 0.0, 0.5f, 0.5f },
        { 1.0, 1.0, 0.0, 0.5f, 1.0f },  // 0.5 + x, held to the top edge from the middle on
    };

    set ("automation_pan", "curve", "0 0 0\n1 1 0\n");

    for (const auto& c : cases)
    {
        set ("delay_globals_ondula", "amount", c.amount);
        set ("automation_pan", "value", c.value);
        set ("automation_pan", "scale_y", c.scaleY);
        const auto points = row (3);
        EXPECT_NEAR (points.front().y, c.atLeft, 1e-5) << c.value << " " << c.scaleY;
        EXPECT_NEAR (points.back().y, c.atRight, 1e-5) << c.value << " " << c.scaleY;
    }

    // A full wave on a base at the top: the sum stays within the row.
    set ("delay_globals_ondula", "amount", 1.0);
    set ("ondula_pan", "scale", 1.0);
    set ("ondula_pan", "curve", "0 1 0\n");
    const auto points = row (3);
    const auto flat = std::count_if (points.begin(), points.end(), [] (auto p) { return p.y == 1.0f; });
    EXPECT_GT (flat, 10);
    for (const auto& p : points)
        EXPECT_TRUE (p.y >= 0.0f && p.y <= 1.0f);
}

TEST_F (OndulaGraph, WaveCyclesAcrossARowFollowWavelengthAndGridNeverTheTempo)
{
    struct Case { double wavelength; int patternMode; float secondsPerBeat; double cycles; };
    // P31 / (17 W): 15.5 or 15 1/3 time units over wavelengths of 0.1 to 5 units.
    const Case cases[] {
        { 0.0, 0, 0.5f, 15.5 / 1.7 },
        { 0.0, 1, 0.5f, (46.0 / 3.0) / 1.7 },
        { 0.0, 0, 0.3f, 15.5 / 1.7 },
        { 1.0, 0, 0.5f, 15.5 / 85.0 },
        { 1.0, 1, 0.5f, (46.0 / 3.0) / 85.0 },
    };

    // The time row shows the bare sine: 0.5 + 0.5 sin (2 pi cycles x) with no phase and no clock.
    set ("delay_globals_ondula", "amount", 1.0);
    set ("delay_globals_ondula", "phase", 0.0);
    set ("ondula_delay", "scale", 1.0);
    tickAt (0.0);

    for (const auto& c : cases)
    {
        processor->mappingFunctions.secondsPerBeat.store (c.secondsPerBeat);
        const auto before = graph->generation;
        set ("delay_globals_ondula", "wavelength", c.wavelength);
        set ("delay_globals_time", "pattern_mode", c.patternMode);
        graph->timerCallback();
        EXPECT_GT (graph->generation[2], before[2]) << "a grid or wavelength change rebuilds every row";

        const auto points = row (4);
        EXPECT_NEAR (centreCrossings (points), 2.0 * c.cycles, 1.0) << c.wavelength << " " << c.patternMode;
        EXPECT_NEAR (points.back().y, 0.5 + 0.5 * std::sin (2.0 * pi * c.cycles), 1e-3) << c.wavelength << " " << c.patternMode;
    }
}

TEST_F (OndulaGraph, WaveTravelsTowardLaterTapsAsTheEngineWaveAdvances)
{
    // About one cycle across the time row, so it shows one crest.
    set ("delay_globals_ondula", "amount", 1.0);
    set ("delay_globals_ondula", "wavelength", 0.6);
    set ("ondula_delay", "scale", 1.0);

    const auto crest = [this]
    {
        const auto points = row (4);
        return std::max_element (points.begin(), points.end(), [] (auto a, auto b) { return a.y < b.y; })->x;
    };

    for (const double turn : { 0.0, 0.35, 0.95 })
    {
        tickAt (turn);
        const double cycles = 15.5 / (17.0 * graph->wavelength);
        const float first = crest();
        tickAt (turn + 0.1);
        const float second = crest();

        double moved = second - first;
        if (moved < 0.0)
            moved += 1.0 / cycles; // the next crest came in from the left
        EXPECT_NEAR (moved, 0.1 / cycles, 3.0 / 255.0) << "from turn " << turn;
    }
}

TEST_F (OndulaGraph, AfterHoursOfPlaybackTheWaveIsDrawnWhereItPlays)
{
    // Played from ten hours and a third of a second in: the wave the graph shows is the one the
    // engine plays there, to far less than one of its 256 phase steps (a clock of seconds in
    // single precision would be a hundredth of a cycle off).
    DawCallPattern host (48000.0, 512);
    auto& p = host.processor();
    auto globals = p.stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_ondula");
    globals.setProperty ("time_mode", 0, nullptr);
    globals.setProperty ("velocity", 1.0, nullptr);
    OndulaGraphComponent shown (p);
    shown.setValueTree (p.stateTree);

    const juce::int64 position = (juce::int64) 36000 * 48000 + 16384;
    host.play (position, 512, { 512 });
    shown.timerCallback();

    const double cycles = (double) p.mappingFunctions.velocity_hz (1.0f, 0) * ((double) position / 48000.0);
    const double expected = -cycles - std::floor (-cycles);
    EXPECT_NEAR (shown.shownTurn, expected, 1.0e-5);
    EXPECT_EQ (shown.phaseStep(), (int) (expected * OndulaGraphComponent::numSteps));
}

TEST_F (OndulaGraph, DrawsTheSettingsThatPlayHostValuesIncluded)
{
    // The tree's own last edit is the triplet grid; the host sets the straight grid, the Ondula
    // amount and the frequency automation's value. The graph draws what plays.
    DawCallPattern host (48000.0, 512);
    auto& p = host.processor();
    auto time = p.stateTree.getChildWithName ("delay").getChildWithName ("delay_globals_time");
    time.setProperty ("pattern_mode", 1, nullptr);
    OndulaGraphComponent shown (p);
    shown.setSize (400, 380);
    shown.setValueTree (p.stateTree);
    ASSERT_TRUE (shown.onTripletGrid);

    host.point ("delay_globals_time_pattern_mode", 0, 0.0f);
    host.point ("delay_globals_ondula_amount", 0, 0.8f);
    host.point ("automation_frequency_value", 0, 0.6f);
    host.play (0, 512, { 512 });

    shown.timerCallback();
    EXPECT_FALSE (shown.onTripletGrid);
    EXPECT_FLOAT_EQ (shown.amount, 0.8f);
    EXPECT_FLOAT_EQ (shown.played[OndulaDelay::automationValue], 0.6f);
    EXPECT_FALSE (p.leftDelay.currentSettings().onTripletGrid);

    // An edit of the tree's own after it plays, and the graph follows.
    time.setProperty ("pattern_mode", 2.0, nullptr);
    shown.timerCallback();
    EXPECT_TRUE (shown.onTripletGrid);
}

TEST_F (OndulaGraph, FollowsOnlyItsOwnNodesAndRereadsAWholeNodeOnAnyChange)
{
    const auto before = graph->generation;
    set ("delay_pattern", "time", 0.1);
    set ("delay_globals_dynamics", "dry", 0.1);
    processor->stateTree.setProperty ("preset_name", "x", nullptr);
    EXPECT_EQ (graph->generation, before);

    // A curve is the tree's alone; the value that moves it is the one that plays.
    node ("automation_frequency").setPropertyExcludingListener (graph.get(), "value", 0.6, nullptr);
    set ("automation_frequency", "curve", "0 0 0\n");
    graph->timerCallback();
    EXPECT_GT (graph->generation[0], before[0]);
    EXPECT_EQ (graph->generation[1], before[1]);
    EXPECT_NEAR (graph->baseCurves[0].calculateCurveValue (0.5f), 0.6f, 1e-6);

    // A node of the same type in another tree is not the followed node.
    auto stranger = node ("automation_bandwidth").createCopy();
    stranger.addListener (graph.get());
    stranger.setProperty ("value", 0.9, nullptr);
    EXPECT_EQ (graph->generation[1], before[1]);
}

TEST_F (OndulaGraph, TicksRepaintOnlyTheRowsThatMovedOrChanged)
{
    RepaintSpy spy (*graph);
    processor->mappingFunctions.secondsPerBeat.store (0.5f);
    tickAt (1.0);
    spy.clear();

    const auto rowArea = [this] (int r) { return graph->rowArea (r).toNearestInt().reduced (0, 2); };

    // By default frequency, bandwidth and time move; amplitude and pan carry no wave.
    tickAt (1.1);
    for (int r : { 0, 1, 4 })
        EXPECT_TRUE (spy.repainted (rowArea (r))) << "row " << r;
    for (int r : { 2, 3 })
        EXPECT_FALSE (spy.repainted (rowArea (r))) << "row " << r;
    EXPECT_FALSE (spy.repainted ({ 10, 32, 75, 30 })) << "labels stay";

    spy.clear();
    tickAt (1.1);
    EXPECT_FALSE (spy.repainted()) << "the same step again";

    set ("automation_amplitude", "value", 0.3);
    tickAt (1.1);
    EXPECT_TRUE (spy.repainted (rowArea (2)));
    EXPECT_FALSE (spy.repainted (rowArea (0)));

    // Standing still: no amount, no rate.
    set ("delay_globals_ondula", "amount", 0.0);
    tickAt (1.2);
    spy.clear();
    tickAt (2.7);
    EXPECT_FALSE (spy.repainted());
}

TEST_F (OndulaGraph, MissingNodesLeaveTheirCurvesAtTheirDefaults)
{
    auto tree = processor->stateTree.createCopy();
    tree.getChildWithName ("delay").removeChild (tree.getChildWithName ("delay").getChildWithName ("delay_globals_ondula"), nullptr);
    tree.getChildWithName ("automation").removeChild (tree.getChildWithName ("automation").getChildWithName ("automation_frequency"), nullptr);
    set ("delay_globals_ondula", "amount", 0.0);

    OndulaGraphComponent other (*processor);
    other.setSize (400, 380);
    other.setValueTree (tree);
    other.timerCallback();
    EXPECT_EQ (other.amount, 0.0f);

    auto image = PixelProbe::blank (400, 380);
    juce::Graphics g (image);
    other.paint (g);

    // Frequency keeps the default curve, moved by the value and scale that play.
    const float value = processor->leftDelay.playedHostSetting (OndulaDelay::automationValue);
    const float scale = processor->leftDelay.playedHostSetting (OndulaDelay::automationScale);
    const auto base = value + QuorlStyleCurve() * scale;
    const auto points = pointsOf (other.pathCache[0][0].path);
    ASSERT_EQ (points.size(), 256u);
    for (const auto& p : points)
        ASSERT_NEAR (p.y, base.calculateCurveValue (p.x), 1e-6);
}
