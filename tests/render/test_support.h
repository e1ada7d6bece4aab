// Shared by the render tests: clips and screenshots that render_tests.sh provides, windows,
// and the picture duration value.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "media_item.h"
#include "test_kit.h"

// A clip the wrapper made in RH_MEDIA_DIR (empty when run without the wrapper).
std::wstring ClipPath(const wchar_t *name);

// A top-most black popup over the virtual desktop as the player shows it, or a framed window
// with the given client size.
UniqueWindow CreatePlayerWindow(int clientW = 0, int clientH = 0);
void PumpMessages(DWORD milliseconds);

// Item defaults (full screen) for a file.
inline MediaItem TestItem(const std::wstring &file)
{
    MediaItem item;
    item.fileName = file;
    return item;
}

// Loads with the outputs shown at once (the player loads them hidden, then shows them).
template <typename Renderer>
HRESULT LoadShown(Renderer &renderer)
{
    const HRESULT hr = renderer.LoadMedia(false);
    if (SUCCEEDED(hr))
        renderer.AttachWindows();
    return hr;
}

// A renderer variant that shows the test its outputs.
template <typename Base>
struct Probe : Base {
    using Base::Base;
    size_t Filled() const
    {
        size_t n = 0;
        for (auto &o : this->outputs_)
            n += o->window != nullptr;
        return n;
    }
    size_t Outputs() const { return this->outputs_.size(); }
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};
// Asks the wrapper (RH_SHOT_DIR) for a screenshot and the colours at the points, pumping
// messages meanwhile; false without answer.
bool ScreenColours(const std::vector<POINT> &points, std::vector<Rgb> &colours);
