#include "support/ScratchDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <vector>

ScratchDirectory::ScratchDirectory (const std::string& prefix)
{
    const char* temporary = std::getenv ("TMPDIR");
    const std::string parent = temporary != nullptr && *temporary != 0 ? temporary : "/tmp";
    const auto pattern = parent + "/" + prefix + "-" + std::to_string (::getpid()) + "-XXXXXX";

    // mkdtemp fills in the random part and creates the folder in one step, or fails.
    std::vector<char> name (pattern.begin(), pattern.end());
    name.push_back (0);

    if (::mkdtemp (name.data()) == nullptr)
        throw std::runtime_error ("cannot create a scratch folder from " + pattern + ": " + std::strerror (errno));

    directory = name.data();
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all (directory, ignored);
}
