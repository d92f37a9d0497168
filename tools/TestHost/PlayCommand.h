#pragma once

#include <juce_core/juce_core.h>

/** play <bundle> --out out.wav (--steps "STEPS" | --steps-file file)
                  [--in file.wav | --signal impulse|noise|sine|clicks|silence --seconds s]
                  [--region-at pos] [--rate hz] [--channels 1|2] [--bpm b] [--offline]
                  [--max-block n] [--announced-max-block n] [--component-in file] [--tree-in tree.xml] [--set id=value]...
                  [--busy-message-thread] [--state-out file] [--contract-calls] [--view-calls | --view-case name]

    Drives the bundle's VST3 interfaces with a DAW's own call pattern, without the framework's
    hosting (which sends one value per parameter and block, at its start, and makes up the
    process context itself): the steps (PlaySteps) become process calls with the DAW's process
    context, transport state and parameter queues, on an audio thread of its own while this
    thread serves the message loop and runs the host-side edits and re-activations. The
    recording (the output of the play, speed, stopped and noposition steps, in order) is written
    as 32-bit float WAV. --announced-max-block tells the plug-in a largest block other than the
    largest call the steps make (a host that makes longer calls than it announced).

    --set applies a stored value as a DAW restoring a project does: IEditController::
    setParamNormalized, and the value as a point at offset 0 of the first call. The main thread
    also hands the controller the latest value of each automated parameter, as a DAW keeps its
    controller in step with the automation it plays. With
    --busy-message-thread a second host thread asks for the component state in a tight loop from
    before the stored values to the end of the run, which holds the plug-in's message thread.

    --contract-calls and --view-calls run the batteries of out-of-contract calls (HostContractCalls)
    and of editor view calls (ViewContractCalls, which needs a display; --view-case runs one of its
    cases alone) before anything is set or set up, so that the play shows whether they left a trace.

    Prints samples, calls, channel<c>.peak|rms, nonfinite, param.<number> (what the controller
    reports after the run), busy.getStateCalls, and result=ok. */
class PlayCommand
{
public:
    static int run (const juce::StringArray& args);
};
