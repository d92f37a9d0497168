#include <gtest/gtest.h>

#include "../../editor/CommandLineComponent.h"
#include "../support/PixelProbe.h"

namespace
{
    // A feed address that can never be read, so the strip shows its built-in item.
    juce::URL noFeed()
    {
        return juce::URL (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("no-such-feed.rss"));
    }

    struct Strip
    {
        CommandLineInterpreter console;
        CommandLineComponent strip { console, noFeed() };

        Strip()
        {
            strip.stopTimer(); // ticks are driven by hand
            strip.setSize (600, 30);
        }

        void tick (int count = 1)
        {
            for (int i = 0; i < count; ++i)
                strip.timerCallback();
        }

        juce::Image render()
        {
            auto image = PixelProbe::blank (600, 30);
            juce::Graphics g (image);
            strip.paint (g);
            return image;
        }

        float cell() const { return LookAndFeel_KT::getRobotoMonoBold (20.0f).getStringWidthFloat (" "); }

        // A point inside the badge band of cell i, away from the cell's edges.
        juce::Colour badgeAt (const juce::Image& image, int i)
        {
            return image.getPixelAt (juce::roundToInt (((float) i + 1.5f) * cell()), 7);
        }
    };
}

TEST (ConsoleOverlay, AlphaIsFadeToTheFourthPowerRoundedAndClamped)
{
    const std::pair<float, int> cases[] = { { 0.5f, 16 }, { 0.99f, 245 }, { 0.0f, 0 }, { 1.0f, 255 },
                                            { -0.5f, 16 }, { 2.0f, 255 }, { 0.1f, 0 } };

    for (auto [fade, alpha] : cases)
        EXPECT_EQ ((int) CommandLineComponent::overlayAlpha (fade), alpha) << "fade " << fade;
}

TEST (ConsoleStrip, SwitchesToNewsAtTheEightiethTickAfterTakingAMessage)
{
    Strip s;
    s.console.echo ("abc");
    s.tick();
    EXPECT_EQ (s.strip.fade, 0.0f);
    EXPECT_FALSE (s.console.newMessage);

    s.tick (79);
    EXPECT_NEAR (s.strip.fade, 0.9875f, 1e-5f);
    EXPECT_LT (s.strip.fade, 0.99f);
    EXPECT_FALSE (s.strip.showingNews);

    s.tick();
    EXPECT_GT (s.strip.fade, 0.99f);
    EXPECT_LT (s.strip.fade, 1.0f);
    EXPECT_TRUE (s.strip.showingNews);
    EXPECT_EQ (s.strip.newsTick, 1) << "the first news tick advances the item at once";

    s.tick();
    EXPECT_EQ (s.strip.fade, 1.0f);
}

TEST (ConsoleStrip, BlinkingMessageIsHiddenAtTheTickItIsTakenThenAlternatesThreeTimes)
{
    Strip s;
    s.tick (); // takes the model's first message
    s.console.echo_blink ("`4alarm");

    std::vector<int> states;
    for (int i = 0; i < 8; ++i)
    {
        s.tick();
        states.push_back (s.strip.blinkState);
    }

    EXPECT_EQ (states, (std::vector<int> { 2, 1, 2, 1, 2, 1, 0, 0 }));
    EXPECT_FALSE (s.console.blink);

    s.console.echo_blink ("again");
    s.tick();
    const auto hidden = s.render();
    EXPECT_TRUE (PixelProbe::filled (hidden, hidden.getBounds(), s.strip.lookAndFeel.c0));
}

TEST (ConsoleStrip, MessageArrivingDuringNewsSwitchesBackAndPausesTheNewsCount)
{
    Strip s;
    s.console.newMessage = false; // nothing pending: news at once
    s.tick (5);
    ASSERT_TRUE (s.strip.showingNews);
    const int count = s.strip.newsTick;

    s.console.echo ("new");
    s.tick();
    EXPECT_FALSE (s.strip.showingNews);
    s.tick (10);
    EXPECT_EQ (s.strip.newsTick, count);
}

namespace
{
    struct BadgeCase
    {
        const char* name;
        const char* message;
        std::vector<juce::uint32> badges; // per cell; 0xff141414 is no visible badge
    };

    class ConsoleBadges : public ::testing::TestWithParam<BadgeCase> {};
}

// Blanks draw no glyph, so each cell shows only its badge.
TEST_P (ConsoleBadges, EachRunOfOneStyleGetsTheBadgeOfThatStyle)
{
    const auto& c = GetParam();
    Strip s;
    s.console.echo (c.message);
    s.tick();
    const auto image = s.render();

    for (size_t i = 0; i < c.badges.size(); ++i)
        EXPECT_TRUE (PixelProbe::near (s.badgeAt (image, (int) i), juce::Colour (c.badges[i]))) << "cell " << i;

    // The badge band leaves six pixels free above and below.
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (juce::roundToInt (1.5f * s.cell()), 3), s.strip.lookAndFeel.c0));
    EXPECT_TRUE (PixelProbe::near (image.getPixelAt (juce::roundToInt (1.5f * s.cell()), 26), s.strip.lookAndFeel.c0));
}

INSTANTIATE_TEST_SUITE_P (Styles, ConsoleBadges, ::testing::Values (
    BadgeCase { "plain", "   ", { 0xff141414, 0xff141414, 0xff141414 } },
    BadgeCase { "lightBadgeThenPlain", "`2   `0  ", { 0xfff0f0f0, 0xfff0f0f0, 0xfff0f0f0, 0xff141414, 0xff141414 } },
    BadgeCase { "lastByteOwnBadge", "`3  `6 ", { 0xfff0f0f0, 0xfff0f0f0, 0xfffed766 } },
    BadgeCase { "singleRedBadge", "`5 ", { 0xffe84f4f } },
    BadgeCase { "invisibleStylesDrawNothing", "`7 `8 `9 ", { 0xff141414, 0xff141414, 0xff141414 } }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (ConsoleStrip, GlyphsTakeTheColourAndCellOfTheirStyle)
{
    Strip s;
    s.console.echo ("HHH`4H`1H");
    s.tick();
    const auto image = s.render();
    const auto& lf = s.strip.lookAndFeel;
    const auto cellArea = [&] (int i)
    {
        return juce::Rectangle<int> (juce::roundToInt ((float) (i + 1) * s.cell()), 0, (int) s.cell(), 30);
    };

    EXPECT_EQ (PixelProbe::countInk (image, cellArea (-1), lf.c0), 0) << "cell 0 stays empty";
    for (int i = 0; i < 3; ++i)
        EXPECT_GT (PixelProbe::countNear (image, cellArea (i), lf.c3, 16), 10) << "cell " << i + 1;
    EXPECT_GT (PixelProbe::countNear (image, cellArea (3), lf.c7, 16), 10);
    EXPECT_EQ (PixelProbe::countNear (image, cellArea (3), lf.c3, 16), 0);
    EXPECT_GT (PixelProbe::countNear (image, cellArea (4), lf.c4, 24), 4);
    EXPECT_EQ (PixelProbe::countNear (image, cellArea (4), lf.c3, 16), 0);
    EXPECT_EQ (PixelProbe::countInk (image, cellArea (5), lf.c0), 0);
}

TEST (ConsoleStrip, FadedMessageIsCoveredByTheOverlay)
{
    Strip s;
    s.console.echo ("`2    ");
    s.tick();
    s.strip.fade = 0.99f;
    const auto image = s.render();
    const auto expected = s.strip.lookAndFeel.c3.overlaidWith (s.strip.lookAndFeel.c0.withAlpha ((juce::uint8) 245));
    EXPECT_TRUE (PixelProbe::near (s.badgeAt (image, 1), expected, 3));
}

TEST (ConsoleStrip, ALineLongerThanTheStripDrawsLikeItsVisiblePart)
{
    const auto line = [] (size_t length)
    {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += i % 7 == 0 ? "`5 " : i % 3 == 0 ? "\xc3\xa9" : "`0W";
        return text;
    };

    Strip visible, endless;
    visible.console.echo (line (200));
    endless.console.echo (line (40000));
    visible.tick();
    endless.tick();

    const auto a = visible.render(), b = endless.render();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 600; ++x)
            ASSERT_EQ (a.getPixelAt (x, y), b.getPixelAt (x, y)) << x << ", " << y;
}

TEST (ConsoleStrip, MultiByteCharactersKeepOneCellPerByte)
{
    Strip s;
    s.console.echo ("\xc3\xa9`5 ");
    s.tick();
    const auto image = s.render();
    EXPECT_TRUE (PixelProbe::near (s.badgeAt (image, 2), s.strip.lookAndFeel.c7)) << "the badge sits in cell 3";
}

TEST (ConsoleStrip, ClickOpensTheNewsLinkOnlyWhileNewsIsShownAndWithoutADrag)
{
    Strip s;
    std::vector<juce::StringArray> opened;
    s.strip.linkOpener.startProcess = [&] (const juce::StringArray& arguments) { opened.push_back (arguments); return true; };

    s.tick(); // takes the pending message
    s.strip.mouseUp (PixelProbe::mouseEvent (s.strip, { 10.0f, 10.0f }, false));
    EXPECT_TRUE (opened.empty()) << "a message is shown";

    s.tick (80);
    ASSERT_TRUE (s.strip.showingNews);
    s.strip.mouseUp (PixelProbe::mouseEvent (s.strip, { 10.0f, 10.0f }, true));
    EXPECT_TRUE (opened.empty()) << "after a drag";

    s.strip.mouseUp (PixelProbe::mouseEvent (s.strip, { 10.0f, 10.0f }, false));
    ASSERT_EQ (opened.size(), 1u);
    EXPECT_EQ (opened[0], (juce::StringArray { "xdg-open", RSSNewsReader::builtInLink }));
}

TEST (ConsoleStrip, ClickOnANewsLinkThatCannotBeOpenedSaysWhyInTheConsole)
{
    Strip s;
    s.strip.linkOpener.startProcess = [&] (const juce::StringArray&)
    {
        s.strip.linkOpener.failure = "xdg-open not found";
        return false;
    };

    s.tick (81);
    ASSERT_TRUE (s.strip.showingNews);
    s.strip.mouseUp (PixelProbe::mouseEvent (s.strip, { 10.0f, 10.0f }, false));

    EXPECT_EQ (s.console.text, " News  could not open the link: xdg-open not found");
    EXPECT_TRUE (s.console.newMessage && s.console.blink);
}
