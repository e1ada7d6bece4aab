// The "Monitors" setting read against lists of monitors: which are chosen and in what
// order, and that damaged text falls back to every monitor. The last case asks Wine's
// display for the monitors that are really there.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "monitor_choice.h"

namespace {

// Each chosen monitor's device name without the "\\.\" prefix, joined with spaces.
std::string Names(const std::vector<DisplayMonitor> &monitors)
{
    std::string names;
    for (const DisplayMonitor &m : monitors) {
        for (const wchar_t *c = m.device + 4; *c; ++c)
            names += static_cast<char>(*c);
        names += ' ';
    }
    return names;
}

TEST(MonitorChoiceTest, NamesMainAndDamage)
{
    // Enumerated in no useful order: the main one in the middle, one left of it.
    const DisplayMonitor present[] = {
        {L"\\\\.\\DISPLAY2", {1280, 0, 2304, 768}, false},
        {L"\\\\.\\DISPLAY1", {0, 0, 1280, 720}, true},
        {L"\\\\.\\DISPLAY3", {-1024, 0, 0, 768}, false},
        {L"\\\\.\\DISPLAY4", {1280, -600, 2080, 0}, false},
    };
    const std::string all = "DISPLAY1 DISPLAY3 DISPLAY4 DISPLAY2 ";
    const std::wstring fits = L"\\\\.\\DISPLAY2;" + std::wstring(kMonitorsChars - 13, L' ');
    const struct {
        std::wstring setting;
        std::string chosen;
    } cases[] = {
        {L"", all},
        {L"Main", "DISPLAY1 "},
        {L" mAIN\t", "DISPLAY1 "},
        {L"\\\\.\\display2;\\\\.\\DISPLAY3", "DISPLAY3 DISPLAY2 "},
        {L" \\\\.\\DISPLAY2 ; main ;", "DISPLAY1 DISPLAY2 "},
        {L"\\\\.\\DISPLAY2;\\\\.\\Display2", "DISPLAY2 "},
        {L"\\\\.\\DISPLAY9;\\\\.\\DISPLAY4", "DISPLAY4 "},
        {fits, "DISPLAY2 "},
        // Nothing that matches, or damaged: every monitor.
        {L"\\\\.\\DISPLAY9", all},
        {L"\\\\.\\DISPLAY2\\\\.\\DISPLAY3", all},
        {L"DISPLAY2", all},
        {L" ;; ; ", all},
        {fits + L" ", all},
        {std::wstring(L"\\\\.\\DISPLAY2\0;x", 15), all},
        {L"\\\\.\\DISPLAY2;\x1b[0m", all},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Names(ChooseMonitors(c.setting, present)), c.chosen)
            << testing::PrintToString(c.setting.substr(0, 60));

    EXPECT_TRUE(ChooseMonitors(L"Main", {}).empty());
    // A main monitor that is not there: "Main" matches nothing.
    EXPECT_EQ(Names(ChooseMonitors(L"Main", std::span(present).first(1))), "DISPLAY2 ");
    // None flagged as the main one: the one at the origin is.
    DisplayMonitor unflagged[std::size(present)];
    std::copy(std::begin(present), std::end(present), unflagged);
    for (DisplayMonitor &m : unflagged)
        m.primary = false;
    EXPECT_EQ(Names(ChooseMonitors(L"Main", unflagged)), "DISPLAY1 ");
}

TEST(MonitorChoiceTest, TheSystemsMonitors)
{
    const std::vector<DisplayMonitor> present = PresentMonitors();
    ASSERT_FALSE(present.empty());
    const std::vector<DisplayMonitor> main = ChooseMonitors(L"Main", present);
    ASSERT_EQ(main.size(), 1u);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
    EXPECT_TRUE(main[0].primary && EqualRect(&main[0].area, &info.rcMonitor));
    EXPECT_EQ(ChooseMonitors(main[0].device, present).size(), 1u) << Names(main);
}

} // namespace
