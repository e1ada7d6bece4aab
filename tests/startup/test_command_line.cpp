// The command-line table: only the second character picks the mode; the window number
// is read from the fourth character on.
#include <gtest/gtest.h>

#include "command_line.h"

namespace {

HWND Handle(LONG_PTR value)
{
    return reinterpret_cast<HWND>(value);
}

TEST(CommandLine, ModesAndParents)
{
    const struct {
        const wchar_t *line;
        SaverMode mode;
        HWND window;
        bool foreground;
    } cases[] = {
        {L"", SaverMode::Configure, nullptr, true},
        {L"x", SaverMode::Configure, nullptr, true},
        {L"/c", SaverMode::Configure, nullptr, true},
        {L"/C:", SaverMode::Configure, nullptr, true},
        {L"/c:0", SaverMode::Configure, nullptr, false},
        {L"/c:1234", SaverMode::Configure, Handle(1234), false},
        {L"-C 77", SaverMode::Configure, Handle(77), false},
        {L"/p 0", SaverMode::Preview, nullptr, false},
        {L"/p 123", SaverMode::Preview, Handle(123), false},
        {L"/P 12abc", SaverMode::Preview, Handle(12), false},
        {L"/p", SaverMode::Preview, nullptr, false},
        {L"/p   +42", SaverMode::Preview, Handle(42), false},
        {L"/s", SaverMode::Run, nullptr, false},
        {L"/S", SaverMode::Run, nullptr, false},
        {L"-s", SaverMode::Run, nullptr, false},
        {L"xs", SaverMode::Run, nullptr, false},
        {L"/s 99", SaverMode::Run, nullptr, false},
        {L"/a", SaverMode::None, nullptr, false},
        {L"/a 1234", SaverMode::None, nullptr, false},
        {L"s", SaverMode::Configure, nullptr, true}, // one character: no argument
        {L"//", SaverMode::None, nullptr, false},
    };
    for (const auto &c : cases) {
        const SaverCommand command = ParseCommandLine(c.line);
        EXPECT_EQ(command.mode, c.mode) << '"' << testing::PrintToString(std::wstring(c.line)) << '"';
        EXPECT_EQ(command.window, c.window) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(command.useForeground, c.foreground) << testing::PrintToString(std::wstring(c.line));
    }
    EXPECT_EQ(ParseCommandLine(nullptr).mode, SaverMode::Configure);
}

TEST(CommandLine, WindowNumbersAreThirtyTwoBitHandles)
{
    EXPECT_EQ(WindowFromCommandLine(L"/p -5"), Handle(-5));
    // The control panel writes handles as unsigned decimals; 64-bit Windows sign-extends.
    EXPECT_EQ(WindowFromCommandLine(L"/p 4294967295"), Handle(-1));
    EXPECT_EQ(WindowFromCommandLine(L"/p 65538"), Handle(65538));
    EXPECT_EQ(WindowFromCommandLine(L"/p"), nullptr);
    EXPECT_EQ(WindowFromCommandLine(L"/p x1"), nullptr);
}

} // namespace
