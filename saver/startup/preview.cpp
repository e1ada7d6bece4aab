// One preview window per process, so its drawing state lives in this file.
#include "preview.h"

#include "saver_ids.h"

namespace {

struct PreviewState {
    int width = 0;
    int height = 0;
    HDC memory = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ previous = nullptr;
};
PreviewState g_preview;

LRESULT OnCreate(const CREATESTRUCTW *create)
{
    g_preview.width = create->cx;
    g_preview.height = create->cy;
    // Loading at the window's size stretches the picture over it.
    g_preview.picture = static_cast<HBITMAP>(LoadImageW(create->hInstance,
                                                        MAKEINTRESOURCEW(IDB_PREVIEW), IMAGE_BITMAP,
                                                        create->cx, create->cy, 0));
    if (g_preview.picture) {
        g_preview.memory = CreateCompatibleDC(nullptr);
        if (g_preview.memory)
            g_preview.previous = SelectObject(g_preview.memory, g_preview.picture);
    }
    return 0;
}

LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    if (g_preview.memory)
        BitBlt(dc, 0, 0, g_preview.width, g_preview.height, g_preview.memory, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnDestroy()
{
    if (g_preview.memory) {
        SelectObject(g_preview.memory, g_preview.previous);
        DeleteDC(g_preview.memory);
    }
    if (g_preview.picture)
        DeleteObject(g_preview.picture);
    g_preview = PreviewState{};
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK PreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<const CREATESTRUCTW *>(lParam));
    case WM_PAINT:
        return OnPaint(window);
    case WM_DESTROY:
        return OnDestroy();
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

void RunPreview(HWND parent, HINSTANCE instance)
{
    // Without a parent there is nothing to draw into and nothing would ever end the loop.
    if (parent == nullptr || !IsWindow(parent))
        return;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = PreviewProc;
    windowClass.lpszClassName = L"Reelhaven Preview";
    RegisterClassExW(&windowClass);

    RECT client{};
    GetClientRect(parent, &client);
    const HWND window = CreateWindowExW(0, L"Reelhaven Preview", nullptr, WS_CHILD | WS_VISIBLE,
                                        client.left, client.top, client.right, client.bottom,
                                        parent, nullptr, instance, nullptr);
    if (window == nullptr)
        return;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}
