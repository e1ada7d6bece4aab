// The Monitors dialog of the Options page, driven from the keyboard and by its buttons: what
// it shows, what its OK and Cancel leave in the settings the sheet stores, values a policy
// forces, and Identify's numbers. Cases named OneMonitor and TwoMonitors need that many
// monitors and are skipped elsewhere; the wrapper script runs the cases on both.
#include "sheet_driver.h"

#include <string>
#include <vector>

#include "monitor_layout.h"
#include "monitor_map.h"

namespace {

enum { kMonitorsButton = 1058, kMap = 1060, kEachMonitor = 1061, kIdentify = 1062 };

using MonitorsDialog = ConfigTest;

// The window with the keyboard focus in `dialog`'s thread.
HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

// Opens the Options page and, with its button, the Monitors dialog.
HWND OpenMonitors(SheetRun &run)
{
    run.Start();
    ClickWindow(GetDlgItem(run.Show(1), kMonitorsButton));
    return FindDialog(L"Monitors");
}

// Identify's windows of this process: the numbers they show.
std::vector<HWND> Numbers()
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"ReelhavenMonitorNumber", nullptr));)
        if (IsWindowVisible(window))
            found.push_back(window);
    return found;
}

} // namespace

TEST_F(MonitorsDialog, OneMonitorKeyboardReachesTheMapAndOkKeepsTheChoice)
{
    if (GetSystemMetrics(SM_CMONITORS) != 1)
        GTEST_SKIP() << GetSystemMetrics(SM_CMONITORS) << " monitors";
    // Longer than the setting holds: damaged, so every monitor shows as chosen.
    Put(kReelhavenKey, L"Monitors", Text(std::wstring(2000, L'x')));
    SheetRun run;
    HWND dialog = OpenMonitors(run);
    ASSERT_NE(nullptr, dialog);
    HWND map = GetDlgItem(dialog, kMap);
    EXPECT_TRUE(IsWindowEnabled(map));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kEachMonitor)));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, kEachMonitor));

    // The map is the first stop; Tab goes round the check box, Identify, OK and Cancel back to it.
    EXPECT_EQ(map, FocusOf(dialog));
    Key(VK_TAB);
    EXPECT_EQ(GetDlgItem(dialog, kEachMonitor), FocusOf(dialog));
    Key(VK_TAB, false, 4);
    EXPECT_EQ(map, FocusOf(dialog));
    // The only monitor: no other to move to, and it stays chosen (the arrows stay in the map).
    Key(VK_RIGHT);
    Key(VK_DOWN);
    EXPECT_EQ(map, FocusOf(dialog));
    Key(VK_SPACE);
    Key(VK_TAB);
    Key(VK_SPACE);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, kEachMonitor));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(run.settings().eachMonitorOwnVideo) << "in the settings at once";
    EXPECT_EQ("missing", Get(kReelhavenKey, L"Each Monitor Own Video")) << "stored only with the sheet's OK";

    ASSERT_TRUE(run.Close(IDOK));
    EXPECT_EQ(Dword(1), Get(kReelhavenKey, L"Each Monitor Own Video"));
    EXPECT_EQ(Text(L""), Get(kReelhavenKey, L"Monitors"));
}

TEST_F(MonitorsDialog, CancelLeavesTheSettingsAsTheyWere)
{
    Put(kReelhavenKey, L"Monitors", Text(L"Main"));
    Put(kReelhavenKey, L"Each Monitor Own Video", Dword(1));
    SheetRun run;
    HWND dialog = OpenMonitors(run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, kEachMonitor));
    ClickWindow(GetDlgItem(dialog, kEachMonitor));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, kEachMonitor));
    Key(VK_ESCAPE);
    ASSERT_TRUE(WaitGone(dialog));

    // Opened again it shows what was stored; OK with nothing changed keeps "Main" as it is.
    ClickWindow(GetDlgItem(run.Page(1), kMonitorsButton));
    dialog = FindDialog(L"Monitors");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, kEachMonitor));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(run.Close(IDOK));
    EXPECT_EQ(Dword(1), Get(kReelhavenKey, L"Each Monitor Own Video"));
    EXPECT_EQ(Text(L"Main"), Get(kReelhavenKey, L"Monitors"));
}

TEST_F(MonitorsDialog, PolicyForcedValuesAreShownButDisabled)
{
    Put(kPolicyKey, L"Monitors", Text(L"Main"));
    {
        SheetRun run;
        HWND dialog = OpenMonitors(run);
        ASSERT_NE(nullptr, dialog);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kMap)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kEachMonitor)));
        EXPECT_EQ(GetDlgItem(dialog, kEachMonitor), FocusOf(dialog)) << "the first stop that can be changed";
        Press(dialog, IDCANCEL);
        ASSERT_TRUE(WaitGone(dialog));
        ASSERT_TRUE(run.Close(IDCANCEL));
    }
    Put(kPolicyKey, L"Each Monitor Own Video", Dword(1), HKEY_LOCAL_MACHINE);
    SheetRun run;
    HWND dialog = OpenMonitors(run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kMap)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kEachMonitor)));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, kEachMonitor)) << "the forced value";
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(run.settings().eachMonitorOwnVideo);
    EXPECT_STREQ(L"Main", run.settings().monitors);
    ASSERT_TRUE(run.Close(IDCANCEL));
}

TEST_F(MonitorsDialog, IdentifyShowsEachNumberOnItsMonitorForAWhile)
{
    const std::vector<DisplayMonitor> monitors = PresentMonitors(); // as the dialog numbers them
    SheetRun run;
    HWND dialog = OpenMonitors(run);
    ASSERT_NE(nullptr, dialog);
    Press(dialog, kIdentify);
    ASSERT_TRUE(WaitUntil([&] { return Numbers().size() == monitors.size(); }, 3000));
    for (HWND number : Numbers()) {
        EXPECT_TRUE(GetWindowLongPtrW(number, GWL_EXSTYLE) & WS_EX_TOPMOST);
        const LONG_PTR shown = GetWindowLongPtrW(number, GWLP_USERDATA);
        ASSERT_TRUE(shown >= 1 && static_cast<size_t>(shown) <= monitors.size()) << shown;
        RECT place, inside;
        GetWindowRect(number, &place);
        EXPECT_TRUE(IntersectRect(&inside, &place, &monitors[shown - 1].area) && EqualRect(&inside, &place))
            << "number " << shown << " lies on its monitor";
    }
    EXPECT_EQ(dialog, GetForegroundWindow()) << "the numbers do not take the focus";
    Sleep(1500);
    EXPECT_EQ(monitors.size(), Numbers().size()) << "still there after a second and a half";
    EXPECT_TRUE(WaitUntil([] { return Numbers().empty(); }, 3500)) << "gone after about three seconds";

    // Closing the dialog takes them with it at once.
    Press(dialog, kIdentify);
    ASSERT_TRUE(WaitUntil([&] { return !Numbers().empty(); }, 3000));
    Press(dialog, IDCANCEL);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_TRUE(Numbers().empty());
    ASSERT_TRUE(run.Close(IDCANCEL));
}

// Monitor 1 at 0,0 and monitor 2 right of it: Right and Space turn monitor 2 off, and Space
// on monitor 1 then leaves it on, being the last.
TEST_F(MonitorsDialog, TwoMonitorsKeyboardChoosesOne)
{
    const std::vector<DisplayMonitor> monitors = PresentMonitors(); // as the dialog numbers them
    if (monitors.size() != 2)
        GTEST_SKIP() << monitors.size() << " monitors";
    SheetRun run;
    HWND dialog = OpenMonitors(run);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(GetDlgItem(dialog, kMap), FocusOf(dialog));
    const bool secondIsRight = monitors[1].area.left >= monitors[0].area.right;
    Key(secondIsRight ? VK_RIGHT : VK_LEFT);
    Key(VK_SPACE);
    Key(secondIsRight ? VK_LEFT : VK_RIGHT);
    Key(VK_SPACE);
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(run.Close(IDOK));
    EXPECT_EQ(Text(monitors[0].device), Get(kReelhavenKey, L"Monitors"));
    EXPECT_EQ(Dword(0), Get(kReelhavenKey, L"Each Monitor Own Video"));

    // Opened on that, a click on monitor 2 turns it back on: every monitor, the empty text.
    SheetRun again;
    dialog = OpenMonitors(again);
    ASSERT_NE(nullptr, dialog);
    HWND map = GetDlgItem(dialog, kMap);
    RECT client;
    GetClientRect(map, &client);
    ClickRect(map, MapArea(FitMap(monitors, client, MonitorMap::kMargin), monitors[1].area));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(again.Close(IDOK));
    EXPECT_EQ(Text(L""), Get(kReelhavenKey, L"Monitors"));
}
