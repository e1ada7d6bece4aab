// The About page: product name, version and notice, and the maker's web links.
#pragma once

#include <windows.h>

#include "help.h"
#include "handles.h"
#include "settings.h"

class AboutPage {
public:
    AboutPage(HINSTANCE instance, Settings *settings, HelpLocation *help)
        : instance_(instance), settings_(settings), help_(help)
    {
    }
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The links' underlined font lives until the sheet has closed.
    void DeleteFont() { linkFont_.reset(); }

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id, WORD code);
    INT_PTR OnCtlColorStatic(HDC dc, HWND control);
    INT_PTR OnSetCursor(HWND over);
    bool IsLink(HWND control) const;

    HWND page_ = nullptr;
    HINSTANCE instance_;
    Settings *settings_;
    HelpLocation *help_;
    GdiObject linkFont_;
};
