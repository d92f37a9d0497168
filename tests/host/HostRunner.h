#pragma once

#include "support/DefaultState.h"
#include "support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <sys/wait.h>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

/** Runs the test host on the built bundle and reads what it prints and writes. */
class HostRunner
{
public:
    struct Result
    {
        int exitCode = -1;
        std::string output;
        std::map<std::string, std::string> values; // key=value lines
        std::vector<float> samples;                // the recording, for play

        std::string operator[] (const std::string& key) const
        {
            const auto it = values.find (key);
            return it == values.end() ? std::string() : it->second;
        }
    };

    static std::string bundle() { return ONDULA_VST3_BUNDLE; }

    /** Settings for `--set`: every modulation at its strongest and only the wet signal heard,
        where a wrong clock, a wrong grid or a wrong value shows most. */
    static std::string strongModulation()
    {
        return " --set delay_globals_ondula_amount=1 --set delay_globals_ondula_velocity=1 --set ondula_frequency_amount=1"
               " --set ondula_amplitude_amount=1 --set ondula_pan_amount=1 --set ondula_delay_amount=1"
               " --set delay_globals_dynamics_dry=0 --set delay_globals_dynamics_wet=1 ";
    }

    /** A path for a file of this test process alone; its folder goes when the process ends. */
    static std::string scratch (const std::string& name)
    {
        static const ScratchDirectory folder ("ondula-host-tests");
        return folder.file (name);
    }

   #if defined (ONDULA_XVFB_RUN)
    /** `xvfb-run -a` with the server's arguments, in front of a command: a virtual display of the
        command's own. Its authority file lies in this test process's scratch folder, so that
        xvfb-run makes no temporary folder, whose removal after the command can fail on a busy
        machine (exit 5, whatever the command answered). */
    static std::string virtualDisplay (const std::string& serverArguments)
    {
        static int displays = 0;
        return "'" + std::string (ONDULA_XVFB_RUN) + "' -a -f '" + scratch ("Xauthority-" + std::to_string (++displays)) + "' -s '"
             + serverArguments + "' ";
    }
   #endif

    /** Whether a run's virtual display did not come up (xvfb-run -a takes the first number without
        a lock file, which a run starting at the same moment may take too), so that the command
        never ran: such a run says nothing of the plug-in, and may be made once more. */
    static bool displayFailed (const std::string& output)
    {
        // Every message of the test host's that finds no display ends so.
        return output.find ("(run under xvfb-run)") != std::string::npos || output.find ("xvfb-run: error") != std::string::npos;
    }

    /** Runs `test-host <command> <bundle> <arguments>`. A `wrapper` (a command that ends by
        running its arguments, such as xvfb-run) goes in front; what the host writes to stderr
        goes to the file `errors`. */
    static Result run (const std::string& command, const std::string& arguments, const std::string& wrapper = {},
                       const std::string& errors = "/dev/null")
    {
        return runLine (isolatedEnvironment() + wrapper + "'" + std::string (ONDULA_TEST_HOST) + "' " + command + " '" + bundle() + "' " + arguments
                        + " 2>'" + errors + "'");
    }

    /** Runs `test-host play <bundle>` with the steps in a file of this test process and reads
        the recording (interleaved) into Result::samples; `wrapper` and `errors` as for run(). */
    static Result play (const std::string& name, const std::string& steps, const std::string& arguments, const std::string& wrapper = {},
                        const std::string& errors = "/dev/null")
    {
        const auto stepsFile = scratch (name + ".steps"), out = scratch (name + ".wav");
        writeFile (stepsFile, steps);
        std::remove (out.c_str()); // no earlier run's recording stands in for a failed one
        auto result = run ("play", "--steps-file '" + stepsFile + "' --out '" + out + "' " + arguments, wrapper, errors);
        result.samples = readWavSamples (out);
        return result;
    }

    /** As play, expecting a run that ends well: exit 0 and no sample that is not finite. */
    static Result playCleanly (const std::string& name, const std::string& steps, const std::string& arguments)
    {
        auto result = play (name, steps, arguments);
        EXPECT_EQ (result.exitCode, 0) << name << "\n" << result.output;
        EXPECT_EQ (result["nonfinite"], "0") << name;
        return result;
    }

    /** Environment for a test host process: a home folder of this test process, so that nothing the
        plug-in or the framework keeps per user (presets, settings) lands in the real user's folders. */
    static std::string isolatedEnvironment()
    {
        const auto home = scratch ("home");
        return "HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' ";
    }

    /** Runs a shell line and reads the key=value lines it prints. */
    static Result runLine (const std::string& line)
    {
        Result result;

        if (auto* pipe = ::popen (line.c_str(), "r"))
        {
            char chunk[4096];

            while (const auto n = std::fread (chunk, 1, sizeof (chunk), pipe))
                result.output.append (chunk, n);

            const auto status = ::pclose (pipe);
            result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        }

        std::istringstream lines (result.output);

        for (std::string l; std::getline (lines, l);)
            if (const auto eq = l.find ('='); eq != std::string::npos && l.find (' ') > eq)
                result.values[l.substr (0, eq)] = l.substr (eq + 1);

        return result;
    }

    static std::string readFile (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        return std::string ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
    }

    static void writeFile (const std::string& path, const std::string& bytes)
    {
        std::ofstream out (path, std::ios::binary | std::ios::trunc);
        out.write (bytes.data(), (std::streamsize) bytes.size());
    }

    /** The plug-in's own block ("VC2!", the text's length, the text, a zero byte), as a DAW keeps
        it in a project; without the client's trailer, which leaves the bypass switch alone. */
    static std::string stateBlock (const std::string& xml)
    {
        const auto text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> " + xml;
        const auto length = (std::uint32_t) text.size();
        std::string block = "VC2!";

        for (int i = 0; i < 4; ++i)
            block += (char) ((length >> (8 * i)) & 0xff);

        return block + text + '\0';
    }

    /** The numbers of a comma-separated line such as "initial.parameters=0.5,0.2,...". */
    static std::vector<float> numbers (const std::string& line)
    {
        std::vector<float> result;
        std::istringstream fields (line);

        for (std::string field; std::getline (fields, field, ',');)
            result.push_back (std::stof (field));

        return result;
    }

    /** The interleaved samples of a 32-bit float WAV file written by the test host. */
    static std::vector<float> readWavSamples (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        const std::string bytes ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
        std::vector<float> samples;

        for (size_t pos = 12; pos + 8 <= bytes.size();)
        {
            const auto id = bytes.substr (pos, 4);
            std::uint32_t size = 0;
            std::memcpy (&size, bytes.data() + pos + 4, 4);

            if (id == "data" && pos + 8 + size <= bytes.size())
            {
                samples.resize (size / sizeof (float));
                std::memcpy (samples.data(), bytes.data() + pos + 8, samples.size() * sizeof (float));
                break;
            }

            pos += 8 + size + (size & 1);
        }

        return samples;
    }

    /** Writes interleaved samples as a 32-bit float WAV file, NaN and infinities as they are. */
    static void writeWavSamples (const std::string& path, const std::vector<float>& interleaved, int channels, int rate)
    {
        const auto le32 = [] (std::uint32_t v) { return std::string { (char) (v & 0xff), (char) ((v >> 8) & 0xff), (char) ((v >> 16) & 0xff), (char) (v >> 24) }; };
        const auto le16 = [] (std::uint32_t v) { return std::string { (char) (v & 0xff), (char) ((v >> 8) & 0xff) }; };
        const auto dataBytes = (std::uint32_t) (interleaved.size() * sizeof (float));
        std::string bytes = "RIFF" + le32 (36 + dataBytes) + "WAVEfmt " + le32 (16) + le16 (3) + le16 ((std::uint32_t) channels)
                          + le32 ((std::uint32_t) rate) + le32 ((std::uint32_t) (rate * channels * 4)) + le16 ((std::uint32_t) channels * 4)
                          + le16 (32) + "data" + le32 (dataBytes);
        bytes.append (reinterpret_cast<const char*> (interleaved.data()), dataBytes);
        writeFile (path, bytes);
    }

    /** The value of one property of one node in the state tree that a component state carries
        (the plug-in writes each node as one tag, each property as an attribute); NaN when absent. */
    static double treeValue (const std::string& component, const std::string& node, const std::string& property)
    {
        const auto tag = component.find ("<" + node + " ");
        const auto tagEnd = component.find ('>', tag);
        const auto attribute = component.find (" " + property + "=\"", tag);

        if (tag == std::string::npos || attribute == std::string::npos || attribute > tagEnd)
            return std::numeric_limits<double>::quiet_NaN();

        return std::stod (component.substr (attribute + property.size() + 3));
    }

    /** The number a VST3 host knows a parameter by: the ID string's hash, limited to 31 bits. */
    static std::string vst3Number (const std::string& id)
    {
        std::uint32_t hash = 0;

        for (const unsigned char c : id) // the IDs are ASCII, so bytes are characters
            hash = 31u * hash + c;

        return std::to_string (hash & 0x7fffffffu);
    }

    /** Writes the default settings tree with some of its text replaced (each text must occur) to
        `path`, for --tree-in; returns the path. */
    static std::string writeTree (const std::string& path, const std::vector<std::pair<std::string, std::string>>& replacements)
    {
        std::string xml = DefaultState::treeXml;

        for (const auto& [from, to] : replacements)
        {
            const auto at = xml.find (from);
            EXPECT_NE (at, std::string::npos) << from;

            if (at != std::string::npos)
                xml.replace (at, from.size(), to);
        }

        writeFile (path, xml);
        return path;
    }
};
