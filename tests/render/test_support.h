// Helpers shared by the render tests: clip paths, registry values, a player window, and the
// screenshot service that the wrapper script runs beside the on-screen cases.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <wrl/client.h>

#include "abi.h"
#include "handles.h"

// Full Windows path of a clip that the wrapper made in its media folder (RH_MEDIA_DIR).
std::wstring ClipPath(const wchar_t *name);
bool HaveClips();

// Sets (or with nullopt-like `remove`, deletes) "PictureDisplayDuration" for the scope.
class PictureDurationValue {
public:
    explicit PictureDurationValue(const DWORD *seconds);
    ~PictureDurationValue();

private:
    bool hadValue_ = false;
    DWORD oldValue_ = 0;
};

// A top-most black popup over the virtual desktop, as the player shows it; or an ordinary
// window with a client area of the given size.
UniqueWindow CreatePlayerWindow();
UniqueWindow CreateFramedWindow(int clientW, int clientH);
// Dispatches this thread's messages for the given time (the video windows paint from them).
void PumpMessages(DWORD milliseconds);

// Item defaults with a file name that stays valid for the item's life.
struct TestItem {
    explicit TestItem(const std::wstring &file);
    std::wstring name;
    PlaybackItem item;
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};
// Asks the wrapper for a screenshot and the colours at the points; false when no wrapper
// answers (the on-screen cases are then skipped).
bool ScreenColours(const std::vector<POINT> &points, std::vector<Rgb> &colours);
bool ScreenServiceAvailable();
