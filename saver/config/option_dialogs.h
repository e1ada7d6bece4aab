// The Options page's dialogs, each a modal run on the settings record (Monitors lives in
// monitors_dialog.cpp), and the file-type list they show.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

#include "config_common.h"
#include "settings.h"

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
// Which monitors play and whether each plays its own video; OK puts both in `settings`.
INT_PTR RunMonitorsDialog(HINSTANCE instance, HWND owner, Settings &settings);
// Returns 1 with ".ext" in `extension` (at most size - 1 characters), else 0.
INT_PTR RunAddFileTypeDialog(HINSTANCE instance, HWND owner, wchar_t *extension, size_t size);
