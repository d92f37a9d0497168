#include <gtest/gtest.h>

#include "ScriptedEditor.h"

#include <filesystem>

namespace
{
    // The preset strip at (450, 0): "Next" at (58, 17), the name at (112, 15, 226, 30).
    const std::string nextButton = "533 29", nameLabel = "675 30";
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
