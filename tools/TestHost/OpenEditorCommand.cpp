#include "OpenEditorCommand.h"

#include "EditorIdleCpu.h"
#include "TestHost.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace
{
/** Plays blocks through the plug-in on a thread of its own, as a host's audio thread does. */
class AudioRunner : public juce::Thread
{
public:
    explicit AudioRunner (juce::AudioPluginInstance& pluginToRun)
        : juce::Thread ("open-editor audio"), plugin (pluginToRun) {}

    void run() override
    {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        double phase = 0.0;

        while (! threadShouldExit())
        {
            for (int i = 0; i < buffer.getNumSamples(); ++i, phase += 2.0 * juce::MathConstants<double>::pi * 220.0 / 48000.0)
                for (int ch = 0; ch < 2; ++ch)
                    buffer.setSample (ch, i, 0.25f * (float) std::sin (phase));

            plugin.processBlock (buffer, midi);
            ++blocks;
            wait (10);
        }
    }

    juce::AudioPluginInstance& plugin;
    // Written by the audio thread, read by the command at the end.
    std::atomic<int> blocks { 0 };
};

/** Counts every parameter change and gesture the plug-in reports to its host. */
struct ParameterSpy : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
    {
        ++changes;
        lastIndex = index;
    }

    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int) override { ++gestures; }

    std::atomic<int> changes { 0 };
    std::atomic<int> gestures { 0 };
    std::atomic<int> lastIndex { -1 };
};

class EditorWindow : public juce::DocumentWindow
{
public:
    explicit EditorWindow (juce::AudioProcessorEditor& editor)
        : juce::DocumentWindow ("Ondula Delay Free", juce::Colours::black, juce::DocumentWindow::closeButton)
    {
        setUsingNativeTitleBar (true);
        setContentNonOwned (&editor, true);
        setTopLeftPosition (40, 40);
        setVisible (true);
    }

    void closeButtonPressed() override {}
};

struct SharedMemorySegments
{
    int made = 0, marked = 0;
};

/** The shared-memory segments this process made that are still in the system (the X windows'
    images), and how many of them are marked for removal: freed once every process attached to
    them has let go. */
SharedMemorySegments sharedMemorySegments()
{
    constexpr long markedForRemoval = 01000; // SHM_DEST in the segment's mode
    const auto ownPid = juce::String ((int) ::getpid());
    SharedMemorySegments segments;

    for (const auto& line : juce::StringArray::fromLines (juce::File ("/proc/sysvipc/shm").loadFileAsString()))
    {
        auto fields = juce::StringArray::fromTokens (line, " ", {});
        fields.removeEmptyStrings();

        if (fields.size() > 4 && fields[4] == ownPid)
        {
            ++segments.made;
            segments.marked += (std::strtol (fields[2].toRawUTF8(), nullptr, 8) & markedForRemoval) != 0 ? 1 : 0;
        }
    }

    return segments;
}

std::vector<float> parameterValues (juce::AudioPluginInstance& plugin)
{
    std::vector<float> values;

    for (auto* parameter : plugin.getParameters())
        values.push_back (parameter->getValue());

    return values;
}
} // namespace

int OpenEditorCommand::run (const juce::StringArray& args)
{
    juce::StringArray positional;
    int cycles = 2;
    int holdMs = 1500;
    int idleCpuSeconds = 0;
    bool dieWhileOpen = false;

    for (int i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--cycles" && i + 1 < args.size())
            cycles = juce::jmax (1, args[++i].getIntValue());
        else if (args[i] == "--hold-ms" && i + 1 < args.size())
            holdMs = juce::jmax (100, args[++i].getIntValue());
        else if (args[i] == "--idle-cpu-seconds" && i + 1 < args.size())
            idleCpuSeconds = juce::jlimit (0, 600, args[++i].getIntValue());
        else if (args[i] == "--die-while-open")
            dieWhileOpen = true;
        else
            positional.add (args[i]);
    }

    if (positional.isEmpty())
    {
        TestHost::fail ("usage: open-editor <bundle> [--cycles n] [--hold-ms ms] [--idle-cpu-seconds s] [--die-while-open]");
        return 2;
    }

    auto plugin = TestHost::loadOrReport (positional[0], 48000.0, 512);

    if (plugin == nullptr)
        return 1;

    if (! plugin->hasEditor())
    {
        TestHost::fail ("the plug-in reports no editor");
        return 1;
    }

    plugin->prepareToPlay (48000.0, 512);
    TestHost::pumpMessages (200);

    juce::MemoryBlock stateBefore;
    plugin->getStateInformation (stateBefore);
    const auto valuesBefore = parameterValues (*plugin);

    ParameterSpy spy;
    plugin->addListener (&spy);

    AudioRunner audio (*plugin);
    audio.startThread();

    if (idleCpuSeconds > 0)
        EditorIdleCpu::measure ("closed", idleCpuSeconds);

    int failures = 0;
    const auto check = [&failures] (bool condition, const juce::String& what)
    {
        if (! condition)
        {
            TestHost::fail (what);
            ++failures;
        }
    };

    for (int cycle = 1; cycle <= cycles; ++cycle)
    {
        auto* editor = plugin->createEditorIfNeeded();
        check (editor != nullptr, "cycle " + juce::String (cycle) + ": no editor was created");

        if (editor == nullptr)
            break;

        {
            EditorWindow window (*editor);
            TestHost::pumpMessages (holdMs);

            if (idleCpuSeconds > 0 && cycle == 1)
                EditorIdleCpu::measure ("open", idleCpuSeconds);

            if (dieWhileOpen)
            {
                // As a host that crashes with the editor shown, once the window has drawn into its
                // image: nothing of the process's own clean-up runs.
                for (int waited = 0; sharedMemorySegments().made == 0 && waited < 20000; waited += 100)
                    TestHost::pumpMessages (100);

                const auto segments = sharedMemorySegments();
                TestHost::print ("pid=" + juce::String ((int) ::getpid()));
                TestHost::print ("sharedMemory.segments=" + juce::String (segments.made));
                TestHost::print ("sharedMemory.marked=" + juce::String (segments.marked));
                ::kill (::getpid(), SIGKILL);
            }

            check (window.isOnDesktop() && window.getPeer() != nullptr, "the window is not on the desktop");
            check (editor->getWidth() == 1350 && editor->getHeight() == 660,
                   "editor size " + juce::String (editor->getWidth()) + "x" + juce::String (editor->getHeight()));
            TestHost::print ("cycle" + juce::String (cycle) + ".size=" + juce::String (editor->getWidth()) + "x" + juce::String (editor->getHeight()));

            window.clearContentComponent();
            plugin->editorBeingDeleted (editor);
            delete editor;
        }

        TestHost::pumpMessages (300);
        check (spy.changes.load() == 0 && spy.gestures.load() == 0,
               "opening the editor changed host parameters (" + juce::String (spy.changes.load()) + " changes, last index "
                   + juce::String (spy.lastIndex.load()) + ")");
        check (parameterValues (*plugin) == valuesBefore, "parameter values moved while the editor was open");
    }

    audio.stopThread (2000);
    plugin->removeListener (&spy);

    juce::MemoryBlock stateAfter;
    plugin->getStateInformation (stateAfter);
    check (stateAfter == stateBefore, "the saved state changed across opening and closing the editor");
    check (audio.blocks.load() > 0, "no audio ran while the editor was open");

    TestHost::print ("cycles=" + juce::String (cycles));
    TestHost::print ("audioBlocks=" + juce::String (audio.blocks.load()));
    TestHost::print ("parameterChanges=" + juce::String (spy.changes.load()));
    TestHost::print (failures == 0 ? "result=ok" : "result=failed");

    plugin->releaseResources();
    plugin.reset();
    TestHost::pumpMessages (100);
    return failures == 0 ? 0 : 1;
}
