// Drives the configuration sheet the way a user does: the sheet runs on its own thread
// (configure mode, as the program runs it) and the test finds its windows, types, clicks
// and answers its message boxes from the test's thread, then reads back what the controls
// show, the registry and the playlist files.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "settings.h"

// Polls `done` every 20 ms for at most `ms` milliseconds.
bool WaitUntil(const std::function<bool()> &done, DWORD ms = 10000);

class SheetRun {
public:
    // Starts configure mode with settings loaded from the registry like the program does.
    void Start(HWND parent = nullptr, bool parentFromCommandLine = false);
    // Waits (bounded) for the sheet to close after OK or Cancel.
    bool Finish(DWORD ms = 15000);
    ~SheetRun();

    HWND Sheet() const { return sheet_; }
    HWND Page(int index) const;
    HWND PlaylistPage() const { return Page(0); }
    HWND Grid() const;
    Settings &settings() { return settings_; }

private:
    Settings settings_{};
    std::thread thread_;
    std::atomic<bool> finished_{false};
    HWND sheet_ = nullptr;
};

// Top-level dialog of this process (other than `except`) whose caption is `caption`.
HWND FindDialog(const wchar_t *caption, HWND except = nullptr, DWORD ms = 10000);
// Text of a message box and the answer to it (IDYES, IDNO, IDOK, IDCANCEL, ...).
std::wstring MessageText(HWND box);
void Press(HWND dialog, int buttonId);
// Waits for a "Reelhaven" message box, returns its text and presses `answer`.
std::wstring AnswerMessage(int answer, DWORD ms = 10000);
// True when no "Reelhaven" message box shows up within `ms`.
bool NoMessage(DWORD ms = 500);

std::wstring WindowText(HWND window);
std::wstring CellText(HWND grid, int row, int column);
int RowCount(HWND grid);
UINT RowState(HWND grid, int row, UINT mask);
void SelectRow(HWND grid, int row);

// Real input: a click at the centre of a grid cell, keys to the focused window.
void ClickCell(HWND grid, int row, int column, bool right = false);
void ClickWindow(HWND window, bool right = false);
void Key(WORD vk, bool shift = false);
void TypeText(const wchar_t *text);
// A toolbar button as the user clicks it.
void ToolbarClick(HWND page, int toolbarId, int command);
// Chooses `path` in a file dialog titled `title`.
void ChooseFile(const wchar_t *title, const std::wstring &fileNames);

// Captures `window` into <CONFIG_ARTEFACTS>/<name>.bmp (the wrapper makes PNGs of them).
void Screenshot(HWND window, const wchar_t *name);

// Registry of the product, current user.
bool RegistryDword(const wchar_t *subkey, const wchar_t *name, DWORD *value);
std::wstring RegistryText(const wchar_t *subkey, const wchar_t *name);
void ClearProductKey();
void SetRegistryText(const wchar_t *subkey, const wchar_t *name, const wchar_t *text);
void SetRegistryDword(const wchar_t *subkey, const wchar_t *name, DWORD value);
