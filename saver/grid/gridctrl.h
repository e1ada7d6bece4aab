// An editable grid over the report-style list control: the grid paints every cell itself
// with grid lines, keeps one focus cell in the selected row, moves it with the arrow keys
// and clicks, and lets pluggable column objects open in-place editors over a cell.
// Rows live only as list-control items; the grid keeps counts, the focus cell and its
// drawing resources.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "handles.h"

class GridCtrl {
public:
    // One column of the grid. The creator fills `description` (handed to the list control
    // when the column is added) and owns the object; the grid only calls it.
    class Column {
    public:
        virtual ~Column() = default;
        // Open the in-place editor over (row, this column).
        virtual void BeginEdit(int row) {}
        // Commit and close the editor; harmless when none is open.
        virtual void EndEdit() {}
        // Right button on a cell of this column, client coordinates of the list control.
        virtual void OnCellRightClick(int row, int x, int y) {}
        // Right button on this column's header item, screen coordinates.
        virtual void OnHeaderRightClick(int x, int y) {}

        LVCOLUMNW description{};
    };

    GridCtrl();
    ~GridCtrl();
    GridCtrl(const GridCtrl &) = delete;
    GridCtrl &operator=(const GridCtrl &) = delete;

    bool Create(int id, HWND parent, HINSTANCE instance, DWORD style, DWORD exStyle,
                DWORD listExStyle, int x, int y, int width, int height);
    void Destroy();
    bool AddColumn(Column *column);
    // One LVITEMW per column; the first describes the row and carries its parameter.
    bool InsertRow(int index, const LVITEMW *items);
    int DeleteSelectedRows();
    void DeleteAllRows();
    int MoveSelectedRows(int amount, bool relative);
    void EndAllEdits();
    void SetFocusColor(COLORREF color);
    void SetImageList(HIMAGELIST list);
    HIMAGELIST GetImageList() const;

    // What owners and column objects need to reach the rows.
    HWND Window() const { return listWindow_; }
    int RowCount() const { return rowCount_; }
    int ColumnCount() const { return columnCount_; }
    int FocusRow() const { return focusRow_; }
    int FocusColumn() const { return focusColumn_; }
    COLORREF FocusColor() const { return focusColor_; }
    Column *GetColumn(int index) const;
    LPARAM GetRowParam(int row) const;
    bool GetCellRect(int row, int column, RECT *rect) const;   // label rectangle
    // Scrolls (row, column)'s label rectangle into the rows' area: horizontally, and with
    // `vertical` by whole rows too; `cell` gets the rectangle where it is then.
    bool ScrollCellIntoView(int row, int column, bool vertical, RECT *cell);
    bool SetCellText(int row, int column, const wchar_t *text);
    int GetColumnWidth(int column) const;
    int FirstSelectedRow() const;
    void Redraw(bool erase = false);

    static constexpr int cellTextLimit = 500;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Pass(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnLeftButton(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnRightButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnScroll(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint();
    LRESULT OnEraseBackground(WPARAM wParam);

    void MoveFocusByKey(UINT key);
    void EndFocusEdit();
    bool HitCell(POINT point, int *row, int *column) const;
    void OnHeaderRightClick();
    void PaintCell(HDC dc, int row, int column, bool selected);
    void CreateDrawingResources();
    void FreeDrawingResources();

    int focusRow_ = -1;
    int focusColumn_ = -1;
    std::vector<Column *> columns_;
    GdiObject cellFont_;
    GdiObject windowBrush_;
    GdiObject highlightBrush_;
    GdiObject focusBrush_;
    GdiObject buttonFaceBrush_;
    GdiObject gridPen_;
    HWND listWindow_ = nullptr;
    WNDPROC previousProc_ = nullptr;
    COLORREF focusColor_;
    int columnCount_ = 0;
    int rowCount_ = 0;
    bool hasFocus_ = false;
    bool showSelection_ = false;
};
