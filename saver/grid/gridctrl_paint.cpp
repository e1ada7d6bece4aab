// The grid's painting: every cell drawn by the grid with its grid lines, the focus cell in
// the focus colour, and the drawing resources that takes.
#include "gridctrl.h"

#include <algorithm>

void GridCtrl::CreateDrawingResources()
{
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0))
        cellFont_.reset(CreateFontIndirectW(&font));
    windowBrush_.reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
    highlightBrush_.reset(CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    focusBrush_.reset(CreateSolidBrush(focusColor_));
    buttonFaceBrush_.reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    // Grid lines vanish when the button face is the window colour; use the text colour then.
    COLORREF line = GetSysColor(COLOR_BTNFACE) == GetSysColor(COLOR_WINDOW)
                        ? GetSysColor(COLOR_WINDOWTEXT)
                        : GetSysColor(COLOR_BTNFACE);
    gridPen_.reset(CreatePen(PS_SOLID, 1, line));
}

void GridCtrl::FreeDrawingResources()
{
    cellFont_.reset();
    windowBrush_.reset();
    highlightBrush_.reset();
    focusBrush_.reset();
    buttonFaceBrush_.reset();
    gridPen_.reset();
}

void GridCtrl::SetFocusColor(COLORREF color)
{
    focusColor_ = color;
    focusBrush_.reset(CreateSolidBrush(color));
}

LRESULT GridCtrl::OnEraseBackground(WPARAM wParam)
{
    RECT client;
    GetClientRect(listWindow_, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(windowBrush_.get()));
    return 1;
}

LRESULT GridCtrl::OnPaint()
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(listWindow_, &paint);
    if (!target)
        return 0;
    HWND header = ListView_GetHeader(listWindow_);
    RECT headerRect{};
    if (header && IsWindowVisible(header)) {
        GetWindowRect(header, &headerRect);
        MapWindowPoints(nullptr, listWindow_, reinterpret_cast<POINT *>(&headerRect), 2);
        ExcludeClipRect(target, headerRect.left, headerRect.top, headerRect.right, headerRect.bottom);
    }
    // Drawn off screen and copied in one piece: no flicker, and one transfer to the display
    // instead of one per cell.
    RECT area = paint.rcPaint;
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC dc = target;
    HDC memory = width > 0 && height > 0 ? CreateCompatibleDC(target) : nullptr;
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(target, width, height) : nullptr;
    HGDIOBJ oldBitmap = nullptr;
    if (bitmap) {
        oldBitmap = SelectObject(memory, bitmap);
        SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
        FillRect(memory, &area, static_cast<HBRUSH>(windowBrush_.get()));
        dc = memory;
    }
    HGDIOBJ oldFont = SelectObject(dc, cellFont_.get());
    HGDIOBJ oldPen = SelectObject(dc, gridPen_.get());
    HGDIOBJ oldBrush = SelectObject(dc, windowBrush_.get());
    SetBkMode(dc, TRANSPARENT);

    int count = ListView_GetItemCount(listWindow_);
    int top = ListView_GetTopIndex(listWindow_);
    int end = std::min(top + ListView_GetCountPerPage(listWindow_) + 1, count);
    int headerItems = header ? Header_GetItemCount(header) : 0;
    for (int row = top; row < end; ++row) {
        bool selected = (ListView_GetItemState(listWindow_, row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
        for (int column = 0; column < headerItems && column < columnCount_; ++column)
            PaintCell(dc, row, column, selected);
    }

    if (focusColumn_ == -1 || focusRow_ == -1) {
        RECT mark{};
        if (hasFocus_) {
            bool have = false;
            if (count > 0 && top < count) {
                have = ListView_GetItemRect(listWindow_, top, &mark, LVIR_BOUNDS);
                mark.right = mark.left + ListView_GetColumnWidth(listWindow_, 0);
            } else if (header && Header_GetItemRect(header, 0, &mark)) {
                // One row's height below the header's first item.
                TEXTMETRICW metrics;
                GetTextMetricsW(dc, &metrics);
                int rowHeight = metrics.tmHeight + 1;
                mark.top = headerRect.bottom;
                mark.bottom = mark.top + rowHeight;
                have = true;
            }
            if (have) {
                InflateRect(&mark, -1, -1);
                SelectObject(dc, GetStockObject(NULL_BRUSH));
                HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
                Rectangle(dc, mark.left, mark.top, mark.right, mark.bottom);
                SelectObject(dc, pen);
            }
        } else if (count == 0) {
            RECT client;
            GetClientRect(listWindow_, &client);
            FillRect(dc, &client, static_cast<HBRUSH>(windowBrush_.get()));
        }
    }

    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    if (bitmap) {
        BitBlt(target, area.left, area.top, width, height, memory, area.left, area.top, SRCCOPY);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
    }
    if (memory)
        DeleteDC(memory);
    EndPaint(listWindow_, &paint);
    return 0;
}

void GridCtrl::PaintCell(HDC dc, int row, int column, bool selected)
{
    wchar_t text[cellTextLimit];
    text[0] = L'\0';
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = cellTextLimit;
    item.stateMask = static_cast<UINT>(-1);
    ListView_GetItem(listWindow_, &item);
    if (column != 0) {
        // Sub-items carry no state of their own; the overlay belongs to the row.
        item.state = ListView_GetItemState(listWindow_, row, static_cast<UINT>(-1));
    }

    RECT cell;
    if (column == 0) {
        if (!ListView_GetItemRect(listWindow_, row, &cell, LVIR_BOUNDS))
            return;
        cell.right = cell.left + ListView_GetColumnWidth(listWindow_, 0);
    } else if (!ListView_GetSubItemRect(listWindow_, row, column, LVIR_BOUNDS, &cell)) {
        return;
    }

    COLORREF textColor, background;
    HBRUSH brush;
    bool highlighted = false;
    if (showSelection_ && selected) {
        textColor = GetSysColor(COLOR_HIGHLIGHTTEXT);
        highlighted = true;
        if (row == focusRow_ && column == focusColumn_ && hasFocus_) {
            background = focusColor_;
            brush = static_cast<HBRUSH>(focusBrush_.get());
        } else {
            background = GetSysColor(COLOR_HIGHLIGHT);
            brush = static_cast<HBRUSH>(highlightBrush_.get());
        }
    } else if (selected) {
        textColor = GetSysColor(COLOR_WINDOWTEXT);
        background = GetSysColor(COLOR_BTNFACE);
        brush = static_cast<HBRUSH>(buttonFaceBrush_.get());
    } else {
        textColor = GetSysColor(COLOR_WINDOWTEXT);
        background = GetSysColor(COLOR_WINDOW);
        brush = static_cast<HBRUSH>(windowBrush_.get());
    }
    SelectObject(dc, brush);
    Rectangle(dc, cell.left - 1, cell.top - 1, cell.right + 1, cell.bottom + 1);

    RECT textRect = cell;
    int format = columns_[column]->description.fmt;
    HIMAGELIST images = ListView_GetImageList(listWindow_, LVSIL_SMALL);
    if ((format & LVCFMT_IMAGE) && images) {
        int width = 0, height = 0;
        ImageList_GetIconSize(images, &width, &height);
        bool right = (format & LVCFMT_BITMAP_ON_RIGHT) != 0;
        int x = right ? cell.right - width : cell.left;
        if (item.iImage >= 0) {
            UINT style = ILD_TRANSPARENT | (item.state & LVIS_OVERLAYMASK) | (highlighted ? ILD_BLEND50 : 0);
            ImageList_DrawEx(images, item.iImage, dc, x, cell.top, 0, 0, CLR_NONE, background, style);
        }
        if (right)
            textRect.right -= width;
        else
            textRect.left += width;
    }
    UINT align = DT_LEFT;
    switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT:
        align = DT_RIGHT;
        textRect.right -= 2;
        break;
    case LVCFMT_CENTER:
        align = DT_CENTER;
        break;
    default:
        textRect.left += 2;
        break;
    }
    SetTextColor(dc, textColor);
    DrawTextW(dc, text, -1, &textRect, align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_WORD_ELLIPSIS);
}
