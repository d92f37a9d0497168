#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

#include "DefaultState.h"

// The default settings tree, its nodes by type, and every change a node announces.
namespace PanelProbe
{
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
