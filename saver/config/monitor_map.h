// The Monitors dialog's map: a control of its own class showing the monitors as they are
// arranged, scaled down, each with its number and size; the chosen ones in the highlight
// colour, the others grey. A click or Space turns a monitor in or out (never the last one);
// the arrow keys move the focus between monitors. It is a tab stop like any control.
#pragma once

#include <windows.h>

#include <vector>

#include "handles.h"
#include "monitor_choice.h"

class MonitorMap {
public:
    static constexpr const wchar_t *kClassName = L"ReelhavenMonitorMap";
    // Room around the monitors in the control, in pixels.
    static constexpr int kMargin = 6;
    // Registers the class for `instance`; registering it again is harmless.
    static void Register(HINSTANCE instance);
    // The map behind a window of the class, or null.
    static MonitorMap *From(HWND window);

    // Shows `monitors` (numbered from 1 in this order) with `chosen` flags, one each.
    void Show(std::vector<DisplayMonitor> monitors, std::vector<bool> chosen);
    const std::vector<bool> &Chosen() const { return chosen_; }

private:
    explicit MonitorMap(HWND window) : window_(window) {}
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnSetFont(HFONT font);
    void OnLButtonDown(POINT point);
    void OnKeyDown(WPARAM key);
    void PaintMonitor(HDC dc, size_t index, const RECT &drawn, bool enabled);
    void Toggle(size_t index);

    HWND window_;
    HFONT font_ = nullptr; // the dialog's, not ours
    GdiObject numberFont_; // the dialog's font, bold and twice as high
    std::vector<DisplayMonitor> monitors_;
    std::vector<bool> chosen_;
    size_t focus_ = 0;
};
