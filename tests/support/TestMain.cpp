#include "editor/PresetFolder.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

namespace
{
/** Turns every framework assertion into a test failure; otherwise they only print. */
class AssertionFailingLogger : public juce::Logger
{
public:
    void logMessage (const juce::String& message) override
    {
        if (message.startsWith ("JUCE Assertion failure"))
            ADD_FAILURE() << message;
        else
            std::cerr << message << std::endl;
    }
};
} // namespace

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    // Whatever a test writes stays in this process's own folder, which goes when it ends: the
    // framework's temporary files and the tests' scratch folders (through TMPDIR), and the preset
    // folder an editor would otherwise open in the user's home.
    ScratchDirectory scratch ("ondula-unit-tests");
    ::setenv ("TMPDIR", scratch.path().c_str(), 1);
    PresetFolder::redirectDefaultDirectory (juce::File (scratch.file ("user-presets")));

    juce::ScopedJuceInitialiser_GUI juce;
    AssertionFailingLogger logger;
    juce::Logger::setCurrentLogger (&logger);

    const auto result = RUN_ALL_TESTS();

    juce::Logger::setCurrentLogger (nullptr);
    return result;
}
