// Drives the configuration sheet the way a user does: the sheet runs on its own thread
// (configure mode, as the program runs it) and the test finds its windows, types, clicks
// and answers its message boxes from the test's thread, then reads back what the controls
// show, the registry and the playlist files.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "abi.h"
#include "configuration.h"
#include "list_cells.h"
#include "registry_forms.h"
#include "settings.h"

// Polls `done` every 20 ms for at most `ms` milliseconds.
inline bool WaitUntil(const std::function<bool()> &done, DWORD ms = 10000)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(20))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

inline bool WaitGone(HWND window, DWORD ms = 3000)
{
    return WaitUntil([window] { return !IsWindow(window); }, ms);
}

inline std::wstring WindowText(HWND window)
{
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return text;
}

// The visible dialogs of this process; a sheet is the one with a tab control.
inline std::vector<HWND> Dialogs()
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", nullptr));) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

inline bool IsSheet(HWND window)
{
    return FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr) != nullptr;
}

inline void Press(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 button && IsWindowEnabled(button) ? reinterpret_cast<LPARAM>(button) : 0);
}

class SheetRun {
public:
    // Starts configure mode with settings loaded from the registry like the program does.
    void Start()
    {
        settings_.SetDefaults();
        settings_.Load();
        std::vector<HWND> before = Dialogs(); // a sheet a failed case could not close
        thread_ = std::thread([this] {
            RunConfiguration(nullptr, false, settings_);
            finished_ = true;
        });
        sheet_ = WaitForWindow([&] {
            for (HWND window : Dialogs())
                if (IsSheet(window) && std::find(before.begin(), before.end(), window) == before.end() &&
                    PropSheet_GetCurrentPageHwnd(window))
                    return window;
            return HWND{};
        }, 10000);
    }
    // Waits (bounded) for the sheet to close after OK or Cancel.
    bool Finish(DWORD ms = 15000)
    {
        bool done = WaitUntil([this] { return finished_.load(); }, ms);
        if (done && thread_.joinable())
            thread_.join();
        return done;
    }
    // Presses OK or Cancel and waits for the sheet to close.
    bool Close(int button)
    {
        Press(sheet_, button);
        return Finish();
    }
    // A failed case may leave the sheet open: answer what it shows with No or Cancel, then
    // cancel the sheet, so the next case starts clean.
    ~SheetRun()
    {
        for (int attempt = 0; attempt < 20 && thread_.joinable() && !Finish(300); ++attempt) {
            const std::vector<HWND> open = Dialogs();
            for (HWND window : open)
                if (window != sheet_) {
                    PostMessageW(window, WM_COMMAND, IDNO, 0);
                    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                } else if (open.size() == 1) {
                    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                }
        }
        if (thread_.joinable())
            thread_.detach();
    }

    HWND Sheet() const { return sheet_; }
    HWND Page(int index) const { return sheet_ ? PropSheet_IndexToHwnd(sheet_, index) : nullptr; }
    HWND PlaylistPage() const { return Page(0); }
    HWND Grid() const { return GetDlgItem(PlaylistPage(), 32775); }
    // Shows page `index` and returns it once visible.
    HWND Show(int index) const
    {
        PropSheet_SetCurSel(sheet_, nullptr, index);
        HWND page = Page(index);
        WaitUntil([&] { return IsWindowVisible(page); }, 3000);
        return page;
    }
    Settings &settings() { return settings_; }

private:
    Settings settings_{};
    std::thread thread_;
    std::atomic<bool> finished_{false};
    HWND sheet_ = nullptr;
};

// Every case starts from an empty product key with column widths that show every column.
class ConfigTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The test's own thread reads and writes playlist files through the playlist object.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ClearProductKeys();
        const std::pair<const wchar_t *, LONG> widths[] = {{L"File", 88},  {L"Loops", 36}, {L"Size", 66},
                                                           {L"Bounce", 42}, {L"Volume", 44}, {L"Style", 50},
                                                           {L"Speed", 34}};
        for (const auto &[name, width] : widths)
            Put(kWidthsKey, name, Dword(width));
    }
    void TearDown() override
    {
        ClearProductKeys();
        CoUninitialize();
    }
};

// Top-level dialog of this process whose caption is `caption`.
inline HWND FindDialog(const wchar_t *caption, DWORD ms = 10000)
{
    return WaitForWindow([caption] {
        for (HWND window : Dialogs())
            if (!IsSheet(window) && WindowText(window) == caption)
                return window;
        return HWND{};
    }, ms);
}

// Waits for a message box (by default the program's), returns its text and presses `answer`.
inline std::wstring AnswerMessage(int answer, const wchar_t *caption = L"Reelhaven", DWORD ms = 10000)
{
    HWND box = FindDialog(caption, ms);
    if (!box)
        return L"(no message)";
    std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
    Press(box, answer);
    WaitGone(box, 5000);
    return text;
}

// True when no "Reelhaven" message box shows up within `ms`.
inline bool NoMessage(DWORD ms = 500)
{
    return FindDialog(L"Reelhaven", ms) == nullptr;
}

inline void SelectRow(HWND grid, int row)
{
    ListView_SetItemState(grid, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// Real input: a click at the centre of a rectangle in `window`'s client area, of a grid
// cell, of a window or of a toolbar button; keys (digits are their characters) to the
// focused window.
inline void ClickRect(HWND window, RECT client, bool right = false)
{
    POINT point{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ClientToScreen(window, &point);
    SetForegroundWindow(GetAncestor(WindowFromPoint(point), GA_ROOT));
    SetCursorPos(point.x, point.y);
    Sleep(30);
    mouse_event(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Sleep(150);
}

inline void ClickCell(HWND grid, int row, int column)
{
    ClickRect(grid, CellRect(grid, row, column));
}

inline void ClickWindow(HWND window)
{
    RECT rect;
    GetClientRect(window, &rect);
    ClickRect(window, rect);
}

inline void ToolbarClick(HWND page, int toolbarId, int command)
{
    HWND bar = GetDlgItem(page, toolbarId);
    RECT rect{};
    SendMessageW(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect));
    ClickRect(bar, rect);
}

inline void Key(WORD vk, bool shift = false, int times = 1)
{
    for (int n = 0; n < times; ++n) {
        if (shift)
            keybd_event(VK_SHIFT, 0, 0, 0);
        keybd_event(static_cast<BYTE>(vk), 0, 0, 0);
        keybd_event(static_cast<BYTE>(vk), 0, KEYEVENTF_KEYUP, 0);
        if (shift)
            keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        Sleep(120);
    }
}

// Chooses `fileNames` in a file dialog titled `title`.
inline void ChooseFile(const wchar_t *title, const std::wstring &fileNames)
{
    HWND dialog = FindDialog(title, 15000);
    if (!dialog)
        return;
    // The file name box of the explorer-style dialog (combo box 0x47c or edit 0x480).
    HWND name = GetDlgItem(dialog, 0x47c);
    HWND edit = name ? FindWindowExW(name, nullptr, L"Edit", nullptr) : GetDlgItem(dialog, 0x480);
    SendMessageW(edit ? edit : name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileNames.c_str()));
    Press(dialog, IDOK);
    WaitGone(dialog, 10000);
}

// <CONFIG_MEDIA>\name: the clips made by the wrapper script live there.
inline std::wstring Media(const wchar_t *name)
{
    const wchar_t *folder = _wgetenv(L"CONFIG_MEDIA");
    return std::wstring(folder ? folder : L"C:\\") + L"\\" + name;
}

// A playlist entry as the test writes and reads it: the item (fileName aside) and the
// remembered result of its last play.
struct Entry : PlaybackItem {
    std::wstring path;
    HRESULT result = 0;
    Entry(std::wstring file = L"") : PlaybackItem(DefaultPlaybackItem()), path(std::move(file)) {}
};

inline Microsoft::WRL::ComPtr<IHCYFWPlaylist> NewPlaylist()
{
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> playlist;
    CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                     reinterpret_cast<void **>(playlist.GetAddressOf()));
    return playlist;
}

// Writes a playlist file through the playlist object; a failure names its HRESULT.
inline testing::AssertionResult WritePlaylistFile(const std::wstring &path, const std::vector<Entry> &entries)
{
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> playlist = NewPlaylist();
    HRESULT hr = playlist ? S_OK : E_FAIL;
    for (const Entry &entry : entries) {
        PlaybackItem item = entry;
        item.fileName = const_cast<wchar_t *>(entry.path.c_str());
        PlaylistPosition position{0, entry.result};
        if (SUCCEEDED(hr) && SUCCEEDED(hr = playlist->Insert(&item, -1)) && entry.result)
            hr = playlist->SetPosition(&position, POSITION_RESULT);
    }
    if (SUCCEEDED(hr))
        hr = playlist->Save(path.c_str(), FALSE);
    if (SUCCEEDED(hr))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "writing the playlist failed with " << HrText(hr);
}

inline std::vector<Entry> ReadPlaylistFile(const std::wstring &path)
{
    std::vector<Entry> entries;
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> playlist = NewPlaylist();
    LONG count = 0;
    if (!playlist || FAILED(playlist->Load(path.c_str())))
        return entries;
    playlist->GetCount(&count);
    for (LONG n = 0; n < count; ++n, playlist->Next()) {
        Entry entry;
        PlaylistPosition position{};
        playlist->GetCurrentItem(&entry);
        playlist->GetPosition(&position);
        entry.path = entry.fileName ? entry.fileName : L"";
        CoTaskMemFree(entry.fileName);
        entry.fileName = nullptr;
        entry.result = position.playResult;
        entries.push_back(entry);
    }
    return entries;
}

// The values a row of the page shows and stores, as one line for comparisons.
inline std::wstring Describe(const Entry &entry)
{
    wchar_t text[200];
    swprintf(text, 200, L"loops %ld volume %ld size %d/%d/%g bounce %d perMonitor %d rate %g result 0x%08lx",
             entry.loops, entry.volume, entry.scaleToScreen, entry.keepAspect, entry.scale, entry.bounce,
             entry.perMonitor, entry.rate, static_cast<unsigned long>(entry.result));
    return text;
}
