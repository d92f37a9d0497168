#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** What a fader's text box shows the user, and typing into it. */
namespace FaderText
{
    inline juce::String shown (juce::Slider& fader)
    {
        for (auto* child : fader.getChildren())
            if (auto* box = dynamic_cast<juce::Label*> (child))
                return box->getText();

        return "(no text box)";
    }

    /** Types into a fader's text box and commits, as Return does. */
    inline void type (juce::Slider& fader, const juce::String& text)
    {
        for (auto* child : fader.getChildren())
            if (auto* box = dynamic_cast<juce::Label*> (child))
                box->setText (text, juce::sendNotificationSync);
    }
}
