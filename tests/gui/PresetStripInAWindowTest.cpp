#include <gtest/gtest.h>

#include "ScriptedEditor.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    // The preset strip at (450, 0): "Prev" at (4, 17), "Next" at (58, 17), the name at
    // (112, 15, 226, 30), "Load" at (342, 17), "Save" at (396, 17).
    const std::string prevButton = "479 29", nextButton = "533 29", nameLabel = "675 30", loadButton = "817 29", saveButton = "871 29";

    // The framework's dialog opens in a window of its own; Return confirms it (and its question
    // whether to overwrite), pressed again in case the window was slow to appear.
    const std::string saveInTheDialog = "click " + saveButton + "; wait 2500; key Return; wait 1500; key Return; wait 1500; key Return; settle; ";

    std::filesystem::path presetFolder()
    {
        const auto folder = std::filesystem::path (HostRunner::scratch ("home")) / ".config" / "Kelvatone" / "Ondula Delay Free" / "Presets";
        std::filesystem::remove_all (folder);
        std::filesystem::create_directories (folder);
        return folder;
    }

    void writePreset (const std::filesystem::path& file, const std::string& name, const std::string& curve = "0 1 -0.1&#10;1 0 0&#10;")
    {
        std::ofstream (file, std::ios::binary) << "<top preset_name=\"" << name << "\"><automation><automation_frequency curve=\""
                                               << curve << "\"/></automation></top>";
    }

    std::string presetNameIn (const std::filesystem::path& file)
    {
        const auto text = HostRunner::readFile (file.string());
        const auto at = text.find ("preset_name=\"");
        return at == std::string::npos ? "(none)" : text.substr (at + 13, text.find ('"', at + 13) - at - 13);
    }

    std::vector<std::string> namesIn (const std::filesystem::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator (folder))
            names.push_back (entry.path().filename().string());
        std::sort (names.begin(), names.end());
        return names;
    }
}

TEST (PresetStripInAWindow, LoadingAPresetAndRenamingItEachTellTheHostTheStateChanged)
{
    // One preset in the (isolated) user's folder, differing from the defaults only in what no
    // host parameter shows: its name and the left pattern.
    const auto folder = std::filesystem::path (HostRunner::scratch ("home")) / ".config" / "Kelvatone" / "Ondula Delay Free" / "Presets";
    std::filesystem::create_directories (folder);
    const auto written = ScriptedEditor::writeTree ("bright.xml", {
        { "preset_name=\"Default Preset\"", "preset_name=\"Bright\"" },
        { "pattern_l=\"01100110100110010101010110101010\"", "pattern_l=\"11111111111111111111111111111111\"" } });
    std::filesystem::copy_file (written, folder / "Bright.ondulapreset", std::filesystem::copy_options::overwrite_existing);

    const auto r = ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name Bright; settle; "
                                        "click " + nameLabel + "; type Mine; key Return; wait-tree top.preset_name Mine; settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;

    EXPECT_EQ (r["tree.top.preset_name"], "Mine");
    EXPECT_EQ (r["tree.delay_pattern.pattern_l"], "11111111111111111111111111111111");
    EXPECT_EQ (r["host.changes"], "0") << "no parameter differs";
    EXPECT_EQ (r["host.stateChanges"], "2") << r["host.events"];
}

TEST (PresetStripInAWindow, CraftedNamesFifosAndEmptyFilesNeitherCrashNorBlockAndNextAndPrevPassThem)
{
    const auto folder = presetFolder();
    writePreset (folder / "a.ondulapreset", "A");
    std::ofstream (folder / "b.ondulapreset").flush();
    writePreset (folder / "c.ondulapreset", "C");
    ASSERT_EQ (::mkfifo ((folder / "f.ondulapreset").c_str(), 0644), 0);
    const auto crafted = folder.string() + "/\xc0\x80" "AAAAAAAAAAAAAAAAAAAA.ondulapreset";
    if (const auto fd = ::open (crafted.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644); fd >= 0)
        ::close (fd);

    // a, b refused, c, f refused (never opened for reading), a; back: f refused, c. Then the Load
    // and Save dialogs list the folder, and the editor closes with the host.
    const auto r = ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name A; "
                                        "click " + nextButton + "; wait 400; click " + nextButton + "; wait-tree top.preset_name C; "
                                        "click " + nextButton + "; wait 400; click " + nextButton + "; wait-tree top.preset_name A; "
                                        "click " + prevButton + "; wait 400; click " + prevButton + "; wait-tree top.preset_name C; "
                                        "click " + loadButton + "; wait 2500; key Escape; wait 500; "
                                        "click " + saveButton + "; wait 2500; key Escape; settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;
    EXPECT_EQ (r.exitCode, 0) << r.output;
    EXPECT_EQ (r["tree.top.preset_name"], "C");
}

TEST (PresetStripInAWindow, SaveThroughTheDialogStaysInTheFolderAndKeepsTheWholeName)
{
    // Each name as a preset pack brings it, loaded with Next and saved with the dialog's own Save.
    struct Case { std::string name; std::string file; std::string outside; };
    const Case cases[] = {
        { "Pad-v1.5", "Pad-v1.5.ondulapreset", "Pad-v1.ondulapreset" },
        { "~", "_.ondulapreset", "../../../../../home.ondulapreset" },
        { "..", "Preset.ondulapreset", "../Presets.ondulapreset" },
    };

    for (const auto& c : cases)
    {
        const auto folder = presetFolder();
        writePreset (folder / "pack.ondulapreset", c.name);

        const auto r = ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name " + c.name + "; " + saveInTheDialog + "'");
        ASSERT_EQ (r["result"], "ok") << r.output;

        EXPECT_EQ (namesIn (folder), (std::vector<std::string> { c.file, "pack.ondulapreset" })) << c.name;
        EXPECT_EQ (presetNameIn (folder / c.file), c.name) << "the file holds the name whole";
        EXPECT_EQ (r["tree.top.preset_name"], c.name) << "the preset keeps its name";
        EXPECT_FALSE (std::filesystem::exists (folder / c.outside)) << c.name;
    }
}

TEST (PresetStripInAWindow, SavingOverAPresetOnAFullDiskKeepsItWhole)
{
    // A 20 KB tmpfs over the preset folder, in a mount namespace of the host's own, holding a
    // preset of about 14 KB: the save over it cannot fit in the 4 KB left.
    const auto folder = presetFolder();
    const auto seed = ScriptedEditor::scratch ("big.ondulapreset");
    std::string curve;
    for (int i = 0; i < 950; ++i)
        curve += "0.5 0.5 0&#10;";
    writePreset (seed, "big", curve);

    const auto kept = ScriptedEditor::scratch ("kept.ondulapreset"), listing = ScriptedEditor::scratch ("listing");
    const auto script = ScriptedEditor::scratch ("small-disk.sh");
    std::ofstream (script) << "mount -t tmpfs -o size=$SIZE tmpfs \"$DISK\" 2>/dev/null || { echo small-disk=unavailable; exit 0; }\n"
                              "cp \"$SEED\" \"$DISK/big.ondulapreset\" && \"$@\"\n"
                              "cp \"$DISK/big.ondulapreset\" \"$KEPT\"; ls -A \"$DISK\" > \"$LISTING\"\n";

    const auto runOnDiskOf = [&] (const std::string& size)
    {
        const auto wrapper = "SIZE=" + size + " DISK='" + folder.string() + "' SEED='" + seed + "' KEPT='" + kept + "' LISTING='" + listing
                           + "' unshare -m --propagation private sh '" + script + "' ";
        return ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name big; " + saveInTheDialog + "'", wrapper);
    };

    // With room on the disk the same clicks do save over the preset: the whole tree is written.
    const auto roomy = runOnDiskOf ("1m");

    if (roomy["small-disk"] == "unavailable" || roomy.output.find ("unshare:") != std::string::npos)
        GTEST_SKIP() << "no private mount namespace with a small tmpfs here (needs root): " << roomy.output;

    ASSERT_EQ (roomy["result"], "ok") << roomy.output;
    ASSERT_NE (HostRunner::readFile (kept), HostRunner::readFile (seed)) << "the save went through the dialog";
    EXPECT_NE (HostRunner::readFile (kept).find ("delay_globals_dynamics"), std::string::npos);

    const auto full = runOnDiskOf ("20k");
    ASSERT_EQ (full["result"], "ok") << full.output;
    EXPECT_EQ (HostRunner::readFile (kept), HostRunner::readFile (seed)) << "the preset on the full disk is whole";
    EXPECT_EQ (HostRunner::readFile (listing), "big.ondulapreset\n") << "and nothing was left beside it";
    EXPECT_EQ (full["tree.top.preset_name"], "big");
}

TEST (PresetStripInAWindow, ANameWithAnEncodedSurrogateIsSavedAsAListedPresetAndTheProjectReopensWithEverySetting)
{
    // A project whose preset name holds a surrogate encoded directly in the bytes, as some
    // converters write it, and a delay time other than the default.
    const auto folder = presetFolder();
    writePreset (folder / "A.ondulapreset", "A");
    const auto crafted = ScriptedEditor::scratch ("surrogate.component"), project = ScriptedEditor::scratch ("project.component");
    HostRunner::writeFile (crafted, HostRunner::stateBlock ("<top preset_name=\"Sur\xed\xa0\x80gate\"><delay><delay_globals_time time=\"0.3\"/></delay></top>"));
    const std::string name = "Sur\xef\xbf\xbdgate";

    // The preset saved with the dialog's own Save, then the project saved by the host.
    const auto saving = ScriptedEditor::run ("--component-in '" + crafted + "' --state-out '" + project + "' --steps 'wait-tree top.preset_name "
                                             + name + "; " + saveInTheDialog + "'");
    ASSERT_EQ (saving["result"], "ok") << saving.output;
    EXPECT_EQ (namesIn (folder), (std::vector<std::string> { "A.ondulapreset", name + ".ondulapreset" }));
    EXPECT_EQ (presetNameIn (folder / (name + ".ondulapreset")), "Sur&#65533;gate");

    // A fresh instance reopens the project with the name and every setting, and Next and Prev
    // reach the preset both ways and load it with its name.
    const auto reopened = ScriptedEditor::run ("--state-in '" + project + "' --steps 'wait-tree top.preset_name " + name
                                               + "; click " + nextButton + "; wait-tree top.preset_name A; click "
                                               + nextButton + "; wait-tree top.preset_name " + name + "; click " + prevButton + "; wait-tree top.preset_name A; click "
                                               + prevButton + "; wait-tree top.preset_name " + name + "; settle'");
    ASSERT_EQ (reopened["result"], "ok") << reopened.output;
    EXPECT_NEAR (std::stod (reopened["tree.delay_globals_time.time"]), 0.3, 1.0e-6);

    // The reopened project gives every parameter the value the crafted state gave.
    const auto opened = ScriptedEditor::under (saving, "loaded.param."), reopenedParameters = ScriptedEditor::under (reopened, "loaded.param.");
    ASSERT_FALSE (opened.empty());
    EXPECT_EQ (reopenedParameters, opened);
}

TEST (PresetStripInAWindow, SaveWithTheSuggestedFileAFolderOrALinkToOneWritesAFileInThePresetFolder)
{
    // The dialog would open inside such a folder, with Save writing there or through the link.
    for (const bool link : { false, true })
    {
        SCOPED_TRACE (link ? "a link to a folder" : "a folder");
        const auto folder = presetFolder();
        const auto outside = std::filesystem::path (ScriptedEditor::scratch ("outside"));
        std::filesystem::remove_all (outside);
        std::filesystem::create_directories (outside);

        if (link)
            std::filesystem::create_directory_symlink (outside, folder / "X.ondulapreset");
        else
            std::filesystem::create_directory (folder / "X.ondulapreset");

        writePreset (folder / "pack.ondulapreset", "X");
        const auto r = ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name X; " + saveInTheDialog + "'");
        ASSERT_EQ (r["result"], "ok") << r.output;

        EXPECT_TRUE (std::filesystem::is_regular_file (std::filesystem::symlink_status (folder / "X (2).ondulapreset"))) << r.output;
        EXPECT_EQ (namesIn (folder), (std::vector<std::string> { "X (2).ondulapreset", "X.ondulapreset", "pack.ondulapreset" }));
        EXPECT_EQ (presetNameIn (folder / "X (2).ondulapreset"), "X");
        EXPECT_TRUE (std::filesystem::is_empty (folder / "X.ondulapreset")) << "nothing saved into the folder or through the link";
        EXPECT_TRUE (std::filesystem::is_empty (outside));
        EXPECT_EQ (std::filesystem::is_symlink (folder / "X.ondulapreset"), link);
    }
}

// Presets a user may be handed: a name like a number with a long exponent, and attributes named
// "base64:...", which the framework's conversion decoded into blocks of the size they declare (the
// host died on Next). Next reaches each, and the name stays as the first preset wrote it.
TEST (PresetStripInAWindow, NextLoadsANumberLikeNameAsWrittenAndPresetsOfBinaryNamedAttributesLeaveIt)
{
    const auto folder = presetFolder();
    std::ofstream (folder / "a.ondulapreset") << "<top preset_name=\"2e1234567890mix\"/>";
    std::ofstream (folder / "b.ondulapreset") << "<top base64:preset_name=\"100000000.QUJD\"/>";
    std::ofstream (folder / "c.ondulapreset") << "<top base64:x=\"-1.\"/>";

    const auto r = ScriptedEditor::run ("--steps 'click " + nextButton + "; wait-tree top.preset_name 2e1234567890mix; "
                                        "click " + nextButton + "; wait 400; click " + nextButton + "; wait 400; settle'");
    ASSERT_EQ (r["result"], "ok") << r.output;
    EXPECT_EQ (r.exitCode, 0) << r.output;
    EXPECT_EQ (r["tree.top.preset_name"], "2e1234567890mix");
}
