// The Options page and its dialogs, and the program's test entry point.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <commctrl.h>

#include <cstdio>

#include "config_common.h"
#include "speed_slider.h"
#include "config_helpers.h"
#include "sheet_driver.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    // The test's own thread reads and writes playlist files through the playlist object.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}

namespace {

using Options = ConfigTest;

HWND ShowOptions(SheetRun &run)
{
    PropSheet_SetCurSel(run.Sheet(), nullptr, 1);
    HWND page = run.Page(1);
    WaitUntil([&] { return IsWindowVisible(page); }, 3000);
    return page;
}

int Position(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0));
}

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

} // namespace

TEST_F(Options, ControlsShowTheSettingsAndOkStoresThem)
{
    SetRegistryDword(nullptr, L"Bounce Speed", 125);    // no table row: the slider's end
    SetRegistryDword(nullptr, L"Master Volume", 37);
    SetRegistryDword(nullptr, L"Random Order Playback", 1);
    SetRegistryDword(nullptr, L"Keyboard Controls", 1);
    SetRegistryText(nullptr, L"Video File Types", L"*.asf;*.avi;*.mov");
    SheetRun run;
    run.Start();
    HWND page = ShowOptions(run);
    EXPECT_EQ(11, Position(page, 1022));
    EXPECT_EQ(L".asf, .avi, .mov", WindowText(GetDlgItem(page, 1023)));
    EXPECT_EQ(37, Position(page, 1014));
    EXPECT_EQ(L"37%", WindowText(GetDlgItem(page, 1029)));
    EXPECT_TRUE(Checked(page, 1005));
    EXPECT_FALSE(Checked(page, 1006));
    EXPECT_FALSE(Checked(page, 1007));
    EXPECT_TRUE(Checked(page, 1009));
    Screenshot(run.Sheet(), L"options-page");

    // The user's moves: bounce speed to Slow with Home, volume down three with the keys.
    SetFocus(nullptr);
    ClickWindow(GetDlgItem(page, 1022));
    Key(VK_HOME);
    EXPECT_EQ(0, Position(page, 1022));
    ClickWindow(GetDlgItem(page, 1014));
    int volume = Position(page, 1014);
    Key(VK_LEFT);
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(volume - 3, Position(page, 1014));
    wchar_t label[16];
    swprintf(label, 16, L"%d%%", volume - 3);
    EXPECT_EQ(label, WindowText(GetDlgItem(page, 1029)));
    ClickWindow(GetDlgItem(page, 1005));
    ClickWindow(GetDlgItem(page, 1007));

    // Back to the Playlist page and OK: the page was copied when it was left.
    PropSheet_SetCurSel(run.Sheet(), nullptr, 0);
    Press(run.Sheet(), IDOK);
    ASSERT_TRUE(run.Finish());
    DWORD value = 0;
    EXPECT_TRUE(RegistryDword(nullptr, L"Bounce Speed", &value));
    EXPECT_EQ(10u, value);
    EXPECT_TRUE(RegistryDword(nullptr, L"Master Volume", &value));
    EXPECT_EQ(static_cast<DWORD>(volume - 3), value);
    EXPECT_TRUE(RegistryDword(nullptr, L"Random Order Playback", &value));
    EXPECT_EQ(0u, value);
    EXPECT_TRUE(RegistryDword(nullptr, L"Ignore Mouse Movement", &value));
    EXPECT_EQ(1u, value);
    EXPECT_TRUE(RegistryDword(nullptr, L"Keyboard Controls", &value));
    EXPECT_EQ(1u, value);
}

TEST_F(Options, PlaylistDefaultsRefuseLoopsOutOfRangeAndSnapTheSpeed)
{
    SheetRun run;
    run.Start();
    HWND page = ShowOptions(run);
    ClickWindow(GetDlgItem(page, 1020));
    HWND dialog = FindDialog(L"Playlist Defaults");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"1", WindowText(GetDlgItem(dialog, 1024)));
    EXPECT_EQ(60, Position(dialog, 1012));
    EXPECT_EQ(L"1.00", WindowText(GetDlgItem(dialog, 1027)));
    Screenshot(dialog, L"playlist-defaults");

    for (const wchar_t *loops : {L"0", L"10000"}) {
        SetDlgItemTextW(dialog, 1024, loops);
        Press(dialog, IDOK);
        HWND message = FindDialog(L"Invalid value");
        ASSERT_NE(nullptr, message) << "loops " << testing::PrintToString(std::wstring(loops));
        EXPECT_EQ(L"Valid values for Loops are 1 to 9999.", MessageText(message));
        Press(message, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(message); }, 3000));
        EXPECT_TRUE(IsWindow(dialog));
    }

    // Speed by the keys: 1.00 one step slower is 0.95, back is 1.00, one faster 1.05.
    ClickWindow(GetDlgItem(dialog, 1012));
    SendDlgItemMessageW(dialog, 1012, TBM_SETPOS, TRUE, 60);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 60), (LPARAM)GetDlgItem(dialog, 1012));
    Key(VK_LEFT);
    EXPECT_EQ(L"0.95", WindowText(GetDlgItem(dialog, 1027)));
    Key(VK_RIGHT);
    EXPECT_EQ(L"1.00", WindowText(GetDlgItem(dialog, 1027)));
    Key(VK_RIGHT);
    EXPECT_EQ(L"1.05", WindowText(GetDlgItem(dialog, 1027)));

    SetDlgItemTextW(dialog, 1024, L"9999");
    SendDlgItemMessageW(dialog, 1014, CB_SETCURSEL, 6, 0);
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 3000));
    Press(run.Sheet(), IDOK);
    ASSERT_TRUE(run.Finish());
    DWORD loops = 0;
    EXPECT_TRUE(RegistryDword(L"Playlist Defaults", L"Loops", &loops));
    EXPECT_EQ(9999u, loops);
    EXPECT_EQ(L"Double Original", RegistryText(L"Playlist Defaults", L"Size"));
    EXPECT_EQ(L"1.05", RegistryText(L"Playlist Defaults", L"Speed"));
}

TEST_F(Options, FileTypesDialogEditsTheList)
{
    SetRegistryText(nullptr, L"Video File Types", L"*.asf;*.avi;*.mov");
    SheetRun run;
    run.Start();
    HWND page = ShowOptions(run);
    ClickWindow(GetDlgItem(page, 1012));
    HWND dialog = FindDialog(L"Video Files Filter");
    ASSERT_NE(nullptr, dialog);
    HWND list = GetDlgItem(dialog, 1017);
    HWND remove = GetDlgItem(dialog, 1002);
    EXPECT_EQ(3, SendMessageW(list, LB_GETCOUNT, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(remove));

    // Remove the last: the new last is selected.
    SendMessageW(list, LB_SETCURSEL, 2, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1017, LBN_SELCHANGE), (LPARAM)list);
    EXPECT_TRUE(IsWindowEnabled(remove));
    ClickWindow(remove);
    EXPECT_EQ(2, SendMessageW(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, SendMessageW(list, LB_GETCURSEL, 0, 0));

    // Add *.MKV: it arrives as .MKV.
    ClickWindow(GetDlgItem(dialog, 1028));
    HWND add = FindDialog(L"Add File Type");
    ASSERT_NE(nullptr, add);
    Screenshot(add, L"add-file-type");
    SetDlgItemTextW(add, 1010, L"*.MKV");
    Press(add, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(add); }, 3000));
    EXPECT_EQ(3, SendMessageW(list, LB_GETCOUNT, 0, 0));
    EXPECT_NE(LB_ERR, SendMessageW(list, LB_FINDSTRINGEXACT, -1, (LPARAM)L".MKV"));
    Screenshot(dialog, L"video-files-filter");
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 3000));
    std::wstring box = WindowText(GetDlgItem(page, 1023));
    EXPECT_NE(std::wstring::npos, box.find(L".MKV")) << testing::PrintToString(box);
    EXPECT_EQ(std::wstring::npos, box.find(L".mov"));

    // Cancel leaves the setting alone; a second round removes everything.
    ClickWindow(GetDlgItem(page, 1012));
    dialog = FindDialog(L"Video Files Filter");
    ASSERT_NE(nullptr, dialog);
    list = GetDlgItem(dialog, 1017);
    while (SendMessageW(list, LB_GETCOUNT, 0, 0) > 0) {
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1017, LBN_SELCHANGE), (LPARAM)list);
        ClickWindow(GetDlgItem(dialog, 1002));
    }
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1002)));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_EQ(L"", WindowText(GetDlgItem(page, 1023)));

    PropSheet_SetCurSel(run.Sheet(), nullptr, 2);
    Screenshot(run.Sheet(), L"about-page");
    Press(run.Sheet(), IDOK);
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(L"", RegistryText(nullptr, L"Video File Types"));
}

// Run with Wine's own version, as Windows XP x64 and as Windows 2000 (the wrapper sets it).
TEST_F(Options, RendererChecksFollowWindowsVersion)
{
    SetRegistryDword(nullptr, L"Use Classic Video Renderer", 1);
    SetRegistryDword(nullptr, L"UseSingleRendererDesktopMode", 1);
    WindowsVersion version = GetWindowsVersion();
    bool vista = version.major >= 6;
    bool xp = vista || (version.major == 5 && version.minor >= 1);
    SheetRun run;
    run.Start();
    HWND page = ShowOptions(run);
    EXPECT_EQ(xp, IsWindowEnabled(GetDlgItem(page, 1053)));
    EXPECT_EQ(xp, Checked(page, 1053));
    EXPECT_EQ(!vista, IsWindowEnabled(GetDlgItem(page, 1056)));
    EXPECT_EQ(!vista, IsWindowEnabled(GetDlgItem(page, 1057)));
    EXPECT_EQ(!vista, Checked(page, 1056));
    wchar_t name[40];
    swprintf(name, 40, L"options-page-windows-%lu.%lu", version.major, version.minor);
    Screenshot(run.Sheet(), name);
    PropSheet_SetCurSel(run.Sheet(), nullptr, 0);
    Press(run.Sheet(), IDOK);
    ASSERT_TRUE(run.Finish());
    DWORD value = 2;
    EXPECT_TRUE(RegistryDword(nullptr, L"UseSingleRendererDesktopMode", &value));
    EXPECT_EQ(vista ? 0u : 1u, value) << "a disabled option is cleared when the page is left";
    std::printf("Windows %lu.%lu\n", version.major, version.minor);
}

TEST(SpeedSliderScale, PositionsAndSpeedsBothWays)
{
    using namespace SpeedSlider;
    int line = 0;
    EXPECT_EQ(60, SpeedToPosition(1.0f, Orientation::Vertical, &line));
    EXPECT_EQ(60, SpeedToPosition(0.0f, Orientation::Vertical, &line)) << "0 counts as 1.00";
    EXPECT_EQ(0, SpeedToPosition(4.0f, Orientation::Vertical, &line));
    EXPECT_EQ(1, line);
    EXPECT_EQ(120, SpeedToPosition(0.25f, Orientation::Vertical, &line));
    EXPECT_EQ(4, line);
    EXPECT_EQ(120, SpeedToPosition(9.0f, Orientation::Horizontal, &line));
    EXPECT_FLOAT_EQ(4.0f, PositionToSpeed(120, Orientation::Horizontal));
    EXPECT_FLOAT_EQ(0.25f, PositionToSpeed(0, Orientation::Horizontal));
    EXPECT_FLOAT_EQ(0.95f, PositionToSpeed(57, Orientation::Horizontal)) << "three short of a step rounds up";
    EXPECT_FLOAT_EQ(1.0f, PositionToSpeed(58, Orientation::Horizontal));
    // Arrow steps across 1.00 on the vertical slider.
    EXPECT_EQ(64, SnapLineStep(61, 60, Orientation::Vertical));
    EXPECT_EQ(59, SnapLineStep(56, 60, Orientation::Vertical));
    EXPECT_EQ(60, SnapLineStep(59, 63, Orientation::Vertical));
    EXPECT_EQ(56, SnapLineStep(59, 61, Orientation::Horizontal));
    EXPECT_EQ(61, SnapLineStep(64, 56, Orientation::Horizontal));
    EXPECT_EQ(4, LineSizeAt(70, 1, Orientation::Vertical));
    EXPECT_EQ(1, LineSizeAt(70, 4, Orientation::Horizontal));
    EXPECT_EQ(4, LineSizeAt(60, 4, Orientation::Horizontal));
}

TEST_F(Options, ChosenFocusColourIsStoredAtOnce)
{
    SheetRun run;
    run.Start();
    HWND page = ShowOptions(run);
    ClickWindow(GetDlgItem(page, 1049));
    HWND chooser = FindDialog(L"Color");
    ASSERT_NE(nullptr, chooser);
    // The red, green and blue boxes of the full colour dialog.
    SetDlgItemTextW(chooser, 706, L"10");
    SetDlgItemTextW(chooser, 707, L"120");
    SetDlgItemTextW(chooser, 708, L"200");
    Press(chooser, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, 3000));
    EXPECT_EQ(RGB(10, 120, 200), run.settings().focusColor);
    Screenshot(run.Sheet(), L"options-focus-colour");

    PropSheet_SetCurSel(run.Sheet(), nullptr, 0);
    Press(run.Sheet(), IDOK);
    ASSERT_TRUE(run.Finish());
    DWORD colour = 0;
    EXPECT_TRUE(RegistryDword(nullptr, L"Focus Color", &colour));
    EXPECT_EQ(RGB(10, 120, 200), colour);
}
