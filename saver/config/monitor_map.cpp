#include "monitor_map.h"

#include <string>
#include <utility>

#include "monitor_layout.h"

namespace {

// Room left between neighbours, in pixels, on either side of their common edge.
constexpr int kGap = 1;

COLORREF Blend(COLORREF a, COLORREF b)
{
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

} // namespace

void MonitorMap::Register(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass); // fails harmlessly when an earlier dialog registered it
}

MonitorMap *MonitorMap::From(HWND window)
{
    wchar_t name[64] = L"";
    if (!GetClassNameW(window, name, 64) || _wcsicmp(name, kClassName) != 0)
        return nullptr;
    return reinterpret_cast<MonitorMap *>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK MonitorMap::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new MonitorMap(window)));
    auto *map = reinterpret_cast<MonitorMap *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!map)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete map;
        return 0;
    case WM_PAINT:
        map->OnPaint();
        return 0;
    case WM_SETFONT:
        map->OnSetFont(reinterpret_cast<HFONT>(wParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(map->font_);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN:
        map->OnLButtonDown({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
    case WM_KEYDOWN:
        map->OnKeyDown(wParam);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MonitorMap::Show(std::vector<DisplayMonitor> monitors, std::vector<bool> chosen)
{
    chosen.resize(monitors.size(), true);
    monitors_ = std::move(monitors);
    chosen_ = std::move(chosen);
    focus_ = 0;
    InvalidateRect(window_, nullptr, TRUE);
}

void MonitorMap::OnSetFont(HFONT font)
{
    font_ = font;
    LOGFONTW description{};
    if (!font || !GetObjectW(font, sizeof(description), &description))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
    description.lfHeight *= 2;
    description.lfWeight = FW_BOLD;
    numberFont_.reset(CreateFontIndirectW(&description));
}

void MonitorMap::OnPaint()
{
    PaintScope paint(window_);
    RECT client;
    GetClientRect(window_, &client);
    const MapScale scale = FitMap(monitors_, client, kMargin);
    const bool enabled = IsWindowEnabled(window_);
    SetBkMode(paint.dc(), TRANSPARENT);
    for (size_t i = 0; i < monitors_.size(); ++i)
        PaintMonitor(paint.dc(), i, MapArea(scale, monitors_[i].area), enabled);
    if (enabled && GetFocus() == window_ && focus_ < monitors_.size()) {
        RECT focus = MapArea(scale, monitors_[focus_].area);
        InflateRect(&focus, -(kGap + 3), -(kGap + 3));
        DrawFocusRect(paint.dc(), &focus);
    }
}

void MonitorMap::PaintMonitor(HDC dc, size_t index, const RECT &drawn, bool enabled)
{
    RECT box = drawn;
    InflateRect(&box, -kGap, -kGap);
    const COLORREF grey = GetSysColor(COLOR_BTNSHADOW);
    COLORREF fill = chosen_[index] ? GetSysColor(COLOR_HIGHLIGHT) : grey;
    COLORREF text = chosen_[index] ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOW);
    if (!enabled) {
        // Still tells chosen from not, only paler.
        fill = Blend(fill, GetSysColor(COLOR_BTNFACE));
        text = Blend(text, fill);
    }
    GdiObject brush(CreateSolidBrush(fill));
    FillRect(dc, &box, static_cast<HBRUSH>(brush.get()));
    FrameRect(dc, &box, GetSysColorBrush(COLOR_WINDOWFRAME));

    // The number above the middle, the size below it; the size only where both fit.
    SetTextColor(dc, text);
    const std::wstring number = std::to_wstring(index + 1);
    const RECT &area = monitors_[index].area;
    const std::wstring size =
        std::to_wstring(area.right - area.left) + L" \u00d7 " + std::to_wstring(area.bottom - area.top);
    TEXTMETRICW metrics{};
    SelectedObject small(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    GetTextMetricsW(dc, &metrics);
    RECT lower = box, upper = box;
    if (box.bottom - box.top >= 3 * metrics.tmHeight) {
        upper.bottom = lower.top = (box.top + box.bottom) / 2 + metrics.tmHeight / 2;
        DrawTextW(dc, size.c_str(), -1, &lower, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectedObject large(dc, numberFont_ ? numberFont_.get() : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, number.c_str(), -1, &upper,
              DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | (lower.top == box.top ? DT_VCENTER : DT_BOTTOM));
}

void MonitorMap::OnLButtonDown(POINT point)
{
    SetFocus(window_);
    RECT client;
    GetClientRect(window_, &client);
    const int index = MonitorAtPoint(monitors_, FitMap(monitors_, client, kMargin), point);
    if (index < 0)
        return;
    focus_ = static_cast<size_t>(index);
    Toggle(focus_);
}

void MonitorMap::OnKeyDown(WPARAM key)
{
    MapDirection direction;
    switch (key) {
    case VK_SPACE:
        Toggle(focus_);
        return;
    case VK_LEFT: direction = MapDirection::Left; break;
    case VK_RIGHT: direction = MapDirection::Right; break;
    case VK_UP: direction = MapDirection::Up; break;
    case VK_DOWN: direction = MapDirection::Down; break;
    default:
        return;
    }
    const size_t next = NextMonitor(monitors_, focus_, direction);
    if (next != focus_) {
        focus_ = next;
        InvalidateRect(window_, nullptr, TRUE);
    }
}

void MonitorMap::Toggle(size_t index)
{
    if (!ToggleMonitor(chosen_, index)) {
        MessageBeep(MB_OK); // the last chosen monitor stays
        return;
    }
    InvalidateRect(window_, nullptr, TRUE);
}
