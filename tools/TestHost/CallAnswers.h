#pragma once

#include <juce_core/juce_core.h>

#include <pluginterfaces/base/funknown.h>

#include <functional>

/** How a battery of calls into the plug-in reports: each answer printed as `<prefix><name>=<answer>`
    in the SDK's words (ok, false, invalid, notImplemented, outOfMemory, or the number of another
    answer), or "threw" when an exception came out of the plug-in, which is counted. */
class CallAnswers
{
public:
    explicit CallAnswers (const juce::String& prefixToUse) : prefix (prefixToUse) {}

    /** Makes the call and prints its answer; the answer, or kInternalError when it threw. */
    Steinberg::tresult answer (const juce::String& name, const std::function<Steinberg::tresult()>& call);

    /** Runs a call, counting an exception that comes out of the plug-in; false when one did. */
    template <typename Call>
    bool withoutException (Call&& call)
    {
        try
        {
            call();
            return true;
        }
        catch (...)
        {
            ++thrown;
            return false;
        }
    }

    /** <prefix><name>=<value> */
    void print (const juce::String& name, const juce::String& value) const;

    int getThrown() const { return thrown; }

    static juce::String describe (Steinberg::tresult answer);

private:
    juce::String prefix;
    int thrown = 0;
};
