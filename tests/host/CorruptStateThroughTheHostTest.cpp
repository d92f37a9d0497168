#include "HostRunner.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace
{
const std::string identifier = "JUCEPrivateData";

std::string littleEndian64 (std::uint64_t value)
{
    std::string bytes (8, '\0');

    for (size_t i = 0; i < 8; ++i)
        bytes[i] = (char) ((value >> (8 * i)) & 0xff);

    return bytes;
}

/** A component state as the framework's VST3 client writes it: the plug-in's own block, eight
    zero bytes, the client's private data (its bypass switch), the size of that data in eight
    bytes and the identifier. */
struct ComponentState
{
    std::string plugin, privateData;

    static ComponentState split (const std::string& bytes)
    {
        ComponentState state;
        std::uint32_t length = 0;

        if (bytes.size() < 8 || bytes.compare (0, 4, "VC2!") != 0)
            return state;

        std::memcpy (&length, bytes.data() + 4, 4);
        state.plugin = bytes.substr (0, 8 + (size_t) length + 1);
        const auto trailerStart = state.plugin.size() + 8;

        if (bytes.size() >= trailerStart + 8 + identifier.size())
            state.privateData = bytes.substr (trailerStart, bytes.size() - trailerStart - 8 - identifier.size());

        return state;
    }

    std::string withSizeField (std::uint64_t size) const
    {
        return plugin + std::string (8, '\0') + privateData + littleEndian64 (size) + identifier;
    }

    std::string whole() const { return withSizeField (privateData.size()); }
};

struct Snapshot
{
    std::string settings, parameters, bypass;

    static Snapshot of (const HostRunner::Result& result, const std::string& prefix)
    {
        return { result[prefix + ".settings"], result[prefix + ".parameters"], result[prefix + ".bypass"] };
    }

    bool operator== (const Snapshot& other) const
    {
        return settings == other.settings && parameters == other.parameters && bypass == other.bypass;
    }
};

std::ostream& operator<< (std::ostream& out, const Snapshot& s)
{
    return out << "settings " << s.settings << ", bypass " << s.bypass << ", parameters " << s.parameters;
}
} // namespace

// A DAW opening a project hands the plug-in's saved bytes to IComponent::setState. Whatever the
// bytes, the host must survive; a trailer that does not fit is ignored, so the plug-in's own
// settings still load and the bypass switch stays as it was; a block with nothing loadable
// changes nothing; and a sound block loads afterwards.
TEST (CorruptStateThroughTheHost, AnInconsistentTrailerNeitherCrashesNorLosesTheSettings)
{
    const auto a = HostRunner::scratch ("trailer-a.component");
    const auto b = HostRunner::scratch ("trailer-b.component");
    ASSERT_EQ (HostRunner::run ("state", "--set delay_globals_time_time=0.31 --set delay_globals_dynamics_wet=0.8 "
                                         "--set Bypass=1 --component-out '" + a + "'").exitCode, 0);
    ASSERT_EQ (HostRunner::run ("state", "--component-out '" + b + "'").exitCode, 0);

    const auto bytesA = HostRunner::readFile (a);
    const auto stateA = ComponentState::split (bytesA);
    ASSERT_FALSE (stateA.privateData.empty()) << "the client wrote no trailer";
    ASSERT_EQ (stateA.whole(), bytesA) << "the trailer is not laid out as expected";

    const auto p = (std::uint64_t) stateA.privateData.size();
    const auto sizeFieldAt = stateA.plugin.size() + 8 + stateA.privateData.size();

    enum Outcome { settingsLoad, nothingChanges };
    struct Case { std::string name, bytes; Outcome outcome; };
    std::vector<Case> cases = {
        { "size 0", stateA.withSizeField (0), settingsLoad },
        { "size 1", stateA.withSizeField (1), settingsLoad },
        { "true size - 1", stateA.withSizeField (p - 1), settingsLoad },
        { "true size + 1", stateA.withSizeField (p + 1), settingsLoad },
        { "size 2^31", stateA.withSizeField (std::uint64_t (1) << 31), settingsLoad },
        { "size 2^63", stateA.withSizeField (std::uint64_t (1) << 63), settingsLoad },
        { "size 2^64 - 1", stateA.withSizeField (~std::uint64_t (0)), settingsLoad },
        { "cut inside the identifier", bytesA.substr (0, bytesA.size() - 1), settingsLoad },
        { "cut after the size field", bytesA.substr (0, bytesA.size() - identifier.size()), settingsLoad },
        { "cut inside the size field", bytesA.substr (0, sizeFieldAt + 3), settingsLoad },
        { "cut inside the private data", bytesA.substr (0, sizeFieldAt - 5), settingsLoad },
        { "unreadable private data", stateA.plugin + std::string (8, '\0') + std::string (p, '\xff') + littleEndian64 (p) + identifier, settingsLoad },
        { "private data claiming 2^31 children", stateA.plugin + std::string (8, '\0') + identifier + '\0' + '\0' + "\x04\xff\xff\xff\x7f"
                                                      + littleEndian64 (identifier.size() + 7) + identifier, settingsLoad },
        { "the identifier alone", identifier, nothingChanges },
        { "size field and identifier alone", littleEndian64 (0) + identifier, nothingChanges },
        { "an empty trailer alone", std::string (8, '\0') + littleEndian64 (0) + identifier, nothingChanges },
        { "a trailer alone with size 2^63", std::string (8, '\0') + stateA.privateData + littleEndian64 (std::uint64_t (1) << 63) + identifier, nothingChanges },
    };

    for (size_t byte = 0; byte < 8; ++byte)
    {
        auto flipped = bytesA;
        flipped[sizeFieldAt + byte] = (char) ~flipped[sizeFieldAt + byte];
        cases.push_back ({ "size byte " + std::to_string (byte) + " flipped", flipped, settingsLoad });
    }

    // A, then B, then each case followed by B again, then A once more.
    std::string loads = "--load '" + a + "' --load '" + b + "'";

    for (size_t i = 0; i < cases.size(); ++i)
    {
        const auto file = HostRunner::scratch ("trailer-case-" + std::to_string (i) + ".component");
        HostRunner::writeFile (file, cases[i].bytes);
        loads += " --load '" + file + "' --load '" + b + "'";
    }

    loads += " --load '" + a + "'";
    const auto r = HostRunner::run ("state", loads);
    ASSERT_EQ (r.exitCode, 0) << "the host died";

    const auto loadedA = Snapshot::of (r, "load0");
    const auto loadedB = Snapshot::of (r, "load1");
    ASSERT_EQ (loadedA.bypass, "1");
    ASSERT_EQ (loadedB.bypass, "0");
    ASSERT_NE (loadedA.settings, loadedB.settings);

    auto settingsOfA = loadedA;
    settingsOfA.bypass = "0"; // only the trailer carries the switch

    for (size_t i = 0; i < cases.size(); ++i)
    {
        const auto index = 2 + 2 * i;
        const auto after = Snapshot::of (r, "load" + std::to_string (index));
        EXPECT_EQ (after, cases[i].outcome == settingsLoad ? settingsOfA : loadedB) << cases[i].name;
        EXPECT_EQ (Snapshot::of (r, "load" + std::to_string (index + 1)), loadedB) << "a sound block after " << cases[i].name;
    }

    EXPECT_EQ (Snapshot::of (r, "load" + std::to_string (2 + 2 * cases.size())), loadedA);
}
