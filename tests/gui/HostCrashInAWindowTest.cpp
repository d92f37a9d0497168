// A host that crashes with the editor shown: the X shared memory of the editor's window must not
// outlive it. The system keeps a segment that nobody marked for removal until the machine
// restarts, whoever made it.

#include "ScriptedEditor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace
{
struct Segments
{
    int left = 0, unmarked = 0;
};

/** The shared-memory segments a process made that the system still holds, from /proc/sysvipc/shm
    (key, shmid, mode in octal, size, creator's pid, ...). */
Segments segmentsMadeBy (const std::string& pid)
{
    constexpr long markedForRemoval = 01000; // SHM_DEST
    Segments found;
    std::ifstream table ("/proc/sysvipc/shm");
    std::string line;
    std::getline (table, line); // the heading

    while (std::getline (table, line))
    {
        std::istringstream fields (line);
        std::string key, id, mode, size, creator;

        if (fields >> key >> id >> mode >> size >> creator && creator == pid)
        {
            ++found.left;
            found.unmarked += (std::stol (mode, nullptr, 8) & markedForRemoval) == 0 ? 1 : 0;
        }
    }

    return found;
}
} // namespace

TEST (HostCrashInAWindow, AHostKilledWithTheEditorShownLeavesNoSharedMemoryBehind)
{
    const auto line = HostRunner::isolatedEnvironment() + HostRunner::virtualDisplay ("-screen 0 1600x1000x24") + "'" + std::string (ONDULA_TEST_HOST)
                    + "' open-editor '" + HostRunner::bundle() + "' --cycles 1 --hold-ms 500 --die-while-open 2>&1";
    auto run = HostRunner::runLine (line);

    if (HostRunner::displayFailed (run.output))
        run = HostRunner::runLine (line);

    ASSERT_FALSE (run["pid"].empty()) << run.output;

    // While it ran, the window's image lived in shared memory, every segment already marked.
    EXPECT_GT (std::stoi (run["sharedMemory.segments"]), 0) << run.output;
    EXPECT_EQ (run["sharedMemory.marked"], run["sharedMemory.segments"]) << run.output;

    // Once it is gone (the X server may still be letting go of its side), none is left unmarked.
    const auto after = segmentsMadeBy (run["pid"]);
    EXPECT_EQ (after.unmarked, 0) << after.left << " segments left";
}
