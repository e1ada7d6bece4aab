// The run's own window: black, top-most, over the whole virtual desktop, shown before
// anything slow happens. Until the player's window covers it, input lands here and is
// judged by the sink's rules, so a key ends the run even while the playlist or the first
// video is still being opened. Once a player's window covers it, input goes there and this
// window goes away; while players keep to some monitors (or to one each) it stays up under
// them for the whole run, black on the monitors left out, and takes their input.
#pragma once

#include <windows.h>

#include "handles.h"

class FwSink;

class InputWindow {
public:
    InputWindow() = default;
    InputWindow(const InputWindow &) = delete;
    InputWindow &operator=(const InputWindow &) = delete;
    ~InputWindow() { Join(); }

    // Starts the window's thread and returns once the window is up (or could not be made).
    void Open(FwSink *sink);

    // Stops taking input: returns once the window's thread passes no more input on. The
    // window goes as its thread ends; taking a full-screen window down can take a while
    // (two seconds under Wine without a window manager), so that runs alongside the rest
    // of the run's end until Join.
    void Close();

    void Join();

private:
    // True when another visible window of this process covers window: the player's.
    static bool Covered(HWND window);
    // Makes the player window under the pointer the foreground: keys go there.
    static void FollowPointer(HWND window);
    static DWORD WINAPI Main(void *parameter);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    FwSink *sink_ = nullptr;
    UniqueHandle thread_;
    UniqueHandle closed_;  // set when the thread has left its message loop
    DWORD threadId_ = 0;
    HANDLE ready_ = nullptr;
};
