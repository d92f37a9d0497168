#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

#include "../processor/CommandLineInterpreter.h"
#include "LinkOpener.h"
#include "LookAndFeel_KT.h"
#include "RSSNewsReader.h"

// The one-line console at the bottom of the window: the latest message in its styles, faded
// out over eight seconds (optionally blinking first), then the news titles in turn.
class CommandLineComponent : public juce::Component,
                             public juce::Timer
{
public:
    explicit CommandLineComponent (CommandLineInterpreter& consoleModel,
                                   const juce::URL& feedAddress = defaultFeedAddress());
    ~CommandLineComponent() override;

    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    static juce::URL defaultFeedAddress();

    // Alpha of the fade overlay: fade to the fourth power, scaled to 0..255 and rounded.
    static juce::uint8 overlayAlpha (float fadeAmount);

    // The badge and glyph colours of a style digit; any unknown byte draws like style 7.
    juce::Colour badgeColour (char style) const;
    juce::Colour glyphColour (char style) const;
    static bool isBoldStyle (char style);

    LookAndFeel_KT lookAndFeel;
    float fade = 1.0f;
    CommandLineInterpreter* console;
    int blinkState = 0;
    int blinkCount = 0;
    int blinkCountMax = 3;
    int blinkTick = 0;
    int blinkTickMax = 0;
    // Held on the heap so that closing never waits long for its thread (RSSNewsReader::release).
    std::unique_ptr<RSSNewsReader> ownedNewsReader;
    RSSNewsReader& newsReader;
    bool showingNews = false;
    int newsTick = 0;

    // Opens a clicked news link; tests replace its process starter so that no browser is started.
    LinkOpener linkOpener;
};
