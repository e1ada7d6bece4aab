#include "about_page.h"

#include <commctrl.h>

#include "config/config_ids.h"
#include "config_common.h"

namespace {
const int kLinks[] = {IDC_LINK_HOME, IDC_LINK_SUPPORT, IDC_LINK_VIDEOS};
}

INT_PTR CALLBACK AboutPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *page = DialogOwner<AboutPage>(window, message, lParam, DialogKind::PropertyPage);
    if (!page)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return page->OnInitDialog(window);
    case WM_COMMAND:
        return page->OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_CTLCOLORSTATIC:
        return page->OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        return page->OnSetCursor(reinterpret_cast<HWND>(wParam));
    }
    return FALSE;
}

INT_PTR AboutPage::OnInitDialog(HWND window)
{
    page_ = window;
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(page_, WM_GETFONT, 0, 0));
    LOGFONTW font{};
    if (dialogFont && GetObjectW(dialogFont, sizeof(font), &font)) {
        font.lfUnderline = TRUE;
        linkFont_.reset(CreateFontIndirectW(&font));
    }
    for (int id : kLinks)
        SendDlgItemMessageW(page_, id, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), FALSE);
    return TRUE;
}

bool AboutPage::IsLink(HWND control) const
{
    for (int id : kLinks)
        if (control && control == GetDlgItem(page_, id))
            return true;
    return false;
}

INT_PTR AboutPage::OnCommand(WORD id, WORD code)
{
    if (code != STN_CLICKED || !IsLink(GetDlgItem(page_, id)))
        return FALSE;
    wchar_t target[401] = L"";
    GetDlgItemTextW(page_, id, target, 401);
    ShellOpen(page_, target, SW_SHOWDEFAULT);
    return TRUE;
}

INT_PTR AboutPage::OnCtlColorStatic(HDC dc, HWND control)
{
    if (!IsLink(control))
        return FALSE;
    SetTextColor(dc, RGB(0, 102, 204)); // the usual colour of a web link
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

INT_PTR AboutPage::OnSetCursor(HWND over)
{
    if (!IsLink(over))
        return FALSE;
    // Systems without a hand cursor get the program's own.
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    if (!hand)
        hand = LoadCursorW(instance_, MAKEINTRESOURCEW(IDC_LINK_HAND));
    SetCursor(hand);
    SetWindowLongPtrW(page_, DWLP_MSGRESULT, TRUE);
    return TRUE;
}
