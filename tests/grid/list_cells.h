// Cells of a list control in report view, as the grid and configuration tests read and
// click them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

inline std::wstring CellText(HWND list, int row, int column)
{
    wchar_t text[1000] = L"";
    ListView_GetItemText(list, row, column, text, 1000);
    return text;
}

// A cell's label rectangle in the list's client area; for the first column the subitem
// call would give the whole row.
inline RECT CellRect(HWND list, int row, int column)
{
    RECT cell{};
    if (column == 0)
        ListView_GetItemRect(list, row, &cell, LVIR_LABEL);
    else
        ListView_GetSubItemRect(list, row, column, LVIR_LABEL, &cell);
    return cell;
}
