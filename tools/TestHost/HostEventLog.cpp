#include "HostEventLog.h"

#include "HostReport.h"
#include "TestHost.h"

#include <map>

void HostEventLog::audioProcessorParameterChanged (juce::AudioProcessor*, int parameterIndex, float newValue)
{
    add ({ Kind::change, parameterIndex, newValue });
}

void HostEventLog::audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details)
{
    if (details.nonParameterStateChanged)
        add ({ Kind::stateChanged, -1, 0.0f });
}

void HostEventLog::audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int parameterIndex)
{
    add ({ Kind::gestureBegin, parameterIndex, 0.0f });
}

void HostEventLog::audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int parameterIndex)
{
    add ({ Kind::gestureEnd, parameterIndex, 0.0f });
}

void HostEventLog::add (Event event)
{
    const std::lock_guard<std::mutex> guard (lock);
    recorded.push_back (event);
}

std::vector<HostEventLog::Event> HostEventLog::events() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return recorded;
}

size_t HostEventLog::size() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return recorded.size();
}

void HostEventLog::print (juce::AudioPluginInstance& plugin, const juce::String& prefix) const
{
    struct Counts
    {
        int changes = 0, begins = 0, ends = 0;
        float last = 0.0f;
    };

    const auto all = events();
    std::map<int, Counts> perParameter;
    Counts total;
    juce::StringArray order;

    int stateChanges = 0;

    for (const auto& e : all)
    {
        if (e.kind == Kind::stateChanged)
        {
            ++stateChanges;
            order.add ("stateChanged");
            continue;
        }

        auto& counts = perParameter[e.parameterIndex];
        const auto id = HostReport::parameterKey (plugin, e.parameterIndex);

        switch (e.kind)
        {
            case Kind::change:
                ++counts.changes;
                ++total.changes;
                counts.last = e.value;
                order.add ("change:" + id + ":" + juce::String (e.value));
                break;
            case Kind::gestureBegin:
                ++counts.begins;
                ++total.begins;
                order.add ("begin:" + id);
                break;
            case Kind::gestureEnd:
                ++counts.ends;
                ++total.ends;
                order.add ("end:" + id);
                break;
            case Kind::stateChanged:
                break;
        }
    }

    TestHost::print (prefix + "changes=" + juce::String (total.changes));
    TestHost::print (prefix + "gestureBegins=" + juce::String (total.begins));
    TestHost::print (prefix + "gestureEnds=" + juce::String (total.ends));
    TestHost::print (prefix + "stateChanges=" + juce::String (stateChanges));

    juce::StringArray touched;

    for (const auto& [index, counts] : perParameter)
    {
        const auto key = prefix + HostReport::parameterKey (plugin, index);
        touched.add (HostReport::parameterKey (plugin, index));
        TestHost::print (key + ".changes=" + juce::String (counts.changes));
        TestHost::print (key + ".gestureBegins=" + juce::String (counts.begins));
        TestHost::print (key + ".gestureEnds=" + juce::String (counts.ends));

        if (counts.changes > 0)
            TestHost::print (key + ".last=" + juce::String (counts.last));
    }

    TestHost::print (prefix + "parameters=" + touched.joinIntoString (","));
    TestHost::print (prefix + "events=" + order.joinIntoString (","));
}
