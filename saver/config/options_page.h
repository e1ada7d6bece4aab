// The Options page: program-wide options, the colour chooser for the grid's focus cell, and
// the buttons that open the option dialogs (Playlist Defaults, file types, Monitors).
#pragma once

#include <windows.h>

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
