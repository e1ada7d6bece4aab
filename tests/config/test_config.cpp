// The Playlist page and the sheet, driven through their windows.
#include "sheet_driver.h"

namespace {

// Toolbar commands of the Playlist page: the file bar and the edit bar.
enum { kFileBar = 32774, kOpen = 32770, kSave = 32771, kSaveAs = 32772 };
enum { kEditBar = 32789, kAdd = 32776, kRemove = 32777, kMoveUp = 32778, kMoveDown = 32779, kPlay = 32780 };
constexpr int kLoopsEditor = 32781;
const std::wstring kAskToSave = L"Do you want to save your changes to the current playlist?";
const std::wstring kInUse = L"Couldn't save playlist because file is in use by another application.";

// A playlist of four entries covering the conversions the page makes when it reads one.
std::vector<Entry> FourEntries()
{
    std::vector<Entry> entries{Media(L"alpha.avi"), Media(L"beta.avi"), Media(L"gamma.avi"), Media(L"CLIP.AVI")};
    entries[0].loops = -1;        // shown as 9999
    entries[0].keepAspect = 0;    // screen-relative 1.0 without aspect: Full Screen
    entries[0].rate = 1.5f;
    entries[0].bounce = 1;
    entries[0].perMonitor = 0;    // Desktop
    entries[0].volume = 40;
    entries[1].loops = 3;
    entries[1].result = static_cast<HRESULT>(0x80040216); // failed last time: overlay
    entries[2].loops = 0;         // shown as 1
    entries[2].scaleToScreen = 0; // Original
    entries[2].rate = 0.25f;
    entries[3].loops = 10000;     // CLIP.AVI: upper-case extension, no icon
    entries[3].scale = 0.5f;
    return entries;
}

// Writes the playlist <name>, makes it the current one and opens the sheet on it.
std::wstring StartOn(SheetRun &run, const wchar_t *name, const std::vector<Entry> &entries)
{
    std::wstring list = Media(name);
    EXPECT_TRUE(WritePlaylistFile(list, entries));
    Put(kReelhavenKey, L"Playlist", Text(list));
    run.Start();
    return list;
}

// The cells of `columns`, '|' between cells and ", " between rows.
std::wstring Cells(HWND grid, std::initializer_list<int> columns = {0, 1, 2, 3, 4, 5, 6})
{
    std::wstring text;
    for (int row = 0; row < ListView_GetItemCount(grid); ++row) {
        text += row ? L", " : L"";
        for (int column : columns)
            text += (column == *columns.begin() ? L"" : L"|") + CellText(grid, row, column);
    }
    return text;
}

// Two clicks on a cell: the first focuses it, the second opens its editor, returned once visible.
HWND OpenEditor(HWND grid, int row, int column, int editorId = kLoopsEditor)
{
    ClickCell(grid, row, column);
    ClickCell(grid, row, column);
    HWND editor = nullptr;
    return WaitUntil([&] { return (editor = GetDlgItem(grid, editorId)) && IsWindowVisible(editor); }, 3000)
               ? editor
               : nullptr;
}

bool HasOverlay(HWND grid, int row)
{
    return ListView_GetItemState(grid, row, LVIS_OVERLAYMASK) == INDEXTOOVERLAYMASK(1);
}

int RowImage(HWND grid, int row)
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    ListView_GetItem(grid, &item);
    return item.iImage;
}

} // namespace

TEST_F(ConfigTest, OpeningAPlaylistShowsItsRowsTitleAndFailuresAndPlayMarksThem)
{
    SheetRun run;
    std::wstring list = StartOn(run, L"four.plst", FourEntries());
    HWND grid = run.Grid(), page = run.PlaylistPage();
    ASSERT_EQ(4, ListView_GetItemCount(grid));
    EXPECT_EQ(L"four - " + list, WindowText(run.Sheet()));
    EXPECT_EQ(L"alpha.avi|9999|Full Screen|yes|40%|Desktop|1.50, beta.avi|3|Maximized|no|100%|Monitor|1.00, "
              L"gamma.avi|1|Original|no|100%|Monitor|0.25, CLIP.AVI|9999|1/2 Screen|no|100%|Monitor|1.00",
              Cells(grid));
    EXPECT_FALSE(HasOverlay(grid, 0));
    EXPECT_TRUE(HasOverlay(grid, 1));
    EXPECT_FALSE(HasOverlay(grid, 3));
    EXPECT_GE(RowImage(grid, 0), 0);
    EXPECT_EQ(RowImage(grid, 0), RowImage(grid, 1));
    EXPECT_LT(RowImage(grid, 3), 0) << "CLIP.AVI has no lower-case pattern";

    // Without a parent from the command line the sheet is centred on the work area.
    RECT work, sheet;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(run.Sheet(), &sheet);
    EXPECT_EQ((work.left + work.right - (sheet.right - sheet.left)) / 2, sheet.left);
    EXPECT_EQ((work.top + work.bottom - (sheet.bottom - sheet.top)) / 2, sheet.top);
    ClickCell(grid, 1, 2); // a focus cell in the selected row

    // The grid wants every key, yet Tab still moves on in the sheet's order and back.
    auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(run.Sheet(), nullptr), &info);
        return info.hwndFocus;
    };
    EXPECT_EQ(grid, focused());
    Key(VK_TAB);
    EXPECT_EQ(GetDlgItem(page, kEditBar), focused());
    Key(VK_TAB, true);
    EXPECT_EQ(grid, focused());

    // Play on a moved file names it, then a blank line and the reason, and marks the row;
    // back in place, the File cell's second click plays it with no message and no mark.
    std::wstring clip = Media(L"CLIP.AVI"), kept = Media(L"CLIP-kept.avi");
    ASSERT_TRUE(MoveFileW(clip.c_str(), kept.c_str()));
    ClickCell(grid, 3, 1);
    ToolbarClick(page, kEditBar, kPlay);
    EXPECT_EQ(clip + L":\n\nThis file has been moved or deleted.", AnswerMessage(IDOK));
    EXPECT_TRUE(HasOverlay(grid, 3));
    ASSERT_TRUE(MoveFileW(kept.c_str(), clip.c_str()));
    ClickCell(grid, 3, 0);
    ClickCell(grid, 3, 0);
    EXPECT_TRUE(NoMessage(2000));
    EXPECT_EQ(nullptr, FindDialog(L"Error", 500)) << "the shell could not open the clip";
    EXPECT_TRUE(WaitUntil([&] { return !HasOverlay(grid, 3); }, 5000));

    // Show Path from the File column's header menu.
    HWND header = ListView_GetHeader(grid);
    RECT item{};
    Header_GetItemRect(header, 0, &item);
    ClickRect(header, item, true);
    // The menu takes its time on a busy machine: keys sent before it is up are lost.
    ASSERT_TRUE(WaitUntil([] {
        HWND menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu);
    }, 3000)) << "no header menu";
    Key(VK_DOWN);
    Key(VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return CellText(grid, 0, 0) == Media(L"alpha.avi"); }, 3000))
        << "File cell reads " << testing::PrintToString(CellText(grid, 0, 0));

    // Open: a file that is no playlist is reported and the rows stay; a real one replaces them.
    std::wstring junk = Media(L"alpha.avi"), other = Media(L"other.plst");
    ASSERT_TRUE(WritePlaylistFile(other, {FourEntries()[2]}));
    ToolbarClick(page, kFileBar, kOpen);
    ChooseFile(L"Open Playlist", junk);
    EXPECT_EQ(L"Failed to open " + junk + L".", AnswerMessage(IDOK));
    EXPECT_EQ(4, ListView_GetItemCount(grid));
    EXPECT_EQ(L"four - " + list, WindowText(run.Sheet()));
    // With an editor open, Open asks about its edit; the playlist opened then is unchanged,
    // so Cancel closes the sheet without a question.
    ASSERT_TRUE(OpenEditor(grid, 0, 1));
    ToolbarClick(page, kFileBar, kOpen);
    EXPECT_EQ(kAskToSave, AnswerMessage(IDNO));
    ChooseFile(L"Open Playlist", other);
    EXPECT_TRUE(NoMessage());
    EXPECT_EQ(1, ListView_GetItemCount(grid));
    EXPECT_EQ(L"other - " + other, WindowText(run.Sheet()));

    // Cancel writes only what is always written: column widths and Show Path.
    ListView_SetColumnWidth(grid, 2, 77);
    ASSERT_TRUE(run.Close(IDCANCEL));
    EXPECT_EQ(Dword(77), Get(kWidthsKey, L"Size"));
    EXPECT_EQ(Dword(1), Get(kReelhavenKey, L"Show Path"));
    EXPECT_EQ("missing", Get(kReelhavenKey, L"Playlist Open Directory")) << "written only after OK";
}

TEST_F(ConfigTest, EditingEveryColumnInPlaceIsSavedToTheFile)
{
    SheetRun run;
    std::wstring list = StartOn(run, L"edit.plst", FourEntries());
    HWND grid = run.Grid();
    ASSERT_EQ(4, ListView_GetItemCount(grid));

    // Loops: first click focuses the cell, the second opens the box; 0 commits as 1.
    HWND loops = OpenEditor(grid, 0, 1);
    ASSERT_NE(nullptr, loops);
    EXPECT_EQ(L"9999", WindowText(loops));
    Key('0');
    Key(VK_RETURN);
    EXPECT_TRUE(WaitGone(loops));
    EXPECT_EQ(L"1", CellText(grid, 0, 1));

    // The other columns in turn: Right moves the focus cell, Enter opens its editor (a list
    // or a slider whose label shows the value), keys choose, Enter commits.
    struct Edit {
        int editor;
        WORD key;
        int presses;
        const wchar_t *before, *after; // a list's box shows no text
    };
    const Edit edits[] = {
        {32782, VK_DOWN, 1, nullptr, L"3/4 Screen"}, // from Full Screen
        {32785, VK_UP, 1, nullptr, L"no"},           // Bounce from yes
        {32784, VK_DOWN, 5, L"40%", L"35%"},         // down is quieter
        {32786, VK_UP, 1, nullptr, L"Monitor"},      // Style from Desktop
        {32788, VK_DOWN, 2, L"1.50", L"1.40"},       // Speed
    };
    for (int column = 2; column < 7; ++column) {
        const Edit &edit = edits[column - 2];
        Key(VK_RIGHT);
        Key(VK_RETURN);
        HWND editor = GetDlgItem(grid, edit.editor);
        ASSERT_NE(nullptr, editor) << "column " << column;
        if (column == 2) {
            // Narrower than "Double Original": the list reaches left of its cell, right edges aligned.
            RECT box, cell = CellRect(grid, 0, 2);
            GetWindowRect(editor, &box);
            MapWindowPoints(nullptr, grid, reinterpret_cast<POINT *>(&box), 2);
            EXPECT_EQ(ListView_GetStringWidth(grid, L"Double Original  "), box.right - box.left);
            EXPECT_EQ(cell.right, box.right);
            EXPECT_LT(box.left, cell.left);
        }
        const std::wstring before = WindowText(editor);
        Key(edit.key, false, edit.presses);
        if (edit.before) {
            EXPECT_EQ(std::wstring(edit.before) + L" > " + edit.after, before + L" > " + WindowText(editor));
        }
        Key(VK_RETURN);
        EXPECT_EQ(edit.after, CellText(grid, 0, column));
    }

    // Speed across 1.00 on the next row: the steps are 0.05 either side.
    Key(VK_DOWN);
    Key(VK_RETURN);
    HWND speed = GetDlgItem(grid, 32788);
    ASSERT_NE(nullptr, speed);
    const std::pair<WORD, const wchar_t *> steps[] = {{VK_DOWN, L"0.95"}, {VK_UP, L"1.00"}, {VK_UP, L"1.05"}};
    for (auto [key, shown] : steps) {
        Key(key);
        EXPECT_EQ(shown, WindowText(speed));
    }
    Key(VK_RETURN);
    EXPECT_EQ(L"1.05", CellText(grid, 1, 6));

    // Another process holds the file open without sharing: Save fails and the edits stay
    // unsaved, so leaving asks; Yes tries once more and, failing, the sheet stays open.
    std::wstring command = L"\"" + std::wstring(_wgetenv(L"HOLD_FILE")) + L"\" \"" + list + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION hold{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &hold));
    UniqueHandle holder(hold.hProcess), holderThread(hold.hThread);
    EXPECT_TRUE(WaitUntil([&] {
        UniqueHandle file(CreateFileW(list.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        return !file && GetLastError() == ERROR_SHARING_VIOLATION;
    })) << "hold_file did not take the file";
    ToolbarClick(run.PlaylistPage(), kFileBar, kSave);
    EXPECT_EQ(kInUse, AnswerMessage(IDOK));
    Press(run.Sheet(), IDOK);
    EXPECT_EQ(kAskToSave, AnswerMessage(IDYES));
    EXPECT_EQ(kInUse, AnswerMessage(IDOK));
    EXPECT_FALSE(run.Finish(1000)) << "the sheet stays open so the edits are not lost";
    TerminateProcess(holder.get(), 0);
    WaitForSingleObject(holder.get(), 10000);

    // Once the file is free, Save works; nothing unsaved is left, so OK closes without a question.
    ToolbarClick(run.PlaylistPage(), kFileBar, kSave);
    EXPECT_TRUE(NoMessage());
    std::vector<Entry> saved = ReadPlaylistFile(list);
    ASSERT_EQ(4u, saved.size());
    EXPECT_EQ(L"loops 1 volume 35 size 1/1/0.75 bounce 0 perMonitor 1 rate 1.4 result 0x00000000",
              Describe(saved[0]));
    EXPECT_EQ(L"loops 3 volume 100 size 1/1/1 bounce 0 perMonitor 1 rate 1.05 result 0x00000000",
              Describe(saved[1])) << "remembered errors are not saved";
    EXPECT_EQ(L"loops 1 volume 100 size 0/1/1 bounce 0 perMonitor 1 rate 0.25 result 0x00000000",
              Describe(saved[2]));
    EXPECT_EQ(9999, saved[3].loops) << "loops above 9999 come back as 9999";

    Press(run.Sheet(), IDOK);
    EXPECT_TRUE(NoMessage());
    EXPECT_TRUE(run.Finish());
    EXPECT_EQ(Text(list), Get(kReelhavenKey, L"Playlist"));
}

TEST_F(ConfigTest, AddRemoveAndMovesKeepEachRowsDataWithItsRow)
{
    Put(kDefaultsKey, L"Loops", Text(L"x")); // the type is not checked: the text's bytes read as 120
    Put(kDefaultsKey, L"Volume", Dword(70));
    Put(kDefaultsKey, L"Style", Text(L"Desktop"));
    Put(kReelhavenKey, L"Video Directory", Text(Media(L"")));
    SheetRun run;
    run.Start();
    HWND page = run.PlaylistPage(), grid = run.Grid();
    auto tool = [&](int command) { ToolbarClick(page, kEditBar, command); };
    EXPECT_EQ(L"<Untitled>", WindowText(run.Sheet()));

    // Add three files in one choice: they come in the order the dialog returns them.
    tool(kAdd);
    ChooseFile(L"Add Videos", L"\"alpha.avi\" \"beta.avi\" \"gamma.avi\"");
    ASSERT_EQ(3, ListView_GetItemCount(grid));
    EXPECT_EQ(L"alpha.avi|120|70%|Desktop, beta.avi|120|70%|Desktop, gamma.avi|120|70%|Desktop",
              Cells(grid, {0, 1, 4, 5}));
    EXPECT_EQ(Text(Media(L"")), Get(kReelhavenKey, L"Video Directory")) << "not written before OK";

    // Give the second row loops of its own, then move it about.
    SelectRow(grid, 1);
    OpenEditor(grid, 1, 1);
    Key(VK_BACK, false, 4);
    Key('4');
    Key('2');
    Key(VK_RETURN);
    ASSERT_EQ(L"120, 42, 120", Cells(grid, {1}));
    const struct {
        int select, command;
        const wchar_t *rows;
    } steps[] = {
        {1, kMoveUp, L"beta.avi|42, alpha.avi|120, gamma.avi|120"},
        {-1, kMoveDown, L"alpha.avi|120, beta.avi|42, gamma.avi|120"},
        {-1, kMoveDown, L"alpha.avi|120, gamma.avi|120, beta.avi|42"},
        {0, kRemove, L"gamma.avi|120, beta.avi|42"},
    };
    for (const auto &step : steps) {
        if (step.select >= 0)
            SelectRow(grid, step.select);
        tool(step.command);
        EXPECT_EQ(step.rows, Cells(grid, {0, 1})) << "after " << step.command;
    }

    // Save As with a name without extension writes <name>.plst.
    ToolbarClick(page, kFileBar, kSaveAs);
    ChooseFile(L"Save Playlist", Media(L"moved"));
    std::wstring list = Media(L"moved.plst");
    EXPECT_EQ(L"moved - " + list, WindowText(run.Sheet()));
    std::vector<Entry> saved = ReadPlaylistFile(list);
    ASSERT_EQ(2u, saved.size());
    EXPECT_EQ(Media(L"gamma.avi"), saved[0].path);
    EXPECT_EQ(Media(L"beta.avi"), saved[1].path);
    EXPECT_EQ(L"loops 42 volume 70 size 1/1/1 bounce 0 perMonitor 0 rate 1 result 0x00000000",
              Describe(saved[1]));

    // Changed again: Cancel asks, Cancel on the question keeps the sheet open.
    SelectRow(grid, 1);
    tool(kMoveUp);
    Press(run.Sheet(), IDCANCEL);
    EXPECT_EQ(kAskToSave, AnswerMessage(IDCANCEL));
    EXPECT_FALSE(run.Finish(1000));
    EXPECT_TRUE(IsWindowVisible(run.Sheet()));
    // OK asks as well; No lets it close and writes every setting.
    Press(run.Sheet(), IDOK);
    EXPECT_EQ(kAskToSave, AnswerMessage(IDNO));
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(Text(list), Get(kReelhavenKey, L"Playlist"));
    const std::string folder = Text(Media(L"")).substr(0, Text(Media(L"")).size() - 2); // no terminator
    EXPECT_EQ(folder, Get(kReelhavenKey, L"Video Directory").substr(0, folder.size()));
    EXPECT_EQ(Media(L"gamma.avi"), ReadPlaylistFile(list)[0].path) << "No does not save";
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
    Press(welcome, IDOK);
    ASSERT_TRUE(WaitGone(welcome));

    HWND help = GetDlgItem(run.Sheet(), IDHELP);
    auto helpShown = [&] { return IsWindowEnabled(help) && IsWindowVisible(help); };
    EXPECT_TRUE(helpShown());
    run.Show(2);
    EXPECT_TRUE(WaitUntil([&] { return !helpShown(); }, 2000)) << "the About page has no help";
    run.Show(1);
    EXPECT_TRUE(WaitUntil(helpShown, 2000));
    ASSERT_TRUE(run.Close(IDCANCEL));

    EXPECT_EQ(Form(REG_BINARY, "\1", 1), Get(kReelhavenKey, L"QuickStartShown"));

    SheetRun again;
    again.Start();
    EXPECT_EQ(nullptr, FindDialog(L"Welcome to Halcyra Reelhaven", 1500)) << "welcomed only once";
    EXPECT_TRUE(again.Close(IDCANCEL));
}
