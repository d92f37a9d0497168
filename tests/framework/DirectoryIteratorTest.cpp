#include <gtest/gtest.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include "support/MessagePump.h"
#include "support/ScratchDirectory.h"

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <string>
#include <unistd.h>

namespace
{
    // File names as raw bytes; the listing passes on only the well-formed ones.
    struct Name
    {
        std::string bytes;
        bool listed;
    };

    const Name names[] = {
        { "plain.ondulapreset", true },
        { "caf\xc3\xa9.ondulapreset", true },
        { "\xe2\x82\xac euro.ondulapreset", true },
        { "\xf0\x9f\x8e\xb9 keys.ondulapreset", true },
        { "\xef\xbf\xbd replacement.ondulapreset", true },
        { "\xf4\x8f\xbf\xbf highest.ondulapreset", true },
        // Overlong forms: C0 80 decodes to 0 and ended the framework's count of the bytes to copy.
        { "\xc0\x80" "AAAAAAAAAAAAAAAAAAAA.ondulapreset", false },
        { "\xc1\xbf" "AAAAAAAAAAAAAAAAAAAA.ondulapreset", false },
        { "\xe0\x80\x80" "AAAAAAAAAAAAAAAAAAAA.ondulapreset", false },
        { "\xe0\x9f\xbf three bytes for two.ondulapreset", false },
        { "\xf0\x80\x80\x80 four bytes for one.ondulapreset", false },
        { "\xf0\x8f\xbf\xbf four bytes for three.ondulapreset", false },
        // Truncated sequences, before other text and at the very end of the name.
        { "\xc3.ondulapreset", false },
        { "\xe2\x82.ondulapreset", false },
        { "\xf0\x9f\x8e.ondulapreset", false },
        { "ends in a lead byte \xc3", false },
        { "ends in half an emoji \xf0\x9f\x8e", false },
        // Stray continuation bytes, a surrogate, values above U+10FFFF, bytes that lead nothing.
        { "\x80" "AAAAAAAAAAAAAAAAAAAA.ondulapreset", false },
        { "a\xbf" "b.ondulapreset", false },
        { "\xed\xa0\x80 surrogate.ondulapreset", false },
        { "\xf4\x90\x80\x80 above the range.ondulapreset", false },
        { "\xf5\x80\x80\x80.ondulapreset", false },
        { "\xf8\x88\x80\x80\x80.ondulapreset", false },
        { "\xfe\xff.ondulapreset", false },
    };

    // Creates every name in a folder; returns the well-formed ones. A file system that refuses a
    // name (EILSEQ) simply lacks it.
    std::set<std::string> createFiles (const std::string& folder)
    {
        std::set<std::string> wellFormed;

        for (const auto& n : names)
        {
            const auto fd = ::open ((folder + "/" + n.bytes).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

            if (fd < 0)
            {
                EXPECT_EQ (errno, EILSEQ) << "cannot create a test file";
                continue;
            }

            EXPECT_EQ (::write (fd, "<top/>", 6), 6);
            ::close (fd);

            if (n.listed)
                wellFormed.insert (n.bytes);
        }

        return wellFormed;
    }
}

TEST (DirectoryIterator, PassesOnOnlyFileNamesThatAreWellFormedUtf8)
{
    ScratchDirectory scratch ("ondula-names");
    const auto expected = createFiles (scratch.path());
    const juce::File folder (juce::String (scratch.path()));

    std::set<std::string> iterated, found;

    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFiles))
        iterated.insert (entry.getFile().getFileName().toStdString());

    for (const auto& file : folder.findChildFiles (juce::File::findFiles, false, "*.ondulapreset"))
    {
        found.insert (file.getFileName().toStdString());
        EXPECT_TRUE (file.existsAsFile()) << "a listed name reaches its file by its bytes";
    }

    EXPECT_EQ (iterated, expected);

    std::set<std::string> expectedPresets;
    for (const auto& name : expected)
        if (juce::String (juce::CharPointer_UTF8 (name.c_str())).endsWith (".ondulapreset"))
            expectedPresets.insert (name);

    EXPECT_EQ (found, expectedPresets);
}

TEST (DirectoryIterator, TheFileDialogsListShowsOnlyTheWellFormedNames)
{
    // The list that the framework's file dialog (FileBrowserComponent) fills on its own thread.
    ScratchDirectory scratch ("ondula-dialog-names");
    const auto expected = createFiles (scratch.path());

    juce::TimeSliceThread thread ("directory scanner");
    thread.startThread();
    juce::DirectoryContentsList list (nullptr, thread);
    list.setDirectory (juce::File (juce::String (scratch.path())), true, true);

    ASSERT_TRUE (MessagePump::runUntil ([&] { return ! list.isStillLoading(); }, 20000));

    std::set<std::string> shown;
    for (int i = 0; i < list.getNumFiles(); ++i)
        shown.insert (list.getFile (i).getFileName().toStdString());

    EXPECT_EQ (shown, expected);
    thread.stopThread (5000);
}
