#include "HostRunner.h"

#include <gtest/gtest.h>

// Without a display the framework crashes once a window is asked for; the test host's window
// commands say so instead and fail cleanly, whatever DISPLAY holds.
TEST (TestHostWithoutDisplay, WindowCommandsStopAtOnceWithAMessage)
{
    const struct { const char* command; const char* display; } cases[] = {
        { "open-editor", "env -u DISPLAY " },
        { "script", "env -u DISPLAY " },
        { "open-editor", "env DISPLAY=:31999 " }, // a display that is not there
    };

    for (const auto& c : cases)
    {
        const auto result = HostRunner::runLine (std::string (c.display) + HostRunner::isolatedEnvironment() + "'" + ONDULA_TEST_HOST + "' "
                                                 + c.command + " '" + HostRunner::bundle() + "' --steps settle 2>&1");
        EXPECT_EQ (result.exitCode, 2) << c.command << " " << c.display << result.output;
        EXPECT_NE (result.output.find (std::string (c.command) + " needs a display (run under xvfb-run)"), std::string::npos) << result.output;
        EXPECT_EQ (result["result"], "failed");
    }
}
