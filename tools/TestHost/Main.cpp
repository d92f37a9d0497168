#include "ControllerCommand.h"
#include "HostCommands.h"
#include "OpenEditorCommand.h"
#include "PlayCommand.h"
#include "ScriptCommand.h"
#include "StateCommand.h"
#include "XTestPointer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

/** A JUCE application so that plug-in windows opened by subcommands get the framework's full
    platform set-up; without a window it runs headless. */
class TestHostApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Ondula Test Host"; }
    const juce::String getApplicationVersion() override { return "1.0.0"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        auto args = getCommandLineParameterArray();
        const auto command = args[0];
        args.remove (0);

        int result = 2;

        if ((command == "open-editor" || command == "script") && ! XTestPointer::hasDisplay())
        {
            // Stop before the framework tries to open a window without one, which crashes.
            std::cerr << command << " needs a display (run under xvfb-run)" << std::endl;
            std::cout << "result=failed" << std::endl;
        }
        else if (command == "list")
            result = HostCommands::list (args);
        else if (command == "render")
            result = HostCommands::render (args);
        else if (command == "open-editor")
            result = OpenEditorCommand::run (args);
        else if (command == "script")
            result = ScriptCommand::run (args);
        else if (command == "state")
            result = StateCommand::run (args);
        else if (command == "controller")
            result = ControllerCommand::run (args);
        else if (command == "play")
            result = PlayCommand::run (args);
        else
            HostCommands::printUsage();

        setApplicationReturnValue (result);
        quit();
    }

    void shutdown() override {}
    void anotherInstanceStarted (const juce::String&) override {}
    void systemRequestedQuit() override { quit(); }
};

START_JUCE_APPLICATION (TestHostApplication)
