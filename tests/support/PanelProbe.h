#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

#include "DefaultState.h"

// What a panel test looks at: the text a fader shows, and every change a node announces.
namespace PanelProbe
{
    // The text in the fader's own value box, as the user reads it.
    inline juce::String shownText (juce::Slider& fader)
    {
        for (auto* child : fader.getChildren())
            if (auto* box = dynamic_cast<juce::Label*> (child))
                return box->getText();

        return {};
    }

    inline juce::ValueTree defaultTree()
    {
        return juce::ValueTree::fromXml (DefaultState::treeXml);
    }

    // Finds a node by type anywhere below the root.
    inline juce::ValueTree node (const juce::ValueTree& root, const juce::String& type)
    {
        for (const auto& group : root)
            if (auto found = group.getChildWithName (type); found.isValid())
                return found;

        return {};
    }

    // Same properties with the same values of the same types, all the way down.
    inline bool sameAttributes (const juce::ValueTree& a, const juce::ValueTree& b)
    {
        if (a.getType() != b.getType() || a.getNumProperties() != b.getNumProperties() || a.getNumChildren() != b.getNumChildren())
            return false;

        for (int i = 0; i < a.getNumProperties(); ++i)
        {
            const auto name = a.getPropertyName (i);
            if (! b.hasProperty (name) || ! a[name].equalsWithSameType (b[name]))
                return false;
        }

        for (int i = 0; i < a.getNumChildren(); ++i)
            if (! sameAttributes (a.getChild (i), b.getChild (i)))
                return false;

        return true;
    }

    // Counts the property-change notifications of a node and everything below it, by property.
    struct Announcements : juce::ValueTree::Listener
    {
        explicit Announcements (juce::ValueTree t) : tree (t) { tree.addListener (this); }
        ~Announcements() override { tree.removeListener (this); }

        void valueTreePropertyChanged (juce::ValueTree& n, const juce::Identifier& property) override
        {
            ++heard[n.getType().toString() + "." + property.toString()];
            ++total;
        }

        int of (const juce::String& typeAndProperty) const
        {
            const auto it = heard.find (typeAndProperty);
            return it == heard.end() ? 0 : it->second;
        }

        juce::ValueTree tree;
        std::map<juce::String, int> heard;
        int total = 0;
    };
}
