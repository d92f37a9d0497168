#pragma once

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>
#include <vector>

// Opens a news link in the default browser. Links come from the network, so only well-formed
// http and https addresses are opened, anything outside the URL grammar is percent-encoded, and
// the browser is started from an argument vector, never through a shell.
class LinkOpener
{
public:
    LinkOpener();
    ~LinkOpener();

    // False when the link is refused or no browser could be started; `failure` then says why.
    bool open (const juce::String& link);

    // Why the last open failed, in words for the console ("xdg-open not found"); empty after a
    // success.
    juce::String failure;

    // The program's file in the first folder of a PATH-style list (folders separated by ':') that
    // holds it as an executable regular file; a non-existent file when none does. Looked up by
    // hand because a child process started for a missing program still starts: only its exec
    // fails, out of sight.
    static juce::File findProgram (const juce::String& name, const juce::String& searchPath);

    // The link in a form safe to hand to another program, or an empty string when it is refused:
    // scheme http or https, a DNS host name or IP literal without user information, an optional
    // port, and a path, query and fragment in which every byte outside the URL grammar, and the
    // characters a shell gives meaning to ($ ' ( ) and the like), is percent-encoded.
    static juce::String safeWebLink (const juce::String& link);

    // Longer addresses are refused; browsers and servers commonly stop at this length.
    static constexpr int maximumLinkBytes = 2048;

    // Starts a program from its argument vector (Linux: "xdg-open" and the link). Tests replace it
    // so that no browser is started.
    std::function<bool (const juce::StringArray& arguments)> startProcess;

private:
    bool startChild (const juce::StringArray& arguments);
    void reapFinished();

    // Launched helpers, kept until they have ended so that they are reaped and leave no zombie.
    std::vector<std::unique_ptr<juce::ChildProcess>> launched;
};
