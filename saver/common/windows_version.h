// The platform version as GetVersionExW reports it, and what the program derives from it.
#pragma once

#include <windows.h>

struct WindowsVersion {
    DWORD major;
    DWORD minor;
    DWORD platform;
};

inline WindowsVersion GetWindowsVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId};
}

// The grid's focus colour unless the settings say otherwise: the hot-tracking colour, or
// the highlight colour where the version number is that of Windows 95 or NT 4, which have
// none. A 64-bit build never meets those; the rule stays so that the default is the one
// the stored settings were made with.
inline COLORREF DefaultFocusColor()
{
    const WindowsVersion version = GetWindowsVersion();
    const bool noHotTrack = (version.platform == VER_PLATFORM_WIN32_WINDOWS && version.major == 4 &&
                             version.minor == 0) ||
                            (version.platform == VER_PLATFORM_WIN32_NT && version.major == 4);
    return GetSysColor(noHotTrack ? COLOR_HIGHLIGHT : COLOR_HOTLIGHT);
}
