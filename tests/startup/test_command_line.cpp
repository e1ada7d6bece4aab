// The command-line table: only the second character picks the mode; the window number
// is read from the fourth character on.
#include <gtest/gtest.h>

#include "command_line.h"

namespace {

HWND Handle(LONG_PTR value) { return reinterpret_cast<HWND>(value); }

TEST(CommandLine, ModesAndParents)
{
    using enum SaverMode;
    const struct {
        const wchar_t *line;
        SaverMode mode;
        LONG_PTR window;
        bool foreground;
    } cases[] = {
        {L"", Configure, 0, true},         {L"x", Configure, 0, true},
        {L"/c", Configure, 0, true},       {L"/C:", Configure, 0, true},
        {L"/c:0", Configure, 0, false},    {L"/c:1234", Configure, 1234, false},
        {L"-C 77", Configure, 77, false},  {L"/p 0", Preview, 0, false},
        {L"/p 123", Preview, 123, false},  {L"/P 12abc", Preview, 12, false},
        {L"/p", Preview, 0, false},        {L"/p   +42", Preview, 42, false},
        {L"/s", Run, 0, false},            {L"/S", Run, 0, false},
        {L"-s", Run, 0, false},            {L"xs", Run, 0, false},
        {L"/s 99", Run, 0, false},         {L"/a", None, 0, false},
        {L"/a 1234", None, 0, false},      {L"//", None, 0, false},
        {L"s", Configure, 0, true}, // one character: no argument
    };
    for (const auto &c : cases) {
        const SaverCommand command = ParseCommandLine(c.line);
        EXPECT_EQ(command.mode, c.mode) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(command.window, Handle(c.window)) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(command.useForeground, c.foreground) << testing::PrintToString(std::wstring(c.line));
    }
    EXPECT_EQ(ParseCommandLine(nullptr).mode, Configure);
}

TEST(CommandLine, WindowNumbersAreThirtyTwoBitHandles)
{
    // The control panel writes handles as unsigned decimals; 64-bit Windows sign-extends.
    const std::pair<const wchar_t *, LONG_PTR> cases[] = {
        {L"/p -5", -5}, {L"/p 4294967295", -1}, {L"/p 65538", 65538}, {L"/p", 0}, {L"/p x1", 0}};
    for (auto [line, window] : cases)
        EXPECT_EQ(WindowFromCommandLine(line), Handle(window)) << testing::PrintToString(std::wstring(line));
}

} // namespace
