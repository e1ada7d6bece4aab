// GridCtrl over a real list control: focus-cell rules for keys and clicks, the column calls
// they make, row insertion, deletion and moves, and what the parent hears of them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "gridctrl.h"

namespace {

// A column that records the grid's calls.
struct RecordingColumn : GridCtrl::Column {
    std::vector<std::wstring> *log;
    int index;
    RecordingColumn(std::vector<std::wstring> *calls, int column, int format) : log(calls), index(column)
    {
        description.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        description.fmt = format;
        description.cx = 80;
        description.pszText = const_cast<wchar_t *>(L"Column");
        description.iSubItem = column;
    }
    void BeginEdit(int row) override { log->push_back(L"begin " + std::to_wstring(index) + L"," + std::to_wstring(row)); }
    void EndEdit() override { log->push_back(L"end " + std::to_wstring(index)); }
    void OnCellRightClick(int row, int, int) override
    {
        log->push_back(L"right " + std::to_wstring(index) + L"," + std::to_wstring(row));
    }
};

std::vector<LPARAM> deletedParams; // LVN_DELETEITEM notifications the parent received

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR *>(lParam)->code == LVN_DELETEITEM)
        deletedParams.push_back(reinterpret_cast<NMLISTVIEW *>(lParam)->lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

class Grid : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"GridTestParent";
        RegisterClassW(&windowClass);
        parent = CreateWindowExW(0, L"GridTestParent", L"grid", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(grid.Create(7, parent, GetModuleHandleW(nullptr), WS_VISIBLE | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
                                680, 360));
        images = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 1);
        HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
        ImageList_AddIcon(images, icon);
        ImageList_AddIcon(images, icon);
        ImageList_SetOverlayImage(images, 1, 1);
        grid.SetImageList(images);
        for (int n = 0; n < 3; ++n) {
            columns.push_back(std::make_unique<RecordingColumn>(&calls, n, n == 0 ? LVCFMT_IMAGE : LVCFMT_RIGHT));
            ASSERT_TRUE(grid.AddColumn(columns.back().get()));
        }
        deletedParams.clear();
    }
    void TearDown() override
    {
        grid.Destroy();
        DestroyWindow(parent);
        ImageList_Destroy(images);
    }

    HWND List() { return grid.Window(); }
    bool AddRow(int index, const std::wstring &name, LPARAM param, int image = 0, UINT state = 0)
    {
        std::wstring b = name + L".b", c = name + L".c";
        LVITEMW items[3]{};
        items[0].mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
        items[0].pszText = const_cast<wchar_t *>(name.c_str());
        items[0].iImage = image;
        items[0].state = state;
        items[0].stateMask = LVIS_OVERLAYMASK;
        items[0].lParam = param;
        items[1].mask = items[2].mask = LVIF_TEXT;
        items[1].pszText = b.data();
        items[2].pszText = c.data();
        return grid.InsertRow(index, items);
    }
    void AddRows(int count)
    {
        for (int n = 0; n < count; ++n)
            ASSERT_TRUE(AddRow(-1, L"row" + std::to_wstring(n), 100 + n));
    }
    std::wstring Text(int row, int column)
    {
        wchar_t text[1000] = L"";
        ListView_GetItemText(List(), row, column, text, 1000);
        return text;
    }
    void KeyDown(WPARAM key) { SendMessageW(List(), WM_KEYDOWN, key, 0); }
    // A click as the list control receives it; the button is already up again.
    void Click(int row, int column, UINT message = WM_LBUTTONDOWN)
    {
        RECT cell{};
        if (column == 0) {
            ListView_GetItemRect(List(), row, &cell, LVIR_LABEL);
        } else {
            ListView_GetSubItemRect(List(), row, column, LVIR_LABEL, &cell);
        }
        ClickAt((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2, message);
    }
    void ClickAt(int x, int y, UINT message = WM_LBUTTONDOWN)
    {
        PostMessageW(List(), message == WM_RBUTTONDOWN ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        SendMessageW(List(), message, message == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(x, y));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    std::pair<int, int> Focus() { return {grid.FocusRow(), grid.FocusColumn()}; }
    int Selected() { return ListView_GetNextItem(List(), -1, LVNI_SELECTED); }

    HWND parent = nullptr;
    GridCtrl grid;
    HIMAGELIST images = nullptr;
    std::vector<std::wstring> calls;
    std::vector<std::unique_ptr<RecordingColumn>> columns;
};

using Cell = std::pair<int, int>;

TEST_F(Grid, ArrowKeysMoveTheFocusCellWithinTheGrid)
{
    AddRows(3);
    KeyDown(VK_UP);
    EXPECT_EQ(Cell(-1, -1), Focus()) << "Up without a focus cell does nothing";
    KeyDown(VK_LEFT);
    EXPECT_EQ(Cell(0, 0), Focus());
    KeyDown(VK_RIGHT);
    KeyDown(VK_RIGHT);
    KeyDown(VK_RIGHT);
    EXPECT_EQ(Cell(0, 2), Focus()) << "Right stops at the last column";
    EXPECT_EQ((std::vector<std::wstring>{L"end 0", L"end 1", L"end 2"}), calls) << "each move ends the open edit";
    KeyDown(VK_DOWN);
    KeyDown(VK_DOWN);
    KeyDown(VK_DOWN);
    EXPECT_EQ(Cell(2, 2), Focus()) << "Down stops at the last row";
    EXPECT_EQ(2, Selected());
    calls.clear();
    KeyDown(VK_RETURN);
    EXPECT_EQ((std::vector<std::wstring>{L"begin 2,2"}), calls);
}

TEST_F(Grid, DownWithoutFocusCellTakesTheSecondRowOrTheOnlyOne)
{
    AddRows(1);
    KeyDown(VK_DOWN);
    EXPECT_EQ(Cell(0, 0), Focus());
    grid.DeleteAllRows();
    EXPECT_EQ(Cell(-1, -1), Focus());
    AddRows(3);
    KeyDown(VK_RIGHT);
    EXPECT_EQ(Cell(0, 0), Focus());
    grid.DeleteAllRows();
    AddRows(3);
    KeyDown(VK_DOWN);
    EXPECT_EQ(Cell(1, 0), Focus());
    EXPECT_EQ(1, Selected());
}

TEST_F(Grid, ClicksSelectACellThenEditIt)
{
    AddRows(3);
    calls.clear();
    KeyDown(VK_RETURN);
    EXPECT_TRUE(calls.empty()) << "Enter without a focus cell calls nothing";
    Click(1, 2);
    EXPECT_EQ(Cell(1, 2), Focus());
    EXPECT_TRUE(calls.empty()) << "the first click only moves the focus";
    Click(1, 2);
    EXPECT_EQ((std::vector<std::wstring>{L"begin 2,1"}), calls);
    calls.clear();
    Click(2, 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ((std::vector<std::wstring>{L"end 2"}), calls) << "another cell: the old column ends its edit";
    calls.clear();
    Click(2, 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ((std::vector<std::wstring>{L"begin 1,2"}), calls);
    calls.clear();
    Click(0, 0, WM_RBUTTONDOWN);
    EXPECT_EQ((std::vector<std::wstring>{L"end 1", L"right 0,0"}), calls);
    calls.clear();
    ClickAt(600, 300); // below the rows, right of the columns
    EXPECT_EQ((std::vector<std::wstring>{L"end 0"}), calls);
    EXPECT_EQ(Cell(-1, -1), Focus());

    // Starting to drag a column divider closes the editor of the focus column.
    Click(0, 1);
    calls.clear();
    NMHEADERW track{};
    track.hdr.hwndFrom = ListView_GetHeader(List());
    track.hdr.code = HDN_BEGINTRACKW;
    SendMessageW(List(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&track));
    EXPECT_EQ((std::vector<std::wstring>{L"end 1"}), calls);
}

TEST_F(Grid, InsertRowClampsTheIndexAndFocusesTheFirstRow)
{
    ASSERT_TRUE(AddRow(0, L"first", 1));
    EXPECT_TRUE(ListView_GetItemState(List(), 0, LVIS_FOCUSED) & LVIS_FOCUSED);
    ASSERT_TRUE(AddRow(5, L"second", 2));
    ASSERT_TRUE(AddRow(-1, L"third", 3));
    ASSERT_TRUE(AddRow(-7, L"fourth", 4));
    ASSERT_TRUE(AddRow(1000, L"fifth", 5));
    ASSERT_TRUE(AddRow(1, L"between", 6));
    EXPECT_EQ(6, grid.RowCount());
    const wchar_t *expected[] = {L"first", L"between", L"second", L"third", L"fourth", L"fifth"};
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(expected[row], Text(row, 0)) << row;
    EXPECT_EQ(L"between.c", Text(1, 2));
    EXPECT_EQ(6, grid.GetRowParam(1));
    EXPECT_EQ(Cell(-1, -1), Focus()) << "inserting does not move the focus cell";
}

TEST_F(Grid, DeletingSelectsTheRowAfterOrTheNewLastRow)
{
    AddRows(3);
    ListView_SetItemState(List(), 1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(1, Selected());
    EXPECT_EQ(L"row2", Text(1, 0));
    EXPECT_EQ(1, grid.FocusRow());
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(0, Selected()) << "the last row went: the new last one is selected";
    EXPECT_EQ(1, grid.RowCount());
    EXPECT_EQ((std::vector<LPARAM>{101, 102}), deletedParams) << "the parent frees deleted rows";
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(Cell(-1, -1), Focus());
    EXPECT_EQ(0, grid.DeleteSelectedRows()) << "nothing selected";
}

TEST_F(Grid, MovedRowsKeepTheirDataAndTheParentHearsNoDeletion)
{
    ASSERT_TRUE(AddRow(-1, L"zero", 10));
    ASSERT_TRUE(AddRow(-1, std::wstring(600, L'x'), 11, 1, INDEXTOOVERLAYMASK(1)));
    ASSERT_TRUE(AddRow(-1, L"two", 12));
    ListView_SetItemState(List(), 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(0, grid.MoveSelectedRows(-1, true)) << "the first row cannot go up";
    EXPECT_EQ(L"zero", Text(0, 0));
    ListView_SetItemState(List(), 2, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(0, grid.MoveSelectedRows(1, true)) << "the last row cannot go down";

    Click(1, 2);
    ListView_SetItemState(List(), 1, LVIS_SELECTED, LVIS_SELECTED);
    calls.clear();
    EXPECT_EQ(1, grid.MoveSelectedRows(-1, true));
    EXPECT_EQ((std::vector<std::wstring>{L"end 0", L"end 1", L"end 2"}), calls) << "every edit ends first";
    EXPECT_EQ(std::wstring(499, L'x'), Text(0, 0)) << "texts travel cut to the grid's limit";
    EXPECT_EQ(std::wstring(499, L'x'), Text(0, 2));
    EXPECT_EQ(11, grid.GetRowParam(0));
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_STATE;
    item.iItem = 0;
    item.stateMask = LVIS_OVERLAYMASK | LVIS_SELECTED;
    ListView_GetItem(List(), &item);
    EXPECT_EQ(1, item.iImage);
    EXPECT_EQ(static_cast<UINT>(INDEXTOOVERLAYMASK(1) | LVIS_SELECTED), item.state);
    EXPECT_EQ(L"zero", Text(1, 0));
    EXPECT_EQ(10, grid.GetRowParam(1));
    EXPECT_EQ(0, grid.FocusRow()) << "the focus cell follows its row";
    EXPECT_TRUE(deletedParams.empty());
    EXPECT_EQ(3, grid.RowCount());

    // An absolute move puts the block at the index given.
    EXPECT_EQ(1, grid.MoveSelectedRows(2, false));
    EXPECT_EQ(11, grid.GetRowParam(2));
    EXPECT_TRUE(deletedParams.empty());
}

COLORREF PixelAt(HWND window, int x, int y)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

TEST_F(Grid, TheFocusCellIsDrawnInTheFocusColourWhileTheGridHasTheFocus)
{
    AddRows(2);
    grid.SetFocusColor(RGB(10, 200, 30));
    SetForegroundWindow(parent);
    SetFocus(List());
    Click(1, 1);
    RECT cell, other;
    ListView_GetSubItemRect(List(), 1, 1, LVIR_BOUNDS, &cell);
    ListView_GetSubItemRect(List(), 1, 2, LVIR_BOUNDS, &other);
    EXPECT_EQ(RGB(10, 200, 30), PixelAt(List(), cell.left + 3, cell.bottom - 2));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), PixelAt(List(), other.left + 3, other.bottom - 2));

    // An editor of the program takes the focus: the whole row in the highlight colour.
    HWND editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, List(), nullptr, nullptr,
                                  nullptr);
    SetFocus(editor);
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), PixelAt(List(), cell.left + 3, cell.bottom - 2));
    DestroyWindow(editor);

    // Focused with no rows: an outline below the header's first item.
    SetFocus(List());
    grid.DeleteAllRows();
    RECT header;
    GetWindowRect(ListView_GetHeader(List()), &header);
    int below = header.bottom - header.top;
    EXPECT_EQ(RGB(0, 0, 0), PixelAt(List(), 10, below + 1));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), PixelAt(List(), 10, below + 5));
}

} // namespace
