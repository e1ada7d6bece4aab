// The Playlist page's two toolbars: file commands above the grid, row commands below it.
#include "playlist_page.h"

#include <uxtheme.h>

#include <vector>

HWND PlaylistPage::CreateToolbar(int id, int bitmap, int firstCommand, const wchar_t *const *labels,
                                 int count, HIMAGELIST *images)
{
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TBSTYLE_FLAT |
                  CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
    if (themed_)
        style |= TBSTYLE_CUSTOMERASE;
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, page_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!bar)
        return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // Magenta marks the transparent parts of the toolbar strips.
    *images = ImageList_LoadImageW(instance_, MAKEINTRESOURCEW(bitmap), 16, 0, RGB(255, 0, 255),
                                   IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (*images) {
        int width = 16, height = 15;
        ImageList_GetIconSize(*images, &width, &height);
        SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height));
        SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(*images));
    }
    std::vector<TBBUTTON> buttons(count);
    for (int n = 0; n < count; ++n) {
        buttons[n] = TBBUTTON{};
        buttons[n].iBitmap = n;
        buttons[n].idCommand = firstCommand + n;
        buttons[n].fsState = TBSTATE_ENABLED;
        buttons[n].fsStyle = BTNS_BUTTON;
        buttons[n].iString = reinterpret_cast<INT_PTR>(labels[n]);
    }
    SendMessageW(bar, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(bar, TB_AUTOSIZE, 0, 0);
    return bar;
}

LRESULT PlaylistPage::OnToolbarCustomDraw(NMCUSTOMDRAW *draw)
{
    if (themed_ && draw->dwDrawStage == CDDS_PREERASE) {
        DrawThemeParentBackground(draw->hdr.hwndFrom, draw->hdc, &draw->rc);
        return CDRF_SKIPDEFAULT;
    }
    return CDRF_DODEFAULT;
}
