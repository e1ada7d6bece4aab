// The Monitors dialog: the map of the monitors to choose from, "Each monitor plays its own
// video", and Identify, which shows each monitor's number on that monitor for a while.
#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_ids.h"
#include "config_common.h"
#include "handles.h"
#include "monitor_choice.h"
#include "monitor_layout.h"
#include "monitor_map.h"
#include "option_dialogs.h"

namespace {

constexpr const wchar_t *kNumberClass = L"ReelhavenMonitorNumber";
constexpr UINT_PTR kIdentifyTimer = 1;
constexpr UINT kIdentifyMs = 3000;

// ---- The numbers Identify shows ----

LRESULT OnPaintNumber(HWND window)
{
    PaintScope paint(window);
    const HDC dc = paint.dc();
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_HIGHLIGHT));
    GdiObject font(CreateFontW(-(client.bottom - client.top) * 3 / 4, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_SWISS, L"Arial"));
    SelectedObject selected(dc, font.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    const std::wstring number = std::to_wstring(GetWindowLongPtrW(window, GWLP_USERDATA));
    DrawTextW(dc, number.c_str(), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    return 0;
}

LRESULT CALLBACK NumberProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
        break;
    case WM_PAINT:
        return OnPaintNumber(window);
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE; // the dialog keeps the focus
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterNumberClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = NumberProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kNumberClass;
    RegisterClassExW(&windowClass); // fails harmlessly when an earlier dialog registered it
}

// ---- The dialog ----

class MonitorsDialog {
public:
    MonitorsDialog(HINSTANCE instance, Settings &settings) : instance_(instance), settings_(settings) {}
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR OnInitDialog(HWND window);
    INT_PTR OnCommand(WORD id);
    INT_PTR OnTimer(UINT_PTR id);
    void Identify();
    void CloseNumbers();
    void OnOk();
    void End(INT_PTR result);
    MonitorMap *Map() const { return MonitorMap::From(GetDlgItem(window_, IDC_MONITOR_MAP)); }

    HINSTANCE instance_;
    Settings &settings_;
    HWND window_ = nullptr;
    std::vector<DisplayMonitor> present_;
    std::vector<bool> shown_; // as the setting chose them when the dialog opened
    std::vector<UniqueWindow> numbers_;
};

INT_PTR CALLBACK MonitorsDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *dialog = DialogOwner<MonitorsDialog>(window, message, lParam, DialogKind::Dialog);
    if (!dialog)
        return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        return dialog->OnInitDialog(window);
    case WM_COMMAND:
        return dialog->OnCommand(LOWORD(wParam));
    case WM_TIMER:
        return dialog->OnTimer(wParam);
    case WM_CLOSE:
        dialog->End(IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        dialog->CloseNumbers();
        return FALSE;
    }
    return FALSE;
}

INT_PTR MonitorsDialog::OnInitDialog(HWND window)
{
    window_ = window;
    present_ = PresentMonitors();
    const std::wstring_view setting(settings_.monitors, wcsnlen(settings_.monitors, std::size(settings_.monitors)));
    shown_ = ChosenFlags(setting, present_);
    if (MonitorMap *map = Map())
        map->Show(present_, shown_);
    CheckDlgButton(window_, IDC_EACH_MONITOR, settings_.eachMonitorOwnVideo ? BST_CHECKED : BST_UNCHECKED);
    // A value an administrator forces is shown as it is, but cannot be changed.
    if (settings_.ForcedByPolicy(&settings_.monitors))
        EnableWindow(GetDlgItem(window_, IDC_MONITOR_MAP), FALSE);
    if (settings_.ForcedByPolicy(&settings_.eachMonitorOwnVideo))
        EnableWindow(GetDlgItem(window_, IDC_EACH_MONITOR), FALSE);
    return TRUE;
}

INT_PTR MonitorsDialog::OnCommand(WORD id)
{
    switch (id) {
    case IDC_IDENTIFY:
        Identify();
        return TRUE;
    case IDOK:
        OnOk();
        End(IDOK);
        return TRUE;
    case IDCANCEL:
        End(IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR MonitorsDialog::OnTimer(UINT_PTR id)
{
    if (id != kIdentifyTimer)
        return FALSE;
    CloseNumbers();
    return TRUE;
}

// A square a quarter of the monitor's height, near its bottom left corner, on every monitor.
void MonitorsDialog::Identify()
{
    CloseNumbers();
    for (size_t i = 0; i < present_.size(); ++i) {
        const RECT &area = present_[i].area;
        const int side = std::max<int>((area.bottom - area.top) / 4, 32);
        const int margin = side / 4;
        HWND number = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kNumberClass, L"",
                                      WS_POPUP, area.left + margin, area.bottom - margin - side, side, side,
                                      nullptr, nullptr, instance_, reinterpret_cast<void *>(i + 1));
        if (!number)
            continue;
        numbers_.emplace_back(number);
        ShowWindow(number, SW_SHOWNOACTIVATE);
    }
    if (!numbers_.empty())
        SetTimer(window_, kIdentifyTimer, kIdentifyMs, nullptr);
}

void MonitorsDialog::CloseNumbers()
{
    if (window_)
        KillTimer(window_, kIdentifyTimer);
    numbers_.clear();
}

void MonitorsDialog::OnOk()
{
    // A choice left as it was keeps its text: "Main", and names of monitors that are not
    // connected now, still mean what they meant.
    const MonitorMap *map = Map();
    if (map && IsWindowEnabled(GetDlgItem(window_, IDC_MONITOR_MAP)) && map->Chosen() != shown_)
        CopyText(settings_.monitors, std::size(settings_.monitors), MonitorsSetting(present_, map->Chosen()).c_str());
    if (IsWindowEnabled(GetDlgItem(window_, IDC_EACH_MONITOR)))
        settings_.eachMonitorOwnVideo = IsDlgButtonChecked(window_, IDC_EACH_MONITOR) == BST_CHECKED;
}

void MonitorsDialog::End(INT_PTR result)
{
    CloseNumbers();
    EndDialog(window_, result);
}

} // namespace

INT_PTR RunMonitorsDialog(HINSTANCE instance, HWND owner, Settings &settings)
{
    MonitorMap::Register(instance);
    RegisterNumberClass(instance);
    MonitorsDialog dialog(instance, settings);
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MONITORS), owner, MonitorsDialog::DialogProc,
                                           reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK ? IDOK : 0;
}
