#pragma once

#include <juce_core/juce_core.h>

class Vst3Module;

/** Calls that careless or hostile hosts make on the plug-in's VST3 interfaces besides processing:
    indexes and ids out of range, null strings, info structures and streams, parameter texts that
    read as no number, values outside 0..1, speaker arrangements with bits the SDK does not
    define, bus directions and media types it does not define, more buses than the plug-in has,
    messages with a forged controller pointer, no attribute list or no ID. Each answer is printed
    as `contract.<call>=<answer>` (ok, false, invalid, notImplemented, outOfMemory, the number of
    another answer, or "threw" when an exception came out of the plug-in), bus counts as
    `contract.busCount.<...>=<count>`, followed by counts over the parameter texts and value texts.

    Calls within the contract that the plug-in must take are printed as `contract.valid.<call>`:
    names and texts as long as the SDK's attribute lists hand them, and a controller and a
    component connected through a point of the host's own (contract.proxyMessage says whether the
    controller sent it its pointer). The module is left connected and inactive, for the host to
    play it afterwards. */
class HostContractCalls
{
public:
    static void run (const Vst3Module& module);
};
