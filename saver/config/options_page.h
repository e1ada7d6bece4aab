// The Options page (program-wide options) and its dialogs: Playlist Defaults, Video Files
// Filter with Add File Type, and the colour chooser for the grid's focus cell.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

#include "config_common.h"
#include "help.h"
#include "handles.h"
#include "settings.h"

class OptionsPage {
public:
    OptionsPage(HINSTANCE instance, Settings *settings, HelpLocation *help)
        : instance_(instance), settings_(settings), help_(help)
    {
    }
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The focus-colour brush lives until the sheet has closed.
    void DeleteBrush() { focusBrush_.reset(); }

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id);
    INT_PTR OnNotify(NMHDR *header);
    INT_PTR OnHScroll(HWND control);
    INT_PTR OnCtlColorStatic(HDC dc, HWND control);
    void CopyControlsToSettings();
    void ShowFileTypes();
    void ChooseFocusColor();

    HWND page_ = nullptr;
    HINSTANCE instance_;
    Settings *settings_;
    HelpLocation *help_;
    GdiObject focusBrush_;
};

// Splits "*.asf;*.avi" into ".asf", ".avi" (at most 200 characters, empty pieces dropped).
template <typename Add>
void ForEachExtension(const wchar_t *types, Add add)
{
    std::wstring copy(types, wcsnlen(types, 199));
    ForEachPiece(copy.c_str(), L"*;", add);
}

// The dialogs, each a modal run on the settings record.
INT_PTR RunPlaylistDefaultsDialog(HINSTANCE instance, HWND owner, Settings &settings);
INT_PTR RunFileTypesDialog(HINSTANCE instance, HWND owner, Settings &settings);
// Returns 1 with ".ext" in `extension` (at most size - 1 characters), else 0.
INT_PTR RunAddFileTypeDialog(HINSTANCE instance, HWND owner, wchar_t *extension, size_t size);
