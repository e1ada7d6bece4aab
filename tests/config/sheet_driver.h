// Drives the configuration sheet the way a user does: the sheet runs on its own thread
// (configure mode, as the program runs it) and the test finds its windows, types, clicks
// and answers its message boxes from the test's thread, then reads back what the controls
// show, the registry and the playlist files.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "abi.h"
#include "settings.h"

// Polls `done` every 20 ms for at most `ms` milliseconds.
bool WaitUntil(const std::function<bool()> &done, DWORD ms = 10000);
bool WaitGone(HWND window, DWORD ms = 3000);

class SheetRun {
public:
    // Starts configure mode with settings loaded from the registry like the program does.
    void Start();
    // Waits (bounded) for the sheet to close after OK or Cancel.
    bool Finish(DWORD ms = 15000);
    // Presses OK or Cancel and waits for the sheet to close.
    bool Close(int button);
    ~SheetRun();

    HWND Sheet() const { return sheet_; }
    HWND Page(int index) const { return sheet_ ? PropSheet_IndexToHwnd(sheet_, index) : nullptr; }
    HWND PlaylistPage() const { return Page(0); }
    HWND Grid() const { return GetDlgItem(PlaylistPage(), 32775); }
    // Shows page `index` and returns it once visible.
    HWND Show(int index) const;
    Settings &settings() { return settings_; }

private:
    Settings settings_{};
    std::thread thread_;
    std::atomic<bool> finished_{false};
    HWND sheet_ = nullptr;
};

// Top-level dialog of this process whose caption is `caption`.
HWND FindDialog(const wchar_t *caption, DWORD ms = 10000);
void Press(HWND dialog, int buttonId);
// Waits for a message box (by default the program's), returns its text and presses `answer`.
std::wstring AnswerMessage(int answer, const wchar_t *caption = L"Reelhaven", DWORD ms = 10000);
// True when no "Reelhaven" message box shows up within `ms`.
bool NoMessage(DWORD ms = 500);

std::wstring WindowText(HWND window);
std::wstring CellText(HWND grid, int row, int column);
void SelectRow(HWND grid, int row);
bool HasOverlay(HWND grid, int row);

// Real input: a click at the centre of a rectangle in `window`'s client area, of a grid
// cell, of a window or of a toolbar button; keys (digits are their characters) to the
// focused window.
void ClickRect(HWND window, RECT client, bool right = false);
void ClickCell(HWND grid, int row, int column);
void ClickWindow(HWND window);
void ToolbarClick(HWND page, int toolbarId, int command);
void Key(WORD vk, bool shift = false, int times = 1);
// Chooses `fileNames` in a file dialog titled `title`.
void ChooseFile(const wchar_t *title, const std::wstring &fileNames);

// Captures `window` into <CONFIG_ARTEFACTS>/<name>.bmp (the wrapper makes PNGs of them).
void Screenshot(HWND window, const std::wstring &name);

// The product's registry key, current user. RegistryDword gives -1 when the value is missing.
long long RegistryDword(const wchar_t *subkey, const wchar_t *name);
std::wstring RegistryText(const wchar_t *subkey, const wchar_t *name);
void ClearProductKey();
void SetRegistry(const wchar_t *subkey, const wchar_t *name, const std::wstring &text);
void SetRegistry(const wchar_t *subkey, const wchar_t *name, DWORD value);

// A playlist entry as the test writes and reads it: the item (fileName aside) and the
// remembered result of its last play.
struct Entry : PlaybackItem {
    std::wstring path;
    HRESULT result = 0;
    Entry(std::wstring file = L"") : PlaybackItem(DefaultPlaybackItem()), path(std::move(file)) {}
};
// <CONFIG_MEDIA>\name: the clips made by the wrapper script live there.
std::wstring Media(const wchar_t *name);
HRESULT WritePlaylistFile(const std::wstring &path, const std::vector<Entry> &entries);
std::vector<Entry> ReadPlaylistFile(const std::wstring &path);
// The values a row of the page shows and stores, as one line for comparisons.
std::wstring Describe(const Entry &entry);

// Every case starts from an empty product key with column widths that show every column.
class ConfigTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
