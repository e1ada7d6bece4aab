// The Options page and its dialogs, and the speed slider's scale.
#include "sheet_driver.h"

#include <cstdio>
#include <tuple>

#include "config_common.h"
#include "speed_slider.h"

namespace {

using Options = ConfigTest;

int Position(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0));
}

// The check boxes' states as a string of 0 and 1.
std::wstring Checks(HWND dialog, std::initializer_list<int> ids)
{
    std::wstring states;
    for (int id : ids)
        states += IsDlgButtonChecked(dialog, id) == BST_CHECKED ? L'1' : L'0';
    return states;
}

} // namespace

TEST_F(Options, ControlsAndDialogsShowTheSettingsAndOkStoresThem)
{
    Put(kReelhavenKey, L"Bounce Speed", Dword(125)); // no table row: the slider's end
    Put(kReelhavenKey, L"Master Volume", Dword(37));
    Put(kReelhavenKey, L"Random Order Playback", Dword(1));
    Put(kReelhavenKey, L"Keyboard Controls", Dword(1));
    Put(kReelhavenKey, L"Video File Types", Text(L"*.asf;*.avi;*.mov"));
    SheetRun run;
    run.Start();
    ListView_SetColumnWidth(run.Grid(), 2, 78);
    HWND page = run.Show(1);
    EXPECT_EQ(11, Position(page, 1022));
    EXPECT_EQ(L".asf, .avi, .mov", WindowText(GetDlgItem(page, 1023)));
    EXPECT_EQ(37, Position(page, 1014));
    EXPECT_EQ(L"37%", WindowText(GetDlgItem(page, 1029)));
    EXPECT_EQ(L"1001", Checks(page, {1005, 1006, 1007, 1009})); // random, mouse, mouse, keyboard

    // The user's moves: bounce speed to Slow with Home, volume down three with the keys.
    SetFocus(nullptr);
    ClickWindow(GetDlgItem(page, 1022));
    Key(VK_HOME);
    EXPECT_EQ(0, Position(page, 1022));
    ClickWindow(GetDlgItem(page, 1014));
    int volume = Position(page, 1014);
    Key(VK_LEFT, false, 3);
    EXPECT_EQ(volume - 3, Position(page, 1014));
    EXPECT_EQ(std::to_wstring(volume - 3) + L"%", WindowText(GetDlgItem(page, 1029)));
    ClickWindow(GetDlgItem(page, 1005));
    ClickWindow(GetDlgItem(page, 1007));

    // File types: Remove needs a selection; removing the last selects the new last; an added
    // "*.MKV" arrives as ".MKV"; a second round removes everything.
    HWND dialog = nullptr, list = nullptr;
    auto openTypes = [&] {
        ClickWindow(GetDlgItem(page, 1012));
        list = GetDlgItem(dialog = FindDialog(L"Video Files Filter"), 1017);
        return dialog != nullptr;
    };
    auto count = [&] { return SendMessageW(list, LB_GETCOUNT, 0, 0); };
    auto removeType = [&](int index) {
        SendMessageW(list, LB_SETCURSEL, index, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1017, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1002)));
        ClickWindow(GetDlgItem(dialog, 1002));
    };
    ASSERT_TRUE(openTypes());
    EXPECT_EQ(3, count());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1002)));
    removeType(2);
    EXPECT_EQ(2, count());
    EXPECT_EQ(1, SendMessageW(list, LB_GETCURSEL, 0, 0));
    ClickWindow(GetDlgItem(dialog, 1028));
    HWND add = FindDialog(L"Add File Type");
    ASSERT_NE(nullptr, add);
    SetDlgItemTextW(add, 1010, L"*.MKV");
    Press(add, IDOK);
    ASSERT_TRUE(WaitGone(add));
    EXPECT_EQ(3, count());
    EXPECT_NE(LB_ERR, SendMessageW(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(L".MKV")));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_EQ(L".asf, .avi, .MKV", WindowText(GetDlgItem(page, 1023)));
    ASSERT_TRUE(openTypes());
    while (count() > 0)
        removeType(0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1002)));
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_EQ(L"", WindowText(GetDlgItem(page, 1023)));

    // Playlist Defaults refuse loops 0 and 10000 with their own message; speed by the keys
    // from 1.00 (set again after the click) in 0.05 steps either side.
    ClickWindow(GetDlgItem(page, 1020));
    dialog = FindDialog(L"Playlist Defaults");
    ASSERT_NE(nullptr, dialog);
    HWND speed = GetDlgItem(dialog, 1012);
    EXPECT_EQ(L"1", WindowText(GetDlgItem(dialog, 1024)));
    EXPECT_EQ(60, Position(dialog, 1012));
    EXPECT_EQ(L"1.00", WindowText(GetDlgItem(dialog, 1027)));
    for (const wchar_t *loops : {L"0", L"10000"}) {
        SetDlgItemTextW(dialog, 1024, loops);
        Press(dialog, IDOK);
        EXPECT_EQ(L"Valid values for Loops are 1 to 9999.", AnswerMessage(IDOK, L"Invalid value")) << loops;
        EXPECT_TRUE(IsWindow(dialog));
    }
    ClickWindow(speed);
    SendMessageW(speed, TBM_SETPOS, TRUE, 60);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 60), reinterpret_cast<LPARAM>(speed));
    const std::pair<WORD, const wchar_t *> steps[] = {{VK_LEFT, L"0.95"}, {VK_RIGHT, L"1.00"}, {VK_RIGHT, L"1.05"}};
    for (auto [key, shown] : steps) {
        Key(key);
        EXPECT_EQ(shown, WindowText(GetDlgItem(dialog, 1027)));
    }
    SetDlgItemTextW(dialog, 1024, L"9999");
    SendDlgItemMessageW(dialog, 1014, CB_SETCURSEL, 6, 0);
    Press(dialog, IDOK);
    ASSERT_TRUE(WaitGone(dialog));
    EXPECT_EQ("missing", Get(kDefaultsKey, L"Loops")) << "stored only with the sheet's OK";

    // The focus colour chosen is in the settings at once.
    ClickWindow(GetDlgItem(page, 1049));
    HWND chooser = FindDialog(L"Color");
    ASSERT_NE(nullptr, chooser);
    SetDlgItemTextW(chooser, 706, L"10"); // the full colour dialog's red, green and blue boxes
    SetDlgItemTextW(chooser, 707, L"120");
    SetDlgItemTextW(chooser, 708, L"200");
    Press(chooser, IDOK);
    ASSERT_TRUE(WaitGone(chooser));
    EXPECT_EQ(RGB(10, 120, 200), run.settings().focusColor);

    // Back to the Playlist page and OK: the page was copied when it was left.
    run.Show(0);
    ASSERT_TRUE(run.Close(IDOK));
    const std::tuple<const wchar_t *, const wchar_t *, std::string> stored[] = {
        {kReelhavenKey, L"Bounce Speed", Dword(10)}, {kReelhavenKey, L"Master Volume", Dword(volume - 3)},
        {kReelhavenKey, L"Random Order Playback", Dword(0)}, {kReelhavenKey, L"Ignore Mouse Movement", Dword(1)},
        {kReelhavenKey, L"Keyboard Controls", Dword(1)}, {kReelhavenKey, L"Focus Color", Dword(RGB(10, 120, 200))},
        {kReelhavenKey, L"Video File Types", Text(L"")}, {kDefaultsKey, L"Loops", Dword(9999)},
        {kDefaultsKey, L"Size", Text(L"Double Original")}, {kDefaultsKey, L"Speed", Text(L"1.05")},
        {kWidthsKey, L"Size", Dword(78)}};
    for (const auto &[key, name, form] : stored)
        EXPECT_EQ(form, Get(key, name)) << name;
}

// Run with Wine's own version, as Windows XP x64 and as Windows 2000 (the wrapper sets it).
TEST_F(Options, RendererChecksFollowWindowsVersion)
{
    Put(kReelhavenKey, L"Use Classic Video Renderer", Dword(1));
    Put(kReelhavenKey, L"UseSingleRendererDesktopMode", Dword(1));
    WindowsVersion version = GetWindowsVersion();
    bool vista = version.major >= 6, xp = vista || (version.major == 5 && version.minor >= 1);
    SheetRun run;
    run.Start();
    HWND page = run.Show(1);
    EXPECT_EQ(xp, IsWindowEnabled(GetDlgItem(page, 1053)));
    EXPECT_EQ(!vista, IsWindowEnabled(GetDlgItem(page, 1056)));
    EXPECT_EQ(!vista, IsWindowEnabled(GetDlgItem(page, 1057)));
    EXPECT_EQ(std::wstring(xp ? L"1" : L"0") + (vista ? L"0" : L"1"), Checks(page, {1053, 1056}));
    run.Show(0);
    ASSERT_TRUE(run.Close(IDOK));
    EXPECT_EQ(Dword(vista ? 0 : 1), Get(kReelhavenKey, L"UseSingleRendererDesktopMode"))
        << "a disabled option is cleared when the page is left";
    std::printf("Windows %lu.%lu\n", version.major, version.minor);
}

// The slider's ends, the 0 that stands for 1.00 and the rounding between steps; the steps
// across 1.00 are taken by the keys in the grid's and the defaults dialog's sliders.
TEST(SpeedSliderScale, PositionsAndSpeedsBothWays)
{
    using namespace SpeedSlider;
    int line = 0;
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
    EXPECT_EQ(60, SnapLineStep(59, 63, Orientation::Vertical)) << "a step across 1.00 stops there";
    EXPECT_EQ(4, LineSizeAt(70, 1, Orientation::Vertical));
    EXPECT_EQ(1, LineSizeAt(70, 4, Orientation::Horizontal));
}
