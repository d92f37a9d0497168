#include "PresetFolder.h"

#include "../processor/SavedStateWriter.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
std::mutex redirectionLock;
juce::File redirection; // guarded by redirectionLock

#if ! JUCE_WINDOWS
// What the console says, reason first, for the errors a save or a read meets.
juce::String reasonFor (int error)
{
    switch (error)
    {
        case ENOSPC:       return "disk full";
       #ifdef EDQUOT
        case EDQUOT:       return "disk quota exceeded";
       #endif
        case ENAMETOOLONG: return "name too long";
        case EACCES:
        case EPERM:        return "permission denied";
        case EROFS:        return "read-only disk";
        case EISDIR:       return "a folder has that name";
        case ENOENT:
        case ENOTDIR:      return "no such folder";
        default:           return juce::String (std::generic_category().message (error)).toLowerCase();
    }
}

struct Descriptor
{
    int fd = -1;
    ~Descriptor() { if (fd >= 0) ::close (fd); }
};

// Reads at most `limit` bytes of a regular file; a FIFO, socket or device is refused before
// anything could block on it, and so is a file swapped for one between the check and the open.
bool readRegularFile (const juce::File& file, size_t limit, std::string& bytes, juce::String& error)
{
    const auto path = file.getFullPathName();
    struct stat info {};

    if (::stat (path.toRawUTF8(), &info) != 0)
    {
        error = errno == ENOENT ? juce::String ("no such file") : reasonFor (errno);
        return false;
    }

    if (! S_ISREG (info.st_mode))
    {
        error = "not a regular file";
        return false;
    }

    if ((juce::uint64) info.st_size > limit) // refused unread
    {
        error = UntrustedXml::describe (UntrustedXml::Refusal::tooLarge, StateBlockReader::limits());
        return false;
    }

    Descriptor d { ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) };

    if (d.fd < 0)
    {
        error = "cannot open the file, " + reasonFor (errno);
        return false;
    }

    if (::fstat (d.fd, &info) != 0 || ! S_ISREG (info.st_mode))
    {
        error = "not a regular file";
        return false;
    }

    bytes.resize (std::min ((size_t) info.st_size, limit) + 1);
    size_t filled = 0;

    for (;;)
    {
        if (filled == bytes.size())
        {
            if (filled > limit)
                break; // the gate refuses what is over its cap
            bytes.resize (std::min (bytes.size() * 2, limit + 1));
        }

        const auto n = ::read (d.fd, bytes.data() + filled, bytes.size() - filled);

        if (n < 0 && errno == EINTR)
            continue;

        if (n < 0)
        {
            error = "cannot read the file, " + reasonFor (errno);
            return false;
        }

        if (n == 0)
            break;

        filled += (size_t) n;
    }

    bytes.resize (filled);
    return true;
}

// A new file beside the target, every write checked, flushed to the disk, then renamed over the
// target; the target is untouched until that rename.
juce::String replaceWithWholeFile (const juce::File& target, const std::string& text)
{
    const auto folder = target.getParentDirectory();

    // The rename would fail on a folder, but replace a link to one with the file.
    if (struct stat existing {}; ::stat (target.getFullPathName().toRawUTF8(), &existing) == 0 && S_ISDIR (existing.st_mode))
        return reasonFor (EISDIR);

    if (! folder.createDirectory())
        return "cannot create the folder";

    // A short name of its own: the target's name may already be as long as a name can be.
    const auto temporary = folder.getChildFile (".ondula-save-" + juce::Uuid().toString());
    Descriptor d { ::open (temporary.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666) };

    if (d.fd < 0)
        return reasonFor (errno);

    // A preset saved over keeps its permissions.
    if (struct stat existing {}; ::stat (target.getFullPathName().toRawUTF8(), &existing) == 0 && S_ISREG (existing.st_mode))
        ::fchmod (d.fd, existing.st_mode & 07777);

    int error = 0;

    for (size_t written = 0; written < text.size() && error == 0;)
    {
        const auto n = ::write (d.fd, text.data() + written, text.size() - written);

        if (n > 0)
            written += (size_t) n;
        else if (n == 0)
            error = ENOSPC;
        else if (errno != EINTR)
            error = errno;
    }

    if (error == 0 && ::fsync (d.fd) != 0)
        error = errno;

    // A file system may report a failed write only when the file is closed.
    if (const auto fd = std::exchange (d.fd, -1); ::close (fd) != 0 && error == 0)
        error = errno;

    if (error == 0 && ::rename (temporary.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
        error = errno;

    if (error != 0)
    {
        ::unlink (temporary.getFullPathName().toRawUTF8());
        return reasonFor (error);
    }

    // The rename itself reaches the disk with the folder's own flush.
    if (Descriptor dir { ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) }; dir.fd >= 0)
        ::fsync (dir.fd);

    return {};
}
#else
bool readRegularFile (const juce::File& file, size_t limit, std::string& bytes, juce::String& error)
{
    if (! file.existsAsFile())
    {
        error = "no such file";
        return false;
    }

    if (file.getSize() > (juce::int64) limit)
    {
        error = UntrustedXml::describe (UntrustedXml::Refusal::tooLarge, StateBlockReader::limits());
        return false;
    }

    juce::FileInputStream stream (file);

    if (! stream.openedOk())
    {
        error = "cannot open the file";
        return false;
    }

    juce::MemoryBlock block;
    stream.readIntoMemoryBlock (block, (juce::pointer_sized_int) limit + 1);
    bytes.assign (static_cast<const char*> (block.getData()), block.getSize());
    return true;
}

juce::String replaceWithWholeFile (const juce::File& target, const std::string& text)
{
    if (target.isDirectory())
        return "a folder has that name";

    if (! target.getParentDirectory().createDirectory())
        return "cannot create the folder";

    const auto temporary = target.getSiblingFile (".ondula-save-" + juce::Uuid().toString());

    {
        juce::FileOutputStream out (temporary, 0); // unbuffered: every write reports its own failure

        if (! out.openedOk() || ! out.write (text.data(), text.size()))
        {
            temporary.deleteFile();
            return out.getStatus().failed() ? out.getStatus().getErrorMessage() : juce::String ("cannot write the file");
        }

        out.flush();

        if (out.getStatus().failed())
        {
            temporary.deleteFile();
            return out.getStatus().getErrorMessage();
        }
    }

    if (! temporary.replaceFileIn (target))
    {
        temporary.deleteFile();
        return "cannot replace the file";
    }

    return {};
}
#endif
} // namespace

PresetFolder::PresetFolder (juce::File folderToUse) : directory (std::move (folderToUse)) {}

void PresetFolder::redirectDefaultDirectory (const juce::File& folder)
{
    const std::lock_guard<std::mutex> lock (redirectionLock);
    redirection = folder;
}

juce::File PresetFolder::defaultDirectory()
{
    {
        const std::lock_guard<std::mutex> lock (redirectionLock);

        if (redirection != juce::File())
            return redirection;
    }

    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Kelvatone")
        .getChildFile ("Ondula Delay Free")
        .getChildFile ("Presets");
}

juce::Array<juce::File> PresetFolder::presets() const
{
    auto files = directory.findChildFiles (juce::File::findFiles, false, juce::String ("*") + extension);

    struct ByName
    {
        static int compareElements (const juce::File& a, const juce::File& b)
        {
            const int byName = a.getFileName().compareNatural (b.getFileName());
            return byName != 0 ? byName : a.getFileName().compare (b.getFileName());
        }
    };

    ByName comparator;
    files.sort (comparator);
    return files;
}

juce::File PresetFolder::neighbour (const juce::File& current, const juce::String& currentName, int step) const
{
    const auto files = presets();

    if (files.isEmpty())
        return {};

    int index = files.indexOf (current);

    if (index < 0)
    {
        const auto savedAs = PresetFileName::forName (currentName);

        for (int i = 0; i < files.size() && index < 0; ++i)
            if (files.getReference (i).getFileName().equalsIgnoreCase (savedAs)
                || PresetFileName::nameOf (files.getReference (i)).equalsIgnoreCase (currentName))
                index = i;
    }

    if (index < 0)
        return step >= 0 ? files.getFirst() : files.getLast();

    const int count = files.size();
    return files[((index + step) % count + count) % count];
}

juce::String PresetFolder::write (const juce::ValueTree& tree, const juce::File& file)
{
    const auto xml = tree.createXml();

    if (xml == nullptr)
        return "nothing to save";

    return write (*xml, file);
}

juce::String PresetFolder::write (const juce::XmlElement& document, const juce::File& file)
{
    auto written = document; // made ready for the gate without touching the caller's
    return replaceWithWholeFile (file, SavedStateWriter::presetText (written));
}

std::unique_ptr<juce::XmlElement> PresetFolder::read (const juce::File& file, juce::String& error, UntrustedXml::LeftOut* leftOut)
{
    std::string bytes;

    if (! readRegularFile (file, (size_t) maxFileBytes, bytes, error))
        return nullptr;

    return readText (bytes, error, leftOut);
}

std::unique_ptr<juce::XmlElement> PresetFolder::readText (std::string_view text, juce::String& error, UntrustedXml::LeftOut* leftOut)
{
    auto refusal = UntrustedXml::Refusal::none;
    auto xml = StateBlockReader::parseText (text, &refusal, leftOut);

    if (xml == nullptr)
    {
        error = UntrustedXml::describe (refusal, StateBlockReader::limits());
        return nullptr;
    }

    if (! xml->getTagName().equalsIgnoreCase ("top"))
    {
        error = "not a preset";
        return nullptr;
    }

    return xml;
}
