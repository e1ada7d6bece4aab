// The grid's rows: inserting, deleting and moving them. Row data (the item parameter) is
// the owner's; the grid never frees it and, when rows move, never hands it through a
// deletion.
#include "gridctrl.h"

#include <algorithm>
#include <memory>
#include <new>

bool GridCtrl::InsertRow(int index, const LVITEMW *items)
{
    if (!listWindow_ || !items || columnCount_ < 1)
        return false;
    int count = ListView_GetItemCount(listWindow_);
    if (index < 0 || index > count)
        index = count;
    // The row gets its parameter only once it is whole: a half-made row is deleted again
    // carrying none, so a parent that frees row data on deletion frees nothing of the
    // caller's, who still owns it when the insert fails.
    LVITEMW first = items[0];
    first.mask |= LVIF_PARAM;
    first.iItem = index;
    first.iSubItem = 0;
    first.lParam = 0;
    int row = ListView_InsertItem(listWindow_, &first);
    if (row < 0)
        return false;
    bool whole = true;
    for (int column = 1; whole && column < columnCount_; ++column) {
        LVITEMW item = items[column];
        item.iItem = row;
        item.iSubItem = column;
        whole = ListView_SetItem(listWindow_, &item);
    }
    LVITEMW param{};
    param.mask = LVIF_PARAM;
    param.iItem = row;
    param.lParam = items[0].lParam;
    if (!whole || !ListView_SetItem(listWindow_, &param)) {
        ListView_DeleteItem(listWindow_, row);
        return false;
    }
    if (count == 0)
        ListView_SetItemState(listWindow_, row, LVIS_FOCUSED, LVIS_FOCUSED);
    ++rowCount_;
    return true;
}

int GridCtrl::DeleteSelectedRows()
{
    if (!listWindow_ || ListView_GetNextItem(listWindow_, -1, LVNI_SELECTED) < 0)
        return 0;
    EndAllEdits();
    int deleted = 0;
    int last = -1;
    for (int row; (row = ListView_GetNextItem(listWindow_, -1, LVNI_SELECTED)) >= 0;) {
        if (!ListView_DeleteItem(listWindow_, row))
            break;
        last = row;
        ++deleted;
    }
    int count = ListView_GetItemCount(listWindow_);
    int select = last < count ? last : count - 1;
    if (select >= 0) {
        ListView_SetItemState(listWindow_, select, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(listWindow_, select, FALSE);
        focusRow_ = select;
    } else {
        focusRow_ = focusColumn_ = -1;
    }
    rowCount_ -= deleted;
    Redraw(true);
    return deleted;
}

void GridCtrl::DeleteAllRows()
{
    EndAllEdits();
    if (listWindow_)
        ListView_DeleteAllItems(listWindow_);
    rowCount_ = 0;
    focusRow_ = focusColumn_ = -1;
}

int GridCtrl::MoveSelectedRows(int amount, bool relative)
{
    if (!listWindow_)
        return 0;
    std::vector<int> selected;
    for (int row = -1; (row = ListView_GetNextItem(listWindow_, row, LVNI_SELECTED)) >= 0;)
        selected.push_back(row);
    if (selected.empty())
        return 0;
    int count = ListView_GetItemCount(listWindow_);
    int shift = relative ? amount : amount - selected.front();
    if (shift == 0 || selected.front() + shift < 0 || selected.back() + shift >= count)
        return 0;

    // Rows move by rewriting the items between the block's old and new places in their new
    // order: no item is deleted, so the row data never passes through the parent's hands.
    int low = std::min(selected.front(), selected.front() + shift);
    int high = std::max(selected.back(), selected.back() + shift);
    int span = high - low + 1;
    std::vector<int> source(span, -1); // source[t - low]: the row whose contents go to row t
    std::vector<bool> moving(span, false);
    for (int row : selected) {
        source[row + shift - low] = row;
        moving[row - low] = true;
    }
    for (int row = low, target = low; row <= high; ++row) {
        if (moving[row - low])
            continue;
        while (source[target - low] >= 0)
            ++target;
        source[target - low] = row;
    }

    size_t records = static_cast<size_t>(span) * columnCount_;
    std::unique_ptr<LVITEMW[]> items(new (std::nothrow) LVITEMW[records]());
    std::unique_ptr<wchar_t[]> texts(new (std::nothrow) wchar_t[records * cellTextLimit]);
    if (!items || !texts)
        return 0;
    EndAllEdits();

    auto record = [&](int row, int column) -> LVITEMW & {
        return items[static_cast<size_t>(row - low) * columnCount_ + column];
    };
    for (int row = low; row <= high; ++row) {
        for (int column = 0; column < columnCount_; ++column) {
            LVITEMW &item = record(row, column);
            item.mask = LVIF_TEXT | LVIF_STATE;
            if (column == 0)
                item.mask |= LVIF_PARAM;
            if (columns_[column]->description.fmt & LVCFMT_IMAGE)
                item.mask |= LVIF_IMAGE;
            item.iItem = row;
            item.iSubItem = column;
            item.stateMask = static_cast<UINT>(-1);
            item.pszText = &texts[(static_cast<size_t>(row - low) * columnCount_ + column) * cellTextLimit];
            item.cchTextMax = cellTextLimit;
            item.pszText[0] = L'\0';
            ListView_GetItem(listWindow_, &item);
            item.pszText[cellTextLimit - 1] = L'\0';
        }
    }

    // Texts and images first: they are what can fail (the control copies each text). On a
    // failure every row gets its own contents back and the move is refused.
    auto writeCells = [&](bool moved) {
        bool all = true;
        for (int target = low; target <= high; ++target)
            for (int column = 0; column < columnCount_; ++column) {
                LVITEMW item = record(moved ? source[target - low] : target, column);
                item.mask &= LVIF_TEXT | LVIF_IMAGE;
                item.iItem = target;
                item.iSubItem = column;
                all = ListView_SetItem(listWindow_, &item) && all;
            }
        return all;
    };
    if (!writeCells(true)) {
        writeCells(false);
        Redraw();
        return 0;
    }
    // Parameters and states only change values the control already holds.
    for (int target = low; target <= high; ++target) {
        const LVITEMW &from = record(source[target - low], 0);
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = target;
        item.lParam = from.lParam;
        ListView_SetItem(listWindow_, &item);
        ListView_SetItemState(listWindow_, target, from.state, static_cast<UINT>(-1));
    }
    int oldFocus = focusRow_;
    for (int row : selected) {
        if (oldFocus == row)
            focusRow_ = row + shift;
        ListView_EnsureVisible(listWindow_, row + shift, FALSE);
    }
    Redraw();
    return static_cast<int>(selected.size());
}
