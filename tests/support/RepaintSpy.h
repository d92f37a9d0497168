#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Records the areas a component asks to have repainted. The framework routes every repaint of a
// visible component through its cached image, so a spy installed there sees them without a
// window. While installed it replaces the component's painting: use it in repaint tests only.
class RepaintSpy
{
public:
    explicit RepaintSpy (juce::Component& c) : component (c)
    {
        component.setVisible (true);
        component.setCachedComponentImage (new Recorder (*this));
    }

    ~RepaintSpy() { component.setCachedComponentImage (nullptr); }

    void clear() { areas.clear(); }
    bool repainted() const { return ! areas.isEmpty(); }
    bool repainted (juce::Rectangle<int> area) const { return areas.intersects (area); }

    juce::RectangleList<int> areas;

private:
    struct Recorder : juce::CachedComponentImage
    {
        explicit Recorder (RepaintSpy& s) : spy (s) {}
        void paint (juce::Graphics&) override {}
        bool invalidateAll() override { spy.areas.add (spy.component.getLocalBounds()); return true; }
        bool invalidate (const juce::Rectangle<int>& area) override { spy.areas.add (area); return true; }
        void releaseResources() override {}
        RepaintSpy& spy;
    };

    juce::Component& component;
};
