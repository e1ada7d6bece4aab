// The system's master volume: the speakers line of the first mixer device. Each call
// opens the mixer, does one read or write and closes it again; without a mixer the
// setters do nothing and the getters report 0 and false.
#pragma once

#include <windows.h>

WORD GetMasterVolume();
void SetMasterVolume(WORD volume);
bool GetMasterMute();
void SetMasterMute(bool on);

// Percent 0..100 <-> mixer value 0..65535, both truncated (50 % is 32767, 32768 is 50 %).
inline WORD PercentToMixerVolume(LONG percent)
{
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    return static_cast<WORD>(static_cast<DWORD>(percent) * 65535u / 100u);
}
inline LONG MixerVolumeToPercent(WORD volume)
{
    return static_cast<LONG>(static_cast<DWORD>(volume) * 100u / 65535u);
}
