#include "processor/CommandLineInterpreter.h"

#include <regex>

void CommandLineInterpreter::echo (std::string message)
{
    const std::regex marker ("`[0-9]");
    const std::sregex_token_iterator end;

    text.clear();
    colours.clear();
    char style = '0';

    for (std::sregex_token_iterator token (message.begin(), message.end(), marker, { -1, 0 }); token != end; ++token)
    {
        const std::string piece = token->str();

        // Only a real marker switches the style; a stray backtick stays visible text.
        if (std::regex_match (piece, marker))
        {
            style = piece[1];
            continue;
        }

        text += piece;
        colours.append (piece.size(), style);
    }

    newMessage = true;
}

void CommandLineInterpreter::echo_blink (std::string message)
{
    blink = true;
    echo (std::move (message));
}
