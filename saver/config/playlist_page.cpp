#include "playlist_page.h"

#include <commdlg.h>

#include <cwchar>

#include "config/config_ids.h"
#include "config_common.h"
#include "play_diagnosis.h"
#include "quick_start.h"

namespace {

constexpr UINT_PTR kQuickStartTimer = 1;
constexpr int kPathLimit = 300; // path buffers with their terminator

const wchar_t *const kFileButtons[] = {L"New", L"Open", L"Save", L"Save As"};
const wchar_t *const kRowButtons[] = {L"Add", L"Remove", L"Move Up", L"Move Down", L"Play"};

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
        icons_.Build(grid_, instance_, settings_->videoFileTypes);
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

bool PlaylistPage::ChoosePlaylist(bool save, wchar_t *path, WORD *fileOffset)
{
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = page_;
    dialog.lpstrFilter = L"Playlists\0*.plst\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathLimit;
    dialog.lpstrInitialDir = save ? settings_->playlistSaveDirectory : settings_->playlistOpenDirectory;
    dialog.lpstrTitle = save ? L"Save Playlist" : L"Open Playlist";
    dialog.Flags = OFN_HIDEREADONLY | (save ? OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog)))
        return false;
    *fileOffset = dialog.nFileOffset;
    return true;
}

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
    WORD fileOffset = 0;
    if (!ChoosePlaylist(false, path, &fileOffset))
        return;
    if (FAILED(ReadPlaylist(path))) {
        std::wstring format = LoadResourceString(instance_, IDS_OPEN_FAILED);
        ShowMessage(page_, Format(format.c_str(), path).c_str(), MB_ICONEXCLAMATION);
    } else {
        CopyText(settings_->playlist, kPathLimit, path);
        SetTitle();
    }
    StoreFolder(settings_->playlistOpenDirectory, path, fileOffset);
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
    WORD fileOffset = 0;
    if (!ChoosePlaylist(true, path, &fileOffset))
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
    StoreFolder(settings_->playlistSaveDirectory, path, fileOffset);
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
    PlaylistRow defaults = settings_->playlistDefaults;
    defaults.error = S_OK;
    for (const wchar_t *name = files.data() + dialog.nFileOffset; *name; name += wcslen(name) + 1) {
        std::wstring path = folder + name;
        if (path.size() >= kPathLimit)
            path.resize(kPathLimit - 1);
        InsertPlaylistRow(path.c_str(), defaults, -1);
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
    HRESULT hr;
    if (!data || !TestPlay(data->path, &hr))
        return;
    if (hr >= 0) {
        if (data->error < 0) {
            data->error = hr;
            SetOverlay(row, false);
        }
        ShellOpen(page_, data->path, SW_SHOWNORMAL);
        return;
    }
    // A failure already remembered stays the one remembered.
    if (data->error >= 0) {
        data->error = hr;
        SetOverlay(row, true);
    }
    ShowMessage(page_, PlayFailureMessage(instance_, data->path, hr).c_str(), MB_ICONEXCLAMATION);
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
    if (icons_.Update(grid_, instance_, settings_->videoFileTypes))
        grid_.Redraw();
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
