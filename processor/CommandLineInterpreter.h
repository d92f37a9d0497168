#pragma once

#include <string>

/** The one message the console strip shows: its visible characters and one style digit per byte.
    Writers use console markup: a backtick and a digit switch the style of what follows. */
class CommandLineInterpreter
{
public:
    /** Replaces the message with the parsed markup and flags it as new. */
    void echo (std::string message);
    /** As echo, and asks the strip to blink the line before it fades. */
    void echo_blink (std::string message);

    std::string text;
    std::string colours;     // one of '0'..'9' per byte of text
    bool newMessage = true;  // cleared by the console strip when it takes the message
    bool blink = false;      // cleared by the console strip together with newMessage
};
