#include "HostRunner.h"

#include <gtest/gtest.h>

// Without a display the framework crashes once a window is asked for; the test host's window
// commands and its editor view battery say so instead and fail cleanly, whatever DISPLAY holds.
TEST (TestHostWithoutDisplay, WindowCommandsStopAtOnceWithAMessage)
{
    const auto out = HostRunner::scratch ("without-display.wav");
    const auto viewCalls = "--steps 'play 0 512 512' --out '" + out + "' --view-calls";
    const struct { std::string command, arguments, display; } cases[] = {
        { "open-editor", "--steps settle", "env -u DISPLAY " },
        { "script", "--steps settle", "env -u DISPLAY " },
        { "open-editor", "--steps settle", "env DISPLAY=:31999 " }, // a display that is not there
        { "play", viewCalls, "env -u DISPLAY " }, // the editor view battery
        { "play", viewCalls, "env DISPLAY=:31999 " },
    };

    for (const auto& c : cases)
    {
        const auto result = HostRunner::runLine (c.display + HostRunner::isolatedEnvironment() + "'" + ONDULA_TEST_HOST + "' "
                                                 + c.command + " '" + HostRunner::bundle() + "' " + c.arguments + " 2>&1");
        EXPECT_EQ (result.exitCode, 2) << c.command << " " << c.display << result.output;
        EXPECT_NE (result.output.find (" needs a display (run under xvfb-run)"), std::string::npos) << result.output;
        EXPECT_NE (result.output.find (c.command), std::string::npos) << result.output;
        EXPECT_EQ (result["result"], "failed");
    }
}
