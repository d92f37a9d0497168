#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** What a fader's text box shows the user. */
namespace FaderText
{
    inline juce::String shown (juce::Slider& fader)
    {
        for (auto* child : fader.getChildren())
            if (auto* box = dynamic_cast<juce::Label*> (child))
                return box->getText();

        return "(no text box)";
    }
}
