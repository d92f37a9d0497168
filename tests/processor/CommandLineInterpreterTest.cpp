#include "processor/CommandLineInterpreter.h"

#include <gtest/gtest.h>

TEST (CommandLineInterpreter, MarkupSplitsIntoTextAndOneStyleDigitPerByte)
{
    const struct { std::string message, text, colours; } cases[] = {
        { "", "", "" },
        { "abc", "abc", "000" },
        { "`2[bracket]`0 label", "[bracket] label", "222222222000000" },
        { "a`5", "a", "0" },
        { "`3`4ab", "ab", "44" },
        { "`1abc", "abc", "111" },
        { "x`9y`0z", "xyz", "090" },
        { "caf\xc3\xa9", "caf\xc3\xa9", "00000" },     // bytes, not characters
        { "a`b`", "a`b`", "0000" },                      // a backtick without a digit is text
    };

    for (const auto& c : cases)
    {
        CommandLineInterpreter console;
        console.newMessage = false;
        console.echo (c.message);
        EXPECT_EQ (console.text, c.text) << c.message;
        EXPECT_EQ (console.colours, c.colours) << c.message;
        EXPECT_TRUE (console.newMessage);
        EXPECT_FALSE (console.blink);
    }
}

TEST (CommandLineInterpreter, EchoReplacesTheMessageAndOnlyTheStripClearsBlink)
{
    CommandLineInterpreter console;
    EXPECT_TRUE (console.newMessage);

    console.echo_blink ("`4warning");
    EXPECT_TRUE (console.blink);
    EXPECT_EQ (console.colours, "4444444");

    console.echo ("next");
    EXPECT_EQ (console.text, "next");
    EXPECT_EQ (console.colours, "0000");
    EXPECT_TRUE (console.blink);
}
