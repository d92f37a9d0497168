#include "CommandLineComponent.h"

#include <cmath>
#include <string>

#ifndef ONDULA_NEWS_FEED_URL
 #define ONDULA_NEWS_FEED_URL "https://news.kelvatone.invalid/rss_feeds/ondula_delay_free.rss"
#endif

CommandLineComponent::CommandLineComponent (CommandLineInterpreter& consoleModel, const juce::URL& feedAddress)
    : console (&consoleModel),
      ownedNewsReader (std::make_unique<RSSNewsReader> (feedAddress)),
      newsReader (*ownedNewsReader)
{
    newsReader.start();
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    startTimer (100);
}

CommandLineComponent::~CommandLineComponent()
{
    stopTimer();
    RSSNewsReader::release (std::move (ownedNewsReader));
}

juce::URL CommandLineComponent::defaultFeedAddress()
{
    return juce::URL (ONDULA_NEWS_FEED_URL);
}

juce::uint8 CommandLineComponent::overlayAlpha (float fadeAmount)
{
    const float f2 = fadeAmount * fadeAmount;
    const float f4 = f2 * f2;

    if (! (f4 > 0.0f))
        return 0;

    if (f4 >= 1.0f)
        return 255;

    return (juce::uint8) std::lround (f4 * 255.0f);
}

bool CommandLineComponent::isBoldStyle (char style)
{
    return style != '1' && style != '3';
}

juce::Colour CommandLineComponent::badgeColour (char style) const
{
    switch (style)
    {
        case '2':
        case '3': return lookAndFeel.c3;
        case '5': return lookAndFeel.c7;
        case '6': return lookAndFeel.c9;
        default:  return lookAndFeel.c0;
    }
}

juce::Colour CommandLineComponent::glyphColour (char style) const
{
    switch (style)
    {
        case '0': return lookAndFeel.c3;
        case '1': return lookAndFeel.c4;
        case '3': return lookAndFeel.c5;
        case '4': return lookAndFeel.c7;
        default:  return lookAndFeel.c0;
    }
}

void CommandLineComponent::mouseUp (const juce::MouseEvent& event)
{
    if (event.mouseWasDraggedSinceMouseDown() || ! showingNews)
        return;

    const auto link = newsReader.currentLink();

    // A click that opens nothing must say why, or the strip looks dead.
    if (link.isNotEmpty() && ! linkOpener.open (link))
        console->echo_blink (("`5 News `0 could not open the link: " + linkOpener.failure.replaceCharacter ('`', '\'')).toStdString());
}

void CommandLineComponent::resized() {}

void CommandLineComponent::timerCallback()
{
    if (console->newMessage)
    {
        fade = 0.0f;
        showingNews = false;
        blinkState = console->blink ? 1 : 0;
        repaint();
        console->newMessage = false;
        console->blink = false;
    }
    else
    {
        fade = juce::jmin (1.0f, fade + 0.0125f);
        repaint();
    }

    if (blinkTick >= blinkTickMax)
    {
        blinkTick = 0;

        if (blinkState == 2)
        {
            blinkState = 1;
        }
        else if (blinkState == 1)
        {
            if (blinkCount < blinkCountMax)
            {
                blinkState = 2;
                ++blinkCount;
            }
            else
            {
                blinkState = 0;
            }
        }
        else
        {
            blinkCount = 0;
        }
    }
    else
    {
        ++blinkTick;
    }

    if (fade > 0.99f)
    {
        showingNews = true;

        if (newsTick == 0)
        {
            newsReader.advance();
            repaint();
        }

        newsTick = (newsTick + 1) % 200;
    }
}

namespace
{
    // Number of bytes of the UTF-8 sequence that starts with this byte; 0 for a continuation byte.
    int sequenceLength (unsigned char lead)
    {
        if (lead < 0x80) return 1;
        if (lead < 0xc0) return 0;
        if (lead < 0xe0) return 2;
        if (lead < 0xf0) return 3;
        return 4;
    }
}

void CommandLineComponent::paint (juce::Graphics& g)
{
    const auto bounds = getLocalBounds().toFloat();
    const float width = bounds.getWidth();
    const float height = bounds.getHeight();

    g.fillAll (lookAndFeel.c0);

    const juce::Font bold = LookAndFeel_KT::getRobotoMonoBold (20.0f);
    const juce::Font regular = LookAndFeel_KT::getRobotoMonoRegular (20.0f);
    const float cell = bold.getStringWidthFloat (" ");

    // Cells that start beyond the right edge show nothing, so only the visible part of the line
    // is copied and drawn, and a long line costs no more than one that fills the strip. Three
    // bytes more complete a character that starts in the last cell.
    const auto visibleCells = cell > 0.0f ? (size_t) std::ceil (juce::jmax (0.0f, width) / cell) : size_t (0);
    std::string text = console->text.substr (0, visibleCells + 3);
    std::string styles = console->colours.substr (0, visibleCells);

    if (showingNews)
    {
        text = newsReader.currentTitle().toStdString();
        styles.assign (juce::jmin (text.size(), visibleCells), '1');
    }

    const size_t n = juce::jmin (text.size(), styles.size());

    for (size_t start = 0; start < n;)
    {
        size_t end = start;

        while (end + 1 < n && styles[end + 1] == styles[start])
            ++end;

        g.setColour (badgeColour (styles[start]));
        g.fillRect (juce::Rectangle<float> ((float) (start + 1) * cell, 6.0f,
                                            (float) (end - start + 1) * cell, height - 12.0f));
        start = end + 1;
    }

    // One cell per byte; a character of several bytes is drawn whole in the cell of its first
    // byte, and its other cells stay empty.
    for (size_t i = 0; i < n; ++i)
    {
        const auto length = (size_t) sequenceLength ((unsigned char) text[i]);

        if (length == 0 || i + length > text.size())
            continue;

        const auto* bytes = text.data() + i;

        if (! juce::CharPointer_UTF8::isValidString (bytes, (int) length))
            continue;

        const char style = styles[i];
        g.setFont (isBoldStyle (style) ? bold : regular);
        g.setColour (glyphColour (style));
        g.drawText (juce::String::fromUTF8 (bytes, (int) length),
                    juce::Rectangle<float> ((float) (i + 1) * cell, 0.0f, width - 2.0f * cell, height),
                    juce::Justification::left, true);
    }

    if (blinkState == 2)
        g.fillAll (lookAndFeel.c0);
    else if (! showingNews)
        g.fillAll (lookAndFeel.c0.withAlpha (overlayAlpha (fade)));
}
