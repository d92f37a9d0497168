#include "CallAnswers.h"

#include "TestHost.h"

using namespace Steinberg;

tresult CallAnswers::answer (const juce::String& name, const std::function<tresult()>& call)
{
    tresult result = kResultOk;
    const auto returned = withoutException ([&] { result = call(); });
    print (name, returned ? describe (result) : juce::String ("threw"));
    return returned ? result : kInternalError;
}

void CallAnswers::print (const juce::String& name, const juce::String& value) const
{
    TestHost::print (prefix + name + "=" + value);
}

juce::String CallAnswers::describe (tresult answer)
{
    switch (answer)
    {
        case kResultOk:         return "ok";
        case kResultFalse:      return "false";
        case kInvalidArgument:  return "invalid";
        case kNotImplemented:   return "notImplemented";
        case kOutOfMemory:      return "outOfMemory";
        default:                return juce::String (answer);
    }
}
