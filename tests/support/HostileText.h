#pragma once

#include <string>

// Builds the large documents the hostile-file tests hand to the plug-in.
namespace HostileText
{
    inline std::string repeated (const std::string& piece, size_t times)
    {
        std::string text;
        text.reserve (piece.size() * times);

        for (size_t i = 0; i < times; ++i)
            text += piece;

        return text;
    }
} // namespace HostileText
