// The system's master volume: the speakers line of the first mixer device. Each access
// opens the mixer, does one read or write and closes it again. Without a mixer the setters
// do nothing and the getters report 0 and false. The settings take their default volume
// from here; the run sets its own for the run and puts the user's back at the end.
#pragma once

#include <windows.h>

#include "value_limits.h"

WORD GetMasterVolume(); // 0..65535
void SetMasterVolume(WORD volume);
bool GetMasterMute();
void SetMasterMute(bool on);

// Percent 0..100 <-> mixer value 0..65535, both truncated (50 % is 32767, 32768 is 50 %).
inline WORD PercentToMixerVolume(LONG percent)
{
    return static_cast<WORD>(static_cast<DWORD>(kVolumeRange.Clamp(percent)) * 65535u / 100u);
}
inline LONG MixerVolumeToPercent(WORD volume)
{
    return static_cast<LONG>(static_cast<DWORD>(volume) * 100u / 65535u);
}
