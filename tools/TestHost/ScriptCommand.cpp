#include "ScriptCommand.h"

#include "EditorScript.h"
#include "HostEventLog.h"
#include "HostReport.h"
#include "PluginStateTree.h"
#include "SoundProbe.h"
#include "TestHost.h"
#include "XClipboard.h"
#include "XTestPointer.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <map>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

/** Plays silence through the plug-in on a thread of its own at about real-time pace, as a host's
    audio thread does while nothing is playing; paused while a render uses the plug-in. */
class BackgroundAudio : public juce::Thread
{
public:
    explicit BackgroundAudio (juce::AudioPluginInstance& pluginToRun)
        : juce::Thread ("script audio"), plugin (pluginToRun) {}

    void run() override
    {
        juce::AudioBuffer<float> buffer (juce::jmax (2, plugin.getTotalNumOutputChannels()), blockSize);
        juce::MidiBuffer midi;

        while (! threadShouldExit())
        {
            buffer.clear();
            plugin.processBlock (buffer, midi);
            ++blocks;
            wait (10);
        }
    }

    juce::AudioPluginInstance& plugin;
    // Written by the audio thread, read at the end.
    std::atomic<int> blocks { 0 };
};

/** The editor in a top-level window at a fixed place, as a host shows it. */
class EditorWindow : public juce::DocumentWindow
{
public:
    EditorWindow (juce::AudioPluginInstance& pluginToShow, juce::AudioProcessorEditor& editorToShow)
        : juce::DocumentWindow ("Ondula Delay Free", juce::Colours::black, juce::DocumentWindow::closeButton),
          plugin (pluginToShow), editor (editorToShow)
    {
        setUsingNativeTitleBar (true);
        setContentNonOwned (&editor, true);
        setTopLeftPosition (40, 40);
        setVisible (true);
    }

    ~EditorWindow() override
    {
        clearContentComponent();
        plugin.editorBeingDeleted (&editor);
        delete &editor;
    }

    void closeButtonPressed() override {}

    juce::AudioPluginInstance& plugin;
    juce::AudioProcessorEditor& editor;
};

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;

        TestHost::pumpMessages (10);
    }

    return true;
}

/** Runs the steps against one plug-in and remembers what they measured. */
class ScriptRunner
{
public:
    ScriptRunner (juce::AudioPluginInstance& pluginToUse, HostEventLog& logToUse, const juce::File& renderDirectory)
        : plugin (pluginToUse), log (logToUse), audio (pluginToUse), renderDir (renderDirectory) {}

    ~ScriptRunner()
    {
        window.reset();
        audio.stopThread (5000);
    }

    bool start (juce::String& error)
    {
        if (! pointer.isAvailable (error))
            return false;

        audio.startThread();
        return openEditor (error);
    }

    bool openEditor (juce::String& error)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        auto* editor = plugin.createEditorIfNeeded();

        if (editor == nullptr)
        {
            error = "the plug-in made no editor";
            return false;
        }

        window = std::make_unique<EditorWindow> (plugin, *editor);

        // Pointer events reach the plug-in once its own window is mapped inside ours.
        const bool ready = pumpUntil ([this]
        {
            auto* peer = window->getPeer();
            return peer != nullptr
                && pointer.showsChildWindowAt (peer->getNativeHandle(), toPeer ({ window->editor.getWidth() / 2, window->editor.getHeight() / 2 }),
                                               physical (window->editor.getWidth()), physical (window->editor.getHeight()));
        }, 30000);

        if (! ready)
        {
            error = "the plug-in's window did not appear";
            return false;
        }

        // From the host's request to the editor's window showing on screen.
        TestHost::print ("editor.seconds=" + juce::String ((juce::Time::getMillisecondCounterHiRes() - start) / 1000.0, 3));
        TestHost::pumpMessages (300);
        const auto origin = toScreen ({ 0, 0 });
        TestHost::print ("editor.size=" + juce::String (window->editor.getWidth()) + "x" + juce::String (window->editor.getHeight()));
        TestHost::print ("editor.screen=" + juce::String (origin.x) + "," + juce::String (origin.y));
        return true;
    }

    bool perform (const EditorScript::Step& step, juce::String& error)
    {
        const auto& c = step.command;
        const auto at = [&] (int first) { return toScreen ({ step.integer (first, 0), step.integer (first + 1, 0) }); };

        if (c == "click" || c == "right-click" || c == "alt-click" || c == "double-click")
        {
            const int button = c == "right-click" ? 3 : 1;
            pointer.moveTo (at (0));

            if (c == "alt-click")
                pointer.holdAlt (true);

            // Both clicks of a double-click go out together, so the server stamps them close.
            for (int i = 0; i < (c == "double-click" ? 2 : 1); ++i)
            {
                pointer.press (button);
                pointer.release (button);
            }

            if (c == "alt-click")
                pointer.holdAlt (false);

            pointer.sync();
            TestHost::pumpMessages (100);
        }
        else if (c == "move")
        {
            pointer.moveTo (at (0));
            pointer.sync();
            TestHost::pumpMessages (100);
        }
        else if (c == "drag")
        {
            const auto from = at (0), to = at (2);
            const int moves = juce::jmax (1, step.integer (4, 10));
            pointer.moveTo (from);
            pointer.press (1);
            pointer.sync();
            TestHost::pumpMessages (30);

            for (int i = 1; i <= moves; ++i)
            {
                pointer.moveTo (from + (to - from) * i / moves);
                pointer.sync();
                TestHost::pumpMessages (15);
            }

            pointer.release (1);
            pointer.sync();
            TestHost::pumpMessages (100);
        }
        else if (c == "type" || c == "key")
        {
            for (const auto& argument : step.arguments)
                if (! (c == "type" ? pointer.type (argument) : pointer.pressKey (argument)))
                    return fail ("no key on this display gives " + argument.quoted(), error);

            pointer.sync();
            TestHost::pumpMessages (100);
        }
        else if (c == "clipboard")
        {
            const auto text = XClipboard::readText ([] { TestHost::pumpMessages (10); }, 5000);

            if (! text)
                return fail ("nothing on the clipboard", error);

            TestHost::print ("clipboard." + step.arguments[0] + "=" + text->replace ("\n", "\\n"));
        }
        else if (c == "pixel")
        {
            TestHost::pumpMessages (50); // let the window finish painting
            TestHost::print ("pixel." + step.arguments[2] + "=" + pointer.colourAt (at (0)).toDisplayString (false));
        }
        else if (c == "wait")
        {
            TestHost::pumpMessages (step.integer (0, 0));
        }
        else if (c == "settle")
        {
            const int quietMs = step.integer (0, 500);
            auto heard = log.size();
            auto quietSince = juce::Time::getMillisecondCounter();

            pumpUntil ([&]
            {
                if (log.size() != heard)
                {
                    heard = log.size();
                    quietSince = juce::Time::getMillisecondCounter();
                }

                return juce::Time::getMillisecondCounter() - quietSince >= (juce::uint32) quietMs;
            }, 30000);
        }
        else if (c == "wait-param")
        {
            auto* parameter = TestHost::findParameter (plugin, step.arguments[0]);
            const auto target = (float) step.number (1, 0.0);

            if (parameter == nullptr)
                return fail ("unknown parameter " + step.arguments[0], error);

            if (! pumpUntil ([&] { return std::abs (parameter->getValue() - target) <= 0.0005f; }, step.integer (2, 20000)))
                return fail ("parameter " + step.arguments[0] + " stayed at " + juce::String (parameter->getValue()), error);
        }
        else if (c == "wait-tree")
        {
            const auto node = step.arguments[0].upToFirstOccurrenceOf (".", false, false);
            const auto attribute = step.arguments[0].fromFirstOccurrenceOf (".", false, false);
            const auto target = step.arguments[1];
            juce::String stored;

            const auto holds = [&]
            {
                const auto tree = PluginStateTree::read (plugin);
                const auto* element = tree == nullptr ? nullptr
                                    : tree->getTagName() == node ? tree.get() : tree->getChildByName (node);

                if (element == nullptr && tree != nullptr)
                    for (auto* group : tree->getChildIterator())
                        if ((element = group->getChildByName (node)) != nullptr)
                            break;

                stored = element != nullptr ? element->getStringAttribute (attribute, "(missing)") : "(no such node)";
                // Long digit runs such as step patterns are texts: as doubles they would
                // lose their later digits.
                const auto isNumber = [] (const juce::String& t) { return t.length() <= 15 && t.containsOnly ("0123456789.-+eE"); };
                const bool numbers = isNumber (stored) && isNumber (target);
                return numbers ? std::abs (stored.getDoubleValue() - target.getDoubleValue()) <= 1.0e-6 : stored == target;
            };

            if (! pumpUntil ([&] { TestHost::pumpMessages (90); return holds(); }, step.integer (2, 20000)))
                return fail (step.arguments[0] + " stayed at " + stored, error);
        }
        else if (c == "render")
        {
            audio.stopThread (5000);
            auto result = SoundProbe::render (plugin, sampleRate, blockSize, step.number (1, 2.0), step.number (2, 10.0));
            audio.startThread();

            const auto key = "render." + step.arguments[0] + ".";
            TestHost::print (key + "rms=" + juce::String (result.rms));
            TestHost::print (key + "peak=" + juce::String (result.peak));
            TestHost::print (key + "onsetSample=" + juce::String (result.onsetSample));
            TestHost::print (key + "onsetMs=" + juce::String (result.onsetSample < 0 ? -1.0 : result.onsetSample * 1000.0 / sampleRate));

            if (renderDir != juce::File())
            {
                const auto file = renderDir.getChildFile (step.arguments[0] + ".wav");

                if (! (renderDir.createDirectory() && SoundProbe::writeWav (file, result)))
                    return fail ("cannot write " + file.getFullPathName(), error);

                TestHost::print (key + "file=" + file.getFullPathName());
            }

            renders[step.arguments[0]] = std::move (result);
        }
        else if (c == "compare")
        {
            const auto a = renders.find (step.arguments[0]), b = renders.find (step.arguments[1]);

            if (a == renders.end() || b == renders.end())
                return fail ("compare needs two renders made before it", error);

            TestHost::print ("compare." + step.arguments[0] + "." + step.arguments[1] + ".difference="
                             + juce::String (SoundProbe::difference (a->second, b->second)));
        }
        else if (c == "report")
        {
            report (step.arguments[0] + ".");
        }
        else if (c == "reopen")
        {
            window.reset();
            TestHost::pumpMessages (300);
            return openEditor (error);
        }

        return true;
    }

    void report (const juce::String& prefix)
    {
        if (const auto tree = PluginStateTree::read (plugin))
            HostReport::printTree (*tree, prefix + "tree.");

        HostReport::printParameters (plugin, prefix + "param.");
    }

    int audioBlocks() const { return audio.blocks.load(); }

private:
    static bool fail (const juce::String& what, juce::String& error)
    {
        error = what;
        return false;
    }

    float scale() const { return window->getPeer() != nullptr ? (float) window->getPeer()->getPlatformScaleFactor() : 1.0f; }
    int physical (int logical) const { return juce::roundToInt ((float) logical * scale()); }

    juce::Point<int> toPeer (juce::Point<int> inEditor) const
    {
        const auto logical = window->getLocalPoint (&window->editor, inEditor);
        return { physical (logical.x), physical (logical.y) };
    }

    juce::Point<int> toScreen (juce::Point<int> inEditor) const
    {
        return pointer.toRoot (window->getPeer()->getNativeHandle(), toPeer (inEditor));
    }

    juce::AudioPluginInstance& plugin;
    HostEventLog& log;
    BackgroundAudio audio;
    juce::File renderDir;
    XTestPointer pointer;
    std::unique_ptr<EditorWindow> window;
    std::map<juce::String, SoundProbe::Result> renders;
};

struct Options
{
    juce::String bundle, steps, treeIn, componentIn, stateIn, stateOut, renderDir;
    juce::StringArray sets;
};

bool readOptions (const juce::StringArray& args, Options& options, juce::String& error)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        const auto next = [&] { return i + 1 < args.size() ? args[++i] : juce::String(); };

        if (a == "--steps")
            options.steps << next() << "\n";
        else if (a == "--steps-file")
        {
            if (! TestHost::appendStepsFile (next(), 1024 * 1024, options.steps, error))
                return false;
        }
        else if (a == "--tree-in")
            options.treeIn = next();
        else if (a == "--component-in")
            options.componentIn = next();
        else if (a == "--set")
            options.sets.add (next());
        else if (a == "--state-in")
            options.stateIn = next();
        else if (a == "--state-out")
            options.stateOut = next();
        else if (a == "--render-dir")
            options.renderDir = next();
        else if (options.bundle.isEmpty() && ! a.startsWith ("--"))
            options.bundle = a;
        else
        {
            error = "unknown argument " + a;
            return false;
        }
    }

    if (options.bundle.isEmpty())
        error = "usage: script <bundle> --steps \"...\" | --steps-file file [--tree-in tree.xml] [--component-in file] [--state-in file] "
                "[--set id=value]... [--render-dir dir] [--state-out file]";

    return options.bundle.isNotEmpty();
}

bool prepare (juce::AudioPluginInstance& plugin, const Options& options, juce::String& error)
{
    plugin.prepareToPlay (sampleRate, blockSize);

    if (options.treeIn.isNotEmpty())
    {
        const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.treeIn);
        const auto tree = PluginStateTree::readFile (file);

        if (tree == nullptr)
        {
            error = "cannot read the tree " + file.getFullPathName();
            return false;
        }

        PluginStateTree::load (plugin, *tree);
    }

    if (options.stateIn.isNotEmpty())
    {
        // What --state-out wrote: the host's whole state, as a project reopens it.
        juce::MemoryBlock state;

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.stateIn).loadFileAsData (state))
        {
            error = "cannot read " + options.stateIn;
            return false;
        }

        plugin.setStateInformation (state.getData(), (int) state.getSize());
    }

    if (options.componentIn.isNotEmpty())
    {
        juce::MemoryBlock block;

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.componentIn).loadFileAsData (block))
        {
            error = "cannot read " + options.componentIn;
            return false;
        }

        TestHost::setComponentState (plugin, block);
    }

    for (const auto& set : options.sets)
    {
        const auto id = set.upToFirstOccurrenceOf ("=", false, false);
        auto* parameter = TestHost::findParameter (plugin, id);

        if (parameter == nullptr)
        {
            error = "unknown parameter " + id;
            return false;
        }

        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost (set.fromFirstOccurrenceOf ("=", false, false).getFloatValue());
        parameter->endChangeGesture();
    }

    // Parameter values travel to the plug-in's controller through the message loop.
    TestHost::pumpMessages (300);
    return true;
}
} // namespace

int ScriptCommand::run (const juce::StringArray& args)
{
    Options options;
    EditorScript script;
    juce::String error;

    if (! readOptions (args, options, error) || ! script.parse (options.steps, error))
    {
        TestHost::fail (error);
        return 2;
    }

    auto plugin = TestHost::load (juce::File::getCurrentWorkingDirectory().getChildFile (options.bundle), sampleRate, blockSize, error);

    if (plugin == nullptr || ! prepare (*plugin, options, error))
    {
        TestHost::fail (error);
        return 1;
    }

    if (const auto tree = PluginStateTree::read (*plugin))
        HostReport::printTree (*tree, "loaded.tree.");

    HostReport::printParameters (*plugin, "loaded.param.");

    HostEventLog log;
    plugin->addListener (&log);
    bool ok = true;

    {
        ScriptRunner runner (*plugin, log, options.renderDir.isEmpty() ? juce::File()
                                                                        : juce::File::getCurrentWorkingDirectory().getChildFile (options.renderDir));
        ok = runner.start (error);

        for (size_t i = 0; ok && i < script.steps.size(); ++i)
        {
            TestHost::print ("step" + juce::String ((int) i + 1) + "=" + script.steps[i].text.replaceCharacter (' ', '_'));
            ok = runner.perform (script.steps[i], error);
        }

        if (! ok)
            TestHost::fail (error);

        TestHost::pumpMessages (200);
        runner.report ({});
        TestHost::print ("audioBlocks=" + juce::String (runner.audioBlocks()));
    }

    TestHost::pumpMessages (200);
    plugin->removeListener (&log);
    log.print (*plugin, "host.");

    if (options.stateOut.isNotEmpty())
    {
        juce::MemoryBlock state;
        plugin->getStateInformation (state);

        if (! juce::File::getCurrentWorkingDirectory().getChildFile (options.stateOut).replaceWithData (state.getData(), state.getSize()))
        {
            TestHost::fail ("cannot write " + options.stateOut);
            ok = false;
        }
    }

    TestHost::print (ok ? "result=ok" : "result=failed");
    plugin->releaseResources();
    plugin.reset();
    TestHost::pumpMessages (100);
    return ok ? 0 : 1;
}
