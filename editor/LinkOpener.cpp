#include "LinkOpener.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#if ! JUCE_WINDOWS
 #include <unistd.h>
#endif

namespace
{
    bool isAlnum (char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    bool isHex (char c)
    {
        return juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) c) >= 0;
    }

    // Characters kept as they are after the host: RFC 3986's unreserved set and the delimiters a
    // path or query needs. $ ' ( ) are valid sub-delimiters too, but a shell gives them meaning,
    // so they are encoded like everything outside the grammar.
    bool keptAsIs (char c)
    {
        return isAlnum (c) || std::string_view ("-._~/?:@!&*+,;=").find (c) != std::string_view::npos;
    }

    bool isValidPort (std::string_view port)
    {
        if (port.empty() || port.size() > 5 || ! std::all_of (port.begin(), port.end(), [] (char c) { return c >= '0' && c <= '9'; }))
            return false;

        const auto value = std::stoi (std::string (port));
        return value >= 1 && value <= 65535;
    }

    bool isValidHostName (std::string_view host)
    {
        if (host.empty() || host.size() > 253)
            return false;

        size_t labelLength = 0;

        for (const char c : host)
        {
            if (c == '.')
            {
                if (labelLength == 0)
                    return false;

                labelLength = 0;
            }
            else if (isAlnum (c) || c == '-' || c == '_')
            {
                if (++labelLength > 63)
                    return false;
            }
            else
            {
                return false;
            }
        }

        return labelLength > 0;
    }

    bool isValidIPv6Literal (std::string_view inside)
    {
        return ! inside.empty() && inside.size() <= 45
            && std::all_of (inside.begin(), inside.end(), [] (char c) { return isHex (c) || c == ':' || c == '.'; })
            && inside.find (':') != std::string_view::npos;
    }

    bool isValidAuthority (std::string_view authority)
    {
        std::string_view port;

        if (! authority.empty() && authority.front() == '[')
        {
            const auto close = authority.find (']');

            if (close == std::string_view::npos || ! isValidIPv6Literal (authority.substr (1, close - 1)))
                return false;

            const auto rest = authority.substr (close + 1);

            if (rest.empty())
                return true;

            return rest.front() == ':' && isValidPort (rest.substr (1));
        }

        // Covers user information too: "@" is no host character.
        const auto colon = authority.find (':');

        if (colon != std::string_view::npos && ! isValidPort (authority.substr (colon + 1)))
            return false;

        return isValidHostName (authority.substr (0, colon));
    }
}

LinkOpener::LinkOpener()
    : startProcess ([this] (const juce::StringArray& arguments) { return startChild (arguments); })
{
}

LinkOpener::~LinkOpener()
{
    reapFinished();
}

juce::String LinkOpener::safeWebLink (const juce::String& link)
{
    const auto text = link.trim().toStdString();

    if (text.size() > (size_t) maximumLinkBytes)
        return {};

    const auto separator = text.find ("://");

    if (separator == std::string::npos)
        return {};

    const auto scheme = juce::String (text.substr (0, separator)).toLowerCase();

    if (scheme != "http" && scheme != "https")
        return {};

    const auto hostStart = separator + 3;
    const auto hostEnd = std::min (text.find_first_of ("/?#", hostStart), text.size());

    if (! isValidAuthority (std::string_view (text).substr (hostStart, hostEnd - hostStart)))
        return {};

    std::string safe = scheme.toStdString() + "://" + text.substr (hostStart, hostEnd - hostStart);
    bool inFragment = false;

    for (size_t i = hostEnd; i < text.size(); ++i)
    {
        const char c = text[i];

        const bool escapeSequence = c == '%' && i + 2 < text.size() && isHex (text[i + 1]) && isHex (text[i + 2]);
        const bool fragmentStart = c == '#' && ! inFragment;
        inFragment = inFragment || fragmentStart;

        if (escapeSequence || fragmentStart || keptAsIs (c))
            safe += c;
        else
            safe += "%" + juce::String::toHexString ((int) (unsigned char) c).paddedLeft ('0', 2).toUpperCase().toStdString();
    }

    if (safe.size() > (size_t) maximumLinkBytes)
        return {};

    return juce::String::fromUTF8 (safe.data(), (int) safe.size());
}

bool LinkOpener::open (const juce::String& link)
{
    failure = {};
    const auto safe = safeWebLink (link);

    if (safe.isEmpty())
    {
        failure = "not a well-formed web address";
        return false;
    }

   #if JUCE_LINUX || JUCE_BSD
    // The framework's own launcher hands the address to /bin/sh inside a command line.
    if (startProcess != nullptr && startProcess (juce::StringArray { "xdg-open", safe }))
        return true;
   #else
    // The system's URL-opening call (NSWorkspace, ShellExecuteEx) takes the address as one value.
    if (juce::Process::openDocument (safe, {}))
        return true;
   #endif

    if (failure.isEmpty())
        failure = "no browser could be started";

    return false;
}

juce::File LinkOpener::findProgram (const juce::String& name, const juce::String& searchPath)
{
    for (const auto& folder : juce::StringArray::fromTokens (searchPath, ":", {}))
    {
        // An empty entry or a relative one would be looked up in the host's working folder.
        if (! juce::File::isAbsolutePath (folder))
            continue;

        const auto candidate = juce::File (folder).getChildFile (name);

       #if JUCE_WINDOWS
        if (candidate.existsAsFile())
       #else
        if (candidate.existsAsFile() && ::access (candidate.getFullPathName().toRawUTF8(), X_OK) == 0)
       #endif
            return candidate;
    }

    return {};
}

bool LinkOpener::startChild (const juce::StringArray& arguments)
{
    reapFinished();

    const auto* path = std::getenv ("PATH");

    if (findProgram (arguments[0], path != nullptr ? juce::String::fromUTF8 (path) : juce::String()) == juce::File())
    {
        failure = arguments[0] + " not found";
        return false;
    }

    auto child = std::make_unique<juce::ChildProcess>();

    // No output streams: a browser that logs a lot must not block on a pipe nobody reads.
    if (! child->start (arguments, 0))
    {
        failure = arguments[0] + " could not be started";
        return false;
    }

    launched.push_back (std::move (child));
    return true;
}

void LinkOpener::reapFinished()
{
    // isRunning() collects the exit status of a child that has ended.
    launched.erase (std::remove_if (launched.begin(), launched.end(), [] (const auto& child) { return ! child->isRunning(); }),
                    launched.end());
}
