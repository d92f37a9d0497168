#pragma once

#include <juce_core/juce_core.h>

class Vst3Module;

/** Calls that careless or hostile hosts make on the plug-in's VST3 interfaces besides processing:
    indexes and ids out of range, null strings, info structures and streams, parameter texts that
    read as no number, values outside 0..1 and speaker arrangements with bits the SDK does not
    define. Each answer is printed as `contract.<call>=<answer>` (ok, false, invalid,
    notImplemented, outOfMemory, the number of another answer, or "threw" when an exception came
    out of the plug-in), followed by counts over the parameter texts and value texts. The module
    is left connected and inactive, for the host to play it afterwards. */
class HostContractCalls
{
public:
    static void run (const Vst3Module& module);
};
