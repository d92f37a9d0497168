#pragma once

#include <string>

/** A folder that belongs to one test process alone: created atomically under the temporary folder
    ($TMPDIR, else /tmp) with the process id and a random part in its name, and removed with
    everything in it when the object goes. Tests run as parallel processes, so no two of them may
    share a fixed path. */
class ScratchDirectory
{
public:
    explicit ScratchDirectory (const std::string& prefix);
    ~ScratchDirectory();

    ScratchDirectory (const ScratchDirectory&) = delete;
    ScratchDirectory& operator= (const ScratchDirectory&) = delete;

    const std::string& path() const noexcept { return directory; }
    std::string file (const std::string& name) const { return directory + "/" + name; }

private:
    std::string directory;
};
