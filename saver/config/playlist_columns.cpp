#include "playlist_columns.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <new>

#include "config/config_ids.h"
#include "value_limits.h"

namespace {

constexpr UINT kTakeFocusBack = WM_APP + 1;

const wchar_t *const kBounceItems[] = {L"no", L"yes"};

const PlaylistPage::ListCol::Choices kSizeChoices = {
    IDC_SIZE_EDITOR, kSizeNames, kSizeModeCount, L"Double Original  ", 1,
    [](const PlaylistRow &row) { return static_cast<int>(row.sizeMode); },
    [](PlaylistRow &row, int index) { row.sizeMode = index; }};
const PlaylistPage::ListCol::Choices kBounceChoices = {
    IDC_BOUNCE_EDITOR, kBounceItems, 2, L"yes  ", 2,
    [](const PlaylistRow &row) { return row.bounce ? 1 : 0; },
    [](PlaylistRow &row, int index) { row.bounce = index != 0; }};
const PlaylistPage::ListCol::Choices kStyleChoices = {
    IDC_STYLE_EDITOR, kStyleNames, kStyleCount, L"Monitor    ", 1,
    [](const PlaylistRow &row) { return row.displayStyle != 0 ? 1 : 0; },
    [](PlaylistRow &row, int index) { row.displayStyle = index; }};

int StringWidth(HWND list, const wchar_t *sample)
{
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(sample)));
}

HFONT GridFont(HWND list)
{
    return reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
}

// Where an editor goes: over (row, column) scrolled into view, right-aligned with the cell,
// at least `minimum` wide, never left of the grid.
struct EditorPlace {
    RECT cell;
    int x;
    int width;
};
bool PlaceEditor(GridCtrl &grid, int row, int column, int minimum, EditorPlace *place)
{
    RECT client;
    if (!grid.ScrollCellIntoView(row, column, true, &place->cell) || !GetClientRect(grid.Window(), &client))
        return false;
    place->width = std::max<int>(place->cell.right - place->cell.left, minimum);
    place->x = std::max<int>(place->cell.right - place->width, client.left);
    return true;
}

// Puts `procedure` in front of `window`'s own, with `column` in its user data; returns the
// procedure the window had.
WNDPROC Subclass(HWND window, GridCtrl::Column *column, WNDPROC procedure)
{
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(column));
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

} // namespace

// ---- the page's columns ----

bool PlaylistPage::CreateColumns()
{
    struct ColumnInfo {
        const wchar_t *header;
        int format;
    };
    static const ColumnInfo infos[kColumnCount] = {
        {L"File", LVCFMT_LEFT | LVCFMT_IMAGE}, {L"Loops", LVCFMT_RIGHT}, {L"Size", LVCFMT_LEFT},
        {L"Bounce", LVCFMT_LEFT},              {L"Volume", LVCFMT_RIGHT}, {L"Style", LVCFMT_LEFT},
        {L"Speed", LVCFMT_RIGHT}};
    for (int n = 0; n < kColumnCount; ++n) {
        GridCtrl::Column *column = nullptr;
        switch (n) {
        case 0: column = new (std::nothrow) FileCol(this); break;
        case 1: column = new (std::nothrow) LoopsCol(this); break;
        case 2: column = new (std::nothrow) ListCol(this, kSizeChoices); break;
        case 3: column = new (std::nothrow) ListCol(this, kBounceChoices); break;
        case 4: column = new (std::nothrow) VolumeCol(this); break;
        case 5: column = new (std::nothrow) ListCol(this, kStyleChoices); break;
        case 6: column = new (std::nothrow) SpeedCol(this); break;
        }
        if (!column) {
            // Without every column the page shows no playlist at all.
            grid_.Destroy();
            columns_.clear();
            return false;
        }
        LVCOLUMNW &description = column->description;
        description.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        description.fmt = infos[n].format;
        description.cx = settings_->columnWidths[n];
        description.pszText = const_cast<wchar_t *>(infos[n].header);
        description.iSubItem = n;
        columns_.emplace_back(column);
        grid_.AddColumn(column);
    }
    return true;
}

// ---- File ----

void PlaylistPage::FileCol::BeginEdit(int row)
{
    page_->PlayRow(row);
}

void PlaylistPage::FileCol::OnHeaderRightClick(int x, int y)
{
    page_->ShowPathMenu(x, y);
}

// ---- one-window editors: Loops, Size, Bounce, Style ----

PlaylistPage::EditorCol::~EditorCol()
{
    if (editor_)
        DestroyWindow(editor_);
}

void PlaylistPage::EditorCol::BeginEdit(int row)
{
    EndEdit();
    PlaylistRow *data = page_->RowData(row);
    EditorPlace place;
    if (!data || !PlaceEditor(page_->Grid(), row, description.iSubItem, SampleWidth(page_->Grid().Window()), &place))
        return;
    row_ = row;
    data_ = data;
    HWND editor = CreateEditor(place.cell, place.x, place.width);
    if (!editor) {
        row_ = -1;
        data_ = nullptr;
        return;
    }
    editor_ = editor;
    editorProc_ = Subclass(editor, this, EditorProc);
    ShowWindow(editor, SW_SHOW);
}

int PlaylistPage::EditorCol::SampleWidth(HWND list) const
{
    return StringWidth(list, SampleText());
}

void PlaylistPage::EditorCol::EndEdit()
{
    if (!editor_)
        return;
    Commit();
    page_->MarkChanged();
    HWND editor = editor_;
    bool hadFocus = GetFocus() == editor || IsChild(editor, GetFocus());
    editor_ = nullptr;
    row_ = -1;
    data_ = nullptr;
    DestroyWindow(editor);
    // Carry on with the keyboard where the edit was.
    if (hadFocus)
        SetFocus(page_->Grid().Window());
    page_->Grid().Redraw();
}

LRESULT CALLBACK PlaylistPage::EditorCol::EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *column = reinterpret_cast<EditorCol *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!column || !column->editorProc_)
        return DefWindowProcW(window, message, wParam, lParam);
    WNDPROC previous = column->editorProc_;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            // An open drop-down list takes Enter as its choice first.
            if (GetWindowLongW(window, GWL_ID) != IDC_LOOPS_EDITOR && SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0))
                CallWindowProcW(previous, window, message, wParam, lParam);
            column->EndEdit();
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB)
            return 0; // no beep from the edit box
        break;
    case WM_KILLFOCUS: {
        // The list control takes the focus while it handles a click; the editor stays in charge.
        HWND to = reinterpret_cast<HWND>(wParam);
        if (to && to == column->page_->Grid().Window() && IsWindowVisible(window))
            PostMessageW(window, kTakeFocusBack, 0, 0);
        break;
    }
    case kTakeFocusBack:
        if (IsWindowVisible(window) && GetFocus() == column->page_->Grid().Window())
            SetFocus(window);
        return 0;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

HWND PlaylistPage::LoopsCol::CreateEditor(const RECT &cell, int x, int width)
{
    HWND list = page_->Grid().Window();
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL, x,
                                cell.top, width, cell.bottom - cell.top, list,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOOPS_EDITOR)), page_->Instance(),
                                nullptr);
    if (!edit)
        return nullptr;
    HFONT font = GridFont(list);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(edit, EM_LIMITTEXT, kLoopDigits, 0);
    wchar_t text[16];
    swprintf(text, 16, L"%d", static_cast<int>(data_->loops));
    SetWindowTextW(edit, text);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SetFocus(edit);
    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE one{0, 0};
    GetTextExtentPoint32W(dc, L"1", 1, &one);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    int height = one.cy + 2 * GetSystemMetrics(SM_CYEDGE);
    int cellHeight = cell.bottom - cell.top;
    SetWindowPos(edit, nullptr, x, cell.top - (height - cellHeight) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return edit;
}

void PlaylistPage::LoopsCol::Commit()
{
    wchar_t text[kLoopDigits + 1] = L"";
    GetWindowTextW(editor_, text, kLoopDigits + 1);
    long value = kLoopRange.Clamp(wcstol(text, nullptr, 10));
    data_->loops = value;
    wchar_t cell[16];
    swprintf(cell, 16, L"%ld", value);
    page_->Grid().SetCellText(row_, description.iSubItem, cell);
}

HWND PlaylistPage::ListCol::CreateEditor(const RECT &cell, int x, int width)
{
    HWND list = page_->Grid().Window();
    int cellHeight = cell.bottom - cell.top;
    HWND box = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST, x, cell.top, width,
                               10 * cellHeight, list, reinterpret_cast<HMENU>(static_cast<INT_PTR>(choices_.editorId)),
                               page_->Instance(), nullptr);
    if (!box)
        return nullptr;
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(GridFont(list)), FALSE);
    for (int n = 0; n < choices_.count; ++n)
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choices_.names[n]));
    SendMessageW(box, CB_SETCURSEL, choices_.get(*data_), 0);
    SetFocus(box);
    // The closed box is centred on the cell; the window keeps its dropped height.
    RECT closed;
    GetWindowRect(box, &closed);
    int height = closed.bottom - closed.top;
    SetWindowPos(box, nullptr, x, cell.top - (height - cellHeight) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return box;
}

void PlaylistPage::ListCol::Commit()
{
    LRESULT index = SendMessageW(editor_, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < choices_.count)
        choices_.set(*data_, static_cast<int>(index));
    wchar_t text[32] = L"";
    GetWindowTextW(editor_, text, 32);
    page_->Grid().SetCellText(row_, description.iSubItem, text);
}

// ---- Volume and Speed: value box and pop-up slider ----

PlaylistPage::SliderCol::~SliderCol()
{
    if (slider_)
        DestroyWindow(slider_);
    if (box_)
        DestroyWindow(box_);
}

void PlaylistPage::SliderCol::BeginEdit(int row)
{
    EndEdit();
    PlaylistRow *data = page_->RowData(row);
    HWND list = page_->Grid().Window();
    EditorPlace place;
    if (!data || !PlaceEditor(page_->Grid(), row, description.iSubItem, StringWidth(list, L"100%  "), &place))
        return;
    const RECT &cell = place.cell;
    const int width = place.width;
    HWND box = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_READONLY | ES_RIGHT, place.x, cell.top, width,
                               cell.bottom - cell.top, list,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(EditorId())), page_->Instance(), nullptr);
    if (!box)
        return;
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(GridFont(list)), FALSE);
    POINT corner{cell.right, cell.bottom};
    ClientToScreen(list, &corner);
    int sliderWidth = std::min(width, 50);
    HWND slider = CreateWindowExW(WS_EX_DLGMODALFRAME, TRACKBAR_CLASSW, L"", WS_POPUP | TBS_VERT | TBS_BOTH,
                                  corner.x - sliderWidth, corner.y, sliderWidth, 100, box, nullptr, page_->Instance(),
                                  nullptr);
    if (!slider) {
        DestroyWindow(box);
        return;
    }
    row_ = row;
    data_ = data;
    box_ = box;
    slider_ = slider;
    boxProc_ = Subclass(box, this, BoxProc);
    sliderProc_ = Subclass(slider, this, SliderProc);
    SetUpSlider();
    ShowWindow(box, SW_SHOW);
    ShowWindow(slider, SW_SHOW);
    SetFocus(slider);
}

void PlaylistPage::SliderCol::EndEdit()
{
    if (!box_)
        return;
    Commit();
    page_->MarkChanged();
    HWND box = box_, slider = slider_;
    bool hadFocus = GetFocus() == slider || GetFocus() == box;
    box_ = slider_ = nullptr;
    row_ = -1;
    data_ = nullptr;
    DestroyWindow(slider);
    DestroyWindow(box);
    if (hadFocus)
        SetFocus(page_->Grid().Window());
    page_->Grid().Redraw();
}

LRESULT CALLBACK PlaylistPage::SliderCol::BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *column = reinterpret_cast<SliderCol *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!column || !column->boxProc_)
        return DefWindowProcW(window, message, wParam, lParam);
    // Which window hears a pop-up trackbar's scroll notifications differs between platform
    // versions; the slider's own procedure watches its position instead.
    if ((message == WM_VSCROLL || message == WM_HSCROLL) && lParam && reinterpret_cast<HWND>(lParam) == column->slider_)
        return 0;
    return CallWindowProcW(column->boxProc_, window, message, wParam, lParam);
}

LRESULT CALLBACK PlaylistPage::SliderCol::SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *column = reinterpret_cast<SliderCol *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!column || !column->sliderProc_)
        return DefWindowProcW(window, message, wParam, lParam);
    WNDPROC previous = column->sliderProc_;
    int code = -1;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            column->EndEdit();
            return 0;
        }
        code = (wParam == VK_UP || wParam == VK_LEFT)      ? TB_LINEUP
               : (wParam == VK_DOWN || wParam == VK_RIGHT) ? TB_LINEDOWN
                                                           : TB_PAGEDOWN;
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_MOUSEWHEEL:
    case WM_TIMER:
        code = TB_THUMBTRACK;
        break;
    }
    if (code < 0)
        return CallWindowProcW(previous, window, message, wParam, lParam);
    LRESULT before = SendMessageW(window, TBM_GETPOS, 0, 0);
    LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
    if (column->slider_ == window && SendMessageW(window, TBM_GETPOS, 0, 0) != before)
        column->OnSliderMoved(code);
    return result;
}

int PlaylistPage::VolumeCol::EditorId() const { return IDC_VOLUME_EDITOR; }

void PlaylistPage::VolumeCol::SetUpSlider()
{
    // The top of a vertical trackbar is its minimum: the loudest there.
    SendMessageW(slider_, TBM_SETRANGE, FALSE, MAKELPARAM(kVolumeRange.low, kVolumeRange.high));
    SendMessageW(slider_, TBM_SETPOS, TRUE, kVolumeRange.high - data_->volume);
    wchar_t text[16];
    swprintf(text, 16, L"%d%%", static_cast<int>(data_->volume));
    SetWindowTextW(box_, text);
}

void PlaylistPage::VolumeCol::OnSliderMoved(int)
{
    int position = static_cast<int>(SendMessageW(slider_, TBM_GETPOS, 0, 0));
    wchar_t text[16];
    swprintf(text, 16, L"%d%%", static_cast<int>(kVolumeRange.high - position));
    SetWindowTextW(box_, text);
}

void PlaylistPage::VolumeCol::Commit()
{
    data_->volume = kVolumeRange.high - static_cast<LONG>(SendMessageW(slider_, TBM_GETPOS, 0, 0));
    wchar_t text[5] = L"";
    GetWindowTextW(box_, text, 5);
    page_->Grid().SetCellText(row_, description.iSubItem, text);
}

int PlaylistPage::SpeedCol::EditorId() const { return IDC_SPEED_EDITOR; }

void PlaylistPage::SpeedCol::SetUpSlider()
{
    lastPosition_ = SpeedSlider::SetUp(slider_, data_->speed, SpeedSlider::Orientation::Vertical);
    wchar_t text[16];
    swprintf(text, 16, L"%04.2f", static_cast<double>(data_->speed == 0.0f ? 1.0f : data_->speed));
    SetWindowTextW(box_, text);
}

void PlaylistPage::SpeedCol::OnSliderMoved(int code)
{
    float speed = SpeedSlider::OnMoved(slider_, code, &lastPosition_, SpeedSlider::Orientation::Vertical);
    wchar_t text[16];
    swprintf(text, 16, L"%04.2f", static_cast<double>(speed));
    SetWindowTextW(box_, text);
}

void PlaylistPage::SpeedCol::Commit()
{
    int position = static_cast<int>(SendMessageW(slider_, TBM_GETPOS, 0, 0));
    data_->speed = SpeedSlider::PositionToSpeed(position, SpeedSlider::Orientation::Vertical);
    wchar_t text[5] = L"";
    GetWindowTextW(box_, text, 5);
    page_->Grid().SetCellText(row_, description.iSubItem, text);
}
