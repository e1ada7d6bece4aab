// Preview mode: the display control panel's small preview area shows bitmap 101.
#pragma once

#include <windows.h>

// Covers the parent's client area with the picture and returns when the window has been
// destroyed (with its parent). Returns at once when parent is not a window.
void RunPreview(HWND parent, HINSTANCE instance);
