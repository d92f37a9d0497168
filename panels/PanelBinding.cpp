#include "PanelBinding.h"

#include <cmath>

double PanelBinding::readValue (const juce::ValueTree& node, const juce::Identifier& property)
{
    const auto v = (double) node.getProperty (property);
    return std::isfinite (v) ? v : 0.0;
}

int PanelBinding::readMode (const juce::ValueTree& node, const juce::Identifier& property)
{
    // Through a double, so that a value no int can hold gives no undefined conversion.
    const auto v = (double) node.getProperty (property);
    return std::isfinite (v) && std::abs (v) < 1.0e6 ? (int) v : -1;
}

void PanelBinding::showValue (juce::Slider& fader, double value)
{
    fader.setValue (value, juce::dontSendNotification);
}

bool PanelBinding::showMode (std::initializer_list<juce::Button*> rowInValueOrder, int mode)
{
    if (mode < 0 || mode >= (int) rowInValueOrder.size())
        return false;

    int value = 0;

    for (auto* button : rowInValueOrder)
        button->setToggleState (value++ == mode, juce::dontSendNotification);

    return true;
}

bool PanelBinding::writeValue (juce::ValueTree& node, const juce::Identifier& property, double value)
{
    if (! node.isValid() || (node.hasProperty (property) && readValue (node, property) == value))
        return false;

    node.setProperty (property, value, nullptr);
    return true;
}

bool PanelBinding::writeMode (juce::ValueTree& node, const juce::Identifier& property, int mode)
{
    if (! node.isValid() || (node.hasProperty (property) && readMode (node, property) == mode))
        return false;

    node.setProperty (property, mode, nullptr);
    return true;
}

bool PanelBinding::writeText (juce::ValueTree& node, const juce::Identifier& property, const juce::String& text)
{
    if (! node.isValid() || (node.hasProperty (property) && node.getProperty (property).toString() == text))
        return false;

    node.setProperty (property, text, nullptr);
    return true;
}

void PanelBinding::repairMode (juce::ValueTree& node, const juce::Identifier& property)
{
    if (node.isValid())
        node.setProperty (property, 0, nullptr);
}

void PanelBinding::readTypedText (juce::Slider& fader, TextReader reader)
{
    fader.valueFromTextFunction = [&fader, reader = std::move (reader)] (const juce::String& typed)
    {
        const ParameterMappingFunctions::FaderGrid grid { fader.getMinimum(), fader.getMaximum(), fader.getInterval() };
        return reader (typed.toStdString(), fader.getValue(), grid).value_or (fader.getValue());
    };
}

void PanelBinding::showPercent (juce::Slider& fader, const ParameterMappingFunctions& mappings)
{
    fader.textFromValueFunction = [&mappings] (double v) { return juce::String (mappings.percent_string ((float) v)); };
    readTypedText (fader, [&mappings] (const std::string& typed, double, ParameterMappingFunctions::FaderGrid grid)
                   { return mappings.percent_value (typed, grid); });
}

bool PanelBinding::userEdit (HostStateNotifier* notifier, const std::function<bool()>& write)
{
    return notifier != nullptr ? notifier->userEdit (write) : write();
}
