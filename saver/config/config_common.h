// Small helpers the configuration pages and dialogs share.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <string>
#include <string_view>

#include "windows_version.h"

// Every message box of the configuration dialog carries this caption.
inline constexpr const wchar_t *kMessageCaption = L"Reelhaven";

int ShowMessage(HWND owner, const wchar_t *text, UINT style);
std::wstring LoadResourceString(HINSTANCE instance, UINT id);
// printf-style formatting into a std::wstring.
std::wstring Format(const wchar_t *format, ...);

// Version tests as the reported number gives them. The 64-bit program meets 5.2 (XP x64)
// and later only; the tests for older numbers stay because Wine can report them, which is
// how the disabled options are exercised.
bool IsXpOrLater();    // 5.1 and later
bool IsVistaOrLater(); // 6.0 and later
bool IsThemedPlatform(); // above 5.0

// Opens `target` with the shell's default action, not waiting for it.
void ShellOpen(HWND owner, const wchar_t *target, int show);

// The object behind a dialog procedure. WM_INITDIALOG brings it (a property page's in its
// PROPSHEETPAGE, a dialog's as the init parameter) and the window keeps it in DWLP_USER;
// messages before that have none.
enum class DialogKind { Dialog, PropertyPage };
template <typename Owner>
Owner *DialogOwner(HWND window, UINT message, LPARAM lParam, DialogKind kind)
{
    if (message == WM_INITDIALOG) {
        const LPARAM owner = kind == DialogKind::PropertyPage
                                 ? reinterpret_cast<const PROPSHEETPAGEW *>(lParam)->lParam
                                 : lParam;
        SetWindowLongPtrW(window, DWLP_USER, owner);
        return reinterpret_cast<Owner *>(owner);
    }
    return reinterpret_cast<Owner *>(GetWindowLongPtrW(window, DWLP_USER));
}

// Dialog controls: a "%d%%" label, a trackbar over the volume range, a trackbar's position.
void SetPercentLabel(HWND dialog, int id, int percent);
void SetVolumeRange(HWND dialog, int id);
int SliderPosition(HWND dialog, int id);

// Copies at most size - 1 characters and terminates.
void CopyText(wchar_t *destination, size_t size, const wchar_t *source);

// Calls `add` with every non-empty piece of `text` between any of the `delimiters`.
template <typename Add>
void ForEachPiece(const wchar_t *text, const wchar_t *delimiters, Add add)
{
    std::wstring piece;
    for (const wchar_t *c = text;; ++c) {
        if (*c == L'\0' || std::wstring_view(delimiters).find(*c) != std::wstring_view::npos) {
            if (!piece.empty())
                add(piece.c_str());
            piece.clear();
            if (*c == L'\0')
                break;
        } else {
            piece.push_back(*c);
        }
    }
}
