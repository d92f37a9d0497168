#include <gtest/gtest.h>

#include "../../editor/PresetFileName.h"
#include "support/ScratchDirectory.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstring>

namespace
{
    juce::String utf8 (const char* text) { return juce::String::fromUTF8 (text); }

    juce::String times (const char* piece, int count) { return juce::String::repeatedString (utf8 (piece), count); }

    // A string holding the bytes as they are, as the framework's strings do for text from outside.
    juce::String raw (const char* bytes) { return juce::String (juce::CharPointer_UTF8 (bytes), juce::CharPointer_UTF8 (bytes + std::strlen (bytes))); }

    // Names a user types or a preset pack brings, and the file name each is saved under.
    struct Case
    {
        juce::String name, file;
    };

    const Case cases[] = {
        { "Pad v1.5", "Pad v1.5.ondulapreset" },
        { "Bright", "Bright.ondulapreset" },
        { "~root", "_root.ondulapreset" },
        { "~", "_.ondulapreset" },
        { "~/x", "__x.ondulapreset" },
        { ".", "Preset.ondulapreset" },
        { "..", "Preset.ondulapreset" },
        { "../../etc/passwd", "_.._etc_passwd.ondulapreset" },
        { " . .~bin. . ", "_bin.ondulapreset" },
        { "", "Preset.ondulapreset" },
        { "a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.ondulapreset" },
        { utf8 ("tab\there\nnew\x7f" "del\xc2\x85" "nel"), "tab_here_new_del_nel.ondulapreset" },
        { "CON", "_CON.ondulapreset" },
        { "com1.mid", "_com1.mid.ondulapreset" },
        { "Console", "Console.ondulapreset" },
        { utf8 ("Caf\xc3\xa9 & Bar #1, 50%"), utf8 ("Caf\xc3\xa9 & Bar #1, 50%.ondulapreset") },
        // 109 two-byte letters fit whole (231 bytes); 200 are cut to the 121 that fit in 255 bytes.
        { times ("\xc3\xa9", 109), times ("\xc3\xa9", 109) + ".ondulapreset" },
        { times ("\xc3\xa9", 200), times ("\xc3\xa9", 121) + ".ondulapreset" },
        // Four-byte characters are never split: 60 of them (240 bytes) leave 2 bytes unused.
        { times ("\xf0\x9f\x8e\xb9", 100), times ("\xf0\x9f\x8e\xb9", 60) + ".ondulapreset" },
        // A cut that ends in spaces or dots loses them too.
        { times ("a", 241) + " .b", times ("a", 241) + ".ondulapreset" },
        // File names are always valid UTF-8, or the folder's listing would skip them: surrogates
        // read as a pair's character or U+FFFD, as the gate reads them, and so do malformed bytes.
        { raw ("Sur\xed\xa0\x80gate"), utf8 ("Sur\xef\xbf\xbdgate.ondulapreset") },
        { raw ("\xed\xa0\xbd\xed\xb8\x80 pair"), utf8 ("\xf0\x9f\x98\x80 pair.ondulapreset") },
        { juce::String::charToString ((juce::juce_wchar) 0xdbff) + "half", utf8 ("\xef\xbf\xbdhalf.ondulapreset") },
        { raw ("bad \xc0\x80 \xf4\x90\x80\x80"), utf8 ("bad \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd.ondulapreset") },
        { utf8 ("\xef\xbf\xbe\xf4\x8f\xbf\xbf nonchar"), utf8 ("\xef\xbf\xbe\xf4\x8f\xbf\xbf nonchar.ondulapreset") },
        { raw ("\xed\xa0\x80") + times ("\xc3\xa9", 200), utf8 ("\xef\xbf\xbd") + times ("\xc3\xa9", 119) + ".ondulapreset" },
    };
}

TEST (PresetFileName, EveryNameBecomesOnePlainFileNameThatFitsAndKeepsItsDots)
{
    for (const auto& c : cases)
    {
        const auto file = PresetFileName::forName (c.name);
        EXPECT_EQ (file, c.file) << c.name;
        EXPECT_LE (file.getNumBytesAsUTF8(), (size_t) PresetFileName::maximumBytes) << c.name;
    }
}

TEST (PresetFileName, ANumberedNameFitsTheSameLength)
{
    const struct { juce::String name; int number; juce::String file; } numbered[] = {
        { "Pad", 2, "Pad (2).ondulapreset" },
        { "", 3, "Preset (3).ondulapreset" },
        { "CON", 2, "_CON (2).ondulapreset" },
        { "Pad. ", 2, "Pad (2).ondulapreset" },
        { times ("a", 300), 12, times ("a", 237) + " (12).ondulapreset" },
    };

    for (const auto& c : numbered)
    {
        EXPECT_EQ (PresetFileName::forName (c.name, c.number), c.file) << c.name;
        EXPECT_LE (PresetFileName::forName (c.name, c.number).getNumBytesAsUTF8(), (size_t) PresetFileName::maximumBytes);
    }
}

TEST (PresetFileName, ANameOfAMegabyteIsReadOnlyAsFarAsTheFileNameGoes)
{
    const auto huge = juce::String::repeatedString ("x", 1 << 20);
    const auto file = PresetFileName::forName (huge);
    EXPECT_EQ (file.getNumBytesAsUTF8(), (size_t) PresetFileName::maximumBytes);
}

TEST (PresetFileName, TheExtensionIsAppendedAndTakenOffWhole)
{
    const juce::File folder ("/presets");
    struct Chosen { const char* chosen; const char* file; const char* name; };
    const Chosen chosen[] = {
        { "Pad v1.5", "Pad v1.5.ondulapreset", "Pad v1.5" },
        { "Pad v1.5.ondulapreset", "Pad v1.5.ondulapreset", "Pad v1.5" },
        { "Pad.ONDULAPRESET", "Pad.ONDULAPRESET", "Pad" },
        { "notes.txt", "notes.txt.ondulapreset", "notes.txt" },
    };

    for (const auto& c : chosen)
    {
        const auto file = PresetFileName::withExtension (folder.getChildFile (c.chosen));
        EXPECT_EQ (file.getFileName(), c.file);
        EXPECT_EQ (file.getParentDirectory(), folder);
        EXPECT_EQ (PresetFileName::nameOf (file), c.name);
    }
}

TEST (PresetFileName, TheSaveDialogConfirmsAFileInsideThePresetFolderWhateverTheName)
{
    // The framework's save dialog takes the suggested file's name into its text box and, on Save,
    // resolves the box's text against the folder it shows: "~root" there meant /root.
    ScratchDirectory scratch ("ondula-dialog");
    const juce::File folder (juce::String (scratch.path()));

    for (const auto& c : cases)
    {
        const auto suggested = folder.getChildFile (PresetFileName::forName (c.name));
        ASSERT_EQ (suggested.getParentDirectory(), folder) << c.name;

        juce::FileBrowserComponent dialog (juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                                               | juce::FileBrowserComponent::warnAboutOverwriting,
                                           suggested, nullptr, nullptr);
        const auto confirmed = dialog.getSelectedFile (0);
        EXPECT_EQ (confirmed, suggested) << c.name;
        EXPECT_EQ (confirmed.getParentDirectory(), folder) << c.name;
    }
}
