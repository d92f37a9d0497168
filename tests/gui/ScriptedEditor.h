#pragma once

#include "../host/HostRunner.h"

#include <gtest/gtest.h>

#include <unistd.h>

/** Runs the test host's scripted mode on the built bundle: the editor in a real window on a
    virtual X display of its own (xvfb-run), driven by real pointer events. */
class ScriptedEditor
{
public:
    /** `xvfb-run -a test-host script <bundle> <arguments>`; what it prints, as HostRunner reads it.
        A `wrapper` (a command that ends by running its arguments) goes in front of xvfb-run. */
    static HostRunner::Result run (const std::string& arguments, const std::string& wrapper = {})
    {
        // xvfb-run's default screen (1280 px wide) would cut off the right of the 1350-px editor
        // placed at (40, 40), and the pointer cannot leave the screen.
        const auto line = HostRunner::isolatedEnvironment() + wrapper + HostRunner::virtualDisplay ("-screen 0 1600x1000x24") + "'"
                        + std::string (ONDULA_TEST_HOST) + "' script '" + HostRunner::bundle() + "' " + arguments + " 2>&1";
        const auto result = HostRunner::runLine (line);
        return HostRunner::displayFailed (result.output) ? HostRunner::runLine (line) : result;
    }

    /** A scratch path of this test process alone, for the files a run reads or writes. */
    static std::string scratch (const std::string& name)
    {
        return HostRunner::scratch ("gui-" + std::to_string (::getpid()) + "-" + name);
    }

    /** The default settings tree with some of its text replaced, written to a scratch file for
        --tree-in; returns the path. */
    static std::string writeTree (const std::string& name, const std::vector<std::pair<std::string, std::string>>& replacements)
    {
        return HostRunner::writeTree (scratch (name), replacements);
    }

    /** Every key under a prefix, with the prefix removed. */
    static std::map<std::string, std::string> under (const HostRunner::Result& result, const std::string& prefix)
    {
        std::map<std::string, std::string> found;

        for (const auto& [key, value] : result.values)
            if (key.rfind (prefix, 0) == 0)
                found[key.substr (prefix.size())] = value;

        return found;
    }
};
