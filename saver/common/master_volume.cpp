// The run's hold on the system's master volume: it sets its own for the run and puts the
// user's back at the end. Without a mixer the setters do nothing and the getters report 0
// and false.
#include "master_volume.h"

#include <mmsystem.h>

#include "speakers_mixer.h"

WORD GetMasterVolume()
{
    return ReadSpeakersVolume();
}

void SetMasterVolume(WORD volume)
{
    DWORD value = volume;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_VOLUME, true, value);
}

bool GetMasterMute()
{
    DWORD value = 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_MUTE, false, value);
    return value != 0;
}

void SetMasterMute(bool on)
{
    DWORD value = on ? 1 : 0;
    AccessSpeakersControl(MIXERCONTROL_CONTROLTYPE_MUTE, true, value);
}
