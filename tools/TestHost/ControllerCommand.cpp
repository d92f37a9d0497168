#include "ControllerCommand.h"

#include "TestHost.h"
#include "Vst3Module.h"

#include <cmath>
#include <limits>

namespace
{
using namespace Steinberg;

juce::String printed (double value)
{
    return std::isnan (value) ? juce::String ("nan") : juce::String (value, 9);
}
} // namespace

int ControllerCommand::run (const juce::StringArray& args)
{
    juce::StringArray positional, sets;

    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--set" && i + 1 < args.size())
            sets.add (args[++i]);
        else
            positional.add (args[i]);
    }

    if (positional.isEmpty())
    {
        TestHost::fail ("usage: controller <bundle> [--set id=value]...");
        return 2;
    }

    const Vst3Module module (positional[0]);

    if (! module.isOpen())
    {
        TestHost::fail (module.getError());
        return 1;
    }

    auto& controller = module.getController();

    for (const auto& set : sets)
    {
        const auto id = set.upToFirstOccurrenceOf ("=", false, false);
        const auto text = set.fromFirstOccurrenceOf ("=", false, false).trim();
        const auto value = text.equalsIgnoreCase ("nan") ? std::numeric_limits<double>::quiet_NaN() : text.getDoubleValue();
        controller.setParamNormalized ((Vst::ParamID) TestHost::vst3ParameterNumber (id).getLargeIntValue(), value);
    }

    for (int32 i = 0; i < controller.getParameterCount(); ++i)
    {
        Vst::ParameterInfo info {};

        if (controller.getParameterInfo (i, info) == kResultOk)
            TestHost::print ("controller." + juce::String (info.id) + "=" + printed (controller.getParamNormalized (info.id)));
    }

    return 0;
}
