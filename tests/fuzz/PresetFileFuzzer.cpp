// libFuzzer target: any file a user is handed in a preset pack, its name and its bytes, must be
// listed, read and merged or refused without a crash, an out-of-bounds access or undefined
// behaviour, and what it loads must be what plays and what the host shows.
//
// Input: one byte n, then n bytes of file name (raw, as a folder may hold them), then the file's
// contents. Each input:
// - the name is a preset name, its bytes as the framework's strings may hold them: the file name
//   made of it must be one plain, clean UTF-8 name of at most 255 bytes inside the preset folder;
// - the bytes are written under the raw name into a scratch folder, which the preset strip then
//   lists and reads (the framework's directory iterator, patched, and the regular-file reader);
// - the contents are read and merged as the preset strip does, after which every numeric
//   setting must be a finite number in its range and every host parameter must stand at it;
// - what the plug-in then writes (the saved state, a preset file, the preset's file name) must
//   pass the gate again and read back the same in another instance.

#include "editor/PresetFileName.h"
#include "editor/PresetFolder.h"
#include "processor/PluginProcessor.h"
#include "processor/SettingRange.h"
#include "tests/support/StateRoundTrip.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{
void require (bool condition)
{
    if (! condition)
        __builtin_trap();
}

void checkFileNameOf (const juce::String& name, const juce::File& folder)
{
    const auto fileName = PresetFileName::forName (name);
    require (fileName.getNumBytesAsUTF8() <= (size_t) PresetFileName::maximumBytes);
    require (UnicodeText::isClean (fileName.toStdString()));
    require (fileName.endsWith (PresetFileName::extension) && fileName != PresetFileName::extension);
    require (! fileName.containsAnyOf ("/\\") && ! fileName.startsWithChar ('.') && ! fileName.startsWithChar ('~'));
    require (folder.getChildFile (fileName).getParentDirectory() == folder);
}

void checkNumbersAgree (OndulaDelayAudioProcessor& processor)
{
    for (const auto& group : processor.stateTree)
        for (const auto& node : group)
            for (int i = 0; i < node.getNumProperties(); ++i)
                if (const auto kind = SettingRange::of (node.getType(), node.getPropertyName (i)))
                {
                    const auto v = (double) node[node.getPropertyName (i)];
                    require (std::isfinite (v));
                    require (v >= (*kind == SettingRange::Kind::signedUnit ? -1.0 : 0.0));
                    require (v <= (*kind == SettingRange::Kind::mode ? 2.0 : 1.0));
                }

    for (const auto& attachment : processor.parameterAttachments)
    {
        const auto& range = attachment->parameter.getNormalisableRange();
        const auto stored = juce::jlimit (range.start, range.end, (float) (double) attachment->tree[attachment->property]);
        const auto shown = attachment->parameter.convertFrom0to1 (attachment->parameter.getValue());
        // A mode parameter rounds, the engines truncate: only whole modes are ever stored.
        require (std::abs (shown - stored) <= 1.0e-6f);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    // Never destroyed: at exit the framework's own statics may already be gone.
    static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto* processor = new OndulaDelayAudioProcessor();
    static auto* other = new OndulaDelayAudioProcessor();
    static const auto defaults = StateRoundTrip::savedState (*other);
    static const auto folder = []
    {
        auto f = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("ondula-preset-fuzz", "", false);
        f.createDirectory();
        // libFuzzer ends a timed run with exit(): the folder goes with it (plain calls, as the
        // framework's statics may be gone by then).
        static std::string path = f.getFullPathName().toStdString();
        std::atexit ([] { std::error_code ignored; std::filesystem::remove_all (path, ignored); });
        return f;
    }();
    juce::ignoreUnused (juce);

    if (size == 0)
        return 0;

    const auto nameLength = juce::jmin ((size_t) data[0], size - 1);
    const std::string rawName (reinterpret_cast<const char*> (data + 1), nameLength);
    const std::string_view contents (reinterpret_cast<const char*> (data + 1 + nameLength), size - 1 - nameLength);

    // Built from the bytes as they are, as the framework builds strings from a clipboard or a host.
    if (rawName.find ('\0') == std::string::npos)
        checkFileNameOf (juce::String (juce::CharPointer_UTF8 (rawName.data()), juce::CharPointer_UTF8 (rawName.data() + rawName.size())), folder);

    // The raw name in a folder, as a preset pack may bring it; names the file system cannot hold
    // (a separator, NUL, "." or "..") are left out.
    const bool nameFits = ! rawName.empty() && rawName != "." && rawName != ".." && rawName.find_first_of (std::string ("/\0", 2)) == std::string::npos;
    const auto path = folder.getFullPathName().toStdString() + "/" + rawName;

    if (nameFits)
        if (const auto fd = ::open (path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); fd >= 0)
        {
            juce::ignoreUnused (::write (fd, contents.data(), contents.size()));
            ::close (fd);
        }

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories))
        juce::ignoreUnused (entry.getFile().getFileName().length());

    for (const auto& file : PresetFolder (folder).presets())
    {
        juce::String error;
        juce::ignoreUnused (PresetFolder::read (file, error));
    }

    if (nameFits)
        ::unlink (path.c_str());

    juce::String error;

    if (const auto xml = PresetFolder::readText (contents, error))
    {
        processor->mergeLoadedState (xml.get());
        checkNumbersAgree (*processor);

        if (const auto problem = StateRoundTrip::check (*processor, *other, defaults); ! problem.empty())
        {
            std::fprintf (stderr, "round trip: %s\n", problem.c_str());
            __builtin_trap();
        }
    }

    return 0;
}
