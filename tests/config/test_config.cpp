// The Playlist page and the sheet, driven through their windows.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "abi.h"
#include "config_helpers.h"
#include "sheet_driver.h"

using Microsoft::WRL::ComPtr;

std::wstring Media(const wchar_t *name)
{
    const wchar_t *folder = _wgetenv(L"CONFIG_MEDIA");
    return std::wstring(folder ? folder : L"C:\\") + L"\\" + name;
}

HRESULT WritePlaylistFile(const std::wstring &path, const std::vector<Entry> &entries)
{
    ComPtr<IHCYFWPlaylist> playlist;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                  reinterpret_cast<void **>(playlist.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    for (const Entry &entry : entries) {
        PlaybackItem item = DefaultPlaybackItem();
        item.fileName = const_cast<wchar_t *>(entry.path.c_str());
        item.loops = entry.loops;
        item.volume = entry.volume;
        item.scaleToScreen = entry.scaleToScreen;
        item.keepAspect = entry.keepAspect;
        item.scale = entry.scale;
        item.rate = entry.rate;
        item.bounce = entry.bounce;
        item.perMonitor = entry.perMonitor;
        if (FAILED(hr = playlist->Insert(&item, -1)))
            return hr;
        PlaylistPosition position{0, entry.result};
        if (entry.result != 0 && FAILED(hr = playlist->SetPosition(&position, POSITION_RESULT)))
            return hr;
    }
    return playlist->Save(path.c_str(), FALSE);
}

std::vector<Entry> ReadPlaylistFile(const std::wstring &path)
{
    std::vector<Entry> entries;
    ComPtr<IHCYFWPlaylist> playlist;
    if (FAILED(CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                reinterpret_cast<void **>(playlist.GetAddressOf()))) ||
        FAILED(playlist->Load(path.c_str())))
        return entries;
    LONG count = 0;
    playlist->GetCount(&count);
    for (LONG n = 0; n < count; ++n) {
        PlaybackItem item{};
        PlaylistPosition position{};
        playlist->GetCurrentItem(&item);
        playlist->GetPosition(&position);
        Entry entry;
        entry.path = item.fileName ? item.fileName : L"";
        CoTaskMemFree(item.fileName);
        entry.loops = item.loops;
        entry.volume = item.volume;
        entry.scaleToScreen = item.scaleToScreen;
        entry.keepAspect = item.keepAspect;
        entry.scale = item.scale;
        entry.rate = item.rate;
        entry.bounce = item.bounce;
        entry.perMonitor = item.perMonitor;
        entry.result = position.playResult;
        entries.push_back(entry);
        playlist->Next();
    }
    return entries;
}

void ConfigTest::SetUp()
{
    ClearProductKey();
    // Column widths that show every column on the page.
    const wchar_t *names[] = {L"File", L"Loops", L"Size", L"Bounce", L"Volume", L"Style", L"Speed"};
    const DWORD widths[] = {88, 36, 66, 42, 44, 50, 34};
    for (int n = 0; n < 7; ++n)
        SetRegistryDword(L"Playlist Column Widths", names[n], widths[n]);
}

void ConfigTest::TearDown()
{
    ClearProductKey();
}

namespace {

// A playlist of four entries covering the conversions the page makes when it reads one.
std::vector<Entry> FourEntries()
{
    std::vector<Entry> entries(4);
    entries[0].path = Media(L"alpha.avi");
    entries[0].loops = -1;           // shown as 9999
    entries[0].keepAspect = 0;       // screen-relative 1.0 without aspect: Full Screen
    entries[0].rate = 1.5f;
    entries[0].bounce = 1;
    entries[0].perMonitor = 0;       // Desktop
    entries[0].volume = 40;
    entries[1].path = Media(L"beta.avi");
    entries[1].loops = 3;
    entries[1].result = static_cast<HRESULT>(0x80040216); // failed last time: overlay
    entries[2].path = Media(L"gamma.avi");
    entries[2].loops = 0;            // shown as 1
    entries[2].scaleToScreen = 0;    // Original
    entries[2].rate = 0.25f;
    entries[3].path = Media(L"CLIP.AVI"); // upper-case extension: no icon
    entries[3].loops = 10000;
    entries[3].scaleToScreen = 1;
    entries[3].scale = 0.5f;
    return entries;
}

std::vector<std::wstring> RowTexts(HWND grid, int row)
{
    std::vector<std::wstring> texts;
    for (int column = 0; column < 7; ++column)
        texts.push_back(CellText(grid, row, column));
    return texts;
}

int RowImage(HWND grid, int row)
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageW(grid, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

bool HasOverlay(HWND grid, int row)
{
    return (RowState(grid, row, LVIS_OVERLAYMASK) & LVIS_OVERLAYMASK) == INDEXTOOVERLAYMASK(1);
}

} // namespace

TEST_F(ConfigTest, OpeningAPlaylistShowsItsRowsTitleAndFailures)
{
    std::wstring list = Media(L"four.plst");
    ASSERT_EQ(S_OK, WritePlaylistFile(list, FourEntries()));
    SetRegistryText(nullptr, L"Playlist", list.c_str());

    SheetRun run;
    run.Start();
    ASSERT_NE(nullptr, run.Sheet());
    HWND grid = run.Grid();
    ASSERT_EQ(4, RowCount(grid));
    EXPECT_EQ(L"four - " + list, WindowText(run.Sheet()));

    using Row = std::vector<std::wstring>;
    EXPECT_EQ((Row{L"alpha.avi", L"9999", L"Full Screen", L"yes", L"40%", L"Desktop", L"1.50"}), RowTexts(grid, 0));
    EXPECT_EQ((Row{L"beta.avi", L"3", L"Maximized", L"no", L"100%", L"Monitor", L"1.00"}), RowTexts(grid, 1));
    EXPECT_EQ((Row{L"gamma.avi", L"1", L"Original", L"no", L"100%", L"Monitor", L"0.25"}), RowTexts(grid, 2));
    EXPECT_EQ((Row{L"CLIP.AVI", L"9999", L"1/2 Screen", L"no", L"100%", L"Monitor", L"1.00"}), RowTexts(grid, 3));

    EXPECT_FALSE(HasOverlay(grid, 0));
    EXPECT_TRUE(HasOverlay(grid, 1));
    EXPECT_GE(RowImage(grid, 0), 0);
    EXPECT_EQ(RowImage(grid, 0), RowImage(grid, 1));
    EXPECT_LT(RowImage(grid, 3), 0) << "CLIP.AVI has no lower-case pattern";

    // Without a parent from the command line the sheet is centred on the work area.
    RECT work, sheet;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(run.Sheet(), &sheet);
    EXPECT_EQ(work.left + (work.right - work.left - (sheet.right - sheet.left)) / 2, sheet.left);
    EXPECT_EQ(work.top + (work.bottom - work.top - (sheet.bottom - sheet.top)) / 2, sheet.top);

    ClickCell(grid, 1, 2); // a focus cell in the selected row, for the picture
    Screenshot(run.Sheet(), L"playlist-page");

    // The grid wants every key, yet Tab still moves on in the sheet's order and back.
    auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(run.Sheet(), nullptr), &info);
        return info.hwndFocus;
    };
    EXPECT_EQ(grid, focused());
    Key(VK_TAB);
    EXPECT_EQ(GetDlgItem(run.PlaylistPage(), 32789), focused());
    Key(VK_TAB, true);
    EXPECT_EQ(grid, focused());

    // Show Path from the File column's header menu.
    HWND header = reinterpret_cast<HWND>(SendMessageW(grid, LVM_GETHEADER, 0, 0));
    RECT item{};
    SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    POINT point{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(header, &point);
    SetCursorPos(point.x, point.y);
    INPUT click[2]{};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, click, sizeof(INPUT));
    Sleep(400);
    Key(VK_DOWN);
    Key(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return CellText(grid, 0, 0) == Media(L"alpha.avi"); }, 3000))
        << "File cell reads " << testing::PrintToString(CellText(grid, 0, 0));
    Screenshot(run.Sheet(), L"playlist-page-paths");

    // Open: a file that is no playlist is reported and the rows stay; a real one replaces them.
    std::wstring junk = Media(L"junk.plst");
    if (FILE *out = _wfopen(junk.c_str(), L"wb")) {
        fputs("not a playlist", out);
        fclose(out);
    }
    std::wstring other = Media(L"other.plst");
    ASSERT_EQ(S_OK, WritePlaylistFile(other, std::vector<Entry>(1, FourEntries()[2])));
    ToolbarClick(run.PlaylistPage(), 32774, 32770);
    ChooseFile(L"Open Playlist", junk);
    EXPECT_EQ(L"Failed to open " + junk + L".", AnswerMessage(IDOK));
    EXPECT_EQ(4, RowCount(grid));
    EXPECT_EQ(L"four - " + list, WindowText(run.Sheet()));
    ToolbarClick(run.PlaylistPage(), 32774, 32770);
    ChooseFile(L"Open Playlist", other);
    EXPECT_TRUE(NoMessage());
    EXPECT_EQ(1, RowCount(grid));
    EXPECT_EQ(L"other - " + other, WindowText(run.Sheet()));

    Press(run.Sheet(), IDCANCEL);
    ASSERT_TRUE(run.Finish());
    DWORD showPath = 0;
    EXPECT_TRUE(RegistryDword(nullptr, L"Show Path", &showPath));
    EXPECT_EQ(1u, showPath) << "Show Path is written even after Cancel";
    EXPECT_EQ(L"(missing)", RegistryText(nullptr, L"Playlist Open Directory")) << "written only after OK";
}

TEST_F(ConfigTest, EditingEveryColumnInPlaceIsSavedToTheFile)
{
    std::wstring list = Media(L"edit.plst");
    ASSERT_EQ(S_OK, WritePlaylistFile(list, FourEntries()));
    SetRegistryText(nullptr, L"Playlist", list.c_str());
    SheetRun run;
    run.Start();
    HWND grid = run.Grid();
    ASSERT_EQ(4, RowCount(grid));

    // Loops: first click focuses the cell, the second opens the box; 0 commits as 1.
    ClickCell(grid, 0, 1);
    ClickCell(grid, 0, 1);
    HWND loops = GetDlgItem(grid, 32781);
    ASSERT_TRUE(WaitUntil([&] { return (loops = GetDlgItem(grid, 32781)) && IsWindowVisible(loops); }, 3000));
    EXPECT_EQ(L"9999", WindowText(loops));
    Screenshot(run.Sheet(), L"loops-editor");
    TypeText(L"0");
    Key(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(loops); }, 3000));
    EXPECT_EQ(L"1", CellText(grid, 0, 1));

    // Size, Bounce and Style from their lists: Right moves the focus cell, Enter opens it.
    Key(VK_RIGHT);
    Key(VK_RETURN);
    HWND size = GetDlgItem(grid, 32782);
    ASSERT_NE(nullptr, size);
    // Narrower than "Double Original": the list reaches left of its cell, right edges aligned.
    RECT box, cell{};
    cell.top = 2; // the Size column
    cell.left = LVIR_LABEL;
    SendMessageW(grid, LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell));
    GetWindowRect(size, &box);
    MapWindowPoints(nullptr, grid, reinterpret_cast<POINT *>(&box), 2);
    int sample = static_cast<int>(SendMessageW(grid, LVM_GETSTRINGWIDTHW, 0, (LPARAM)L"Double Original  "));
    EXPECT_EQ(sample, box.right - box.left);
    EXPECT_EQ(cell.right, box.right);
    EXPECT_LT(box.left, cell.left);
    Screenshot(run.Sheet(), L"size-editor");
    Key(VK_DOWN);   // Full Screen -> 3/4 Screen
    Key(VK_RETURN);
    EXPECT_EQ(L"3/4 Screen", CellText(grid, 0, 2));
    Key(VK_RIGHT);
    Key(VK_RETURN);
    ASSERT_NE(nullptr, GetDlgItem(grid, 32785));
    Key(VK_UP);     // yes -> no
    Key(VK_RETURN);
    EXPECT_EQ(L"no", CellText(grid, 0, 3));

    // Volume by its slider: down is quieter, one percent a step.
    Key(VK_RIGHT);
    Key(VK_RETURN);
    HWND volume = GetDlgItem(grid, 32784);
    ASSERT_NE(nullptr, volume);
    EXPECT_EQ(L"40%", WindowText(volume));
    Screenshot(run.Sheet(), L"volume-editor");
    for (int n = 0; n < 5; ++n)
        Key(VK_DOWN);
    EXPECT_EQ(L"35%", WindowText(volume));
    Key(VK_RETURN);
    EXPECT_EQ(L"35%", CellText(grid, 0, 4));

    Key(VK_RIGHT);
    Key(VK_RETURN);
    ASSERT_NE(nullptr, GetDlgItem(grid, 32786));
    Key(VK_UP);     // Desktop -> Monitor
    Key(VK_RETURN);
    EXPECT_EQ(L"Monitor", CellText(grid, 0, 5));

    // Speed: 1.50 down two steps to 1.40, then across 1.00 on another row.
    Key(VK_RIGHT);
    Key(VK_RETURN);
    HWND speed = GetDlgItem(grid, 32788);
    ASSERT_NE(nullptr, speed);
    EXPECT_EQ(L"1.50", WindowText(speed));
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(L"1.40", WindowText(speed));
    Key(VK_RETURN);
    EXPECT_EQ(L"1.40", CellText(grid, 0, 6));
    Key(VK_DOWN);   // row 1, speed 1.00
    Key(VK_RETURN);
    speed = GetDlgItem(grid, 32788);
    ASSERT_NE(nullptr, speed);
    Key(VK_DOWN);
    EXPECT_EQ(L"0.95", WindowText(speed));
    Key(VK_UP);
    EXPECT_EQ(L"1.00", WindowText(speed));
    Key(VK_UP);
    EXPECT_EQ(L"1.05", WindowText(speed));
    Key(VK_RETURN);
    EXPECT_EQ(L"1.05", CellText(grid, 1, 6));

    ToolbarClick(run.PlaylistPage(), 32774, 32771); // Save
    EXPECT_TRUE(NoMessage());
    std::vector<Entry> saved = ReadPlaylistFile(list);
    ASSERT_EQ(4u, saved.size());
    EXPECT_EQ(1, saved[0].loops);
    EXPECT_EQ(1, saved[0].scaleToScreen);
    EXPECT_EQ(1, saved[0].keepAspect);
    EXPECT_EQ(0.75f, saved[0].scale);
    EXPECT_EQ(0, saved[0].bounce);
    EXPECT_EQ(35, saved[0].volume);
    EXPECT_EQ(1, saved[0].perMonitor);
    EXPECT_FLOAT_EQ(1.4f, saved[0].rate);
    EXPECT_FLOAT_EQ(1.05f, saved[1].rate);
    EXPECT_EQ(0, saved[1].result) << "remembered errors are not saved";
    EXPECT_EQ(9999, saved[3].loops) << "loops above 9999 come back as 9999";
    EXPECT_EQ(1, saved[2].loops);
    EXPECT_EQ(0, saved[2].scaleToScreen);

    // Nothing unsaved is left: OK closes without a question.
    Press(run.Sheet(), IDOK);
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(list, RegistryText(nullptr, L"Playlist"));
}

TEST_F(ConfigTest, AddRemoveAndMovesKeepEachRowsDataWithItsRow)
{
    SetRegistryText(L"Playlist Defaults", L"Loops", L"x"); // wrong type: ignored, default 1 stays
    SetRegistryDword(L"Playlist Defaults", L"Volume", 70);
    SetRegistryText(L"Playlist Defaults", L"Style", L"Desktop");
    SetRegistryText(nullptr, L"Video Directory", Media(L"").c_str());
    SheetRun run;
    run.Start();
    HWND page = run.PlaylistPage();
    HWND grid = run.Grid();
    EXPECT_EQ(L"<Untitled>", WindowText(run.Sheet()));

    // Add three files in one choice: they come in the order the dialog returns them.
    ToolbarClick(page, 32789, 32776);
    ChooseFile(L"Add Videos", L"\"alpha.avi\" \"beta.avi\" \"gamma.avi\"");
    ASSERT_EQ(3, RowCount(grid));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(L"70%", CellText(grid, row, 4));
        EXPECT_EQ(L"Desktop", CellText(grid, row, 5));
    }
    std::vector<std::wstring> names{CellText(grid, 0, 0), CellText(grid, 1, 0), CellText(grid, 2, 0)};
    EXPECT_EQ(Media(L""), RegistryText(nullptr, L"Video Directory")) << "not written before OK";

    // Give the second row values of its own, then move it about.
    SelectRow(grid, 1);
    ClickCell(grid, 1, 1);
    ClickCell(grid, 1, 1);
    TypeText(L"\b\b\b\b42");
    Key(VK_RETURN);
    ASSERT_EQ(L"42", CellText(grid, 1, 1));

    SelectRow(grid, 0);
    ToolbarClick(page, 32789, 32778); // Move Up on the first row: nothing
    EXPECT_EQ(names[0], CellText(grid, 0, 0));
    SelectRow(grid, 1);
    ToolbarClick(page, 32789, 32778); // Move Up
    EXPECT_EQ(names[1], CellText(grid, 0, 0));
    EXPECT_EQ(L"42", CellText(grid, 0, 1));
    EXPECT_EQ(names[0], CellText(grid, 1, 0));
    ToolbarClick(page, 32789, 32779); // Move Down twice: to the end
    ToolbarClick(page, 32789, 32779);
    EXPECT_EQ(names[1], CellText(grid, 2, 0));
    EXPECT_EQ(L"42", CellText(grid, 2, 1));
    ToolbarClick(page, 32789, 32779); // already last: nothing
    EXPECT_EQ(names[1], CellText(grid, 2, 0));

    SelectRow(grid, 0);
    ToolbarClick(page, 32789, 32777); // Remove the first
    ASSERT_EQ(2, RowCount(grid));
    EXPECT_EQ(names[2], CellText(grid, 0, 0));

    // Save As with a name without extension writes <name>.plst.
    ToolbarClick(page, 32774, 32772);
    ChooseFile(L"Save Playlist", Media(L"moved"));
    std::wstring list = Media(L"moved.plst");
    EXPECT_EQ(L"moved - " + list, WindowText(run.Sheet()));
    std::vector<Entry> saved = ReadPlaylistFile(list);
    ASSERT_EQ(2u, saved.size());
    EXPECT_EQ(Media(L"gamma.avi"), saved[0].path);
    EXPECT_EQ(Media(L"beta.avi"), saved[1].path);
    EXPECT_EQ(42, saved[1].loops);
    EXPECT_EQ(70, saved[1].volume);
    EXPECT_EQ(0, saved[1].perMonitor);

    // Changed again: Cancel asks, Cancel on the question keeps the sheet open.
    SelectRow(grid, 1);
    ToolbarClick(page, 32789, 32778);
    Press(run.Sheet(), IDCANCEL);
    EXPECT_EQ(L"Do you want to save your changes to the current playlist?", AnswerMessage(IDCANCEL));
    EXPECT_FALSE(run.Finish(1000));
    EXPECT_TRUE(IsWindowVisible(run.Sheet()));
    // OK asks as well; No lets it close and writes every setting.
    Press(run.Sheet(), IDOK);
    EXPECT_EQ(L"Do you want to save your changes to the current playlist?", AnswerMessage(IDNO));
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(list, RegistryText(nullptr, L"Playlist"));
    EXPECT_EQ(Media(L""), RegistryText(nullptr, L"Video Directory").substr(0, Media(L"").size()));
    EXPECT_EQ(Media(L"gamma.avi"), ReadPlaylistFile(list)[0].path) << "No does not save";
}

TEST_F(ConfigTest, AFailedSaveKeepsTheEditsUnsaved)
{
    std::wstring list = Media(L"held.plst");
    ASSERT_EQ(S_OK, WritePlaylistFile(list, FourEntries()));
    SetRegistryText(nullptr, L"Playlist", list.c_str());

    SheetRun run;
    run.Start();
    HWND grid = run.Grid();
    ASSERT_EQ(4, RowCount(grid));
    // Now another process holds the file open without sharing.
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"RhConfigHoldReady");
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, L"RhConfigHoldStop");
    std::wstring command = L"\"" + std::wstring(_wgetenv(L"HOLD_FILE")) + L"\" \"" + list +
                           L"\" RhConfigHoldReady RhConfigHoldStop";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));

    SelectRow(grid, 2);
    ToolbarClick(run.PlaylistPage(), 32789, 32778); // an edit: Move Up
    ToolbarClick(run.PlaylistPage(), 32774, 32771); // Save
    EXPECT_EQ(L"Couldn't save playlist because file is in use by another application.", AnswerMessage(IDOK));

    // Still unsaved: leaving asks again; Yes tries once more and, failing, stays.
    Press(run.Sheet(), IDOK);
    EXPECT_EQ(L"Do you want to save your changes to the current playlist?", AnswerMessage(IDYES));
    EXPECT_EQ(L"Couldn't save playlist because file is in use by another application.", AnswerMessage(IDOK));
    EXPECT_FALSE(run.Finish(1000)) << "the sheet stays open so the edits are not lost";

    // Once the file is free, Save works and OK closes without asking.
    SetEvent(stop);
    WaitForSingleObject(process.hProcess, 10000);
    ToolbarClick(run.PlaylistPage(), 32774, 32771);
    EXPECT_TRUE(NoMessage());
    Press(run.Sheet(), IDOK);
    EXPECT_TRUE(NoMessage());
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(Media(L"gamma.avi"), ReadPlaylistFile(list)[1].path);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(ready);
    CloseHandle(stop);
}

TEST_F(ConfigTest, PlayReportsAMissingFileAndClearsTheMarkOnceItPlays)
{
    std::wstring clip = Media(L"delta.avi");
    std::wstring kept = Media(L"delta-kept.avi");
    ASSERT_TRUE(CopyFileW(clip.c_str(), kept.c_str(), FALSE));
    std::vector<Entry> entries(2);
    entries[0].path = Media(L"epsilon.avi");
    entries[1].path = clip;
    std::wstring list = Media(L"play.plst");
    ASSERT_EQ(S_OK, WritePlaylistFile(list, entries));
    SetRegistryText(nullptr, L"Playlist", list.c_str());
    ASSERT_TRUE(DeleteFileW(clip.c_str()));

    SheetRun run;
    run.Start();
    HWND grid = run.Grid();
    ASSERT_EQ(2, RowCount(grid));
    EXPECT_FALSE(HasOverlay(grid, 1));
    SelectRow(grid, 1);
    ToolbarClick(run.PlaylistPage(), 32789, 32780); // Play
    HWND box = FindDialog(L"Reelhaven");
    ASSERT_NE(nullptr, box);
    Screenshot(box, L"play-failed-message");
    EXPECT_EQ(clip + L":\n\nThis file has been moved or deleted.", AnswerMessage(IDOK));
    EXPECT_TRUE(HasOverlay(grid, 1));

    // Back in place: the File cell's second click plays it, no message, no mark.
    ASSERT_TRUE(MoveFileW(kept.c_str(), clip.c_str()));
    ClickCell(grid, 1, 0);
    ClickCell(grid, 1, 0);
    EXPECT_TRUE(NoMessage(2000));
    EXPECT_EQ(nullptr, FindDialog(L"Error", nullptr, 500)) << "the shell could not open the clip";
    EXPECT_TRUE(WaitUntil([&] { return !HasOverlay(grid, 1); }, 5000));
    Press(run.Sheet(), IDCANCEL);
    EXPECT_TRUE(run.Finish());
}

TEST_F(ConfigTest, OkWritesEverySettingCancelOnlyTheAlwaysWrittenOnes)
{
    for (int pass = 0; pass < 2; ++pass) {
        bool ok = pass == 1;
        ClearProductKey();
        SheetRun run;
        run.Start();
        HWND grid = run.Grid();
        ListView_SetColumnWidth(grid, 2, 77 + pass);
        // The Options page and the playlist defaults dialog.
        PropSheet_SetCurSel(run.Sheet(), nullptr, 1);
        HWND options = run.Page(1);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(options); }, 3000));
        ClickWindow(GetDlgItem(options, 1005)); // Random Order Playback
        ClickWindow(GetDlgItem(options, 1020)); // Playlist Defaults: Change...
        HWND defaults = FindDialog(L"Playlist Defaults");
        ASSERT_NE(nullptr, defaults);
        SetDlgItemTextW(defaults, 1024, L"12");
        Press(defaults, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(defaults); }, 3000));
        Press(run.Sheet(), ok ? IDOK : IDCANCEL);
        ASSERT_TRUE(run.Finish());

        DWORD value = 0;
        EXPECT_TRUE(RegistryDword(L"Playlist Column Widths", L"Size", &value));
        EXPECT_EQ(77u + pass, value);
        EXPECT_TRUE(RegistryDword(nullptr, L"Show Path", &value));
        EXPECT_EQ(ok, RegistryDword(nullptr, L"Random Order Playback", &value)) << "pass " << pass;
        EXPECT_EQ(ok, RegistryDword(L"Playlist Defaults", L"Loops", &value));
        if (ok) {
            EXPECT_EQ(12u, value);
        }
        EXPECT_EQ(ok ? L"" : L"(missing)", RegistryText(nullptr, L"Playlist"));
    }
}

// Run by the wrapper with the product installed: Help buttons and the Welcome dialog.
TEST_F(ConfigTest, InstalledShowsHelpAndWelcomesOnce)
{
    SheetRun run;
    run.Start();
    HWND welcome = FindDialog(L"Welcome to Halcyra Reelhaven");
    ASSERT_NE(nullptr, welcome);
    std::wstring text = WindowText(GetDlgItem(welcome, 102));
    EXPECT_NE(std::wstring::npos, text.find(L"Getting started")) << testing::PrintToString(text);
    Screenshot(welcome, L"quick-start");
    Press(welcome, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(welcome); }, 3000));

    HWND help = GetDlgItem(run.Sheet(), IDHELP);
    EXPECT_TRUE(IsWindowVisible(help) && IsWindowEnabled(help));
    PropSheet_SetCurSel(run.Sheet(), nullptr, 2);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(help) || !IsWindowVisible(help); }, 2000))
        << "the About page has no help";
    PropSheet_SetCurSel(run.Sheet(), nullptr, 1);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(help) && IsWindowVisible(help); }, 2000));
    Screenshot(run.Sheet(), L"options-page-installed");
    Press(run.Sheet(), IDCANCEL);
    ASSERT_TRUE(run.Finish());

    BYTE shown = 0;
    DWORD size = sizeof(shown), type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, L"Software\\Halcyra\\Reelhaven", L"QuickStartShown",
                                          RRF_RT_ANY, &type, &shown, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(1, shown);

    SheetRun again;
    again.Start();
    EXPECT_EQ(nullptr, FindDialog(L"Welcome to Halcyra Reelhaven", nullptr, 1500)) << "welcomed only once";
    Press(again.Sheet(), IDCANCEL);
    EXPECT_TRUE(again.Finish());
}
