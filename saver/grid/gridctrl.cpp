#include "gridctrl.h"

#include <windowsx.h>

#include <algorithm>

#include "windows_version.h"

GridCtrl::GridCtrl() : focusColor_(DefaultFocusColor()) {}

GridCtrl::~GridCtrl()
{
    Destroy();
}

bool GridCtrl::Create(int id, HWND parent, HINSTANCE instance, DWORD style, DWORD exStyle,
                      DWORD listExStyle, int x, int y, int width, int height)
{
    Destroy();
    style |= WS_CHILD | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED;
    HWND window = CreateWindowExW(exStyle, WC_LISTVIEWW, L"", style, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!window)
        return false;
    listWindow_ = window;
    ListView_SetExtendedListViewStyleEx(window, listExStyle, listExStyle);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previousProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
    CreateDrawingResources();
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(cellFont_.get()), FALSE);
    if (HWND header = ListView_GetHeader(window))
        SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(cellFont_.get()), FALSE);
    return true;
}

void GridCtrl::Destroy()
{
    if (listWindow_) {
        DestroyWindow(listWindow_);
        listWindow_ = nullptr;
    }
    previousProc_ = nullptr;
    FreeDrawingResources();
    columns_.clear();
    focusRow_ = focusColumn_ = -1;
    columnCount_ = rowCount_ = 0;
    hasFocus_ = showSelection_ = false;
}

bool GridCtrl::AddColumn(Column *column)
{
    if (!listWindow_ || !column)
        return false;
    if (ListView_InsertColumn(listWindow_, columnCount_, &column->description) < 0)
        return false;
    try {
        columns_.push_back(column);
    } catch (const std::bad_alloc &) {
        ListView_DeleteColumn(listWindow_, columnCount_);
        return false;
    }
    ++columnCount_;
    return true;
}

GridCtrl::Column *GridCtrl::GetColumn(int index) const
{
    return index >= 0 && index < static_cast<int>(columns_.size()) ? columns_[index] : nullptr;
}

void GridCtrl::EndAllEdits()
{
    for (Column *column : columns_)
        column->EndEdit();
}

void GridCtrl::SetImageList(HIMAGELIST list)
{
    if (listWindow_)
        ListView_SetImageList(listWindow_, list, LVSIL_SMALL);
}

HIMAGELIST GridCtrl::GetImageList() const
{
    return listWindow_ ? ListView_GetImageList(listWindow_, LVSIL_SMALL) : nullptr;
}

LPARAM GridCtrl::GetRowParam(int row) const
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return listWindow_ && ListView_GetItem(listWindow_, &item) ? item.lParam : 0;
}

bool GridCtrl::GetCellRect(int row, int column, RECT *rect) const
{
    if (!listWindow_)
        return false;
    if (column == 0)
        return ListView_GetItemRect(listWindow_, row, rect, LVIR_LABEL);
    return ListView_GetSubItemRect(listWindow_, row, column, LVIR_LABEL, rect);
}

bool GridCtrl::SetCellText(int row, int column, const wchar_t *text)
{
    if (!listWindow_)
        return false;
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t *>(text);
    return SendMessageW(listWindow_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

int GridCtrl::GetColumnWidth(int column) const
{
    return listWindow_ ? ListView_GetColumnWidth(listWindow_, column) : 0;
}

int GridCtrl::FirstSelectedRow() const
{
    return listWindow_ ? ListView_GetNextItem(listWindow_, -1, LVNI_SELECTED) : -1;
}

void GridCtrl::Redraw(bool erase)
{
    if (listWindow_)
        InvalidateRect(listWindow_, nullptr, erase);
}

// ---- window procedure ----

LRESULT CALLBACK GridCtrl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *grid = reinterpret_cast<GridCtrl *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!grid || !grid->previousProc_)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_GETDLGCODE:
        return grid->OnGetDlgCode(wParam, lParam);
    case WM_KEYDOWN:
        return grid->OnKeyDown(wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return grid->OnLeftButton(message, wParam, lParam);
    case WM_RBUTTONDOWN:
        return grid->OnRightButtonDown(wParam, lParam);
    case WM_SETFOCUS:
        return grid->OnSetFocus(wParam, lParam);
    case WM_KILLFOCUS:
        return grid->OnKillFocus(wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
        return grid->OnScroll(message, wParam, lParam);
    case WM_NOTIFY:
        return grid->OnNotify(wParam, lParam);
    case WM_DESTROY:
        return grid->OnDestroy(wParam, lParam);
    case WM_NCDESTROY: {
        // Destroyed with its parent: forget the handle so that nothing reaches a stale one.
        LRESULT result = grid->Pass(message, wParam, lParam);
        grid->listWindow_ = nullptr;
        grid->previousProc_ = nullptr;
        return result;
    }
    case WM_PAINT:
        return grid->OnPaint();
    case WM_ERASEBKGND:
        return grid->OnEraseBackground(wParam);
    default:
        return grid->Pass(message, wParam, lParam);
    }
}

LRESULT GridCtrl::Pass(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(previousProc_, listWindow_, message, wParam, lParam);
}

LRESULT GridCtrl::OnGetDlgCode(WPARAM, LPARAM)
{
    return DLGC_WANTALLKEYS;
}

void GridCtrl::EndFocusEdit()
{
    if (Column *column = GetColumn(focusColumn_))
        column->EndEdit();
}

LRESULT GridCtrl::OnKeyDown(WPARAM wParam, LPARAM lParam)
{
    switch (wParam) {
    case VK_TAB: {
        // The dialog manager no longer sees Tab (we want all keys), so move on ourselves,
        // in the tab order of the outermost dialog that holds the grid.
        HWND dialog = GetParent(listWindow_);
        while (dialog && (GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) &&
               (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) && GetParent(dialog))
            dialog = GetParent(dialog);
        bool back = GetKeyState(VK_SHIFT) < 0;
        if (dialog) {
            if (HWND next = GetNextDlgTabItem(dialog, listWindow_, back))
                SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        }
        return Pass(WM_KEYDOWN, wParam, lParam);
    }
    case VK_RETURN:
        if (Column *column = GetColumn(focusColumn_))
            column->BeginEdit(focusRow_);
        return Pass(WM_KEYDOWN, wParam, lParam);
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        Pass(WM_KEYDOWN, wParam, lParam);
        MoveFocusByKey(static_cast<UINT>(wParam));
        return 0;
    default:
        return Pass(WM_KEYDOWN, wParam, lParam);
    }
}

void GridCtrl::MoveFocusByKey(UINT key)
{
    if (rowCount_ == 0 || columnCount_ == 0)
        return;
    if (focusColumn_ == -1) {
        if (key == VK_UP)
            return;   // nothing to move yet
        if (key == VK_LEFT || key == VK_RIGHT)
            focusRow_ = 0;
        else if (key == VK_DOWN)
            focusRow_ = focusColumn_ = 0;
    } else {
        EndFocusEdit();
    }
    bool redraw = true;
    switch (key) {
    case VK_LEFT:
        if (--focusColumn_ < 0) {
            focusColumn_ = 0;
            redraw = false;
        }
        break;
    case VK_RIGHT:
        if (++focusColumn_ >= columnCount_) {
            --focusColumn_;
            redraw = false;
        }
        break;
    case VK_UP:
        if (--focusRow_ < 0) {
            focusRow_ = 0;
            redraw = false;
        }
        break;
    case VK_DOWN:
        if (++focusRow_ >= rowCount_) {
            --focusRow_;
            redraw = false;
        }
        break;
    }
    if (!redraw)
        return;
    // Up and Down leave the scrolling to the list control, which keeps its selection in view.
    RECT cell;
    if (key == VK_LEFT || key == VK_RIGHT)
        ScrollCellIntoView(focusRow_, focusColumn_, false, &cell);
    Redraw();
}

bool GridCtrl::ScrollCellIntoView(int row, int column, bool vertical, RECT *cell)
{
    RECT client;
    if (!GetCellRect(row, column, cell) || !GetClientRect(listWindow_, &client))
        return false;
    // Rows begin below the header.
    if (HWND header = ListView_GetHeader(listWindow_)) {
        RECT headerRect;
        if (IsWindowVisible(header) && GetWindowRect(header, &headerRect))
            client.top += headerRect.bottom - headerRect.top;
    }
    int dx = 0, dy = 0;
    if (cell->right > client.right)
        dx = cell->right - client.right;
    else if (cell->left < client.left)
        dx = cell->left - client.left;
    if (vertical) {
        if (cell->bottom > client.bottom)
            dy = cell->bottom - client.bottom;
        else if (cell->top < client.top)
            dy = cell->top - client.top;
        // The list scrolls vertically by whole rows.
        int rowHeight = cell->bottom - cell->top;
        if (dy != 0 && rowHeight > 0)
            dy = (dy > 0 ? dy + rowHeight - 1 : dy - rowHeight + 1) / rowHeight * rowHeight;
    }
    if (dx != 0 || dy != 0) {
        ListView_Scroll(listWindow_, dx, dy);
        GetCellRect(row, column, cell);
    }
    return true;
}

bool GridCtrl::HitCell(POINT point, int *row, int *column) const
{
    LVHITTESTINFO hit{};
    hit.pt = point;
    if (ListView_SubItemHitTest(listWindow_, &hit) < 0 || hit.iItem < 0 || !(hit.flags & LVHT_ONITEM))
        return false;
    if (hit.iSubItem < 0 || hit.iSubItem >= columnCount_)
        return false;
    *row = hit.iItem;
    *column = hit.iSubItem;
    return true;
}

LRESULT GridCtrl::OnLeftButton(UINT message, WPARAM wParam, LPARAM lParam)
{
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    int row, column;
    Column *edit = nullptr;
    int editRow = -1;
    if (HitCell(point, &row, &column)) {
        if (row == focusRow_ && column == focusColumn_) {
            edit = GetColumn(column);
            editRow = focusRow_;
        } else {
            EndFocusEdit();
            focusRow_ = row;
            focusColumn_ = column;
        }
    } else {
        EndFocusEdit();
        focusRow_ = focusColumn_ = -1;
    }
    Redraw();
    LRESULT result = Pass(message, wParam, lParam);
    // The list control takes the focus while it handles the click; the editor opens after
    // that so that it keeps the focus it is given.
    if (edit && IsWindow(listWindow_))
        edit->BeginEdit(editRow);
    return result;
}

LRESULT GridCtrl::OnRightButtonDown(WPARAM wParam, LPARAM lParam)
{
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    int row, column;
    if (HitCell(point, &row, &column)) {
        if (row != focusRow_ || column != focusColumn_) {
            EndFocusEdit();
            focusRow_ = row;
            focusColumn_ = column;
        }
        if (Column *target = GetColumn(focusColumn_))
            target->OnCellRightClick(focusRow_, point.x, point.y);
    } else {
        EndFocusEdit();
        focusRow_ = focusColumn_ = -1;
    }
    Redraw();
    return Pass(WM_RBUTTONDOWN, wParam, lParam);
}

LRESULT GridCtrl::OnSetFocus(WPARAM wParam, LPARAM lParam)
{
    hasFocus_ = true;
    showSelection_ = true;
    Redraw();
    return Pass(WM_SETFOCUS, wParam, lParam);
}

LRESULT GridCtrl::OnKillFocus(WPARAM wParam, LPARAM lParam)
{
    hasFocus_ = false;
    showSelection_ = (GetWindowLongW(listWindow_, GWL_STYLE) & LVS_SHOWSELALWAYS) && wParam != 0;
    Redraw();
    return Pass(WM_KILLFOCUS, wParam, lParam);
}

LRESULT GridCtrl::OnScroll(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Only the control's own scroll bars (no control handle) and the wheel move the rows
    // under an open editor.
    if (message == WM_MOUSEWHEEL || lParam == 0)
        EndFocusEdit();
    return Pass(message, wParam, lParam);
}

LRESULT GridCtrl::OnNotify(WPARAM wParam, LPARAM lParam)
{
    auto *header = reinterpret_cast<NMHDR *>(lParam);
    if (header && header->hwndFrom == ListView_GetHeader(listWindow_)) {
        switch (header->code) {
        case HDN_BEGINTRACKW:
        case HDN_BEGINTRACKA:
            EndFocusEdit();
            break;
        case NM_RCLICK:
            OnHeaderRightClick();
            break;
        }
    }
    return Pass(WM_NOTIFY, wParam, lParam);
}

void GridCtrl::OnHeaderRightClick()
{
    HWND header = ListView_GetHeader(listWindow_);
    DWORD position = GetMessagePos();
    POINT screen{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    HDHITTESTINFO hit{};
    hit.pt = screen;
    ScreenToClient(header, &hit.pt);
    int item = static_cast<int>(SendMessageW(header, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (item >= 0 && (hit.flags & (HHT_ONHEADER | HHT_ONDIVIDER | HHT_ONDIVOPEN)))
        if (Column *column = GetColumn(item))
            column->OnHeaderRightClick(screen.x, screen.y);
}

LRESULT GridCtrl::OnDestroy(WPARAM wParam, LPARAM lParam)
{
    EndFocusEdit();
    return Pass(WM_DESTROY, wParam, lParam);
}
