// dshow.h pulls in strsafe.h, which would otherwise retire the C string functions.
#define STRSAFE_NO_DEPRECATE
#include "playlist_page.h"

#include <commdlg.h>
#include <dshow.h>
#include <shellapi.h>
#include <uxtheme.h>
#include <wrl/client.h>

#include <cwchar>
#include <new>

#include "abi.h"
#include "config/config_ids.h"
#include "config_common.h"
#include "quick_start.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT_PTR kQuickStartTimer = 1;
constexpr int kPathLimit = 300; // path buffers with their terminator
constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80030020);

const wchar_t *const kFileButtons[] = {L"New", L"Open", L"Save", L"Save As"};
const wchar_t *const kRowButtons[] = {L"Add", L"Remove", L"Move Up", L"Move Down", L"Play"};

// Cell texts of one row.
struct RowTexts {
    wchar_t loops[16];
    wchar_t volume[16];
    wchar_t speed[16];
};

const wchar_t *SizeText(LONG mode)
{
    return mode >= 0 && mode < kSizeModeCount ? kSizeNames[mode] : L"unknown";
}

const wchar_t *StyleText(LONG style)
{
    return style >= 0 && style < kStyleCount ? kStyleNames[style] : L"unknown";
}

// The part of `path` after its last backslash.
wchar_t *NameOf(wchar_t *path)
{
    wchar_t *slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// The folder part of a chosen path: the characters before the file name, without the
// final backslash.
void StoreFolder(wchar_t *setting, const wchar_t *path, WORD fileOffset)
{
    size_t length = fileOffset;
    if (length > 0 && path[length - 1] == L'\\')
        --length;
    if (length >= kPathLimit)
        length = kPathLimit - 1;
    wmemcpy(setting, path, length);
    setting[length] = L'\0';
}

} // namespace

PlaylistPage::PlaylistPage(HINSTANCE instance, Settings *settings, HelpLocation *help,
                           HWND sheetParent, bool centre)
    : instance_(instance), settings_(settings), help_(help), sheetParent_(sheetParent), centre_(centre),
      themed_(IsThemedPlatform())
{
}

PlaylistPage::~PlaylistPage()
{
    // Rows are freed as the grid reports them deleted; the page window may be gone already.
    grid_.DeleteAllRows();
    grid_.Destroy();
    columns_.clear();
    if (imageList_)
        ImageList_Destroy(imageList_);
    if (topImages_)
        ImageList_Destroy(topImages_);
    if (bottomImages_)
        ImageList_Destroy(bottomImages_);
}

PlaylistRow *PlaylistPage::RowData(int row) const
{
    return reinterpret_cast<PlaylistRow *>(const_cast<GridCtrl &>(grid_).GetRowParam(row));
}

INT_PTR CALLBACK PlaylistPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *page = DialogOwner<PlaylistPage>(window, message, lParam, DialogKind::PropertyPage);
    if (!page)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return page->OnInitDialog(window);
    case WM_COMMAND:
        return page->OnCommand(LOWORD(wParam));
    case WM_NOTIFY:
        return page->OnNotify(reinterpret_cast<NMHDR *>(lParam));
    case WM_TIMER:
        return page->OnTimer(wParam);
    case WM_DESTROY:
        return page->OnDestroy();
    }
    return FALSE;
}

// ---- initialisation ----

HWND PlaylistPage::CreateToolbar(int id, int bitmap, int firstCommand, const wchar_t *const *labels,
                                 int count, HIMAGELIST *images)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TBSTYLE_FLAT |
                  CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
    if (themed_)
        style |= TBSTYLE_CUSTOMERASE;
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, page_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!bar)
        return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // Magenta marks the transparent parts of the toolbar strips.
    *images = ImageList_LoadImageW(instance_, MAKEINTRESOURCEW(bitmap), 16, 0, RGB(255, 0, 255),
                                   IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (*images) {
        int width = 16, height = 15;
        ImageList_GetIconSize(*images, &width, &height);
        SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height));
        SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(*images));
    }
    std::vector<TBBUTTON> buttons(count);
    for (int n = 0; n < count; ++n) {
        buttons[n] = TBBUTTON{};
        buttons[n].iBitmap = n;
        buttons[n].idCommand = firstCommand + n;
        buttons[n].fsState = TBSTATE_ENABLED;
        buttons[n].fsStyle = BTNS_BUTTON;
        buttons[n].iString = reinterpret_cast<INT_PTR>(labels[n]);
    }
    SendMessageW(bar, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    return bar;
}

INT_PTR PlaylistPage::OnInitDialog(HWND window)
{
    page_ = window;
    RECT client;
    GetClientRect(page_, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;

    topBar_ = CreateToolbar(IDC_FILE_TOOLBAR, IDB_FILE_TOOLBAR, IDC_NEW, kFileButtons, 4, &topImages_);
    SIZE barSize{0, 0};
    if (topBar_) {
        SendMessageW(topBar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&barSize));
        SetWindowPos(topBar_, nullptr, 10, 10, barSize.cx, barSize.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int h = barSize.cy;

    gridColor_ = settings_->focusColor;
    grid_.SetFocusColor(gridColor_);
    grid_.Create(IDC_GRID, page_, instance_, WS_VISIBLE | WS_TABSTOP | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                 WS_EX_CLIENTEDGE, LVS_EX_FLATSB, 10, h + 20, width - 20, height - 2 * (h + 20));

    bottomBar_ = CreateToolbar(IDC_ROW_TOOLBAR, IDB_ROW_TOOLBAR, IDC_ADD, kRowButtons, 5, &bottomImages_);
    if (bottomBar_) {
        SIZE size{0, 0};
        SendMessageW(bottomBar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
        SetWindowPos(bottomBar_, nullptr, 10, height - h - 10, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (HWND list = grid_.Window()) {
        FlatSB_SetScrollProp(list, WSB_PROP_HSTYLE, FSB_ENCARTA_MODE, FALSE);
        FlatSB_SetScrollProp(list, WSB_PROP_VSTYLE, FSB_ENCARTA_MODE, FALSE);
    }

    if (CreateColumns()) {
        BuildIcons();
        if (settings_->playlist[0]) {
            HRESULT hr = ReadPlaylist(settings_->playlist);
            if (FAILED(hr)) {
                std::wstring format = LoadResourceString(instance_, IDS_OPEN_FAILED);
                ShowMessage(page_, Format(format.c_str(), settings_->playlist).c_str(), MB_ICONEXCLAMATION);
                settings_->playlist[0] = L'\0';
            }
        }
        SetTitle();
    }
    if (centre_)
        CentreSheet();
    SetTimer(page_, kQuickStartTimer, 50, nullptr);
    return TRUE;
}

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
        case 2: column = new (std::nothrow) SizeCol(this); break;
        case 3: column = new (std::nothrow) BounceCol(this); break;
        case 4: column = new (std::nothrow) VolumeCol(this); break;
        case 5: column = new (std::nothrow) StyleCol(this); break;
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

void PlaylistPage::CentreSheet()
{
    HWND sheet = GetParent(page_);
    RECT work{};
    if (GetSystemMetrics(SM_CMONITORS) <= 1) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        GetMonitorInfoW(MonitorFromWindow(sheetParent_, MONITOR_DEFAULTTOPRIMARY), &info);
        work = info.rcWork;
    }
    RECT sheetRect;
    GetWindowRect(sheet, &sheetRect);
    int sheetWidth = sheetRect.right - sheetRect.left;
    int sheetHeight = sheetRect.bottom - sheetRect.top;
    int left = work.left + (work.right - work.left - sheetWidth) / 2;
    int top = work.top + (work.bottom - work.top - sheetHeight) / 2;
    SetWindowPos(sheet, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- file-type icons ----

void PlaylistPage::AddIconForPattern(const wchar_t *pattern)
{
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(pattern, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                        SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON) ||
        !info.hIcon)
        return;
    int image = ImageList_AddIcon(grid_.GetImageList() ? grid_.GetImageList() : imageList_, info.hIcon);
    if (image >= 0) {
        ExtensionIcon entry{};
        CopyText(entry.extension, 10, pattern[0] ? pattern + 1 : pattern);
        entry.image = image;
        icons_.push_back(entry);
    }
    DestroyIcon(info.hIcon);
}

void PlaylistPage::BuildIcons()
{
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 1);
    if (!list)
        return;
    HIMAGELIST old = imageList_;
    imageList_ = list;
    grid_.SetImageList(nullptr);
    icons_.clear();
    ForEachPiece(settings_->videoFileTypes, L";", [&](const wchar_t *pattern) { AddIconForPattern(pattern); });
    HICON failed = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PLAY_FAILED), IMAGE_ICON, 16, 16, 0));
    if (failed) {
        int image = ImageList_AddIcon(list, failed);
        if (image >= 0)
            ImageList_SetOverlayImage(list, image, 1);
        DestroyIcon(failed);
    }
    grid_.SetImageList(list);
    if (old)
        ImageList_Destroy(old);
}

void PlaylistPage::UpdateIcons()
{
    if (icons_.empty()) {
        BuildIcons();
        grid_.Redraw();
        return;
    }
    ForEachPiece(settings_->videoFileTypes, L";", [&](const wchar_t *pattern) {
        const wchar_t *extension = pattern + 1;
        bool known = false;
        for (const ExtensionIcon &entry : icons_)
            known = known || wcsncmp(entry.extension, extension, 10) == 0;
        if (!known)
            AddIconForPattern(pattern);
    });
}

int PlaylistPage::FindExtensionImage(const wchar_t *name) const
{
    const wchar_t *dot = wcsrchr(name, L'.');
    if (!dot)
        return -1;
    for (const ExtensionIcon &entry : icons_)
        if (wcsncmp(entry.extension, dot, 10) == 0)
            return entry.image;
    return -1;
}

// ---- rows ----

bool PlaylistPage::InsertPlaylistRow(const wchar_t *path, LONG loops, LONG sizeMode, bool bounce, LONG volume,
                                     LONG style, float speed, HRESULT error, int position)
{
    auto *row = new (std::nothrow) PlaylistRow{};
    if (!row)
        return false;
    CopyText(row->path, kPathLimit, path);
    row->name = NameOf(row->path);
    row->error = error;
    if (loops == -1 || loops > 9999)
        loops = 9999;
    else if (loops < 1)
        loops = 1;
    row->loops = loops;
    row->sizeMode = sizeMode;
    row->style = style;
    row->volume = volume;
    row->speed = speed;
    row->bounce = bounce;

    RowTexts texts;
    swprintf(texts.loops, 16, L"%d", static_cast<int>(row->loops));
    swprintf(texts.volume, 16, L"%d%%", static_cast<int>(row->volume));
    swprintf(texts.speed, 16, L"%04.2f", static_cast<double>(row->speed));
    const wchar_t *cells[kColumnCount] = {settings_->showPath ? row->path : row->name, texts.loops,
                                          SizeText(sizeMode), bounce ? L"yes" : L"no", texts.volume,
                                          StyleText(style), texts.speed};
    LVITEMW items[kColumnCount]{};
    for (int n = 0; n < kColumnCount; ++n) {
        items[n].mask = LVIF_TEXT;
        items[n].pszText = const_cast<wchar_t *>(cells[n]);
    }
    items[0].lParam = reinterpret_cast<LPARAM>(row);
    int image = FindExtensionImage(row->name);
    if (image >= 0) {
        items[0].mask |= LVIF_IMAGE;
        items[0].iImage = image;
        if (error < 0) {
            items[0].mask |= LVIF_STATE;
            items[0].state = INDEXTOOVERLAYMASK(1);
            items[0].stateMask = LVIS_OVERLAYMASK;
        }
    } else {
        items[0].mask |= LVIF_IMAGE;
        items[0].iImage = I_IMAGENONE;
    }
    if (!grid_.InsertRow(position, items)) {
        delete row;
        return false;
    }
    return true;
}

bool PlaylistPage::SizeFields(LONG mode, BYTE *scaleToScreen, BYTE *keepAspect, float *scale)
{
    static const struct {
        BYTE scaleToScreen, keepAspect;
        float scale;
    } table[kSizeModeCount] = {{1, 1, 1.0f}, {1, 0, 1.0f}, {1, 1, 0.75f}, {1, 1, 0.5f},
                               {1, 1, 0.25f}, {0, 1, 1.0f}, {0, 1, 2.0f}};
    if (mode < 0 || mode >= kSizeModeCount)
        return false;
    *scaleToScreen = table[mode].scaleToScreen;
    *keepAspect = table[mode].keepAspect;
    *scale = table[mode].scale;
    return true;
}

bool PlaylistPage::SizeModeOf(BYTE scaleToScreen, BYTE keepAspect, float scale, LONG *mode)
{
    if (scaleToScreen) {
        if (scale == 1.0f)
            *mode = keepAspect ? 0 : 1;
        else if (scale == 0.75f)
            *mode = 2;
        else if (scale == 0.5f)
            *mode = 3;
        else if (scale == 0.25f)
            *mode = 4;
        else
            return false;
        return true;
    }
    if (scale == 1.0f)
        *mode = 5;
    else if (scale == 2.0f)
        *mode = 6;
    else
        return false;
    return true;
}

HRESULT PlaylistPage::ReadPlaylist(const wchar_t *path)
{
    ComPtr<IHCYFWPlaylist> playlist;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                  reinterpret_cast<void **>(playlist.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    HRESULT loaded = playlist->Load(path);
    if (FAILED(loaded))
        return loaded;
    grid_.EndAllEdits();
    grid_.DeleteAllRows();
    // The rows about to be shown are the file's: nothing of them is unsaved.
    changed_ = false;

    LONG count = 0;
    if (FAILED(playlist->GetCount(&count)))
        count = 0;
    // One repaint for the whole list instead of one per row.
    HWND list = grid_.Window();
    if (list)
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    // A size that matches no mode keeps the previous item's mode.
    LONG sizeMode = loaded;
    for (LONG n = 0; n < count; ++n) {
        PlaybackItem item{};
        if (SUCCEEDED(playlist->GetCurrentItem(&item))) {
            CoTaskString name(item.fileName);
            PlaylistPosition position{};
            playlist->GetPosition(&position);
            SizeModeOf(item.scaleToScreen, item.keepAspect, item.scale, &sizeMode);
            InsertPlaylistRow(name.get() ? name.get() : L"", item.loops, sizeMode, item.bounce != 0, item.volume,
                              item.perMonitor ? 0 : 1, item.rate, position.playResult, -1);
        }
        playlist->Next();
    }
    if (list) {
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        grid_.Redraw(true);
    }
    return loaded;
}

bool PlaylistPage::WritePlaylist(const wchar_t *path)
{
    ComPtr<IHCYFWPlaylist> playlist;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                  reinterpret_cast<void **>(playlist.GetAddressOf()));
    if (FAILED(hr)) {
        ShowMessage(page_,
                    L"Couldn't save the playlist. If this problem persists, go to Add/Remove Programs and repair "
                    L"Reelhaven.",
                    MB_ICONEXCLAMATION);
        return false;
    }
    int count = ListView_GetItemCount(grid_.Window());
    for (int n = 0; n < count; ++n) {
        PlaylistRow *row = RowData(n);
        if (!row)
            continue;
        PlaybackItem item{};
        item.fileName = row->path;
        item.loops = row->loops;
        item.volume = row->volume;
        SizeFields(row->sizeMode, &item.scaleToScreen, &item.keepAspect, &item.scale);
        item.rate = row->speed;
        item.bounce = row->bounce ? 1 : 0;
        item.perMonitor = row->style == 0 ? 1 : 0;
        if (FAILED(playlist->Insert(&item, -1))) {
            ShowMessage(page_, L"Failed to save playlist.", MB_ICONEXCLAMATION);
            return false;
        }
    }
    hr = playlist->Save(path, FALSE);
    if (SUCCEEDED(hr))
        return true;
    ShowMessage(page_,
                hr == kSharingViolation ? L"Couldn't save playlist because file is in use by another application."
                                        : L"Failed to save playlist.",
                MB_ICONEXCLAMATION);
    return false;
}

void PlaylistPage::SetOverlay(int row, bool failed)
{
    ListView_SetItemState(grid_.Window(), row, failed ? INDEXTOOVERLAYMASK(1) : 0, LVIS_OVERLAYMASK);
}

void PlaylistPage::RefreshFileTexts()
{
    int count = ListView_GetItemCount(grid_.Window());
    for (int n = 0; n < count; ++n)
        if (PlaylistRow *row = RowData(n))
            grid_.SetCellText(n, 0, settings_->showPath ? row->path : row->name);
    grid_.Redraw();
}

void PlaylistPage::SetTitle()
{
    std::wstring title;
    if (settings_->playlist[0]) {
        std::wstring name = NameOf(settings_->playlist);
        size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos)
            name.resize(dot);
        title = Format(L"%s - %s", name.c_str(), settings_->playlist);
    } else {
        title = LoadResourceString(instance_, IDS_UNTITLED);
    }
    PropSheet_SetTitle(GetParent(page_), 0, title.c_str());
}

// ---- commands ----

bool PlaylistPage::PromptToSave()
{
    if (!changed_)
        return true;
    switch (ShowMessage(page_, L"Do you want to save your changes to the current playlist?",
                        MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        OnSave();
        // A save that did not happen (failed or abandoned) would lose the edits: stay.
        return !changed_;
    case IDNO:
        changed_ = false;
        return true;
    default:
        return false;
    }
}

void PlaylistPage::OnNew()
{
    grid_.EndAllEdits();
    if (!PromptToSave())
        return;
    grid_.DeleteAllRows();
    settings_->playlist[0] = L'\0';
    SetTitle();
    OnAdd();
}

void PlaylistPage::OnOpen()
{
    // An open editor's value belongs to the playlist shown now: the question covers it.
    grid_.EndAllEdits();
    if (!PromptToSave())
        return;
    wchar_t path[kPathLimit] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = page_;
    dialog.lpstrFilter = L"Playlists\0*.plst\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathLimit;
    dialog.lpstrInitialDir = settings_->playlistOpenDirectory;
    dialog.lpstrTitle = L"Open Playlist";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog))
        return;
    if (FAILED(ReadPlaylist(path))) {
        std::wstring format = LoadResourceString(instance_, IDS_OPEN_FAILED);
        ShowMessage(page_, Format(format.c_str(), path).c_str(), MB_ICONEXCLAMATION);
    } else {
        CopyText(settings_->playlist, kPathLimit, path);
        SetTitle();
    }
    StoreFolder(settings_->playlistOpenDirectory, path, dialog.nFileOffset);
}

bool PlaylistPage::OnSave()
{
    grid_.EndAllEdits();
    if (grid_.RowCount() == 0) {
        ShowMessage(page_, L"Can't save empty playlist.", MB_ICONINFORMATION);
        changed_ = false;
        return false;
    }
    if (!settings_->playlist[0])
        return OnSaveAs();
    // The flag stays set when the write fails, so the edits are not given up silently.
    if (!WritePlaylist(settings_->playlist))
        return false;
    changed_ = false;
    return true;
}

bool PlaylistPage::OnSaveAs()
{
    if (grid_.RowCount() == 0) {
        ShowMessage(page_, L"Can't save empty playlist.", MB_ICONINFORMATION);
        changed_ = false;
        return false;
    }
    grid_.EndAllEdits();
    wchar_t path[kPathLimit] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = page_;
    dialog.lpstrFilter = L"Playlists\0*.plst\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathLimit;
    dialog.lpstrInitialDir = settings_->playlistSaveDirectory;
    dialog.lpstrTitle = L"Save Playlist";
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog))
        return false;
    const wchar_t *dot = wcsrchr(path, L'.');
    if (!dot || _wcsicmp(dot + 1, L"plst") != 0) {
        size_t length = wcslen(path);
        if (length + 5 < kPathLimit)
            wcscat(path, L".plst");
    }
    bool written = WritePlaylist(path);
    if (written) {
        CopyText(settings_->playlist, kPathLimit, path);
        SetTitle();
        changed_ = false;
    }
    StoreFolder(settings_->playlistSaveDirectory, path, dialog.nFileOffset);
    return written;
}

void PlaylistPage::OnAdd()
{
    constexpr DWORD kBuffer = 15000;
    std::vector<wchar_t> files(kBuffer, L'\0');
    // "Video Files", the patterns, "All Files", "*.*", each terminated, then an empty one.
    std::wstring filter = L"Video Files";
    filter.push_back(L'\0');
    filter += settings_->videoFileTypes;
    filter.push_back(L'\0');
    filter += L"All Files";
    filter.push_back(L'\0');
    filter += L"*.*";
    filter.push_back(L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = page_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = files.data();
    dialog.nMaxFile = kBuffer;
    dialog.lpstrInitialDir = settings_->videoDirectory;
    dialog.lpstrTitle = L"Add Videos";
    dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog))
        return;

    std::wstring folder(files.data(), wcsnlen(files.data(), dialog.nFileOffset));
    if (folder.empty() || folder.back() != L'\\')
        folder.push_back(L'\\');
    const PlaylistRow &defaults = settings_->playlistDefaults;
    for (const wchar_t *name = files.data() + dialog.nFileOffset; *name; name += wcslen(name) + 1) {
        std::wstring path = folder + name;
        if (path.size() >= kPathLimit)
            path.resize(kPathLimit - 1);
        InsertPlaylistRow(path.c_str(), defaults.loops, defaults.sizeMode, defaults.bounce, defaults.volume,
                          defaults.style, defaults.speed, 0, -1);
        // A single choice returns the full path with one name after the offset.
        if (files[dialog.nFileOffset - 1] != L'\0')
            break;
    }
    CopyText(settings_->videoDirectory, kPathLimit, folder.c_str());
    changed_ = true;
}

void PlaylistPage::PlayRow(int row)
{
    PlaylistRow *data = RowData(row);
    if (!data)
        return;
    HRESULT hr;
    {
        ComPtr<IGraphBuilder> graph;
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    reinterpret_cast<void **>(graph.GetAddressOf()))))
            return;
        hr = graph->RenderFile(data->path, nullptr);
    }
    switch (static_cast<unsigned long>(hr)) {
    case 0x00040242: // VFW_S_PARTIAL_RENDER
    case 0x00040257: // VFW_S_AUDIO_NOT_RENDERED
    case 0x0004025A: // VFW_S_VIDEO_NOT_RENDERED
        hr = static_cast<HRESULT>(0x8004025D);
        break;
    case 0x00040258: // VFW_S_RPZA
        hr = static_cast<HRESULT>(0x8004025C);
        break;
    }
    if (hr >= 0) {
        if (data->error < 0) {
            data->error = hr;
            SetOverlay(row, false);
        }
        ShellOpen(page_, data->path, SW_SHOWNORMAL);
        return;
    }
    if (data->error >= 0) {
        data->error = hr;
        SetOverlay(row, true);
    }
    UINT reason;
    switch (static_cast<unsigned long>(hr)) {
    case 0x80030002: // STG_E_FILENOTFOUND
    case 0x80040216: // VFW_E_NOT_FOUND
    // Newer filter graphs report a missing file or folder with the plain Win32 codes.
    case 0x80070002:
    case 0x80070003:
        reason = IDS_FILE_MOVED;
        break;
    case 0x80040255:
    case 0x80040200:
    case 0x8004025D:
    case 0x80040265:
    case 0x80040266:
        reason = IDS_CANT_PLAY_FORMAT;
        break;
    case 0x8004025C:
        reason = IDS_AUDIO_FORMAT;
        break;
    default:
        reason = IDS_PLAY_ERROR;
        break;
    }
    std::wstring text = LoadResourceString(instance_, reason);
    if (reason == IDS_PLAY_ERROR)
        text = Format(text.c_str(), static_cast<unsigned>(hr));
    ShowMessage(page_, Format(L"%s:\n\n%s", data->path, text.c_str()).c_str(), MB_ICONEXCLAMATION);
}

void PlaylistPage::ShowPathMenu(int x, int y)
{
    HMENU menu = LoadMenuW(instance_, MAKEINTRESOURCEW(IDM_FILE_COLUMN));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    CheckMenuItem(popup, IDM_SHOW_PATH, MF_BYCOMMAND | (settings_->showPath ? MF_CHECKED : MF_UNCHECKED));
    UINT chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0,
                                 page_, nullptr);
    DestroyMenu(menu);
    if (chosen == IDM_SHOW_PATH) {
        settings_->showPath = !settings_->showPath;
        RefreshFileTexts();
    }
}

bool PlaylistPage::BringCellIntoView(int row, int column, RECT *cell)
{
    HWND list = grid_.Window();
    RECT client;
    if (!grid_.GetCellRect(row, column, cell) || !GetClientRect(list, &client))
        return false;
    // Rows begin below the header.
    if (HWND header = ListView_GetHeader(list)) {
        RECT headerRect;
        if (IsWindowVisible(header) && GetWindowRect(header, &headerRect))
            client.top += headerRect.bottom - headerRect.top;
    }
    int dx = 0, dy = 0;
    if (cell->right > client.right)
        dx = cell->right - client.right;
    else if (cell->left < client.left)
        dx = cell->left - client.left;
    if (cell->bottom > client.bottom)
        dy = cell->bottom - client.bottom;
    else if (cell->top < client.top)
        dy = cell->top - client.top;
    int rowHeight = cell->bottom - cell->top;
    if (dy != 0 && rowHeight > 0) {
        int rows = (dy > 0 ? dy + rowHeight - 1 : dy - rowHeight + 1) / rowHeight;
        dy = rows * rowHeight;
    }
    if (dx != 0 || dy != 0) {
        ListView_Scroll(list, dx, dy);
        grid_.GetCellRect(row, column, cell);
    }
    return true;
}

INT_PTR PlaylistPage::OnCommand(WORD id)
{
    switch (id) {
    case IDC_NEW:
        OnNew();
        return TRUE;
    case IDC_OPEN:
        OnOpen();
        return TRUE;
    case IDC_SAVE:
        OnSave();
        return TRUE;
    case IDC_SAVE_AS:
        OnSaveAs();
        return TRUE;
    case IDC_ADD:
        grid_.EndAllEdits();
        OnAdd();
        return TRUE;
    case IDC_REMOVE:
        if (grid_.DeleteSelectedRows() > 0)
            changed_ = true;
        return TRUE;
    case IDC_MOVE_UP:
        if (grid_.MoveSelectedRows(-1, true) > 0)
            changed_ = true;
        return TRUE;
    case IDC_MOVE_DOWN:
        if (grid_.MoveSelectedRows(1, true) > 0)
            changed_ = true;
        return TRUE;
    case IDC_PLAY: {
        grid_.EndAllEdits();
        int row = grid_.FirstSelectedRow();
        if (row >= 0)
            PlayRow(row);
        return TRUE;
    }
    }
    return FALSE;
}

LRESULT PlaylistPage::OnToolbarCustomDraw(NMCUSTOMDRAW *draw)
{
    if (themed_ && draw->dwDrawStage == CDDS_PREERASE) {
        DrawThemeParentBackground(draw->hdr.hwndFrom, draw->hdc, &draw->rc);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_DODEFAULT;
}

INT_PTR PlaylistPage::OnNotify(NMHDR *header)
{
    LRESULT result = 0;
    if (header->hwndFrom == grid_.Window() && header->code == LVN_DELETEITEM) {
        delete reinterpret_cast<PlaylistRow *>(reinterpret_cast<NMLISTVIEW *>(header)->lParam);
        return TRUE;
    }
    if ((header->hwndFrom == topBar_ || header->hwndFrom == bottomBar_) && header->code == NM_CUSTOMDRAW) {
        result = OnToolbarCustomDraw(reinterpret_cast<NMCUSTOMDRAW *>(header));
        SetWindowLongPtrW(page_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (header->code) {
    case PSN_HELP:
        return OnHelp();
    case PSN_SETACTIVE:
        return OnSetActive();
    case PSN_KILLACTIVE:
    case PSN_QUERYCANCEL:
        return OnLeave();
    }
    return FALSE;
}

INT_PTR PlaylistPage::OnHelp()
{
    OpenHelpFile(*help_, L"Playlist.htm", page_);
    return TRUE;
}

INT_PTR PlaylistPage::OnSetActive()
{
    if (settings_->focusColor != gridColor_) {
        gridColor_ = settings_->focusColor;
        grid_.SetFocusColor(gridColor_);
        grid_.Redraw();
    }
    UpdateIcons();
    SetWindowLongPtrW(page_, DWLP_MSGRESULT, 0);
    return TRUE;
}

INT_PTR PlaylistPage::OnLeave()
{
    grid_.EndAllEdits();
    if (!PromptToSave()) {
        SetWindowLongPtrW(page_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (grid_.Window() && grid_.ColumnCount() == kColumnCount)
        for (int n = 0; n < kColumnCount; ++n)
            settings_->columnWidths[n] = grid_.GetColumnWidth(n);
    SetWindowLongPtrW(page_, DWLP_MSGRESULT, FALSE);
    return TRUE;
}

INT_PTR PlaylistPage::OnTimer(WPARAM id)
{
    if (id != kQuickStartTimer)
        return FALSE;
    KillTimer(page_, kQuickStartTimer);
    ShowQuickStart();
    return TRUE;
}

void PlaylistPage::ShowQuickStart()
{
    if (settings_->quickStartShown || !help_->found)
        return;
    HMODULE richEdit = LoadLibraryW(L"Riched32.dll");
    if (!richEdit)
        return;
    RunQuickStartDialog(instance_, page_, *help_);
    FreeLibrary(richEdit);
    settings_->quickStartShown = true;
}

INT_PTR PlaylistPage::OnDestroy()
{
    grid_.EndAllEdits();
    // Free the rows while the page can still hear the grid's deletion notices.
    grid_.DeleteAllRows();
    return FALSE;
}
