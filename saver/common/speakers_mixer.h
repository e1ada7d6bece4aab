// The speakers line of the first mixer device, the system's master volume. Each access
// opens the mixer, does one read or write and closes it again; without a mixer nothing is
// read or written. The settings take their default volume from here, the run sets it.
#pragma once

#include <windows.h>

#include "value_limits.h"

// Finds the control of the given type (MIXERCONTROL_CONTROLTYPE_*) on the speakers line and
// reads (write == false) or writes its one value for all channels. A read that fails
// leaves value as it was.
void AccessSpeakersControl(DWORD controlType, bool write, DWORD &value);

// The speakers line's volume now, 0..65535; 0 without a mixer.
WORD ReadSpeakersVolume();

// Percent 0..100 <-> mixer value 0..65535, both truncated (50 % is 32767, 32768 is 50 %).
inline WORD PercentToMixerVolume(LONG percent)
{
    return static_cast<WORD>(static_cast<DWORD>(kVolumeRange.Clamp(percent)) * 65535u / 100u);
}
inline LONG MixerVolumeToPercent(WORD volume)
{
    return static_cast<LONG>(static_cast<DWORD>(volume) * 100u / 65535u);
}
