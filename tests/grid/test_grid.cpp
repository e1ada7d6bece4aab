// GridCtrl over a real list control: focus-cell rules for keys and clicks, the column calls
// they make, row insertion, deletion and moves, and what the parent hears of them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "gridctrl.h"
#include "list_cells.h"

namespace {

using Cell = std::pair<int, int>;
std::wstring calls;                // what the columns were asked to do, "; " between calls
std::vector<LPARAM> deletedParams; // LVN_DELETEITEM notifications the parent received

// A column that records the grid's calls.
struct RecordingColumn : GridCtrl::Column {
    int index;
    explicit RecordingColumn(int column) : index(column)
    {
        description.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        description.fmt = column == 0 ? LVCFMT_IMAGE : LVCFMT_RIGHT;
        description.cx = 80;
        description.pszText = const_cast<wchar_t *>(L"Column");
        description.iSubItem = column;
    }
    void Record(const std::wstring &what, int row = -1)
    {
        calls += (calls.empty() ? L"" : L"; ") + what + L" " + std::to_wstring(index) +
                 (row >= 0 ? L"," + std::to_wstring(row) : L"");
    }
    void BeginEdit(int row) override { Record(L"begin", row); }
    void EndEdit() override { Record(L"end"); }
    void OnCellRightClick(int row, int, int) override { Record(L"right", row); }
};

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
        for (int n = 0; n < 2; ++n)
            ImageList_AddIcon(images, LoadIconW(nullptr, IDI_APPLICATION));
        ImageList_SetOverlayImage(images, 1, 1);
        grid.SetImageList(images);
        for (RecordingColumn &column : columns)
            ASSERT_TRUE(grid.AddColumn(&column));
        calls.clear();
        deletedParams.clear();
    }
    void TearDown() override
    {
        grid.Destroy();
        DestroyWindow(parent);
        ImageList_Destroy(images);
    }

    HWND List() { return grid.Window(); }
    // A row "name", "name.b", "name.c" with the item data, image and overlay given.
    bool AddRow(int index, const std::wstring &name, LPARAM param, int image = 0, UINT state = 0)
    {
        std::wstring texts[3] = {name, name + L".b", name + L".c"};
        LVITEMW items[3]{};
        for (int n = 0; n < 3; ++n) {
            items[n].mask = LVIF_TEXT;
            items[n].pszText = texts[n].data();
        }
        items[0].mask |= LVIF_IMAGE | LVIF_STATE;
        items[0].iImage = image;
        items[0].state = state;
        items[0].stateMask = LVIS_OVERLAYMASK;
        items[0].lParam = param;
        return grid.InsertRow(index, items);
    }
    void AddRows(int count)
    {
        for (int n = 0; n < count; ++n)
            ASSERT_TRUE(AddRow(-1, L"row" + std::to_wstring(n), 100 + n));
    }
    std::wstring Text(int row, int column) { return CellText(List(), row, column); }
    void Keys(std::initializer_list<WPARAM> keys)
    {
        for (WPARAM key : keys)
            SendMessageW(List(), WM_KEYDOWN, key, 0);
    }
    // A click as the list control receives it, on a cell or at a point; the button is already up again.
    void Click(int row, int column, UINT message = WM_LBUTTONDOWN)
    {
        const RECT cell = CellRect(List(), row, column);
        ClickAt((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2, message);
    }
    void ClickAt(int x, int y, UINT message = WM_LBUTTONDOWN)
    {
        bool right = message == WM_RBUTTONDOWN;
        PostMessageW(List(), right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        SendMessageW(List(), message, right ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(x, y));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    // The calls recorded since the last look.
    std::wstring Calls() { return std::exchange(calls, std::wstring()); }
    Cell Focus() { return {grid.FocusRow(), grid.FocusColumn()}; }
    int Selected() { return ListView_GetNextItem(List(), -1, LVNI_SELECTED); }
    void Select(int row) { ListView_SetItemState(List(), row, LVIS_SELECTED, LVIS_SELECTED); }

    HWND parent = nullptr;
    GridCtrl grid;
    HIMAGELIST images = nullptr;
    RecordingColumn columns[3]{RecordingColumn(0), RecordingColumn(1), RecordingColumn(2)};
};

TEST_F(Grid, ArrowKeysAndEnterMoveAndOpenTheFocusCellWithinTheGrid)
{
    AddRows(3);
    Keys({VK_UP, VK_RETURN});
    EXPECT_EQ(Cell(-1, -1), Focus()) << "Up without a focus cell does nothing";
    EXPECT_EQ(L"", Calls()) << "nor does Enter";
    Keys({VK_LEFT});
    EXPECT_EQ(Cell(0, 0), Focus());
    Keys({VK_RIGHT, VK_RIGHT, VK_RIGHT});
    EXPECT_EQ(Cell(0, 2), Focus()) << "Right stops at the last column";
    EXPECT_EQ(L"end 0; end 1; end 2", Calls()) << "each move ends the open edit";
    Keys({VK_DOWN, VK_DOWN, VK_DOWN});
    EXPECT_EQ(Cell(2, 2), Focus()) << "Down stops at the last row";
    EXPECT_EQ(2, Selected());
    Calls();
    Keys({VK_RETURN});
    EXPECT_EQ(L"begin 2,2", Calls());

    // Without a focus cell Down takes the second row, or the only one; Right the first.
    const struct {
        int rows;
        WPARAM key;
        Cell focus;
    } starts[] = {{1, VK_DOWN, {0, 0}}, {3, VK_RIGHT, {0, 0}}, {3, VK_DOWN, {1, 0}}};
    for (const auto &start : starts) {
        grid.DeleteAllRows();
        EXPECT_EQ(Cell(-1, -1), Focus());
        AddRows(start.rows);
        Keys({start.key});
        EXPECT_EQ(start.focus, Focus()) << start.rows << " rows, key " << start.key;
    }
    EXPECT_EQ(1, Selected()) << "Down selects the row it takes";
}

TEST_F(Grid, ClicksSelectACellThenEditIt)
{
    AddRows(3);
    Click(1, 2);
    EXPECT_EQ(Cell(1, 2), Focus());
    EXPECT_EQ(L"", Calls()) << "the first click only moves the focus";
    Click(1, 2);
    EXPECT_EQ(L"begin 2,1", Calls());
    Click(2, 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ(L"end 2", Calls()) << "another cell: the old column ends its edit";
    Click(2, 1, WM_LBUTTONDBLCLK);
    EXPECT_EQ(L"begin 1,2", Calls());
    Click(0, 0, WM_RBUTTONDOWN);
    EXPECT_EQ(L"end 1; right 0,0", Calls());
    // Below the rows, right of the columns: either button ends the edit with the focus cell.
    ClickAt(600, 300, WM_RBUTTONDOWN);
    EXPECT_EQ(L"end 0", Calls());
    EXPECT_EQ(Cell(-1, -1), Focus());
    Click(1, 1);
    ClickAt(600, 300);
    EXPECT_EQ(L"end 1", Calls());
    EXPECT_EQ(Cell(-1, -1), Focus());

    // Starting to drag a column divider closes the editor of the focus column.
    Click(0, 1);
    Calls();
    NMHEADERW track{};
    track.hdr.hwndFrom = ListView_GetHeader(List());
    track.hdr.code = HDN_BEGINTRACKW;
    SendMessageW(List(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&track));
    EXPECT_EQ(L"end 1", Calls());
}

TEST_F(Grid, InsertingClampsTheIndexDeletingSelectsTheNextRow)
{
    ASSERT_TRUE(AddRow(0, L"first", 1));
    EXPECT_TRUE(ListView_GetItemState(List(), 0, LVIS_FOCUSED));
    const std::pair<int, const wchar_t *> inserts[] = {
        {5, L"second"}, {-1, L"third"}, {-7, L"fourth"}, {1000, L"fifth"}, {1, L"between"}};
    LPARAM param = 2;
    for (auto [index, name] : inserts)
        ASSERT_TRUE(AddRow(index, name, param++));
    std::wstring rows;
    for (int row = 0; row < grid.RowCount(); ++row)
        rows += Text(row, 0) + L" ";
    EXPECT_EQ(L"first between second third fourth fifth ", rows);
    EXPECT_EQ(L"between.c", Text(1, 2));
    EXPECT_EQ(6, grid.GetRowParam(1));
    EXPECT_EQ(Cell(-1, -1), Focus()) << "inserting does not move the focus cell";

    // Deleting selects the row after, or the new last row; the parent frees what went.
    grid.DeleteAllRows();
    deletedParams.clear();
    AddRows(3);
    Select(1);
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(1, Selected());
    EXPECT_EQ(L"row2", Text(1, 0));
    EXPECT_EQ(1, grid.FocusRow());
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(0, Selected()) << "the last row went: the new last one is selected";
    EXPECT_EQ((std::vector<LPARAM>{101, 102}), deletedParams);
    EXPECT_EQ(1, grid.DeleteSelectedRows());
    EXPECT_EQ(Cell(-1, -1), Focus());
    EXPECT_EQ(0, grid.DeleteSelectedRows()) << "nothing selected";
}

TEST_F(Grid, MovedRowsKeepTheirDataAndTheParentHearsNoDeletion)
{
    ASSERT_TRUE(AddRow(-1, L"zero", 10));
    ASSERT_TRUE(AddRow(-1, std::wstring(600, L'x'), 11, 1, INDEXTOOVERLAYMASK(1)));
    ASSERT_TRUE(AddRow(-1, L"two", 12));
    Select(0);
    EXPECT_EQ(0, grid.MoveSelectedRows(-1, true)) << "the first row cannot go up";
    EXPECT_EQ(L"zero", Text(0, 0));
    Select(2);
    EXPECT_EQ(0, grid.MoveSelectedRows(1, true)) << "the last row cannot go down";

    Click(1, 2);
    Select(1);
    Calls();
    EXPECT_EQ(1, grid.MoveSelectedRows(-1, true));
    EXPECT_EQ(L"end 0; end 1; end 2", Calls()) << "every edit ends first";
    EXPECT_EQ(std::wstring(499, L'x'), Text(0, 0)) << "texts travel cut to the grid's limit";
    EXPECT_EQ(std::wstring(499, L'x'), Text(0, 2));
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_STATE;
    item.stateMask = LVIS_OVERLAYMASK | LVIS_SELECTED;
    ListView_GetItem(List(), &item);
    EXPECT_EQ(1, item.iImage);
    EXPECT_EQ(static_cast<UINT>(INDEXTOOVERLAYMASK(1) | LVIS_SELECTED), item.state);
    EXPECT_EQ(11, grid.GetRowParam(0));
    EXPECT_EQ(L"zero", Text(1, 0));
    EXPECT_EQ(10, grid.GetRowParam(1));
    EXPECT_EQ(0, grid.FocusRow()) << "the focus cell follows its row";
    EXPECT_EQ(3, grid.RowCount());

    // An absolute move puts the block at the index given.
    EXPECT_EQ(1, grid.MoveSelectedRows(2, false));
    EXPECT_EQ(11, grid.GetRowParam(2));

    // A control that refuses the rewrite (a column gone behind the grid's back) refuses the
    // move: every row stays where it was with its data.
    ListView_DeleteColumn(List(), 2);
    EXPECT_EQ(0, grid.MoveSelectedRows(-1, true));
    EXPECT_EQ(3, ListView_GetItemCount(List()));
    EXPECT_EQ((std::vector<LPARAM>{10, 12, 11}),
              (std::vector<LPARAM>{grid.GetRowParam(0), grid.GetRowParam(1), grid.GetRowParam(2)}));
    EXPECT_EQ(L"two", Text(1, 0));
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
